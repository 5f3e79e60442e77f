// The listener's main window: the transcript over the input line, the
// Listener menu, and a caption that says to which Lisp it is connected.
#include "listener/listener.h"
#include "listener/resource.h"

#include <stdio.h>

HWND ListenerWindow;
static HWND Transcript, InputLine;

static const int ReconnectTimer = 1;
static const UINT ReconnectMs = 1000;

static const char ClassName[] = "KestraluneWClass";

void UpdateCaption()
{
    char caption[300];
    if (*SwankLispName())
        snprintf(caption, sizeof caption, "KESTRALUNE - connected to %s", SwankLispName());
    else
        snprintf(caption, sizeof caption, "KESTRALUNE - %s %s:%u", SwankConnected() ? "connecting to" : "not connected,",
                 Options.host.c_str(), Options.port);
    SetWindowTextA(ListenerWindow, caption);
}

// The input line keeps the height of one line of the font; the transcript
// takes the rest.
static void Layout(int width, int height)
{
    TEXTMETRICA metrics;
    HDC dc = GetDC(InputLine);
    HGDIOBJ old = SelectObject(dc, GetStockObject(ANSI_FIXED_FONT));
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(InputLine, dc);
    int inputHeight = metrics.tmHeight + 2 * GetSystemMetrics(SM_CYEDGE) + 4;
    if (inputHeight > height)
        inputHeight = height;
    MoveWindow(Transcript, 0, 0, width, height - inputHeight, TRUE);
    MoveWindow(InputLine, 0, height - inputHeight, width, inputHeight, TRUE);
}

static void Command(int id)
{
    switch (id) {
    case IDM_CLEARTRANSCRIPT:
        ClearTranscript();
        break;
    case IDM_INTERRUPT:
        InterruptEvaluation();
        break;
    case IDM_RECONNECT:
        ReconnectSwank();
        break;
    case IDM_EXIT:
        DestroyWindow(ListenerWindow);
        break;
    }
}

LRESULT CALLBACK ListenerWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        Transcript = CreateTranscript(window);
        InputLine = CreateInputLine(window);
        if (!Transcript || !InputLine)
            return -1;
        SetTimer(window, ReconnectTimer, ReconnectMs, NULL);
        return 0;
    case WM_SIZE:
        Layout(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_SETFOCUS:
        SetFocus(InputLine);
        return 0;
    case WM_COMMAND:
        if (lParam == 0)
            Command(LOWORD(wParam));
        return 0;
    case WM_CTLCOLORSTATIC:
        // The read-only transcript is drawn like a page of text, not greyed.
        if ((HWND)lParam == Transcript) {
            SetBkColor((HDC)wParam, GetSysColor(COLOR_WINDOW));
            return (LRESULT)GetSysColorBrush(COLOR_WINDOW);
        }
        break;
    case WM_TIMER:
        OnSwankTimer();
        return 0;
    case WM_SWANK_SOCKET:
        OnSwankSocket(wParam, lParam);
        return 0;
    case WM_DDE_TEXT:
        TakeDdeTexts();
        return 0;
    case WM_DESTROY:
        KillTimer(window, ReconnectTimer);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool CreateListenerWindow(HINSTANCE instance, int showCommand)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ListenerWndProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, "KestraluneIcon");
    wc.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    wc.lpszMenuName = "ListenerMenu";
    wc.lpszClassName = ClassName;
    if (!RegisterClassA(&wc))
        return false;
    ListenerWindow = CreateWindowA(ClassName, "KESTRALUNE", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                   640, 480, NULL, NULL, instance, NULL);
    if (!ListenerWindow)
        return false;
    UpdateCaption();
    ShowWindow(ListenerWindow, showCommand);
    UpdateWindow(ListenerWindow);
    return true;
}
