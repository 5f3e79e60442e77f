// The least a program like the editor can do, for the start-up benchmark to
// set against it: a main window whose client area is an Edit control, shown,
// then the message loop. No menu, icon, accelerators, font or file dialogs.
#include <windows.h>

static LRESULT CALLBACK BareWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = BareWndProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    wc.lpszClassName = "BareEditClass";
    if (!RegisterClassA(&wc))
        return 1;
    HWND main = CreateWindowExA(0, wc.lpszClassName, "Bare Edit", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, NULL, NULL, instance, NULL);
    RECT client;
    GetClientRect(main, &client);
    CreateWindowExA(0, "Edit", NULL, WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL, 0, 0,
                    client.right, client.bottom, main, (HMENU)1, instance, NULL);
    ShowWindow(main, showCommand);
    UpdateWindow(main);
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return (int)msg.wParam;
}
