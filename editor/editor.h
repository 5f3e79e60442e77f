// The Lisp-aware edit control: the subclass procedure, read access to the
// text through a snapshot, Tab re-indentation and the parenthesis flash.
#ifndef QUILLON_EDITOR_H
#define QUILLON_EDITOR_H

#include "editor/lisp_scan.h"

#include <windows.h>

extern HWND EditorWindow;
extern WNDPROC EditorBaseProc;

extern "C" __declspec(dllexport) LRESULT CALLBACK TarvoWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Either out pointer may be null.
void GetSelection(HWND window, unsigned *start, unsigned *end);

// The snapshot holds at most this many characters and a NUL after them.
const unsigned SnapshotChars = 31000;
// NUL-terminated copy of up to SnapshotChars characters of the editor's
// text, good until the next snapshot; null when the buffer cannot be had.
char *TextSnapshot();
// The editor's text length when the last snapshot was taken, and how many
// of its characters the snapshot holds.
extern unsigned SnapshotTextLength;
unsigned SnapshotHeld();
// The selection cut out of a fresh snapshot; null when none can be had or
// the selection reaches beyond what the snapshot holds.
char *SelectedText();

// The spaces that ReplaceIndent inserts, and a NUL.
extern char IndentSpaces[MaxIndentInsert + 1];

void ReindentLine(HWND window, unsigned lowest);
void ReplaceIndent(HWND window, int change, unsigned lineStart);
void FlashMatchingParen(HWND window, unsigned lowest);
void PauseMs(DWORD ms);

#endif
