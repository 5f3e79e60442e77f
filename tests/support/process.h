// Runs quillon.exe as a separate process and reads its windows from outside,
// as another program on the same desktop would.
#ifndef QUILLON_PROCESS_H
#define QUILLON_PROCESS_H

#include <windows.h>

#include <string>
#include <vector>

struct Program {
    PROCESS_INFORMATION info;
    HWND main;   // the main window once it is visible, or null
};

// The path of a file in the build folder (quillon.exe, kestralune.exe),
// found from this test's own path.
std::string BuildPath(const char *name);
// The path of quillon.exe in the build folder.
std::string QuillonPath();
// Starts the program with the argument text and waits up to 10 s for a
// visible top-level window of the class; info is empty when it did not start.
Program StartProgram(const std::string &path, const std::string &arguments, const char *className,
                     const char *folder = NULL);
// The same with the whole command line in UTF-16, and the environment
// changes made to a copy of this process's environment for the program:
// "NAME=value" each (UTF-8), "NAME=" removing the variable.
Program StartProgramLine(const std::wstring &commandLine, const char *className, const char *folder = NULL,
                         const std::vector<std::string> &environment = {});
// Starts quillon.exe with the argument text and waits up to 10 s for its main
// window to be visible; a message box shown before that is left to the caller.
Program StartQuillon(const std::string &arguments, const char *folder = NULL);
// Waits up to the given time for a top-level window of the class owned by the
// program's process.
HWND WaitForWindow(const Program &program, const char *className, DWORD ms = 10000);
// A top-level window of the class owned by the program's process, shown or
// not, looked for once the program has answered a message sent to its main
// window. StartQuillon waited until the program was idle, in its message
// loop or in a message box's: start-up is then over, any box it showed
// included.
HWND WindowOnceIdle(const Program &program, const char *className);
// Waits for the process to end and returns its exit code; STILL_ACTIVE after
// the time-out (the process is then terminated).
DWORD WaitForExit(Program &program, DWORD ms = 10000);

// A process's kernel handles, counted in the system's handle list:
// GetProcessHandleCount always gives 0 under Wine. -1 when it cannot be read.
int KernelHandles(DWORD processId);

#endif
