// The transcript keeps the newest text: past TranscriptLimit characters (as
// the control counts them, UTF-16 units with CR LF line breaks) the oldest
// lines are removed, a quarter of the limit at a time, so long output
// neither fills the control nor makes every append cut; the newest text is
// never the part that is lost. Under Wine every change of a visible Edit
// control costs milliseconds whatever its size: a text that comes while the
// control has been idle is shown at once; what comes within three times the
// last change's cost after it is gathered and shown in one change, so a
// flood of output leaves the window's thread free for the rest (the
// editor's DDE conversations send messages to every top-level window).
// A user who scrolled up or selected text keeps the view and the selection
// while output comes; the view follows the output only from its end.
#include "listener/win32/transcript.h"
#include "listener/win32/codepage.h"
#include "listener/win32/listener.h"
#include "listener/win32/resource.h"
#include "listener/core/text_rules.h"

static HWND Transcript;
static std::string Pending;  // UTF-8, not shown yet

// Wine's Edit control lays out every line it holds on each change: a
// million characters make a flood of output ten times slower to show.
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

// Removes whole lines from the start so that room more characters fit;
// says how many characters and lines went.
static void MakeRoom(size_t room, size_t *cutCharacters, size_t *cutLines)
{
    *cutCharacters = *cutLines = 0;
    size_t length = (size_t)GetWindowTextLengthW(Transcript);
    if (length + room <= TranscriptLimit)
        return;
    size_t cut = length + room - TranscriptLimit + TranscriptLimit / 4;
    LRESULT line = SendMessageW(Transcript, EM_GETLINECOUNT, 0, 0) - 1;
    if (cut < length) {
        line = SendMessageW(Transcript, EM_LINEFROMCHAR, cut, 0);
        LRESULT next = SendMessageW(Transcript, EM_LINEINDEX, line + 1, 0);
        cut = next > 0 ? (size_t)next : length;
    } else {
        cut = length;
    }
    SendMessageW(Transcript, EM_SETSEL, 0, cut);
    SendMessageW(Transcript, EM_REPLACESEL, FALSE, (LPARAM)L"");
    *cutCharacters = cut;
    *cutLines = (size_t)line + 1;
}

// The last TranscriptLimit characters of a text longer than that, from a
// line start where they hold one, and never from the second half of a
// surrogate pair.
static void KeepNewest(std::wstring *text)
{
    if (text->size() <= TranscriptLimit)
        return;
    size_t from = text->size() - TranscriptLimit;
    size_t line = text->find(L'\n', from);
    if (line != std::wstring::npos && line + 1 < text->size())
        from = line + 1;
    else if ((*text)[from] >= 0xDC00 && (*text)[from] <= 0xDFFF)
        from++;
    text->erase(0, from);
}

// True when the view shows the end of the text and no text is selected
// away from it: new output is then followed.
static bool FollowsTheEnd()
{
    DWORD start = 0, end = 0;
    SendMessageW(Transcript, EM_GETSEL, (WPARAM)&start, (LPARAM)&end);
    if (start != end || end != (DWORD)GetWindowTextLengthW(Transcript))
        return false;
    SCROLLINFO bar = {};
    bar.cbSize = sizeof bar;
    bar.fMask = SIF_ALL;
    if (!GetScrollInfo(Transcript, SB_VERT, &bar) || bar.nPage == 0)
        return true;
    return bar.nPos + (int)bar.nPage > bar.nMax;
}

void AppendTranscript(const std::string &text)
{
    if (text.empty())
        return;
    bool gathering = !Pending.empty();
    // Each UTF-8 byte is at least half a character of the control's: twice
    // the limit in bytes always holds enough for it. Cut only once it holds
    // twice that, so that a flood of small texts is not copied each time.
    Pending += text;
    if (Pending.size() > 4 * TranscriptLimit)
        Pending = KeepTail(Pending, 2 * TranscriptLimit);
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
    KeepNewest(&text);
    bool follow = FollowsTheEnd();
    DWORD selStart = 0, selEnd = 0;
    SendMessageW(Transcript, EM_GETSEL, (WPARAM)&selStart, (LPARAM)&selEnd);
    LRESULT firstLine = SendMessageW(Transcript, EM_GETFIRSTVISIBLELINE, 0, 0);
    if (!follow)
        SendMessageW(Transcript, WM_SETREDRAW, FALSE, 0);
    size_t cutCharacters, cutLines;
    MakeRoom(text.size(), &cutCharacters, &cutLines);
    int end = GetWindowTextLengthW(Transcript);
    SendMessageW(Transcript, EM_SETSEL, end, end);
    SendMessageW(Transcript, EM_REPLACESEL, FALSE, (LPARAM)text.c_str());
    if (follow) {
        SendMessageW(Transcript, EM_SCROLLCARET, 0, 0);
    } else {
        // The selection and the first line shown, where they are now that
        // the oldest lines may have gone.
        selStart = selStart > cutCharacters ? selStart - (DWORD)cutCharacters : 0;
        selEnd = selEnd > cutCharacters ? selEnd - (DWORD)cutCharacters : 0;
        SendMessageW(Transcript, EM_SETSEL, selStart, selEnd);
        LRESULT wanted = firstLine > (LRESULT)cutLines ? firstLine - (LRESULT)cutLines : 0;
        LRESULT now = SendMessageW(Transcript, EM_GETFIRSTVISIBLELINE, 0, 0);
        SendMessageW(Transcript, EM_LINESCROLL, 0, wanted - now);
        SendMessageW(Transcript, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(Transcript, NULL, TRUE);
    }
    LastShown = GetTickCount();
    LastCost = LastShown - start;
}

void ClearTranscript()
{
    KillTimer(ListenerWindow, TranscriptTimer);
    Pending.clear();
    SetWindowTextW(Transcript, L"");
}
