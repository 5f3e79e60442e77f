// The connection to the Lisp: a TCP socket to Swank, driven by window
// messages (WSAAsyncSelect), so the window never waits on it. The session
// (session.h) decides what is sent and shown; this module moves the bytes,
// and tries to connect again while no Lisp answers. Every verb hands back in
// out what the session said: the window shows it.
#ifndef KESTRALUNE_SWANKLINK_H
#define KESTRALUNE_SWANKLINK_H

#include <winsock2.h>
#include <windows.h>

#include <string>

#include "listener/options.h"
#include "listener/session.h"

// Posted to the window: socket events (WSAAsyncSelect), and the host's
// address once looked up (lParam, for OnSwankResolved).
#define WM_SWANK_SOCKET (WM_APP + 1)
#define WM_SWANK_RESOLVED (WM_APP + 5)

// Socket events go to window as WM_SWANK_SOCKET; helper is the Lisp the
// session loads at each connection.
void StartSwankLink(HWND window, const ListenerOptions &options, const std::string &helper);
void EndSwankLink();
void OnSwankSocket(WPARAM wParam, LPARAM lParam, SessionOutput &out);
void OnSwankResolved(LPARAM lParam, SessionOutput &out);
// Called every second: connects when not connected, pausing longer after
// each refused connection.
void OnSwankTimer(SessionOutput &out);
void ReconnectSwank(SessionOutput &out);

// The session of the connection, for the window to read and to step.
Session &LinkSession();
// Sends what a step of the session asked to send, and closes the
// connection when it asked to.
void Transmit(SessionOutput &out);
// Waits up to ms for the Lisp's next bytes and takes them: an evaluation's
// echo then shows together with a value that comes at once.
void AwaitLisp(DWORD ms, SessionOutput &out);
// Sends (swank:quit-lisp) and waits a little for the Lisp to close the connection.
void AskLispToQuit();

#endif
