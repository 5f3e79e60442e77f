// Texts between the program's encodings: the editor's DDE texts are in the
// ANSI code page, the windows are Unicode (UTF-16), Swank speaks UTF-8.
#ifndef KESTRALUNE_CODEPAGE_H
#define KESTRALUNE_CODEPAGE_H

#include <stddef.h>

#include <string>

std::string AnsiToUtf8(const char *text, size_t length);
std::wstring Utf8ToWide(const std::string &text);
std::string WideToUtf8(const wchar_t *text, size_t length);
std::string WideToUtf8(const std::wstring &text);

#endif
