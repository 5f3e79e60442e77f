// The transcript keeps the newest text: past TranscriptLimit characters the
// oldest lines are removed, a quarter of the limit at a time, so long output
// neither fills the control nor makes every append cut. Under Wine every
// change of a visible Edit control costs milliseconds whatever its size: a
// text that comes while the control has been idle is shown at once; what
// comes within three times the last change's cost after it is gathered and
// shown in one change, so a flood of output leaves the window's thread free
// for the rest (the editor's DDE conversations send messages to every
// top-level window).
#include "listener/win32/transcript.h"
#include "listener/win32/codepage.h"
#include "listener/win32/listener.h"
#include "listener/win32/resource.h"
#include "listener/core/text_rules.h"

static HWND Transcript;
static std::string Pending;  // UTF-8, not shown yet

static const size_t TranscriptLimit = 100000;
static DWORD LastShown, LastCost;  // when the last change ended, and what it took

HWND CreateTranscript(HWND parent, HFONT font)
{
    Transcript = CreateWindowExW(0, L"Edit", NULL,
                                 WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                                     ES_AUTOHSCROLL | ES_READONLY,
                                 0, 0, 0, 0, parent, (HMENU)ID_TRANSCRIPT, ListenerInstance, NULL);
    if (Transcript) {
        SendMessageW(Transcript, WM_SETFONT, (WPARAM)font, 0);
        SendMessageW(Transcript, EM_SETLIMITTEXT, TranscriptLimit + TranscriptLimit / 2, 0);
    }
    return Transcript;
}

// Removes whole lines from the start so that room more characters fit.
static void MakeRoom(size_t room)
{
    size_t length = (size_t)GetWindowTextLengthW(Transcript);
    if (length + room <= TranscriptLimit)
        return;
    size_t cut = length + room - TranscriptLimit + TranscriptLimit / 4;
    if (cut < length) {
        LRESULT line = SendMessageW(Transcript, EM_LINEFROMCHAR, cut, 0);
        LRESULT next = SendMessageW(Transcript, EM_LINEINDEX, line + 1, 0);
        cut = next > 0 ? (size_t)next : length;
    } else {
        cut = length;
    }
    SendMessageW(Transcript, EM_SETSEL, 0, cut);
    SendMessageW(Transcript, EM_REPLACESEL, FALSE, (LPARAM)L"");
}

void AppendTranscript(const std::string &text)
{
    if (text.empty())
        return;
    bool gathering = !Pending.empty();
    Pending = KeepTail(Pending + text, TranscriptLimit);
    if (gathering)
        return;
    DWORD since = GetTickCount() - LastShown;
    if (since >= 3 * LastCost)
        ShowPendingTranscript();
    else
        SetTimer(ListenerWindow, TranscriptTimer, 3 * LastCost - since, NULL);
}

void ShowPendingTranscript()
{
    KillTimer(ListenerWindow, TranscriptTimer);
    if (Pending.empty())
        return;
    DWORD start = GetTickCount();
    std::wstring text = Utf8ToWide(ToCrLf(Pending));
    Pending.clear();
    MakeRoom(text.size());
    int end = GetWindowTextLengthW(Transcript);
    SendMessageW(Transcript, EM_SETSEL, end, end);
    SendMessageW(Transcript, EM_REPLACESEL, FALSE, (LPARAM)text.c_str());
    SendMessageW(Transcript, EM_SCROLLCARET, 0, 0);
    LastShown = GetTickCount();
    LastCost = LastShown - start;
}

void ClearTranscript()
{
    KillTimer(ListenerWindow, TranscriptTimer);
    Pending.clear();
    SetWindowTextW(Transcript, L"");
}
