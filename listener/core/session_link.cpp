// The connection as the session sees it: when the socket tries to connect,
// what the bytes it brings are, and what is said when a connection ends or
// cannot become one with a Lisp. A refused connection makes the next attempt
// wait longer, up to LongestPauseTicks; a connection that was ready brings
// the pause back to one tick.
#include "listener/core/session_effects.h"

#include <algorithm>

namespace {

const int LongestPauseTicks = 8;

bool BeginAttempt(Session &s)
{
    if (s.state == LinkState::Connecting || HasConnection(s))
        return false;
    s.state = LinkState::Connecting;
    return true;
}

}  // namespace

void SessionStart(Session &s, const std::string &host, unsigned short port, const std::string &helperSource)
{
    s.host = host;
    s.port = port;
    s.helper = helperSource;
}

bool SessionConnectNow(Session &s)
{
    return BeginAttempt(s);
}

bool SessionTick(Session &s, Effects &out)
{
    // Once the Lisp has answered, making the REPL takes what it takes:
    // loading swank-repl may compile it first (ECL through gcc, for more
    // than ten seconds), and each request of that answers, a failure included.
    if (s.state == LinkState::Greeting) {
        if (!s.answered && ++s.greetingTicks >= ReadyWithinTicks)
            CloseConnection(out, "it did not answer as Swank does within " + std::to_string(ReadyWithinTicks) + " s");
        return false;
    }
    if (s.state == LinkState::Ready && s.interruptsAgain > 0 && ++s.interruptTicks >= InterruptAgainTicks) {
        s.interruptTicks = 0;
        if (s.evaluating && s.debugger.empty() && s.interruptsAgain-- > 0)
            Send(out, "(:emacs-interrupt :repl-thread)");
        else
            s.interruptsAgain = 0;
    }
    if (s.state == LinkState::Connecting || s.state == LinkState::Ready || ++s.waitedTicks < s.pauseTicks)
        return false;
    s.waitedTicks = 0;
    return BeginAttempt(s);
}

void SessionReconnect(Session &s, Effects &out)
{
    SessionClosed(s, "reconnecting as asked", out);
    s.state = LinkState::Connecting;
}

void SessionOpened(Session &s, const std::string *secret, const std::string &secretFile, Effects &out)
{
    if (secret)
        Send(out, *secret);
    SessionConnected(s, out);
    s.secretFrom = secret ? secretFile : std::string();
}

void SessionNotOpened(Session &s)
{
    s.state = LinkState::NotConnected;
}

void SessionHostNotFound(Session &s, Effects &out)
{
    s.state = LinkState::NotConnected;
    const std::string why = "no address for " + s.host;
    if (why != s.lastRefusal)
        Line(s, out, "; The Lisp's host cannot be found: " + s.host + "; trying again.");
    s.lastRefusal = why;
}

void SessionBytes(Session &s, const std::string &bytes, bool closed, Effects &out)
{
    if (!HasConnection(s))
        return;
    FeedBytes(s.frames, bytes.data(), bytes.size());
    if (!bytes.empty())
        s.secretFrom.clear();  // the Lisp answered after the secret
    std::string payload;
    FrameResult result = FrameIncomplete;
    while (!Closing(out) && (result = NextFrame(s.frames, &payload)) == FrameReady)
        SessionMessage(s, payload, out);
    if (Closing(out))
        return;
    if (result == FrameMalformed)
        CloseConnection(out, "a message from the Lisp did not begin with its length");
    else if (closed && !s.secretFrom.empty())
        CloseConnection(out, "the Lisp closed the connection before answering the secret from " + s.secretFrom +
                                 ", which may not be the one it expects");
    else if (closed)
        CloseConnection(out, !BytesWaiting(s.frames) ? "the Lisp closed the connection"
                                                      : "the Lisp closed the connection in the middle of a message");
}

void SessionClosed(Session &s, const std::string &why, Effects &out)
{
    if (!HasConnection(s))
        return;
    bool refused = s.state == LinkState::Greeting;
    SessionLost(s, why, out);
    if (refused) {
        SessionRefused(s, why, out);
        return;
    }
    s.pauseTicks = 1;
    s.lastRefusal.clear();
}

void SessionRefused(Session &s, const std::string &why, Effects &out)
{
    s.state = LinkState::Refused;
    s.pauseTicks = std::min(s.pauseTicks * 2, LongestPauseTicks);
    if (why != s.lastRefusal)
        Line(s, out, "; The Lisp at " + s.host + ":" + std::to_string(s.port) + " refused the connection (" + why +
                         "); trying again every few seconds.");
    s.lastRefusal = why;
}
