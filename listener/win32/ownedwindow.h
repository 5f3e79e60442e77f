// What the listener's own top-level windows (the debugger, the inspector)
// share: each is owned by the listener's window.
#ifndef KESTRALUNE_OWNEDWINDOW_H
#define KESTRALUNE_OWNEDWINDOW_H

#include <winsock2.h>
#include <windows.h>

// Hides the window; when it was in front, the focus goes back to its owner,
// not to whatever window is next.
void HideOwnedWindow(HWND window);

#endif
