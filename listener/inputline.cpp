// The input line under the transcript: Enter evaluates what is typed there,
// Up and Down recall earlier inputs.
#include "listener/listener.h"
#include "listener/history.h"
#include "listener/resource.h"

static HWND InputLine;
static WNDPROC InputBaseProc;
static History Inputs;

static void ShowInput(const std::string &text)
{
    SetWindowTextA(InputLine, text.c_str());
    SendMessageA(InputLine, EM_SETSEL, text.size(), text.size());
}

static void EvaluateInput()
{
    int length = GetWindowTextLengthA(InputLine);
    std::string text(length + 1, '\0');
    GetWindowTextA(InputLine, &text[0], length + 1);
    text.resize(length);
    HistoryAdd(Inputs, text);
    if (!SubmitEvaluation(AnsiToUtf8(text.data(), text.size()))) {
        AppendTranscript("; Not connected to a Lisp; the input is kept.\n");
        return;
    }
    SetWindowTextA(InputLine, "");
}

static LRESULT CALLBACK InputWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::string recalled;
    if (message == WM_KEYDOWN) {
        switch (wParam) {
        case VK_RETURN:
            EvaluateInput();
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
    return CallWindowProcA(InputBaseProc, window, message, wParam, lParam);
}

HWND CreateInputLine(HWND parent)
{
    InputLine = CreateWindowA("Edit", NULL, WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, 0, 0, 0, 0, parent,
                              (HMENU)ID_INPUT, ListenerInstance, NULL);
    if (InputLine) {
        SendMessageA(InputLine, WM_SETFONT, (WPARAM)GetStockObject(ANSI_FIXED_FONT), 0);
        InputBaseProc = (WNDPROC)SetWindowLongPtrA(InputLine, GWLP_WNDPROC, (LONG_PTR)InputWndProc);
    }
    return InputLine;
}
