// The connection to the Lisp: a TCP socket to Swank, driven by window
// messages (WSAAsyncSelect), so the window never waits on it. The session
// decides what is sent and shown; this module moves the bytes, and tries to
// connect again every second while no Lisp answers.
#include "listener/listener.h"
#include "listener/session.h"
#include "listener/swank_wire.h"

#include <ws2tcpip.h>

#include <algorithm>

static SOCKET Connection = INVALID_SOCKET;
static bool Connecting;
static FrameReader Reader;
static std::string Outgoing;  // framed bytes not yet taken by the socket
static Session Lisp;
static std::string HelperSource;

static std::string LoadHelperSource()
{
    HRSRC found = FindResourceA(ListenerInstance, "ListenerLisp", (LPCSTR)RT_RCDATA);
    HGLOBAL loaded = found ? LoadResource(ListenerInstance, found) : NULL;
    const char *bytes = loaded ? (const char *)LockResource(loaded) : NULL;
    return bytes ? std::string(bytes, SizeofResource(ListenerInstance, found)) : std::string();
}

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

static void Lose(const std::string &why);

// Carries out what the session asked for.
static void Apply(SessionOutput &out)
{
    for (const std::string &payload : out.messages) {
        std::string frame;
        if (!EncodeFrame(payload, &frame)) {
            out.transcript += "; A request was too long for Swank's frame and was not sent.\n";
            continue;
        }
        Outgoing += frame;
    }
    Flush();
    SetDdeAccepting(Lisp.connected);
    AppendTranscript(out.transcript);
    if (out.captionChanged)
        UpdateCaption();
    if (out.closeConnection)
        Lose("the listener closed it");
}

static void Lose(const std::string &why)
{
    CloseConnection();
    SessionOutput out;
    SessionLost(Lisp, why, out);
    Apply(out);
}

static void TryConnect()
{
    if (Connection != INVALID_SOCKET)
        return;
    addrinfo hints = {}, *address = NULL;
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    if (getaddrinfo(Options.host.c_str(), std::to_string(Options.port).c_str(), &hints, &address) != 0)
        return;
    Connection = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (Connection != INVALID_SOCKET) {
        Connecting = true;
        WSAAsyncSelect(Connection, ListenerWindow, WM_SWANK_SOCKET, FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE);
        if (connect(Connection, address->ai_addr, (int)address->ai_addrlen) == SOCKET_ERROR &&
            WSAGetLastError() != WSAEWOULDBLOCK)
            CloseConnection();
    }
    freeaddrinfo(address);
}

// Takes what the socket holds, then hands every whole frame to the session.
// Returns false when the connection had to be closed.
static bool Receive()
{
    char buffer[65536];
    int got;
    while ((got = recv(Connection, buffer, sizeof buffer, 0)) > 0)
        FeedBytes(Reader, buffer, got);
    SessionOutput out;
    std::string payload;
    FrameResult result;
    while ((result = NextFrame(Reader, &payload)) == FrameReady)
        SessionMessage(Lisp, payload, out);
    Apply(out);
    if (result == FrameMalformed)
        Lose("a message from the Lisp did not begin with its length");
    else if (result == FrameTooLarge)
        Lose("a message from the Lisp was longer than the listener takes");
    return Connection != INVALID_SOCKET;
}

void OnSwankSocket(WPARAM wParam, LPARAM lParam)
{
    if ((SOCKET)wParam != Connection)
        return;  // an event of a socket already closed
    int error = WSAGETSELECTERROR(lParam);
    switch (WSAGETSELECTEVENT(lParam)) {
    case FD_CONNECT:
        if (error) {
            CloseConnection();  // nobody listens yet; the timer tries again
            return;
        }
        Connecting = false;
        {
            SessionOutput out;
            SessionConnected(Lisp, HelperSource, out);
            Apply(out);
        }
        break;
    case FD_READ:
        Receive();
        break;
    case FD_WRITE:
        Flush();
        break;
    case FD_CLOSE:
        if (Receive())
            Lose(Reader.pending.empty() ? "the Lisp closed the connection"
                                        : "the Lisp closed the connection in the middle of a message");
        break;
    }
}

void OnSwankTimer()
{
    TryConnect();
}

void StartSwankLink()
{
    HelperSource = LoadHelperSource();
    TryConnect();
}

void EndSwankLink()
{
    CloseConnection();
}

void ReconnectSwank()
{
    if (Connection != INVALID_SOCKET && !Connecting)
        Lose("reconnecting as asked");
    CloseConnection();
    TryConnect();
}

bool SwankConnected()
{
    return Lisp.connected;
}

const char *SwankLispName()
{
    return Lisp.lispName.c_str();
}

bool SubmitEvaluation(const std::string &text)
{
    SessionOutput out;
    bool taken = SessionSubmit(Lisp, text, out);
    Apply(out);
    return taken;
}

// Sends (swank:quit-lisp), then waits up to QuitWaitMs for the Lisp to close
// the connection as it ends: closed from this side first, Swank would end
// the connection's threads, the one quitting among them.
void AskLispToQuit()
{
    const DWORD QuitWaitMs = 3000;
    if (Connection == INVALID_SOCKET || Connecting)
        return;
    SessionOutput out;
    SessionQuit(Lisp, out);
    Apply(out);
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

void InterruptEvaluation()
{
    SessionOutput out;
    SessionInterrupt(Lisp, out);
    Apply(out);
}
