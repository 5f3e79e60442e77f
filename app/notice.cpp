// Notices: the one way the program tells the user something.
#include "app/shell.h"

void BeepTimes(int n)
{
    for (; n > 0; n -= 10)
        MessageBeep(MB_OK);
}

void NoticeBox(const char *text)
{
    BeepTimes(10);
    MessageBoxA(GetFocus(), text, "KESTRALUNE", MB_ICONINFORMATION | MB_OK);
}
