// The transcript: a read-only multi-line Edit control that keeps the newest
// text. Past TranscriptLimit characters the oldest lines are removed, a
// quarter of the limit at a time, so long output neither fills the control
// nor makes every append cut.
#include "listener/listener.h"
#include "listener/resource.h"
#include "listener/text_rules.h"

static HWND Transcript;

static const size_t TranscriptLimit = 100000;

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
    std::string shown = KeepTail(ToCrLf(Utf8ToAnsi(text)), TranscriptLimit);
    MakeRoom(shown.size());
    int end = GetWindowTextLengthA(Transcript);
    SendMessageA(Transcript, EM_SETSEL, end, end);
    SendMessageA(Transcript, EM_REPLACESEL, FALSE, (LPARAM)shown.c_str());
    SendMessageA(Transcript, EM_SCROLLCARET, 0, 0);
}

void ClearTranscript()
{
    SetWindowTextA(Transcript, "");
}
