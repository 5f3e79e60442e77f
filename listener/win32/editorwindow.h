// The editor (quillon.exe) seen from outside, through its windows only: its
// top-level "QuillonWClass" window and the edit control in it, read with the
// messages that work across processes.
#ifndef KESTRALUNE_EDITORWINDOW_H
#define KESTRALUNE_EDITORWINDOW_H

// winsock2.h before windows.h, so that the headers may come in any order.
#include <winsock2.h>
#include <windows.h>

#include <string>

// The editor window of the process; null when that process shows none.
HWND EditorOfProcess(DWORD process);
// An editor window of any process; null when none is open.
HWND AnyEditor();
// The document name the editor's title shows; empty when it shows none.
std::string EditorDocumentName(HWND editor);
// The editor's text from its start up to the start of its selection, as
// UTF-8; false when it cannot be read.
bool EditorTextBeforeSelection(HWND editor, std::string *text);

// The editor window whose document is the file (a full Windows path): its
// title names the file itself, or the file's name alone, or its short
// (8.3) name; null when no editor shows it.
HWND EditorShowingFile(const std::wstring &path);
// The editor's text as the bytes it shows (its ANSI characters).
bool EditorBytes(HWND editor, std::string *bytes);
// Selects start..end (characters) in the editor, scrolls it into view and
// brings the editor to the front.
bool SelectInEditor(HWND editor, size_t start, size_t end);
// Starts the editor (quillon.exe beside this program) on the file and
// waits up to ms for its window; null when it did not come.
HWND OpenInNewEditor(const std::wstring &path, DWORD ms);
// A file name as the Lisp gave it, as a Windows path: a Unix path (a Lisp
// on Linux under Wine) is mapped with Wine's own mapping where there is one.
std::wstring WindowsPath(const std::string &lispPath);

#endif
