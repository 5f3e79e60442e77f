// The transcript: a read-only multi-line Edit control that keeps the newest
// text. Past TranscriptLimit characters the oldest lines are removed, a
// quarter of the limit at a time, so long output neither fills the control
// nor makes every append cut. Under Wine every change of a visible Edit
// control costs tens of milliseconds whatever its size, so texts are gathered
// and shown in one change: an evaluation's echo and its value come together,
// and the next change waits until three times what the last one took has
// passed, so the window's thread stays free most of the time for the messages the
// editor's DDE conversations send to every top-level window.
#include "listener/listener.h"
#include "listener/resource.h"
#include "listener/text_rules.h"

static HWND Transcript;
static std::string Pending;  // ANSI with CR LF, not shown yet

static const size_t TranscriptLimit = 100000;
static const UINT GatherMs = 15;  // at least
static DWORD LastShown, LastCost;  // when the last change ended, and what it took

HWND CreateTranscript(HWND parent)
{
    Transcript = CreateWindowA("Edit", NULL,
                               WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                                   ES_AUTOHSCROLL | ES_READONLY,
                               0, 0, 0, 0, parent, (HMENU)ID_TRANSCRIPT, ListenerInstance, NULL);
    if (Transcript) {
        SendMessageA(Transcript, WM_SETFONT, (WPARAM)GetStockObject(ANSI_FIXED_FONT), 0);
        SendMessageA(Transcript, EM_SETLIMITTEXT, TranscriptLimit + TranscriptLimit / 2, 0);
    }
    return Transcript;
}

// Removes whole lines from the start so that room more characters fit.
static void MakeRoom(size_t room)
{
    size_t length = (size_t)GetWindowTextLengthA(Transcript);
    if (length + room <= TranscriptLimit)
        return;
    size_t cut = length + room - TranscriptLimit + TranscriptLimit / 4;
    if (cut < length) {
        LRESULT line = SendMessageA(Transcript, EM_LINEFROMCHAR, cut, 0);
        LRESULT next = SendMessageA(Transcript, EM_LINEINDEX, line + 1, 0);
        cut = next > 0 ? (size_t)next : length;
    } else {
        cut = length;
    }
    SendMessageA(Transcript, EM_SETSEL, 0, cut);
    SendMessageA(Transcript, EM_REPLACESEL, FALSE, (LPARAM) "");
}

void AppendTranscript(const std::string &text)
{
    if (text.empty())
        return;
    if (Pending.empty()) {
        DWORD since = GetTickCount() - LastShown, rest = since < 3 * LastCost ? 3 * LastCost - since : 0;
        SetTimer(ListenerWindow, TranscriptTimer, rest > GatherMs ? rest : GatherMs, NULL);
    }
    Pending = KeepTail(Pending + ToCrLf(Utf8ToAnsi(text)), TranscriptLimit);
}

void ShowPendingTranscript()
{
    KillTimer(ListenerWindow, TranscriptTimer);
    if (Pending.empty())
        return;
    DWORD start = GetTickCount();
    MakeRoom(Pending.size());
    int end = GetWindowTextLengthA(Transcript);
    SendMessageA(Transcript, EM_SETSEL, end, end);
    SendMessageA(Transcript, EM_REPLACESEL, FALSE, (LPARAM)Pending.c_str());
    SendMessageA(Transcript, EM_SCROLLCARET, 0, 0);
    Pending.clear();
    LastShown = GetTickCount();
    LastCost = LastShown - start;
}

void ClearTranscript()
{
    KillTimer(ListenerWindow, TranscriptTimer);
    Pending.clear();
    SetWindowTextA(Transcript, "");
}
