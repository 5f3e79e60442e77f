// The KESTRALUNE listener's entry: options, window, Winsock, then the
// listener's services and the message loop.
#include "listener/win32/listener.h"
#include "listener/win32/codepage.h"

#include <shellapi.h>

#include <vector>

HINSTANCE ListenerInstance;
ListenerOptions Options;

static const char Usage[] =
    "Usage: kestralune [-host NAME] [-port N] [-lisp \"COMMAND\"] [-secret FILE]\n\n"
    "Connects to a Lisp running Swank on NAME (127.0.0.1) and port N (4005);\n"
    "with -lisp, first starts COMMAND, which is to start Swank on that port.\n"
    "FILE holds Swank's secret (by default .slime-secret in the Lisp's home\n"
    "folder, HOME or else USERPROFILE, when there is one).";

// The command line's words in UTF-8, read as Unicode so that paths of any
// script come through whatever the ANSI code page.
static bool ReadCommandLine(ListenerOptions *options)
{
    int count = 0;
    wchar_t **words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!words)
        return false;
    std::vector<std::string> texts;
    for (int i = 0; i < count; i++)
        texts.push_back(WideToUtf8(words[i], wcslen(words[i])));
    LocalFree(words);
    std::vector<const char *> argv;
    for (const std::string &text : texts)
        argv.push_back(text.c_str());
    return ReadListenerOptions((int)argv.size(), argv.data(), options);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    if (!ReadCommandLine(&Options)) {
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
    StartListener();

    HACCEL accelerators = LoadAcceleratorsW(instance, L"Listener");
    MSG msg;
    while (GetMessageW(&msg, NULL, 0, 0) > 0) {
        // The listener's keys act in its own window; the debugger's and the
        // inspector's windows have keys of their own (Ctrl+I among them).
        bool listeners = !msg.hwnd || GetAncestor(msg.hwnd, GA_ROOT) == ListenerWindow;
        if (!listeners || !TranslateAcceleratorW(ListenerWindow, accelerators, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    EndListener();
    WSACleanup();
    return (int)msg.wParam;
}
