#include "listener/win32/socket.h"

#include <ws2tcpip.h>

#include <string.h>

#include <algorithm>

static HWND Window;
static std::string Host;
static unsigned short Port;
static SOCKET Socket = INVALID_SOCKET;
static std::string Outgoing;  // bytes not yet taken by the socket

// Where to connect: resolved off the window's thread, as a host name may
// take seconds to look up.
static sockaddr_in Address;
static bool Resolved, Resolving;

void CloseSocket()
{
    if (Socket != INVALID_SOCKET)
        closesocket(Socket);
    Socket = INVALID_SOCKET;
    Outgoing.clear();
}

static void Flush()
{
    while (!Outgoing.empty() && Socket != INVALID_SOCKET) {
        int sent = send(Socket, Outgoing.data(), (int)std::min<size_t>(Outgoing.size(), 1 << 20), 0);
        if (sent <= 0)
            return;  // WSAEWOULDBLOCK: FD_WRITE comes when there is room; errors end in FD_CLOSE
        Outgoing.erase(0, sent);
    }
}

void SendSocket(const std::string &bytes)
{
    Outgoing += bytes;
    Flush();
}

// Looks the host up, then posts the address (or none) to the window. Host
// and Port are set before the first lookup and never change.
static DWORD WINAPI Resolve(void *)
{
    addrinfo hints = {}, *found = NULL;
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    sockaddr_in *address = new sockaddr_in();
    if (getaddrinfo(Host.c_str(), std::to_string(Port).c_str(), &hints, &found) == 0 && found &&
        found->ai_addrlen <= sizeof *address) {
        memcpy(address, found->ai_addr, found->ai_addrlen);
    } else {
        delete address;
        address = NULL;
    }
    if (found)
        freeaddrinfo(found);
    if (!PostMessageW(Window, WM_SWANK_RESOLVED, 0, (LPARAM)address))
        delete address;
    return 0;
}

bool ConnectSocket()
{
    CloseSocket();
    if (!Resolved) {
        HANDLE thread = Resolving ? NULL : CreateThread(NULL, 0, Resolve, NULL, 0, NULL);
        if (thread) {
            Resolving = true;
            CloseHandle(thread);
        }
        return Resolving;
    }
    Socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (Socket == INVALID_SOCKET)
        return false;
    WSAAsyncSelect(Socket, Window, WM_SWANK_SOCKET, FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE);
    if (connect(Socket, (sockaddr *)&Address, sizeof Address) == SOCKET_ERROR && WSAGetLastError() != WSAEWOULDBLOCK) {
        CloseSocket();
        return false;
    }
    return true;
}

static SocketEvent Report(SocketReport report, const std::string &bytes = std::string())
{
    SocketEvent event;
    event.report = report;
    event.bytes = bytes;
    return event;
}

// What the socket holds now.
static std::string Receive()
{
    std::string bytes;
    char buffer[65536];
    int got;
    while ((got = recv(Socket, buffer, sizeof buffer, 0)) > 0)
        bytes.append(buffer, got);
    return bytes;
}

static SocketEvent OnResolved(sockaddr_in *address)
{
    Resolving = false;
    if (!address)
        return Report(SocketNoAddress);
    Address = *address;
    delete address;
    Resolved = true;
    return Report(ConnectSocket() ? SocketNothing : SocketUnreachable);
}

SocketEvent OnSocketMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SWANK_RESOLVED)
        return OnResolved((sockaddr_in *)lParam);
    if ((SOCKET)wParam != Socket)
        return Report(SocketNothing);  // an event of a socket already closed
    switch (WSAGETSELECTEVENT(lParam)) {
    case FD_CONNECT:
        if (!WSAGETSELECTERROR(lParam))
            return Report(SocketConnected);
        CloseSocket();
        return Report(SocketUnreachable);
    case FD_READ:
        return Report(SocketBytes, Receive());
    case FD_WRITE:
        Flush();
        return Report(SocketNothing);
    case FD_CLOSE:
        return Report(SocketClosed, Receive());
    }
    return Report(SocketNothing);
}

static bool Readable(DWORD ms)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(Socket, &readable);
    timeval wait = {0, (long)ms * 1000};
    return select(0, &readable, NULL, NULL, &wait) > 0;
}

std::string AwaitSocket(DWORD ms)
{
    return Socket != INVALID_SOCKET && Readable(ms) ? Receive() : std::string();
}

// Closed from this side first, Swank would end the connection's threads,
// the one quitting among them: the Lisp is let close it as it ends.
void AwaitSocketClose(DWORD ms)
{
    DWORD start = GetTickCount();
    while (Socket != INVALID_SOCKET && GetTickCount() - start < ms) {
        char buffer[4096];
        if (Readable(50) && recv(Socket, buffer, sizeof buffer, 0) <= 0)
            break;  // closed: the Lisp has ended
    }
}

void StartSocket(HWND window, const std::string &host, unsigned short port)
{
    Window = window;
    Host = host;
    Port = port;
}
