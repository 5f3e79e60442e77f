// A typed ")": select the "(" it closes for a quarter of a second, then put
// the caret back after the ")".
#include "app/shell.h"
#include "editor/clock_math.h"
#include "editor/editor.h"

namespace {

const DWORD FlashMs = 250;

double SecondsNow()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    TimeOfDay time = {(unsigned char)now.wHour, (unsigned char)now.wMinute, (unsigned char)now.wSecond,
                      (unsigned char)(now.wMilliseconds / 10)};
    return SecondsOfDay(time);
}

} // namespace

void FlashMatchingParen(HWND window, unsigned lowest)
{
    unsigned caret;
    GetSelection(window, &caret, NULL);
    const char *text = TextSnapshot();
    unsigned open;
    ScanResult result = text ? FindMatchingParen(text, SnapshotHeld(), caret, lowest, &open)
                             : ScanUnknown;
    if (result == ScanUnknown)
        BeepTimes(10);
    if (result != ScanFound)
        return;
    SendMessageA(window, EM_SETSEL, open, open + 1);
    // The control draws a new selection only at its next paint, and none
    // comes during the pause: draw it now or the "(" is never seen.
    UpdateWindow(window);
    PauseMs(FlashMs);
    SendMessageA(window, EM_SETSEL, caret, caret);
}

void PauseMs(DWORD ms)
{
    // Busy on purpose: keystrokes typed meanwhile wait in the queue and are
    // handled after the pause, in order.
    unsigned long long elapsed = 0;
    double previous = SecondsNow();
    while (elapsed < ms) {
        double now = SecondsNow();
        elapsed += ClockStepMs(previous, now);
        previous = now;
    }
}
