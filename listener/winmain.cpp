// The KESTRALUNE listener's entry: options, window, Winsock, the DDE server,
// the Lisp (when asked to start one), then the message loop.
#include "listener/listener.h"

#include <stdlib.h>

HINSTANCE ListenerInstance;
ListenerOptions Options;

static const char Usage[] =
    "Usage: kestralune [-host NAME] [-port N] [-lisp \"COMMAND\"]\n\n"
    "Connects to a Lisp running Swank on NAME (127.0.0.1) and port N (4005);\n"
    "with -lisp, first starts COMMAND, which is to start Swank on that port.";

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    if (!ReadListenerOptions(__argc, __argv, &Options)) {
        MessageBoxA(NULL, Usage, "KESTRALUNE", MB_OK | MB_ICONINFORMATION);
        return 2;
    }
    ListenerInstance = instance;
    if (!CreateListenerWindow(instance, showCommand))
        return 1;
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
        MessageBoxA(ListenerWindow, "Windows Sockets could not be started.", "KESTRALUNE", MB_OK | MB_ICONSTOP);
        return 1;
    }
    if (!StartDdeServer())
        AppendTranscript("; The DDE service KESTRALUNE could not be registered: the editor cannot reach this listener.\n");
    StartLispProcess();
    StartSwankLink();

    HACCEL accelerators = LoadAcceleratorsA(instance, "Listener");
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        if (!TranslateAcceleratorA(ListenerWindow, accelerators, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    EndDdeServer();
    EndLispProcess();
    EndSwankLink();
    WSACleanup();
    return (int)msg.wParam;
}
