// Lisp source files on the listener's side: the dialog that chooses one to
// compile, its bytes, and its path as the Lisp names files.
#ifndef KESTRALUNE_LISPFILE_H
#define KESTRALUNE_LISPFILE_H

// winsock2.h before windows.h, so that the headers may come in any order.
#include <winsock2.h>
#include <windows.h>

#include <string>

// The Open dialog for .lsp, .lisp and .cl files, starting at the file
// chosen before (path, when not empty); false when the user cancels.
bool ChooseLispFile(HWND owner, std::wstring *path);
// The file's bytes; false when it cannot be read (or is past any size a
// source file has).
bool ReadFileBytes(const std::wstring &path, std::string *bytes);
// The Windows path as the Lisp names the file (UTF-8): under Wine, where the
// Lisp is a Linux program, the Unix path Wine maps it to; else as it is.
std::string LispPath(const std::wstring &path);

#endif
