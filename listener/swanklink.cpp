#include "listener/swanklink.h"
#include "listener/listener.h"
#include "listener/swank_wire.h"

#include <ws2tcpip.h>

#include <string.h>

#include <algorithm>
#include <fstream>

static HWND Window;
static ListenerOptions Where;
static std::string Helper;
static SOCKET Connection = INVALID_SOCKET;
static bool Connecting;
static FrameReader Reader;
static std::string Outgoing;  // framed bytes not yet taken by the socket
static Session Lisp;

// Where to connect: resolved off the window's thread, as a host name may
// take seconds to look up.
static sockaddr_in Address;
static bool Resolved, Resolving;
// After a refused connection the next attempt waits longer, up to
// LongestPauseS; the timer ticks every second.
static const int LongestPauseS = 8;
static int PauseS = 1, WaitedS;
// A peer that takes the connection but does not answer as Swank does
// within this many seconds is not taken for a Lisp.
static const int ReadyWithinS = 10;
static int ConnectedS;
static std::string LastRefusal;  // said once until another reason comes

static void CloseConnection()
{
    if (Connection != INVALID_SOCKET)
        closesocket(Connection);
    Connection = INVALID_SOCKET;
    Connecting = false;
    Reader = FrameReader();
    Outgoing.clear();
}

static void Flush()
{
    while (!Outgoing.empty() && Connection != INVALID_SOCKET && !Connecting) {
        int sent = send(Connection, Outgoing.data(), (int)std::min<size_t>(Outgoing.size(), 1 << 20), 0);
        if (sent <= 0)
            return;  // WSAEWOULDBLOCK: FD_WRITE comes when there is room; errors end in FD_CLOSE
        Outgoing.erase(0, sent);
    }
}

static void Queue(const std::string &payload, SessionOutput &out)
{
    std::string frame;
    if (EncodeFrame(payload, &frame))
        Outgoing += frame;
    else
        out.transcript += "; A request was too long for one message to the Lisp and was not sent.\n";
}

// A connection that could not become one with a Lisp: said once for each
// reason, and the next attempt waits longer.
static void Refused(const std::string &why, SessionOutput &out)
{
    PauseS = std::min(PauseS * 2, LongestPauseS);
    if (why != LastRefusal)
        out.transcript += "; The Lisp at " + Where.host + ":" + std::to_string(Where.port) +
                          " refused the connection (" + why + "); trying again every few seconds.\n";
    LastRefusal = why;
}

static void Lose(const std::string &why, SessionOutput &out)
{
    bool refused = Lisp.connected && !Lisp.ready;
    CloseConnection();
    SessionLost(Lisp, why, out);
    if (refused) {
        Refused(why, out);
        return;
    }
    PauseS = 1;
    LastRefusal.clear();
}

void Transmit(SessionOutput &out)
{
    for (const std::string &payload : out.messages)
        Queue(payload, out);
    out.messages.clear();
    Flush();
    if (Lisp.ready) {
        PauseS = 1;
        LastRefusal.clear();
    }
    if (out.closeConnection) {
        out.closeConnection = false;
        Lose("the listener closed it", out);
    }
}

// The first line of the secret file, which Swank wants as the first message.
static bool ReadSecret(std::string *secret)
{
    std::ifstream file(Where.secretFile.c_str(), std::ios::binary);
    if (!file || !std::getline(file, *secret))
        return false;
    if (!secret->empty() && secret->back() == '\r')
        secret->pop_back();
    return true;
}

static void Connected(SessionOutput &out)
{
    Connecting = false;
    ConnectedS = 0;
    if (!Where.secretFile.empty()) {
        std::string secret;
        if (!ReadSecret(&secret)) {
            CloseConnection();
            Refused("the secret file " + Where.secretFile + " cannot be read", out);
            return;
        }
        Queue(secret, out);
    }
    SessionConnected(Lisp, Helper, out);
    Transmit(out);
}

// Looks the host up, then posts the address (or none) to the window.
static DWORD WINAPI Resolve(void *)
{
    addrinfo hints = {}, *found = NULL;
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    sockaddr_in *address = new sockaddr_in();
    if (getaddrinfo(Where.host.c_str(), std::to_string(Where.port).c_str(), &hints, &found) == 0 && found &&
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

static void TryConnect()
{
    if (Connection != INVALID_SOCKET)
        return;
    if (!Resolved) {
        HANDLE thread = Resolving ? NULL : CreateThread(NULL, 0, Resolve, NULL, 0, NULL);
        if (thread) {
            Resolving = true;
            CloseHandle(thread);
        }
        return;
    }
    Connection = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (Connection != INVALID_SOCKET) {
        Connecting = true;
        WSAAsyncSelect(Connection, Window, WM_SWANK_SOCKET, FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE);
        if (connect(Connection, (sockaddr *)&Address, sizeof Address) == SOCKET_ERROR &&
            WSAGetLastError() != WSAEWOULDBLOCK)
            CloseConnection();
    }
}

void OnSwankResolved(LPARAM lParam, SessionOutput &out)
{
    sockaddr_in *address = (sockaddr_in *)lParam;
    Resolving = false;
    if (!address) {
        const std::string why = "no address for " + Where.host;
        if (why != LastRefusal)
            out.transcript += "; The Lisp's host cannot be found: " + Where.host + "; trying again.\n";
        LastRefusal = why;
        return;
    }
    Address = *address;
    delete address;
    Resolved = true;
    TryConnect();
}

// Takes what the socket holds, then hands every whole frame to the session.
// Returns false when the connection had to be closed.
static bool Receive(SessionOutput &out)
{
    char buffer[65536];
    int got;
    while ((got = recv(Connection, buffer, sizeof buffer, 0)) > 0)
        FeedBytes(Reader, buffer, got);
    std::string payload;
    FrameResult result;
    while ((result = NextFrame(Reader, &payload)) == FrameReady && Connection != INVALID_SOCKET) {
        SessionMessage(Lisp, payload, out);
        Transmit(out);
    }
    if (result == FrameMalformed)
        Lose("a message from the Lisp did not begin with its length", out);
    return Connection != INVALID_SOCKET;
}

void OnSwankSocket(WPARAM wParam, LPARAM lParam, SessionOutput &out)
{
    if ((SOCKET)wParam != Connection)
        return;  // an event of a socket already closed
    int error = WSAGETSELECTERROR(lParam);
    switch (WSAGETSELECTEVENT(lParam)) {
    case FD_CONNECT:
        if (error)
            CloseConnection();  // nobody listens yet; the timer tries again
        else
            Connected(out);
        break;
    case FD_READ:
        Receive(out);
        break;
    case FD_WRITE:
        Flush();
        break;
    case FD_CLOSE:
        if (Receive(out))
            Lose(Reader.pending.empty() ? "the Lisp closed the connection"
                                        : "the Lisp closed the connection in the middle of a message",
                 out);
        break;
    }
}

void AwaitLisp(DWORD ms, SessionOutput &out)
{
    if (Connection == INVALID_SOCKET || Connecting)
        return;
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(Connection, &readable);
    timeval wait = {0, (long)ms * 1000};
    if (select(0, &readable, NULL, NULL, &wait) > 0)
        Receive(out);
}

void OnSwankTimer(SessionOutput &out)
{
    if (Connection != INVALID_SOCKET && Lisp.connected && !Lisp.ready && ++ConnectedS >= ReadyWithinS) {
        Lose("it did not answer as Swank does within " + std::to_string(ReadyWithinS) + " s", out);
        return;
    }
    if (Connection != INVALID_SOCKET || ++WaitedS < PauseS)
        return;
    WaitedS = 0;
    TryConnect();
}

void StartSwankLink(HWND window, const ListenerOptions &options, const std::string &helper)
{
    Window = window;
    Where = options;
    Helper = helper;
    TryConnect();
}

void EndSwankLink()
{
    CloseConnection();
}

void ReconnectSwank(SessionOutput &out)
{
    if (Connection != INVALID_SOCKET && !Connecting)
        Lose("reconnecting as asked", out);
    CloseConnection();
    TryConnect();
}

Session &LinkSession()
{
    return Lisp;
}

// Waits up to QuitWaitMs for the Lisp to close the connection as it ends:
// closed from this side first, Swank would end the connection's threads,
// the one quitting among them.
void AskLispToQuit()
{
    const DWORD QuitWaitMs = 3000;
    if (Connection == INVALID_SOCKET || Connecting)
        return;
    SessionOutput out;
    SessionQuit(Lisp, out);
    Transmit(out);
    DWORD start = GetTickCount();
    while (Connection != INVALID_SOCKET && GetTickCount() - start < QuitWaitMs) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(Connection, &readable);
        timeval wait = {0, 50000};
        char buffer[4096];
        if (select(0, &readable, NULL, NULL, &wait) > 0 && recv(Connection, buffer, sizeof buffer, 0) <= 0)
            break;  // closed: the Lisp has ended
    }
    CloseConnection();
}
