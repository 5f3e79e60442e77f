// A Windows program that stands in for a Lisp the listener starts (-lisp):
//   lisp_stand_in ... FILE
// writes its process id and its own path (UTF-8), a line each, to FILE (its
// last argument), then runs until it is ended.
#include <windows.h>
#include <shellapi.h>

#include <string>

static std::string Utf8(const wchar_t *text)
{
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, NULL, 0, NULL, NULL);
    std::string out(bytes > 0 ? bytes - 1 : 0, '\0');
    if (bytes > 1)
        WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], bytes, NULL, NULL);
    return out;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    int count = 0;
    wchar_t **words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!words || count < 2)
        return 2;
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(NULL, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return 1;
    std::string text = std::to_string(GetCurrentProcessId()) + "\n" + Utf8(path) + "\n";
    HANDLE file = CreateFileW(words[count - 1], GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD wrote = 0;
    if (file == INVALID_HANDLE_VALUE || !WriteFile(file, text.data(), (DWORD)text.size(), &wrote, NULL))
        return 1;
    CloseHandle(file);
    Sleep(INFINITE);
    return 0;
}
