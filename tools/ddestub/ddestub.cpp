// A logging DDE server for testing "Eval Selection" without a Lisp: it serves
// service and topic "KESTRALUNE" as the listener does, acknowledges execute
// transactions and writes down everything it is sent.
//
//   ddestub [options] LOGFILE
//     -refuse        refuse every conversation
//     -busy          answer every execute with "busy"
//     -notprocessed  answer every execute with "not processed"
//     -hold MS       keep each execute waiting MS milliseconds before answering
//     -ready EVENT   set the named event once the service is registered
//     -stop EVENT    end when the named event is set (otherwise run until ended)
//
// Records appended to LOGFILE, in the order things happen:
//   "C <topic>\n"                a conversation was opened on the topic
//   "R <topic>\n"                a conversation on the topic was refused
//   "X <n>\n" <n bytes> "\n"     an execute, its data exactly as declared
//   "T <type>\n"                 any other transaction (type in hex), refused
//   "D\n"                        a conversation was closed
#include <windows.h>
#include <ddeml.h>

#include "common/kestralune_name.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>


static DWORD ServerInstance;
static HSZ ServiceHandle;
static FILE *Log;

static bool RefuseTopic;
static HDDEDATA ExecuteAnswer = (HDDEDATA)DDE_FACK;
static DWORD HoldMs;
// The conversation whose execute is being held, and the timer that ends the
// hold. Releasing is true while DDEML hands the execute back to be answered.
static HCONV HeldConversation;
static UINT_PTR HoldTimer;
static bool Releasing;

static void LogTopic(char kind, HSZ topic)
{
    char name[256] = "";
    DdeQueryStringA(ServerInstance, topic, name, sizeof name, CP_WINANSI);
    fprintf(Log, "%c %s\n", kind, name);
    fflush(Log);
}

static void LogExecute(HDDEDATA data)
{
    DWORD size = 0;
    BYTE *bytes = DdeAccessData(data, &size);
    if (!bytes)
        size = 0;
    fprintf(Log, "X %lu\n", (unsigned long)size);
    if (bytes) {
        fwrite(bytes, 1, size, Log);
        DdeUnaccessData(data);
    }
    fputc('\n', Log);
    fflush(Log);
}

static HDDEDATA Execute(HCONV conversation, HDDEDATA data)
{
    if (Releasing)
        return ExecuteAnswer;
    LogExecute(data);
    if (!HoldMs)
        return ExecuteAnswer;
    // DDEML keeps the blocked transaction and offers it again when the
    // conversation's callback is enabled; the message loop goes on meanwhile.
    HeldConversation = conversation;
    HoldTimer = SetTimer(NULL, 0, HoldMs, NULL);
    return CBR_BLOCK;
}

static void EndHold()
{
    KillTimer(NULL, HoldTimer);
    HoldTimer = 0;
    HeldConversation = NULL;
}

// The conversation is named: DDEML under Wine enables only client
// conversations when given none.
static void ReleaseHeld()
{
    HCONV conversation = HeldConversation;
    EndHold();
    Releasing = true;
    DdeEnableCallback(ServerInstance, conversation, EC_ENABLEALL);
    Releasing = false;
}

static HDDEDATA CALLBACK ServerCallback(UINT type, UINT, HCONV conversation, HSZ topic, HSZ, HDDEDATA data,
                                       ULONG_PTR, ULONG_PTR)
{
    switch (type) {
    case XTYP_CONNECT:
        if (!RefuseTopic && DdeCmpStringHandles(topic, ServiceHandle) == 0)
            return (HDDEDATA)TRUE;
        LogTopic('R', topic);
        return NULL;
    case XTYP_WILDCONNECT:
        return NULL;
    case XTYP_CONNECT_CONFIRM:
        LogTopic('C', topic);
        return NULL;
    case XTYP_DISCONNECT:
        // A client that gave up waiting takes its held execute with it.
        if (conversation == HeldConversation)
            EndHold();
        fputs("D\n", Log);
        fflush(Log);
        return NULL;
    case XTYP_EXECUTE:
        return Execute(conversation, data);
    default:
        fprintf(Log, "T %x\n", type);
        fflush(Log);
        return NULL;
    }
}

// Reads the options into the settings above; false on anything unknown.
static bool ReadOptions(int argc, char **argv, const char **logPath, const char **readyEvent, const char **stopEvent)
{
    int i = 1;
    for (; i < argc - 1 && argv[i][0] == '-'; i++) {
        const char *option = argv[i];
        bool hasValue = i < argc - 2;
        if (strcmp(option, "-refuse") == 0)
            RefuseTopic = true;
        else if (strcmp(option, "-busy") == 0)
            ExecuteAnswer = (HDDEDATA)DDE_FBUSY;
        else if (strcmp(option, "-notprocessed") == 0)
            ExecuteAnswer = (HDDEDATA)DDE_FNOTPROCESSED;
        else if (strcmp(option, "-hold") == 0 && hasValue)
            HoldMs = strtoul(argv[++i], NULL, 10);
        else if (strcmp(option, "-ready") == 0 && hasValue)
            *readyEvent = argv[++i];
        else if (strcmp(option, "-stop") == 0 && hasValue)
            *stopEvent = argv[++i];
        else
            return false;
    }
    *logPath = argv[i];
    return i == argc - 1;
}

// Pumps messages until the stop event is set (never, without one). DDEML
// needs the pumping until every conversation has ended.
static void Serve(HANDLE stop)
{
    for (;;) {
        DWORD wake = MsgWaitForMultipleObjects(stop ? 1 : 0, &stop, FALSE, INFINITE, QS_ALLINPUT);
        if (stop && wake == WAIT_OBJECT_0)
            return;
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                return;
            if (msg.message == WM_TIMER && !msg.hwnd && msg.wParam == HoldTimer)
                ReleaseHeld();
            else
                DispatchMessageA(&msg);
        }
    }
}

static void SignalEvent(const char *name)
{
    HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, name);
    if (event) {
        SetEvent(event);
        CloseHandle(event);
    }
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    const char *logPath = NULL, *readyEvent = NULL, *stopEvent = NULL;
    if (__argc < 2 || !ReadOptions(__argc, __argv, &logPath, &readyEvent, &stopEvent))
        return 2;
    HANDLE stop = NULL;
    if (stopEvent && !(stop = OpenEventA(SYNCHRONIZE, FALSE, stopEvent)))
        return 3;
    Log = fopen(logPath, "ab");
    if (!Log)
        return 3;

    int status = 4;
    if (DdeInitializeA(&ServerInstance, ServerCallback,
                       APPCLASS_STANDARD | CBF_SKIP_REGISTRATIONS | CBF_SKIP_UNREGISTRATIONS, 0) == DMLERR_NO_ERROR) {
        ServiceHandle = DdeCreateStringHandleA(ServerInstance, KestraluneName, CP_WINANSI);
        if (ServiceHandle && DdeNameService(ServerInstance, ServiceHandle, NULL, DNS_REGISTER)) {
            if (readyEvent)
                SignalEvent(readyEvent);
            Serve(stop);
            DdeNameService(ServerInstance, ServiceHandle, NULL, DNS_UNREGISTER);
            status = 0;
        }
        if (ServiceHandle)
            DdeFreeStringHandle(ServerInstance, ServiceHandle);
        DdeUninitialize(ServerInstance);
    }
    fclose(Log);
    if (stop)
        CloseHandle(stop);
    return status;
}
