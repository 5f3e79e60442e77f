// A top-level window holding the subclassed editor as start-up makes it, for
// the editor's tests and benchmark.
#ifndef QUILLON_EDITOR_WINDOW_H
#define QUILLON_EDITOR_WINDOW_H

#include <windows.h>

#include <string>

// Makes the window and its editor (EditorWindow) on first use, shown and
// with the keyboard focus in the editor.
void OpenEditorWindow();

// EN_CHANGE notifications the editor sent since the text was last set.
extern int EditorChanges;

// Replaces the editor's whole text, selects [start, end) and zeroes
// EditorChanges. Like a load, this may go beyond the text limit.
void SetEditorText(const std::string &text, unsigned start, unsigned end);
void SetEditorText(const std::string &text, unsigned caret);

// The editor's selection as the control reports it.
struct Selection {
    unsigned start, end;
    bool operator==(const Selection &other) const { return start == other.start && end == other.end; }
};
Selection EditorSelection();

// A typed character as the message loop hands it to the editor.
LRESULT TypeChar(char c);

#endif
