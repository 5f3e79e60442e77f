#include "listener/inputline.h"
#include "listener/codepage.h"
#include "listener/history.h"
#include "listener/listener.h"
#include "listener/resource.h"

#include <string>

static HWND InputLine;
static WNDPROC InputBaseProc;
static History Inputs;
static HFONT Font;

static void ShowInput(const std::string &text)
{
    std::wstring wide = Utf8ToWide(text);
    SetWindowTextW(InputLine, wide.c_str());
    SendMessageW(InputLine, EM_SETSEL, wide.size(), wide.size());
}

static std::string InputText()
{
    int length = GetWindowTextLengthW(InputLine);
    std::wstring text(length + 1, L'\0');
    GetWindowTextW(InputLine, &text[0], length + 1);
    return WideToUtf8(text.data(), length);
}

static void Enter()
{
    std::string text = InputText();
    LRESULT taken = SendMessageW(GetParent(InputLine), WM_LISTENER_INPUT, 0, (LPARAM)&text);
    if (taken == InputKept)
        return;
    if (taken == InputEvaluated)
        HistoryAdd(Inputs, text);
    SetWindowTextW(InputLine, L"");
}

static LRESULT CALLBACK InputWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::string recalled;
    if (message == WM_KEYDOWN) {
        switch (wParam) {
        case VK_RETURN:
            Enter();
            return 0;
        case VK_UP:
            if (HistoryPrevious(Inputs, &recalled))
                ShowInput(recalled);
            return 0;
        case VK_DOWN:
            if (HistoryNext(Inputs, &recalled))
                ShowInput(recalled);
            return 0;
        }
    } else if (message == WM_CHAR && wParam == '\r') {
        return 0;  // Enter was taken at its key-down; the control would beep
    }
    return CallWindowProcW(InputBaseProc, window, message, wParam, lParam);
}

HWND CreateInputLine(HWND parent, HFONT font)
{
    Font = font;
    InputLine = CreateWindowExW(0, L"Edit", NULL, WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, 0, 0, 0, 0,
                                parent, (HMENU)ID_INPUT, ListenerInstance, NULL);
    if (InputLine) {
        SendMessageW(InputLine, WM_SETFONT, (WPARAM)font, 0);
        InputBaseProc = (WNDPROC)SetWindowLongPtrW(InputLine, GWLP_WNDPROC, (LONG_PTR)InputWndProc);
    }
    return InputLine;
}

int InputLineHeight()
{
    TEXTMETRICW metrics;
    HDC dc = GetDC(InputLine);
    HGDIOBJ old = SelectObject(dc, Font);
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(InputLine, dc);
    return metrics.tmHeight + 2 * GetSystemMetrics(SM_CYEDGE) + 4;
}
