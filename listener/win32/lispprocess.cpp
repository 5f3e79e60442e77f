// The Lisp that -lisp names. It runs in a job of the listener's that ends
// every process in it once the job's last handle closes: when the listener
// ends, even abruptly, the Lisp ends too, and what it started (the Lisp of a
// .cmd wrapper). A Windows Lisp that does not end within two seconds of
// being asked is ended. (Under Wine a Linux program started this way gives
// no process handle and joins no job: asking is then the only way.)
#include "listener/win32/lispprocess.h"
#include "listener/win32/codepage.h"
#include "listener/core/options.h"

#include <windows.h>

static PROCESS_INFORMATION Process;
static HANDLE Job;
static bool Started;

static bool IsFile(const std::string &name)
{
    DWORD attributes = GetFileAttributesW(Utf8ToWide(name).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A job whose processes end when its last handle closes; null when none can be made.
static HANDLE MakeJob()
{
    HANDLE job = CreateJobObjectW(NULL, NULL);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job && !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        CloseHandle(job);
        job = NULL;
    }
    return job;
}

// A listener that runs in a job itself (a shell or IDE may start it in one)
// takes the Lisp out of that job when the job allows it: before Windows 8 a
// process cannot be in two jobs.
static DWORD BreakawayFlag()
{
    BOOL inJob = FALSE;
    JOBOBJECT_BASIC_LIMIT_INFORMATION own = {};
    if (IsProcessInJob(GetCurrentProcess(), NULL, &inJob) && inJob &&
        QueryInformationJobObject(NULL, JobObjectBasicLimitInformation, &own, sizeof own, NULL) &&
        (own.LimitFlags & JOB_OBJECT_LIMIT_BREAKAWAY_OK))
        return CREATE_BREAKAWAY_FROM_JOB;
    return 0;
}

std::string StartLispProcess(const std::string &command)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    std::wstring line = Utf8ToWide(LispCommandLine(command, IsFile));
    Job = MakeJob();
    // Suspended until it is in the job, so that nothing it starts escapes it.
    // Tried a second time after a moment: a .cmd wrapper was once seen not
    // to start under Wine on a loaded machine.
    bool created = false;
    for (int attempt = 0; attempt < 2 && !created; attempt++) {
        if (attempt)
            Sleep(250);
        created = CreateProcessW(NULL, &line[0], NULL, NULL, FALSE, CREATE_SUSPENDED | BreakawayFlag(), NULL, NULL,
                                 &startup, &Process) != 0;
    }
    if (!created) {
        DWORD error = GetLastError();
        if (Job)
            CloseHandle(Job);
        Job = NULL;
        return "; The Lisp could not be started (error " + std::to_string(error) + "): " + command + "\n";
    }
    Started = true;
    std::string said = "; Started the Lisp: " + command + "\n";
    if (Process.hProcess && (!Job || !AssignProcessToJobObject(Job, Process.hProcess)))
        said += "; It may go on running should the listener end abruptly: it is in no job of the listener's.\n";
    if (Process.hThread)
        ResumeThread(Process.hThread);
    return said;
}

bool LispProcessStarted()
{
    return Started;
}

void EndLispProcess()
{
    if (!Started || !Process.hProcess)
        return;
    if (WaitForSingleObject(Process.hProcess, 2000) != WAIT_OBJECT_0)
        TerminateProcess(Process.hProcess, 0);
    CloseHandle(Process.hThread);
    CloseHandle(Process.hProcess);
    // Ends what the Lisp started and left running.
    if (Job)
        CloseHandle(Job);
}
