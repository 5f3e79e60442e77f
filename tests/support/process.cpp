#include "tests/support/process.h"

#include <string.h>
#include <wchar.h>

#include <algorithm>
#include <vector>

std::string BuildPath(const char *name)
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, sizeof path);
    // Test exes live in <build>/tests/<subsystem>/; the programs in <build>/.
    for (int up = 0; up < 3; up++)
        *strrchr(path, '\\') = '\0';
    return std::string(path) + "\\" + name;
}

std::string QuillonPath()
{
    return BuildPath("quillon.exe");
}

namespace {

struct Search {
    DWORD processId;
    const char *className;
    bool visibleOnly;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM lParam)
{
    Search &search = *(Search *)lParam;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    if (owner == search.processId && (IsWindowVisible(window) || !search.visibleOnly) &&
        strcmp(name, search.className) == 0) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindWindowOf(const Program &program, const char *className, bool visibleOnly)
{
    Search search = {program.info.dwProcessId, className, visibleOnly, NULL};
    EnumWindows(MatchWindow, (LPARAM)&search);
    return search.found;
}

} // namespace

HWND WaitForWindow(const Program &program, const char *className, DWORD ms)
{
    DWORD start = GetTickCount();
    do {
        if (HWND found = FindWindowOf(program, className, true))
            return found;
        Sleep(10);
    } while (GetTickCount() - start < ms);
    return NULL;
}

HWND WindowOnceIdle(const Program &program, const char *className)
{
    DWORD_PTR result;
    SendMessageTimeoutA(program.main, WM_NULL, 0, 0, SMTO_BLOCK, 10000, &result);
    return FindWindowOf(program, className, false);
}

namespace {

std::wstring Wide(const std::string &text, UINT codePage)
{
    std::wstring wide(text.size(), L'\0');
    int length = MultiByteToWideChar(codePage, 0, text.data(), (int)text.size(), &wide[0], (int)wide.size());
    wide.resize(length > 0 ? length : 0);
    return wide;
}

// The name of an environment entry "NAME=value"; a name may begin with "="
// (the current folders of drives, "=C:=C:\...").
std::wstring EntryName(const std::wstring &entry)
{
    return entry.substr(0, entry.find(L'=', 1));
}

// This process's environment with the changes made, as a block for CreateProcessW.
std::wstring EnvironmentBlock(const std::vector<std::string> &changes)
{
    std::vector<std::wstring> entries;
    if (wchar_t *strings = GetEnvironmentStringsW()) {
        for (const wchar_t *at = strings; *at; at += wcslen(at) + 1)
            entries.push_back(at);
        FreeEnvironmentStringsW(strings);
    }
    for (const std::string &change : changes) {
        std::wstring wide = Wide(change, CP_UTF8), name = EntryName(wide);
        entries.erase(std::remove_if(entries.begin(), entries.end(),
                                     [&](const std::wstring &entry) {
                                         return _wcsicmp(EntryName(entry).c_str(), name.c_str()) == 0;
                                     }),
                      entries.end());
        if (wide.size() > name.size() + 1)
            entries.push_back(wide);
    }
    // Windows keeps the block sorted by name, case aside.
    std::sort(entries.begin(), entries.end(), [](const std::wstring &a, const std::wstring &b) {
        return _wcsicmp(EntryName(a).c_str(), EntryName(b).c_str()) < 0;
    });
    std::wstring block;
    for (const std::wstring &entry : entries)
        block += entry + L'\0';
    return block + L'\0';
}

} // namespace

Program StartProgramLine(const std::wstring &commandLine, const char *className, const char *folder,
                         const std::vector<std::string> &environment)
{
    Program program = {};
    std::wstring command = commandLine, block = environment.empty() ? std::wstring() : EnvironmentBlock(environment);
    std::wstring where = folder ? Wide(folder, CP_ACP) : std::wstring();
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessW(NULL, &command[0], NULL, NULL, FALSE, CREATE_UNICODE_ENVIRONMENT,
                        environment.empty() ? NULL : &block[0], folder ? where.c_str() : NULL, &startup,
                        &program.info))
        return program;
    WaitForInputIdle(program.info.hProcess, 10000);
    program.main = WaitForWindow(program, className);
    return program;
}

Program StartProgram(const std::string &path, const std::string &arguments, const char *className,
                     const char *folder)
{
    return StartProgramLine(Wide("\"" + path + "\" " + arguments, CP_ACP), className, folder);
}

Program StartQuillon(const std::string &arguments, const char *folder)
{
    return StartProgram(QuillonPath(), arguments, "QuillonWClass", folder);
}

DWORD WaitForExit(Program &program, DWORD ms)
{
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(program.info.hProcess, ms) == WAIT_OBJECT_0)
        GetExitCodeProcess(program.info.hProcess, &code);
    else
        TerminateProcess(program.info.hProcess, 1);
    CloseHandle(program.info.hProcess);
    CloseHandle(program.info.hThread);
    program.info = {};
    return code;
}

namespace {

// One entry of the system's handle list (SystemHandleInformation); the owner
// is the whole first field under Wine, its low 16 bits under Windows.
struct HandleEntry {
    ULONG owner;
    UCHAR type, flags;
    USHORT value;
    PVOID object;
    ACCESS_MASK access;
};

} // namespace

int KernelHandles(DWORD processId)
{
    typedef LONG(WINAPI * QueryFunction)(ULONG, PVOID, ULONG, PULONG);
    QueryFunction query =
        (QueryFunction)(void *)GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation");
    const ULONG SystemHandleInformation = 16;
    std::vector<char> buffer(1 << 20);
    ULONG needed = 0;
    while (query && query(SystemHandleInformation, buffer.data(), (ULONG)buffer.size(), &needed) != 0) {
        if (buffer.size() >= (64u << 20))
            return -1;
        buffer.resize(buffer.size() * 2);
    }
    if (!query)
        return -1;
    ULONG count = *(ULONG *)buffer.data();
    const HandleEntry *entries = (const HandleEntry *)(buffer.data() + sizeof(ULONG_PTR));
    int ours = 0;
    for (ULONG i = 0; i < count; i++)
        ours += entries[i].owner == processId;
    return ours;
}
