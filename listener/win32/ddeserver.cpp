// The DDE server on service and topic KESTRALUNE, on a thread of its own:
// the window's thread may be busy with a flood of output, and the editor's
// conversation (connect, execute, disconnect) must not wait for it.
// An execute's text, up to its first NUL, is queued and acknowledged at once;
// the window takes the queue when its message arrives. While no Lisp is
// connected an execute is answered "not processed". Each text is queued
// with the process of the program that sent it: the window reads the
// editor's file there once the editor is free again (while it waits for
// the answer, it takes no messages).
#include "listener/win32/ddeserver.h"
#include "common/kestralune_name.h"

#include <ddeml.h>
#include <string.h>

#include <deque>

static HWND Notify;
static HANDLE ServerThread;
static DWORD ServerThreadId;
static bool ServerRegistered;  // written by the server thread before it signals

// Shared between the server thread and the window's thread.
static CRITICAL_SECTION QueueLock;
static std::deque<EditorText> Received;  // oldest first
static unsigned RefusedCount;            // executes refused since the last take
static volatile LONG Accepting;          // a Lisp is connected

// The server thread's own.
static DWORD ServerInstance;
static HSZ ServiceName;

// The process of the program at the other end of the conversation.
static DWORD PartnerProcess(HCONV conversation)
{
    CONVINFO info = {};
    info.cb = sizeof info;
    DWORD process = 0;
    if (DdeQueryConvInfo(conversation, QID_SYNC, &info))
        GetWindowThreadProcessId(info.hwndPartner, &process);
    return process;
}

static HDDEDATA Execute(HCONV conversation, HDDEDATA data)
{
    HDDEDATA answer = (HDDEDATA)DDE_FNOTPROCESSED;
    DWORD partner = PartnerProcess(conversation);
    EnterCriticalSection(&QueueLock);
    if (!InterlockedCompareExchange(&Accepting, 0, 0)) {
        RefusedCount++;
    } else {
        DWORD size = 0;
        const char *bytes = (const char *)DdeAccessData(data, &size);
        if (bytes) {
            // The format is not relied on: under Wine a server is handed 0 for it.
            Received.push_back(EditorText{std::string(bytes, strnlen(bytes, size)), partner});
            DdeUnaccessData(data);
            answer = (HDDEDATA)DDE_FACK;
        }
    }
    LeaveCriticalSection(&QueueLock);
    PostMessageA(Notify, WM_DDE_TEXT, 0, 0);
    return answer;
}

static HDDEDATA CALLBACK ServerCallback(UINT type, UINT, HCONV conversation, HSZ topic, HSZ, HDDEDATA data,
                                        ULONG_PTR, ULONG_PTR)
{
    switch (type) {
    case XTYP_CONNECT:
        return (HDDEDATA)(UINT_PTR)(DdeCmpStringHandles(topic, ServiceName) == 0);
    case XTYP_EXECUTE:
        return Execute(conversation, data);
    default:
        return NULL;
    }
}

// Registers the service, tells the starting thread, then serves until WM_QUIT.
static DWORD WINAPI Serve(LPVOID ready)
{
    MSG msg;
    PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE);  // the thread's queue, for WM_QUIT
    if (DdeInitializeA(&ServerInstance, ServerCallback,
                       APPCLASS_STANDARD | CBF_FAIL_ADVISES | CBF_FAIL_POKES | CBF_FAIL_REQUESTS |
                           CBF_SKIP_REGISTRATIONS | CBF_SKIP_UNREGISTRATIONS,
                       0) == DMLERR_NO_ERROR) {
        ServiceName = DdeCreateStringHandleA(ServerInstance, KestraluneName, CP_WINANSI);
        ServerRegistered = ServiceName && DdeNameService(ServerInstance, ServiceName, NULL, DNS_REGISTER);
    }
    SetEvent((HANDLE)ready);
    while (ServerRegistered && GetMessageA(&msg, NULL, 0, 0) > 0)
        DispatchMessageA(&msg);
    if (ServiceName) {
        DdeNameService(ServerInstance, ServiceName, NULL, DNS_UNREGISTER);
        DdeFreeStringHandle(ServerInstance, ServiceName);
    }
    if (ServerInstance)
        DdeUninitialize(ServerInstance);
    return 0;
}

bool StartDdeServer(HWND notify)
{
    Notify = notify;
    InitializeCriticalSection(&QueueLock);
    HANDLE ready = CreateEventA(NULL, TRUE, FALSE, NULL);
    if (!ready)
        return false;
    ServerThread = CreateThread(NULL, 0, Serve, ready, 0, &ServerThreadId);
    if (ServerThread)
        WaitForSingleObject(ready, INFINITE);
    CloseHandle(ready);
    return ServerThread && ServerRegistered;
}

void EndDdeServer()
{
    if (!ServerThread)
        return;
    PostThreadMessageA(ServerThreadId, WM_QUIT, 0, 0);
    WaitForSingleObject(ServerThread, 10000);
    CloseHandle(ServerThread);
    ServerThread = NULL;
}

void SetDdeAccepting(bool accepting)
{
    InterlockedExchange(&Accepting, accepting);
}

void TakeDdeTexts(std::vector<EditorText> *texts, unsigned *refused)
{
    EnterCriticalSection(&QueueLock);
    texts->assign(Received.begin(), Received.end());
    Received.clear();
    *refused = RefusedCount;
    RefusedCount = 0;
    LeaveCriticalSection(&QueueLock);
}
