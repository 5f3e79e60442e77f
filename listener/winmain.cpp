// The KESTRALUNE listener's entry: options, window, Winsock, then the
// listener's services and the message loop.
#include "listener/listener.h"

#include <stdlib.h>

HINSTANCE ListenerInstance;
ListenerOptions Options;

static const char Usage[] =
    "Usage: kestralune [-host NAME] [-port N] [-lisp \"COMMAND\"] [-secret FILE]\n\n"
    "Connects to a Lisp running Swank on NAME (127.0.0.1) and port N (4005);\n"
    "with -lisp, first starts COMMAND, which is to start Swank on that port.\n"
    "FILE holds Swank's secret (by default .slime-secret in the user's profile\n"
    "folder, when there is one).";

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    if (!ReadListenerOptions(__argc, __argv, &Options)) {
        MessageBoxA(NULL, Usage, "KESTRALUNE", MB_OK | MB_ICONINFORMATION);
        return 2;
    }
    // Swank wants the secret when the user has one, as SLIME sends it.
    char profile[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("USERPROFILE", profile, sizeof profile);
    if (Options.secretFile.empty() && length && length < sizeof profile) {
        std::string secret = std::string(profile) + "\\.slime-secret";
        if (GetFileAttributesA(secret.c_str()) != INVALID_FILE_ATTRIBUTES)
            Options.secretFile = secret;
    }
    ListenerInstance = instance;
    if (!CreateListenerWindow(instance, showCommand))
        return 1;
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
        MessageBoxA(ListenerWindow, "Windows Sockets could not be started.", "KESTRALUNE", MB_OK | MB_ICONSTOP);
        return 1;
    }
    StartListener();

    HACCEL accelerators = LoadAcceleratorsW(instance, L"Listener");
    MSG msg;
    while (GetMessageW(&msg, NULL, 0, 0) > 0) {
        if (!TranslateAcceleratorW(ListenerWindow, accelerators, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    EndListener();
    WSACleanup();
    return (int)msg.wParam;
}
