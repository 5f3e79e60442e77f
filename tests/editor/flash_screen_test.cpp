// On a real display: while the pause lasts, the screen shows the matched "("
// highlighted, and after it the highlight is gone. Run with Wine's X11
// driver (see run_on_display.sh).
#include "editor/editor.h"
#include "tests/editor/editor_window.h"
#include "tests/support/wintest.h"

#include <gtest/gtest.h>

namespace {

RECT Cell;          // the "(" on the screen
COLORREF Highlight;
volatile LONG Stop;
LONG MostSeen;

// Pixels of the cell in the highlight colour, read from the screen itself.
LONG HighlightedPixels()
{
    HDC screen = GetDC(NULL);
    LONG count = 0;
    for (LONG y = Cell.top; y < Cell.bottom; y++)
        for (LONG x = Cell.left; x < Cell.right; x++)
            count += GetPixel(screen, x, y) == Highlight;
    ReleaseDC(NULL, screen);
    return count;
}

DWORD WINAPI WatchScreen(void *)
{
    while (!Stop) {
        LONG seen = HighlightedPixels();
        if (seen > MostSeen)
            MostSeen = seen;
        Sleep(5);
    }
    return 0;
}

TEST(FlashOnScreen, TheMatchIsHighlightedDuringThePause)
{
    OpenEditorWindow();
    HWND parent = GetParent(EditorWindow);
    SetForegroundWindow(parent);
    SetFocus(EditorWindow);
    const std::string text = "(defun f (x)\r\n  (+ x 1)";
    SetEditorText(text, (unsigned)text.size());
    PumpFor(500);

    // The "(" at 0 spans from its own position to that of the next character,
    // and down to the next line.
    LRESULT first = SendMessageA(EditorWindow, EM_POSFROMCHAR, 0, 0);
    LRESULT next = SendMessageA(EditorWindow, EM_POSFROMCHAR, 1, 0);
    LRESULT below = SendMessageA(EditorWindow, EM_POSFROMCHAR, 14, 0);
    POINT topLeft = {(short)LOWORD(first), (short)HIWORD(first)};
    POINT bottomRight = {(short)LOWORD(next), (short)HIWORD(below)};
    ClientToScreen(EditorWindow, &topLeft);
    ClientToScreen(EditorWindow, &bottomRight);
    Cell = {topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
    ASSERT_LT(Cell.left, Cell.right);
    ASSERT_LT(Cell.top, Cell.bottom);
    Highlight = GetSysColor(COLOR_HIGHLIGHT);
    ASSERT_EQ(0, HighlightedPixels());

    HANDLE watcher = CreateThread(NULL, 0, WatchScreen, NULL, 0, NULL);
    Sleep(50);
    TypeChar(')');
    Stop = 1;
    WaitForSingleObject(watcher, 5000);
    CloseHandle(watcher);
    // Most of the cell is background: the glyph takes a few pixels.
    LONG cellPixels = (Cell.right - Cell.left) * (Cell.bottom - Cell.top);
    EXPECT_GT(MostSeen, cellPixels / 2) << "of " << cellPixels;

    PumpFor(300);
    EXPECT_EQ(0, HighlightedPixels());
}

} // namespace
