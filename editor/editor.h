// The Lisp-aware edit control: the subclass procedure, read access to the
// text through a snapshot, Tab re-indentation and the parenthesis flash.
#ifndef QUILLON_EDITOR_H
#define QUILLON_EDITOR_H

#include <windows.h>

extern HWND EditorWindow;
extern WNDPROC EditorBaseProc;

extern "C" __declspec(dllexport) LRESULT CALLBACK TarvoWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Either out pointer may be null.
void GetSelection(HWND window, unsigned *start, unsigned *end);
// NUL-terminated copy of up to 31000 characters of the editor's text, good
// until the next snapshot; null when the buffer cannot be had.
char *TextSnapshot();
// The selection cut out of a fresh snapshot; null when none can be had.
char *SelectedText();

void ReindentLine(HWND window, unsigned lowest);
void ReplaceIndent(HWND window, int change, unsigned lineStart);
void FlashMatchingParen(HWND window, unsigned lowest);
void PauseMs(DWORD ms);

#endif
