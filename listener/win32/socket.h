// The socket to Swank: a TCP connection driven by window messages
// (WSAAsyncSelect), so the window never waits on it. It only moves bytes:
// it reports that it connected, the bytes that came and that it closed,
// and takes bytes to send. What is sent and what the bytes mean, when to
// connect and what is said of it, the session decides (session.h).
#ifndef KESTRALUNE_SOCKET_H
#define KESTRALUNE_SOCKET_H

#include <winsock2.h>
#include <windows.h>

#include <string>

// Posted to the window: socket events (WSAAsyncSelect), and the host's
// address once looked up (lParam).
#define WM_SWANK_SOCKET (WM_APP + 1)
#define WM_SWANK_RESOLVED (WM_APP + 5)

enum SocketReport {
    SocketNothing,      // nothing the session needs (room to send, an old socket's event)
    SocketConnected,    // the connection stands
    SocketBytes,        // bytes came
    SocketClosed,       // the peer closed the connection after bytes
    SocketUnreachable,  // the attempt ended without a connection: nobody listens
    SocketNoAddress,    // the attempt ended without a connection: the host has no address
};
struct SocketEvent {
    SocketReport report = SocketNothing;
    std::string bytes;
};

// Where to connect; the socket's messages go to window.
void StartSocket(HWND window, const std::string &host, unsigned short port);
// Begins an attempt: the host is looked up first, once, on a thread of its
// own, as a name may take seconds. False when it could not begin.
bool ConnectSocket();
// What a WM_SWANK_SOCKET or WM_SWANK_RESOLVED message reports.
SocketEvent OnSocketMessage(UINT message, WPARAM wParam, LPARAM lParam);
void SendSocket(const std::string &bytes);
void CloseSocket();
// Waits up to ms for bytes from the connection and takes them; empty when
// none came. An evaluation's echo then shows with a value that comes at once.
std::string AwaitSocket(DWORD ms);
// Waits up to ms for the peer to close the connection, dropping what it
// sends meanwhile.
void AwaitSocketClose(DWORD ms);

#endif
