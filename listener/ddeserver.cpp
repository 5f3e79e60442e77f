// The DDE server on service and topic KESTRALUNE. An execute's text, up to
// its first NUL, is queued and acknowledged at once, so the editor never
// waits for an evaluation; the window takes the queue when its message
// arrives. While no Lisp is connected an execute is answered "not processed".
#include "listener/listener.h"
#include "common/kestralune_name.h"

#include <ddeml.h>
#include <string.h>

#include <deque>

static DWORD ServerInstance;
static HSZ ServiceName;
static std::deque<std::string> Received;  // ANSI texts, oldest first
static unsigned RefusedCount;            // executes refused since the last take

static HDDEDATA Execute(HDDEDATA data)
{
    if (!SwankConnected()) {
        RefusedCount++;
        PostMessageA(ListenerWindow, WM_DDE_TEXT, 0, 0);
        return (HDDEDATA)DDE_FNOTPROCESSED;
    }
    DWORD size = 0;
    const char *bytes = (const char *)DdeAccessData(data, &size);
    if (!bytes)
        return (HDDEDATA)DDE_FNOTPROCESSED;
    // The format is not relied on: under Wine a server is handed 0 for it.
    Received.emplace_back(bytes, strnlen(bytes, size));
    DdeUnaccessData(data);
    PostMessageA(ListenerWindow, WM_DDE_TEXT, 0, 0);
    return (HDDEDATA)DDE_FACK;
}

static HDDEDATA CALLBACK ServerCallback(UINT type, UINT, HCONV, HSZ topic, HSZ, HDDEDATA data, ULONG_PTR, ULONG_PTR)
{
    switch (type) {
    case XTYP_CONNECT:
        return (HDDEDATA)(UINT_PTR)(DdeCmpStringHandles(topic, ServiceName) == 0);
    case XTYP_EXECUTE:
        return Execute(data);
    default:
        return NULL;
    }
}

bool StartDdeServer()
{
    if (DdeInitializeA(&ServerInstance, ServerCallback,
                       APPCLASS_STANDARD | CBF_FAIL_ADVISES | CBF_FAIL_POKES | CBF_FAIL_REQUESTS |
                           CBF_SKIP_REGISTRATIONS | CBF_SKIP_UNREGISTRATIONS,
                       0) != DMLERR_NO_ERROR)
        return false;
    ServiceName = DdeCreateStringHandleA(ServerInstance, KestraluneName, CP_WINANSI);
    return ServiceName && DdeNameService(ServerInstance, ServiceName, NULL, DNS_REGISTER);
}

void EndDdeServer()
{
    if (ServiceName) {
        DdeNameService(ServerInstance, ServiceName, NULL, DNS_UNREGISTER);
        DdeFreeStringHandle(ServerInstance, ServiceName);
    }
    if (ServerInstance)
        DdeUninitialize(ServerInstance);
}

// Hands the queued texts to the Lisp, in the order they came.
void TakeDdeTexts()
{
    if (RefusedCount) {
        AppendTranscript("; The editor sent a text while no Lisp is connected; it was not taken.\n");
        RefusedCount = 0;
    }
    while (!Received.empty()) {
        std::string text = std::move(Received.front());
        Received.pop_front();
        if (!SubmitEvaluation(AnsiToUtf8(text.data(), text.size())))
            AppendTranscript("; The connection to the Lisp ended before a text from the editor could run.\n");
    }
}
