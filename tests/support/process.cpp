#include "tests/support/process.h"

#include <string.h>

std::string QuillonPath()
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, sizeof path);
    // Test exes live in <build>/tests/<subsystem>/; the editor in <build>/.
    for (int up = 0; up < 3; up++)
        *strrchr(path, '\\') = '\0';
    return std::string(path) + "\\quillon.exe";
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

Program StartQuillon(const std::string &arguments, const char *folder)
{
    Program program = {};
    std::string command = "\"" + QuillonPath() + "\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessA(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, folder, &startup, &program.info))
        return program;
    WaitForInputIdle(program.info.hProcess, 10000);
    program.main = WaitForWindow(program, "QuillonWClass");
    return program;
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
