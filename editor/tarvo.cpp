// The editor's window procedure: Tab re-indents, a typed ")" flashes its
// match, everything else goes to the edit control's own procedure.
#include "editor/editor.h"

HWND EditorWindow;
WNDPROC EditorBaseProc;

extern "C" __declspec(dllexport) LRESULT CALLBACK TarvoWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_CHAR)
        return CallWindowProcA(EditorBaseProc, window, message, wParam, lParam);
    if (wParam == '\t') {
        // Consumed: no tab is inserted and a selection is not replaced.
        ReindentLine(EditorWindow, 0);
        return 0;
    }
    CallWindowProcA(EditorBaseProc, window, message, wParam, lParam);
    if (wParam == ')')
        FlashMatchingParen(EditorWindow, 0);
    return 1;
}

void GetSelection(HWND window, unsigned *start, unsigned *end)
{
    // Through the two out-parameters rather than the packed result, whose
    // 16-bit halves would wrap positions beyond 65535.
    DWORD selStart = 0, selEnd = 0;
    SendMessageA(window, EM_GETSEL, (WPARAM)&selStart, (LPARAM)&selEnd);
    if (start)
        *start = selStart;
    if (end)
        *end = selEnd;
}
