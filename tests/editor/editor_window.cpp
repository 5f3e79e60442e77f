#include "tests/editor/editor_window.h"

#include "app/shell.h"
#include "editor/editor.h"

int EditorChanges;

namespace {

const int EditorId = 300;

LRESULT CALLBACK ParentWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND && LOWORD(wParam) == EditorId && HIWORD(wParam) == EN_CHANGE)
        EditorChanges++;
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

void OpenEditorWindow()
{
    if (EditorWindow)
        return;
    HINSTANCE instance = GetModuleHandleA(NULL);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ParentWndProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    wc.lpszClassName = "EditorTestParent";
    RegisterClassA(&wc);
    HWND parent = CreateWindowExA(0, wc.lpszClassName, "Editor test", WS_OVERLAPPEDWINDOW,
                                  40, 40, 640, 400, NULL, NULL, instance, NULL);
    ChooseEditorFont(NULL);
    CreateEditor(parent, EditorId, instance);
    ShowWindow(parent, SW_SHOWNORMAL);
    UpdateWindow(parent);
    SetFocus(EditorWindow);
}

void SetEditorText(const std::string &text, unsigned start, unsigned end)
{
    SetWindowTextA(EditorWindow, text.c_str());
    SendMessageA(EditorWindow, EM_SETSEL, start, end);
    EditorChanges = 0;
}

void SetEditorText(const std::string &text, unsigned caret)
{
    SetEditorText(text, caret, caret);
}

Selection EditorSelection()
{
    DWORD start = 0, end = 0;
    SendMessageA(EditorWindow, EM_GETSEL, (WPARAM)&start, (LPARAM)&end);
    return {start, end};
}

LRESULT TypeChar(char c)
{
    return SendMessageA(EditorWindow, WM_CHAR, (WPARAM)(unsigned char)c, 1);
}
