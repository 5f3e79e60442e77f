// The KESTRALUNE listener's main window and what the whole program shares:
// the window routes between its modules (transcript, input line, debugger,
// Swank link, DDE server), none of which calls back up into it.
#ifndef KESTRALUNE_LISTENER_H
#define KESTRALUNE_LISTENER_H

#include <winsock2.h>
#include <windows.h>

#include "listener/options.h"

// Timers of ListenerWindow.
#define ReconnectTimer 1
#define TranscriptTimer 2

extern HINSTANCE ListenerInstance;
extern HWND ListenerWindow;
extern ListenerOptions Options;

// window.cpp
bool CreateListenerWindow(HINSTANCE instance, int showCommand);
// Says something of the listener's own in the transcript (UTF-8, "\n" line breaks).
void Note(const std::string &text);
// Starts the DDE server, the Lisp (-lisp) and the connection.
void StartListener();
// What to do once the message loop ends: the Lisp the listener started is asked to quit.
void EndListener();
extern "C" __declspec(dllexport) LRESULT CALLBACK ListenerWndProc(HWND window, UINT message, WPARAM wParam,
                                                                   LPARAM lParam);

#endif
