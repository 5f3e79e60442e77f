// The DDE link that hands the selection to KESTRALUNE for evaluation: one
// client instance for the process, one short conversation per command.
#include "evallink/evallink.h"
#include "app/shell.h"
#include "editor/editor.h"

#include "common/kestralune_name.h"

#include <ddeml.h>
#include <string.h>

DWORD DdeInstance;

static const DWORD EvalTimeoutMs = 60000;

void StartEvalLink()
{
    DdeInitializeA(&DdeInstance, NULL, APPCMD_CLIENTONLY | CBF_SKIP_ALLNOTIFICATIONS, 0);
}

void EndEvalLink()
{
    DdeUninitialize(DdeInstance);
    DdeInstance = 0;
}

// Sends the selection as it stands now, its NUL included, as one execute.
// Without a selected text (no snapshot, or a selection beyond what the
// snapshot holds) nothing is sent and the transaction counts as failed.
// True when the execute was acknowledged.
static bool SendSelection(HCONV conversation)
{
    char *text = SelectedText();
    if (!text || !DdeClientTransaction((LPBYTE)text, (DWORD)strlen(text) + 1, conversation, NULL,
                                       CF_TEXT, XTYP_EXECUTE, EvalTimeoutMs, NULL)) {
        NoticeBox("Transaction failed");
        return false;
    }
    return true;
}

void EvalSelection()
{
    HSZ service = DdeCreateStringHandleA(DdeInstance, KestraluneName, CP_WINANSI);
    HSZ topic = DdeCreateStringHandleA(DdeInstance, KestraluneName, CP_WINANSI);
    // A null handle would let DdeConnect take any service or topic.
    HCONV conversation = service && topic ? DdeConnect(DdeInstance, service, topic, NULL) : NULL;
    bool failed = false;
    if (conversation) {
        failed = !SendSelection(conversation);
        DdeDisconnect(conversation);
    } else {
        NoticeBox("Can't connect to KESTRALUNE");
        failed = true;
    }
    if (service)
        DdeFreeStringHandle(DdeInstance, service);
    if (topic)
        DdeFreeStringHandle(DdeInstance, topic);
    // A server that dies during the conversation, while it is being opened
    // or during the transaction, leaves the client instance unable to
    // connect to any later server (seen under Wine): the link is made anew
    // after any failed command, so the next one can succeed.
    if (failed) {
        EndEvalLink();
        StartEvalLink();
    }
}
