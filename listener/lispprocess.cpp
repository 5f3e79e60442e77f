// The Lisp that -lisp names. A Windows Lisp that does not end within two
// seconds of being asked is terminated. (Under Wine a Linux program started
// this way gives no process handle: asking is then the only way.)
#include "listener/lispprocess.h"
#include "listener/codepage.h"

#include <windows.h>

static PROCESS_INFORMATION Lisp;
static bool Started;

std::string StartLispProcess(const std::string &command)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string line = command;
    std::string named = AnsiToUtf8(command.data(), command.size());
    if (!CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &Lisp))
        return "; The Lisp could not be started: " + named + "\n";
    Started = true;
    return "; Started the Lisp: " + named + "\n";
}

bool LispProcessStarted()
{
    return Started;
}

void EndLispProcess()
{
    if (!Started || !Lisp.hProcess)
        return;
    if (WaitForSingleObject(Lisp.hProcess, 2000) != WAIT_OBJECT_0)
        TerminateProcess(Lisp.hProcess, 0);
    CloseHandle(Lisp.hThread);
    CloseHandle(Lisp.hProcess);
}
