#include "listener/win32/lispfile.h"
#include "listener/win32/codepage.h"

#include <commdlg.h>

bool ChooseLispFile(HWND owner, std::wstring *path)
{
    wchar_t chosen[MAX_PATH] = L"";
    lstrcpynW(chosen, path->c_str(), MAX_PATH);
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = L"Lisp files (*.lsp, *.lisp, *.cl)\0*.lsp;*.lisp;*.cl\0All files (*.*)\0*.*\0";
    dialog.lpstrFile = chosen;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrTitle = L"Compile and Load File";
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER;
    if (!GetOpenFileNameW(&dialog))
        return false;
    *path = chosen;
    return true;
}

bool ReadFileBytes(const std::wstring &path, std::string *bytes)
{
    const LONGLONG Largest = 64 << 20;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size;
    DWORD got = 0;
    bool read = GetFileSizeEx(file, &size) && size.QuadPart <= Largest;
    if (read) {
        bytes->assign((size_t)size.QuadPart, '\0');
        read = bytes->empty() || (ReadFile(file, &(*bytes)[0], (DWORD)bytes->size(), &got, NULL) && got == bytes->size());
    }
    CloseHandle(file);
    return read;
}

std::string LispPath(const std::wstring &path)
{
    typedef char *(CDECL * UnixName)(LPCWSTR);
    UnixName toUnix = (UnixName)(void *)GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name");
    char *unixName = toUnix ? toUnix(path.c_str()) : NULL;
    if (!unixName)
        return WideToUtf8(path);
    std::string mapped = unixName;
    HeapFree(GetProcessHeap(), 0, unixName);
    return mapped;
}
