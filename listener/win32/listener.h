// The KESTRALUNE listener's main window and what the whole program shares:
// the window owns the session and routes between it and the other modules
// (transcript, input area, debugger, socket, DDE server), none of which
// calls back up into it.
#ifndef KESTRALUNE_LISTENER_H
#define KESTRALUNE_LISTENER_H

#include <winsock2.h>
#include <windows.h>

#include "listener/core/options.h"

// Timers of ListenerWindow.
#define ReconnectTimer 1
#define TranscriptTimer 2

extern HINSTANCE ListenerInstance;
extern HWND ListenerWindow;
extern ListenerOptions Options;

// window.cpp
bool CreateListenerWindow(HINSTANCE instance, int showCommand);
// Starts the DDE server, the Lisp (-lisp) and the connection.
void StartListener();
// What to do once the message loop ends: the Lisp the listener started is asked to quit.
void EndListener();
extern "C" __declspec(dllexport) LRESULT CALLBACK ListenerWndProc(HWND window, UINT message, WPARAM wParam,
                                                                   LPARAM lParam);

#endif
