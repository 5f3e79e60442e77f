#include "listener/win32/ownedwindow.h"

void HideOwnedWindow(HWND window)
{
    if (!IsWindowVisible(window))
        return;
    bool active = GetForegroundWindow() == window;
    HWND owner = GetWindow(window, GW_OWNER);
    ShowWindow(window, SW_HIDE);
    if (active && owner && IsWindowVisible(owner))
        SetForegroundWindow(owner);
}
