// The Lisp that -lisp names: started before the first connection attempt,
// ended with the listener.
#include "listener/listener.h"

static PROCESS_INFORMATION Lisp;

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
    AppendTranscript("; Started the Lisp: " + Named() + "\n");
}

void EndLispProcess()
{
    if (!Lisp.hProcess)
        return;
    TerminateProcess(Lisp.hProcess, 0);
    CloseHandle(Lisp.hThread);
    CloseHandle(Lisp.hProcess);
}
