// Tab: set the leading whitespace of the caret's line to the column its
// enclosing form calls for, through the control so that EN_CHANGE follows.
#include "app/shell.h"
#include "editor/editor.h"

#include <string.h>

char IndentSpaces[MaxIndentInsert + 1];

void ReindentLine(HWND window, unsigned lowest)
{
    unsigned caret;
    GetSelection(window, &caret, NULL);
    const char *text = TextSnapshot();
    ReindentPlan plan;
    ScanResult result = text ? DecideReindent(text, SnapshotHeld(), SnapshotTextLength, caret, lowest, &plan)
                             : ScanUnknown;
    if (result == ScanUnknown)
        BeepTimes(10);
    if (result != ScanFound)
        return;
    ReplaceIndent(window, plan.change, plan.lineStart);
    // At its text limit the control takes fewer spaces than asked, or none:
    // the caret moves by what really changed.
    int changed = (int)GetWindowTextLengthA(window) - (int)SnapshotTextLength;
    unsigned newCaret = CaretAfter(caret, plan.lineStart, changed);
    SendMessageA(window, EM_SETSEL, newCaret, newCaret);
}

void ReplaceIndent(HWND window, int change, unsigned lineStart)
{
    change = CappedChange(change);
    unsigned end = lineStart;
    if (change > 0) {
        memset(IndentSpaces, ' ', (size_t)change);
        IndentSpaces[change] = '\0';
    } else {
        IndentSpaces[0] = '\0';
        end += (unsigned)-change;
    }
    SendMessageA(window, EM_SETSEL, lineStart, end);
    // wParam 0: the control's undo does not take the change back.
    SendMessageA(window, EM_REPLACESEL, 0, (LPARAM)IndentSpaces);
}
