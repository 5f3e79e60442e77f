// The connection as the session decides it: when the socket tries again,
// what a refusal makes it say and wait, how the bytes the socket brings are
// cut into messages, and why a connection is closed.
#include "listener/core/session.h"
#include "listener/core/swank_wire.h"
#include "tests/host/effects_of.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

typedef std::vector<std::string> Messages;

std::string Framed(const std::string &payload)
{
    std::string frame;
    EXPECT_TRUE(EncodeFrame(payload, &frame));
    return frame;
}

const char ConnectionInfo[] =
    "(:return (:ok (:pid 7 :lisp-implementation (:type \"SBCL\" :version \"2.2.9\"))) 1)";
const char HelperLoaded[] = "(:return (:ok t) 2)";
const char ReplMade[] = "(:return (:ok (\"COMMON-LISP-USER\" \"CL-USER\")) 3)";

struct Link {
    Session s;
    Effects out;
    Link() { SessionStart(s, "lisp.example", 4005, "(helper)"); }
    // Ticks until the session asks for an attempt; how many it took.
    int TicksToAttempt()
    {
        for (int ticks = 1; ticks <= 100; ticks++) {
            out = Effects();
            if (SessionTick(s, out))
                return ticks;
        }
        return -1;
    }
    Effects &Open(const std::string *secret = nullptr)
    {
        out = Effects();
        EXPECT_TRUE(SessionConnectNow(s) || s.state == LinkState::Connecting);
        SessionOpened(s, secret, "Z:\\home\\.slime-secret", out);
        return out;
    }
    Effects &Bytes(const std::string &bytes, bool closed = false)
    {
        out = Effects();
        SessionBytes(s, bytes, closed, out);
        return out;
    }
    void Greet()
    {
        Open();
        Bytes(Framed(ConnectionInfo) + Framed(HelperLoaded) + Framed(ReplMade));
        ASSERT_EQ(LinkState::Ready, s.state);
    }
    // The socket closed as the session asked.
    Effects &Close()
    {
        EXPECT_TRUE(Has(out, EffectKind::CloseConnection));
        std::string why = FirstOf(out, EffectKind::CloseConnection).text;
        out = Effects();
        SessionClosed(s, why, out);
        return out;
    }
};

TEST(SessionLink, AttemptsBeginAtTheStartAndAfterEachPause)
{
    Link link;
    EXPECT_TRUE(SessionConnectNow(link.s));
    EXPECT_EQ(LinkState::Connecting, link.s.state);
    EXPECT_FALSE(SessionConnectNow(link.s)) << "one attempt at a time";
    Effects out;
    EXPECT_FALSE(SessionTick(link.s, out)) << "the attempt is under way";
    SessionNotOpened(link.s);
    EXPECT_EQ(LinkState::NotConnected, link.s.state);
    EXPECT_EQ(1, link.TicksToAttempt()) << "nobody listened: tried again at the next tick";
    EXPECT_EQ("", TranscriptOf(link.out));

    link.Greet();
    EXPECT_EQ(-1, link.TicksToAttempt()) << "no attempt while connected";
}

TEST(SessionLink, ARefusalIsSaidOnceForEachReasonAndThePauseGrows)
{
    Link link;
    const std::string refused =
        "; The Lisp at lisp.example:4005 refused the connection (the Lisp closed the connection); trying again "
        "every few seconds.\n";
    struct Step {
        const char *transcript;
        int pause;  // ticks before the next attempt
    } steps[] = {{refused.c_str(), 2}, {"", 4}, {"", 8}, {"", 8}};
    for (const Step &step : steps) {
        link.Open();
        link.Bytes("", true);
        EXPECT_EQ("", TranscriptOf(link.out));
        EXPECT_EQ(step.transcript, TranscriptOf(link.Close()));
        EXPECT_EQ(LinkState::Refused, link.s.state);
        EXPECT_EQ(step.pause, link.TicksToAttempt());
    }
    // Another reason is said (the secret unreadable: refused before the
    // Lisp is greeted); a connection that became ready ends the pause, and
    // the reason is said again the next time.
    link.out = Effects();
    SessionRefused(link.s, "the secret file x cannot be read", link.out);
    EXPECT_NE(std::string::npos, TranscriptOf(link.out).find("refused the connection (the secret file x cannot be read)"));
    EXPECT_EQ(8, link.TicksToAttempt());
    link.Greet();
    link.out = Effects();
    SessionClosed(link.s, "gone", link.out);
    EXPECT_EQ("; Connection to the Lisp lost: gone.\n", TranscriptOf(link.out));
    EXPECT_EQ(LinkState::Lost, link.s.state);
    EXPECT_EQ(1, link.TicksToAttempt());
    link.Open();
    link.Bytes("", true);
    EXPECT_EQ(refused, TranscriptOf(link.Close()));
}

TEST(SessionLink, APeerThatDoesNotAnswerAsSwankDoesIsGivenUp)
{
    Link link;
    link.Open();
    for (int tick = 1; tick < ReadyWithinTicks; tick++) {
        Effects out;
        EXPECT_FALSE(SessionTick(link.s, out));
        EXPECT_FALSE(Has(out, EffectKind::CloseConnection)) << tick;
    }
    link.out = Effects();
    EXPECT_FALSE(SessionTick(link.s, link.out));
    EXPECT_EQ("it did not answer as Swank does within 10 s", FirstOf(link.out, EffectKind::CloseConnection).text);
    EXPECT_NE(std::string::npos, TranscriptOf(link.Close()).find("refused the connection (it did not answer"));
}

TEST(SessionLink, TheSecretGoesFirstThenTheLispIsGreeted)
{
    Link link;
    const std::string secret = "s3cret";
    EXPECT_EQ((Messages{"s3cret", Guarded("(swank:connection-info)", 1)}),
              MessagesOf(link.Open(&secret)));
    EXPECT_EQ(LinkState::Greeting, link.s.state);
    EXPECT_TRUE(HasConnection(link.s));
}

TEST(SessionLink, BytesAreTakenAsWholeMessagesWhateverPiecesTheyComeIn)
{
    Link link;
    link.Open();
    std::string bytes = Framed(ConnectionInfo) + Framed(HelperLoaded);
    for (size_t i = 0; i < bytes.size(); i += 7)
        link.Bytes(bytes.substr(i, 7));
    EXPECT_EQ(Messages{Guarded("(kestralune-listener:create-repl)", 3)}, MessagesOf(link.out));
    EXPECT_EQ("SBCL 2.2.9", link.s.lispName);
}

TEST(SessionLink, AConnectionIsClosedForWhatItCannotGoOnWith)
{
    const std::string reading = Framed("((:nested) 1)");
    struct Case {
        std::string bytes;
        bool closed;
        const char *reason;
    } cases[] = {
        {"", true, "the Lisp closed the connection"},
        {Framed("(:ping 1 2)"), true, "the Lisp closed the connection"},
        {"0000", true, "the Lisp closed the connection in the middle of a message"},
        {"zz0004(:a)", false, "a message from the Lisp did not begin with its length"},
        {Framed("(:return"), false, "the listener closed it"},
        // The message that closes the connection is the last one taken.
        {reading + Framed("(:ping 1 2)"), true, "the listener closed it"},
    };
    for (const Case &c : cases) {
        Link link;
        link.Greet();
        Effects &out = link.Bytes(c.bytes, c.closed);
        EXPECT_TRUE(Has(out, EffectKind::CloseConnection)) << c.bytes;
        EXPECT_EQ(c.reason, FirstOf(out, EffectKind::CloseConnection).text) << c.bytes;
        if (c.bytes.compare(0, reading.size(), reading) == 0)
            EXPECT_TRUE(MessagesOf(out).empty()) << "the ping after it is not answered";
        EXPECT_EQ("; Connection to the Lisp lost: " + std::string(c.reason) + ".\n", TranscriptOf(link.Close()))
            << c.bytes;
        EXPECT_EQ(LinkState::Lost, link.s.state);
        EXPECT_TRUE(MessagesOf(link.Bytes(Framed("(:ping 1 2)"))).empty()) << "nothing is taken once closed";
    }
}

TEST(SessionLink, AHostWithoutAnAddressIsSaidOnce)
{
    Link link;
    for (const char *said : {"; The Lisp's host cannot be found: lisp.example; trying again.\n", ""}) {
        ASSERT_TRUE(SessionConnectNow(link.s));
        link.out = Effects();
        SessionHostNotFound(link.s, link.out);
        EXPECT_EQ(said, TranscriptOf(link.out));
        EXPECT_EQ(LinkState::NotConnected, link.s.state);
    }
}

TEST(SessionLink, AReconnectEndsTheConnectionAndTriesAtOnce)
{
    Link link;
    link.Greet();
    link.out = Effects();
    SessionReconnect(link.s, link.out);
    EXPECT_EQ("; Connection to the Lisp lost: reconnecting as asked.\n", TranscriptOf(link.out));
    EXPECT_EQ(LinkState::Connecting, link.s.state);
    EXPECT_FALSE(Has(link.out, EffectKind::CloseConnection)) << "its socket is closed already";
}

}  // namespace
