#include "listener/win32/codepage.h"

#include <windows.h>

std::wstring Utf8ToWide(const std::string &text)
{
    if (text.empty())
        return std::wstring();
    int wide = MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), NULL, 0);
    if (wide <= 0)
        return std::wstring();
    std::wstring out(wide, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), &out[0], wide);
    return out;
}

std::string WideToUtf8(const wchar_t *text, size_t length)
{
    if (length == 0)
        return std::string();
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, (int)length, NULL, 0, NULL, NULL);
    if (bytes <= 0)
        return std::string();
    std::string out(bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, (int)length, &out[0], bytes, NULL, NULL);
    return out;
}

std::string WideToUtf8(const std::wstring &text)
{
    return WideToUtf8(text.data(), text.size());
}

std::string AnsiToUtf8(const char *text, size_t length)
{
    if (length == 0)
        return std::string();
    int wide = MultiByteToWideChar(CP_ACP, 0, text, (int)length, NULL, 0);
    std::wstring utf16(wide, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, (int)length, &utf16[0], wide);
    return WideToUtf8(utf16.data(), utf16.size());
}
