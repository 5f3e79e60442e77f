// The copy of the editor's text that the scans read.
#include "editor/editor.h"

namespace {

char *SnapshotBuffer;

} // namespace

unsigned SnapshotTextLength;

char *TextSnapshot()
{
    if (!SnapshotBuffer) {
        // Taken once and kept locked for the life of the process.
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, SnapshotChars + 1);
        if (!block)
            return NULL;
        SnapshotBuffer = (char *)GlobalLock(block);
        if (!SnapshotBuffer) {
            GlobalFree(block);
            return NULL;
        }
    }
    SnapshotTextLength = (unsigned)GetWindowTextLengthA(EditorWindow);
    GetWindowTextA(EditorWindow, SnapshotBuffer, SnapshotChars + 1);
    SnapshotBuffer[SnapshotHeld()] = '\0';
    return SnapshotBuffer;
}

unsigned SnapshotHeld()
{
    return SnapshotTextLength < SnapshotChars ? SnapshotTextLength : SnapshotChars;
}

char *SelectedText()
{
    unsigned start, end;
    GetSelection(EditorWindow, &start, &end);
    char *text = TextSnapshot();
    if (!text || end > SnapshotHeld())
        return NULL;
    text[end] = '\0';
    return text + start;
}
