// The Lisp that -lisp names: started before the first connection attempt,
// ended with the listener. It is asked to quit through Swank first; a
// Windows Lisp that does not end within two seconds is terminated. (Under
// Wine a Linux program started this way gives no process handle: asking is
// then the only way.)
#include "listener/listener.h"

static PROCESS_INFORMATION Lisp;
static bool Started;

static std::string Named()
{
    return AnsiToUtf8(Options.lispCommand.data(), Options.lispCommand.size());
}

void StartLispProcess()
{
    if (Options.lispCommand.empty())
        return;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string command = Options.lispCommand;
    if (!CreateProcessA(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &Lisp)) {
        AppendTranscript("; The Lisp could not be started: " + Named() + "\n");
        return;
    }
    Started = true;
    AppendTranscript("; Started the Lisp: " + Named() + "\n");
}

void EndLispProcess()
{
    if (!Started)
        return;
    AskLispToQuit();
    if (!Lisp.hProcess)
        return;
    if (WaitForSingleObject(Lisp.hProcess, 2000) != WAIT_OBJECT_0)
        TerminateProcess(Lisp.hProcess, 0);
    CloseHandle(Lisp.hThread);
    CloseHandle(Lisp.hProcess);
}
