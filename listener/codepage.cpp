// Texts of the program are in the ANSI code page; Swank speaks UTF-8.
#include "listener/listener.h"

static std::string Convert(UINT from, UINT to, const char *text, size_t length)
{
    if (length == 0)
        return std::string();
    int wide = MultiByteToWideChar(from, 0, text, (int)length, NULL, 0);
    std::wstring utf16(wide, L'\0');
    MultiByteToWideChar(from, 0, text, (int)length, &utf16[0], wide);
    int bytes = WideCharToMultiByte(to, 0, utf16.data(), wide, NULL, 0, NULL, NULL);
    std::string out(bytes, '\0');
    WideCharToMultiByte(to, 0, utf16.data(), wide, &out[0], bytes, NULL, NULL);
    return out;
}

std::string AnsiToUtf8(const char *text, size_t length)
{
    return Convert(CP_ACP, CP_UTF8, text, length);
}

std::string Utf8ToAnsi(const std::string &text)
{
    return Convert(CP_UTF8, CP_ACP, text.data(), text.size());
}
