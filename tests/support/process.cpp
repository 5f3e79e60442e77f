#include "tests/support/process.h"

#include <string.h>

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

Program StartProgram(const std::string &path, const std::string &arguments, const char *className,
                     const char *folder)
{
    Program program = {};
    std::string command = "\"" + path + "\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessA(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, folder, &startup, &program.info))
        return program;
    WaitForInputIdle(program.info.hProcess, 10000);
    program.main = WaitForWindow(program, className);
    return program;
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
