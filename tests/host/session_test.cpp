// The listener's conversation with the Lisp, driven by the messages Swank's
// REPL sends: what goes out, in which order, and what the transcript shows.
// The messages are as SBCL's Swank 2.27 sends them.
#include "listener/core/session.h"
#include "listener/core/swank_wire.h"
#include "tests/host/effects_of.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

namespace {

typedef std::vector<std::string> Messages;

std::string ConnectionInfo(long pid)
{
    return "(:return (:ok (:pid " + std::to_string(pid) +
           " :style :spawn :encoding (:coding-systems (\"utf-8-unix\" \"iso-latin-1-unix\")) "
           ":lisp-implementation (:type \"SBCL\" :name \"sbcl\" :version \"2.2.9.debian\" :program nil) "
           ":machine (:instance \"x\" :type \"X86-64\" :version \"y\") :features (:swank) "
           ":modules (\"SB-BSD-SOCKETS\") :package (:name \"COMMON-LISP-USER\" :prompt \"CL-USER\") "
           ":version \"2.27\")) 1)";
}

const char HelperLoaded[] = "(:return (:ok t) 2)";
const char ReplMade[] = "(:return (:ok (\"COMMON-LISP-USER\" \"CL-USER\")) 3)";

// The request that evaluates one form on the REPL thread.
std::string Eval(const std::string &form, long id, const std::string &package = "COMMON-LISP-USER")
{
    return "(:emacs-rex (kestralune-listener:listener-eval " + LispString(form) + ") " + LispString(package) +
           " :repl-thread " + std::to_string(id) + ")";
}

std::string Done(long id)
{
    return "(:return (:ok nil) " + std::to_string(id) + ")";
}

// The reply (:return REPLY ID).
std::string Returned(long id, const std::string &reply)
{
    return "(:return " + reply + " " + std::to_string(id) + ")";
}

// A literal's bytes, NULs included.
template <size_t N> std::string Bytes(const char (&literal)[N])
{
    return std::string(literal, N - 1);
}

std::string Repeat(const std::string &piece, int times)
{
    std::string text;
    for (int i = 0; i < times; i++)
        text += piece;
    return text;
}

std::string Value(const std::string &printed)
{
    return "(:write-string " + LispString(printed + "\n") + " :repl-result)";
}

// A session connected to a Lisp with process pid, its REPL made: the
// connect sequence used ids 1 to 3, so the first evaluation is id 4.
struct Conversation {
    Session s;
    Effects out;

    explicit Conversation(long pid = 14065) { Connect(pid); }
    void Connect(long pid)
    {
        out = Effects();
        s.helper = "(helper)";
        SessionConnected(s, out);
        Receive(ConnectionInfo(pid));
        Receive(HelperLoaded);
        Receive(ReplMade);
        EXPECT_EQ(LinkState::Ready, s.state);
        // The REPL thread's name is known, as once asked; other threads'
        // names are asked for when they enter the debugger.
        s.threadNames["4"] = "repl-thread";
    }
    // Each step clears what the steps before it produced.
    Effects &Receive(const std::string &payload)
    {
        out = Effects();
        SessionMessage(s, payload, out);
        return out;
    }
    Effects &Submit(const std::string &text)
    {
        out = Effects();
        EXPECT_TRUE(SessionSubmit(s, text, out));
        return out;
    }
    Effects &Type(const std::string &text, Typed expected)
    {
        out = Effects();
        EXPECT_EQ(expected, SessionType(s, text, out)) << text;
        return out;
    }
    Effects &Answer(const std::string &line, bool taken = true)
    {
        out = Effects();
        EXPECT_EQ(taken, SessionAnswer(s, line, out)) << line;
        return out;
    }
    Effects &Lost(const std::string &why)
    {
        out = Effects();
        SessionLost(s, why, out);
        return out;
    }
    // Where the window's actions are made: the level on screen.
    DebugPlace Here() const
    {
        const DebugLevel *level = SessionDebugLevel(s);
        return level ? DebugPlace{level->thread, level->level} : DebugPlace();
    }
    Effects &Restart(size_t n)
    {
        out = Effects();
        SessionInvokeRestart(s, Here(), n, out);
        return out;
    }
    Effects &Abort()
    {
        out = Effects();
        SessionAbortDebugger(s, Here(), out);
        return out;
    }
    Effects &MoreFrames()
    {
        out = Effects();
        SessionMoreFrames(s, Here(), out);
        return out;
    }
    Effects &Locals(long frame)
    {
        out = Effects();
        SessionFrameLocals(s, Here(), frame, out);
        return out;
    }
    // Hands each message over in turn; what they wrote, all together.
    std::string Transcript(const std::vector<std::string> &payloads)
    {
        std::string shown;
        for (const std::string &payload : payloads)
            shown += TranscriptOf(Receive(payload));
        return shown;
    }
};

// The debugger SBCL opens for (restart-case (error "no") (use-five () 5)).
const char Debug41[] =
    "(:debug 4 1 (\"no\" \"   [Condition of type SIMPLE-ERROR]\" nil) ((\"USE-FIVE\" \"USE-FIVE\") "
    "(\"RETRY\" \"Retry SLIME REPL evaluation request.\") (\"*ABORT\" \"Return to SLIME's top level.\") "
    "(\"ABORT\" \"abort thread (#<THREAD \\\"repl-thread\\\" RUNNING {1001}>)\")) "
    "((0 \"(SB-KERNEL::%SIGNAL 1)\" (:restartable nil)) (1 \"(ERROR \\\"no\\\")\")) (7))";

// An error inside the debugger of Debug41.
const char Debug42[] =
    "(:debug 4 2 (\"The variable X is unbound.\" \"   [Condition of type UNBOUND-VARIABLE]\" nil) "
    "((\"CONTINUE\" \"Retry using X.\") (\"ABORT\" \"Return to sldb level 1.\") "
    "(\"*ABORT\" \"Return to SLIME's top level.\")) ((0 \"(EVAL X)\")) (9))";

// A level on thread 4 with n frames numbered from 0.
std::string DebugWithFrames(long level, int n)
{
    std::string frames;
    for (int i = 0; i < n; i++)
        frames += "(" + std::to_string(i) + " \"(F" + std::to_string(i) + ")\")";
    return "(:debug 4 " + std::to_string(level) + " (\"deep\" \"   [Condition of type ERROR]\" nil) "
           "((\"ABORT\" \"Return to SLIME's top level.\")) (" + frames + ") (7))";
}

TEST(Session, ConnectingAsksTheLispLoadsTheHelperMakesTheReplThenRunsWhatWaited)
{
    Session s;
    Effects out;
    EXPECT_FALSE(SessionSubmit(s, "(+ 1 2)", out)) << "nothing is taken without a Lisp";
    s.helper = "(defun f () \"q\\\")";
    SessionConnected(s, out);
    EXPECT_EQ(Messages{Guarded("(swank:connection-info)", 1)}, MessagesOf(out));
    EXPECT_TRUE(Has(out, EffectKind::CaptionChanged));
    EXPECT_EQ(LinkState::Greeting, s.state);

    out = Effects();
    EXPECT_TRUE(SessionSubmit(s, "(+ 1 2)", out)) << "taken while the REPL is made";
    EXPECT_TRUE(MessagesOf(out).empty());
    EXPECT_EQ("", TranscriptOf(out));

    out = Effects();
    EXPECT_FALSE(s.answered);
    SessionMessage(s, ConnectionInfo(14065), out);
    EXPECT_TRUE(s.answered) << "the Lisp answered as Swank does: the rest of connecting has no time limit";
    EXPECT_EQ("SBCL 2.2.9.debian", s.lispName);
    EXPECT_EQ(14065, s.lispPid);
    EXPECT_TRUE(Has(out, EffectKind::CaptionChanged));
    EXPECT_EQ(Messages{Guarded("(cl:progn (swank:swank-require (quote (:swank-repl))) "
                               "(cl:load (cl:make-string-input-stream \"(defun f () \\\"q\\\\\\\")\")) t)",
                               2)},
              MessagesOf(out));

    out = Effects();
    SessionMessage(s, HelperLoaded, out);
    EXPECT_EQ(Messages{Guarded("(kestralune-listener:create-repl)", 3)}, MessagesOf(out));
    EXPECT_EQ(LinkState::Greeting, s.state);
    EXPECT_EQ("", TranscriptOf(out));

    // The first REPL of the listener reads in the package the REPL names.
    out = Effects();
    SessionMessage(s, "(:return (:ok (\"MY-PACKAGE\" \"MY\")) 3)", out);
    EXPECT_EQ(LinkState::Ready, s.state);
    EXPECT_TRUE(Has(out, EffectKind::CaptionChanged));
    EXPECT_EQ("; Connected to SBCL 2.2.9.debian.\nMY> (+ 1 2)\n", TranscriptOf(out));
    EXPECT_EQ(Messages{Eval("(+ 1 2)", 4, "MY-PACKAGE")}, MessagesOf(out));
    EXPECT_EQ(1u, s.requests.size());
}

// A Lisp that runs Swank without threads (CLISP) cannot be interrupted, and
// its debugger answers late: the user is told at once.
TEST(Session, ALispWithoutThreadsIsSaidToBeOne)
{
    for (const char *style : {":spawn", "nil"}) {
        Session s;
        Effects out;
        SessionConnected(s, out);
        std::string info = ConnectionInfo(7);
        info.replace(info.find(":style :spawn"), 13, std::string(":style ") + style);
        out = Effects();
        SessionMessage(s, info, out);
        EXPECT_EQ(std::string(style) == "nil" ? "; This Lisp runs Swank without threads: Interrupt cannot stop an "
                                                "evaluation, and its debugger may answer late.\n"
                                              : "",
                  TranscriptOf(out))
            << style;
        EXPECT_EQ(1u, MessagesOf(out).size()) << "the helper is loaded all the same";
    }
}

TEST(Session, ARefusalAtAnyStepOfConnectingClosesTheConnection)
{
    struct Case {
        int answered;  // connect steps answered before the refusal
        const char *refusal;
        const char *transcript;
    } cases[] = {
        {0, "(:return (:abort \"#<END-OF-FILE>\") 1)", "; The Lisp did not say what it is: #<END-OF-FILE>\n"},
        {0, "(:return (:ok nil) 1)", "; The Lisp did not say what it is.\n"},
        {0, "(:return (:ok (:pid 5 :lisp-implementation (:name \"sbcl\"))) 1)",
         "; The Lisp did not say what it is.\n"},
        {0, "(:invalid-rpc 1 \"Thread not found\")",
         "; The Lisp refused a request: Thread not found\n; The Lisp did not say what it is: Thread not found\n"},
        {0, "(:return (:ok (:failed \"no such function\")) 1)", "; The Lisp did not say what it is: no such function\n"},
        {1, "(:return (:abort \"Don't know how to REQUIRE SWANK-REPL.\") 2)",
         "; The Lisp did not take Swank's REPL or the listener's helper: Don't know how to REQUIRE SWANK-REPL.\n"},
        {1, "(:return (:ok (:failed \"Don't know how to REQUIRE SWANK-REPL.\")) 2)",
         "; The Lisp did not take Swank's REPL or the listener's helper: Don't know how to REQUIRE SWANK-REPL.\n"},
        {1, "(:return (:ok (:failed nil)) 2)", "; The Lisp did not take Swank's REPL or the listener's helper.\n"},
        {2, "(:return (:abort \"#<TYPE-ERROR>\") 3)", "; The Lisp could not make Swank's REPL: #<TYPE-ERROR>\n"},
        {2, "(:return (:ok (:failed \"Address in use\")) 3)", "; The Lisp could not make Swank's REPL: Address in use\n"},
        {2, "(:return (:ok nil) 3)", "; The Lisp could not make Swank's REPL.\n"},
        {2, "(:return (:ok (\"CL-USER\")) 3)", "; The Lisp could not make Swank's REPL.\n"},
    };
    for (const Case &c : cases) {
        Session s;
        Effects out;
        SessionConnected(s, out);
        SessionSubmit(s, "(waits)", out);
        const std::string steps[] = {ConnectionInfo(1), HelperLoaded};
        for (int i = 0; i < c.answered; i++)
            SessionMessage(s, steps[i], out);
        out = Effects();
        SessionMessage(s, c.refusal, out);
        EXPECT_TRUE(Has(out, EffectKind::CloseConnection)) << c.refusal;
        EXPECT_NE(LinkState::Ready, s.state) << c.refusal;
        EXPECT_EQ(c.answered > 0, s.answered) << c.refusal;
        EXPECT_TRUE(MessagesOf(out).empty()) << c.refusal << ": the text that waits is not sent";
        EXPECT_EQ(c.transcript, TranscriptOf(out)) << c.refusal;
    }
}

// A failure while connecting is said once, however often the attempts that
// follow fail the same way; another failure is said, and once a connection
// is made the same failure is news again.
TEST(Session, AFailureWhileConnectingIsSaidOnce)
{
    const std::string helperFailed = "(:return (:ok (:failed \"compile error\")) 2)",
                      replFailed = "(:return (:abort \"no thread\") 3)";
    const std::string helperLine = "; The Lisp did not take Swank's REPL or the listener's helper: compile error\n",
                      replLine = "; The Lisp could not make Swank's REPL: no thread\n";
    struct Attempt {
        const char *what;
        std::vector<std::string> answers;
        std::string transcript;
    } attempts[] = {
        {"the first failure", {ConnectionInfo(9), helperFailed}, helperLine},
        {"the same again", {ConnectionInfo(9), helperFailed}, ""},
        {"and again", {ConnectionInfo(9), helperFailed}, ""},
        {"another failure", {ConnectionInfo(9), HelperLoaded, replFailed}, replLine},
        {"the first one back", {ConnectionInfo(9), helperFailed}, helperLine},
        {"connected", {ConnectionInfo(9), HelperLoaded, ReplMade}, "; Connected to SBCL 2.2.9.debian.\n"},
        {"the first one after a connection", {ConnectionInfo(9), helperFailed}, helperLine},
    };
    Session s;
    for (const Attempt &a : attempts) {
        Effects out;
        SessionConnected(s, out);
        out = Effects();
        for (const std::string &answer : a.answers)
            SessionMessage(s, answer, out);
        EXPECT_EQ(a.transcript, TranscriptOf(out)) << a.what;
        EXPECT_EQ(s.state != LinkState::Ready, Has(out, EffectKind::CloseConnection)) << a.what;
        out = Effects();
        SessionLost(s, "closed", out);
    }
}

TEST(Session, EachFormIsItsOwnEvaluationSentWhenTheOneBeforeReturned)
{
    Conversation lisp;
    lisp.Submit("(in-package :foo) (+ 1 2)\n(list 'a \"b\")\n");
    EXPECT_EQ("CL-USER> (in-package :foo) (+ 1 2)\n(list 'a \"b\")\n", TranscriptOf(lisp.out));
    EXPECT_EQ(Messages{Eval("(in-package :foo)", 4)}, MessagesOf(lisp.out));
    EXPECT_TRUE(MessagesOf(lisp.Submit("(second)")).empty()) << "a text waits for the one before it";
    EXPECT_EQ("", TranscriptOf(lisp.out));

    EXPECT_EQ("", TranscriptOf(lisp.Receive("(:new-package \"FOO\" \"FOO\")")));
    EXPECT_EQ("=> #<PACKAGE \"FOO\">\n", TranscriptOf(lisp.Receive(Value("#<PACKAGE \"FOO\">"))));
    EXPECT_TRUE(MessagesOf(lisp.out).empty()) << "a value is not the end of the evaluation";
    EXPECT_EQ(Messages{Eval("(+ 1 2)", 5, "FOO")}, MessagesOf(lisp.Receive(Done(4))));
    EXPECT_TRUE(MessagesOf(lisp.Receive(Done(77))).empty()) << "no request of ours has id 77";
    EXPECT_EQ("=> 3\n", TranscriptOf(lisp.Receive(Value("3"))));
    EXPECT_EQ(Messages{Eval("(list 'a \"b\")", 6, "FOO")}, MessagesOf(lisp.Receive(Done(5))));
    lisp.Receive(Done(6));
    EXPECT_EQ("FOO> (second)\n", TranscriptOf(lisp.out));
    EXPECT_EQ(Messages{Eval("(second)", 7, "FOO")}, MessagesOf(lisp.out));
    lisp.Receive(Done(7));
    EXPECT_FALSE(lisp.s.evaluating);
    EXPECT_TRUE(lisp.s.requests.empty());
}

TEST(Session, ShowsValuesAndOutputAsTheyArrive)
{
    struct Case {
        std::vector<std::string> messages;
        const char *transcript;
    } cases[] = {
        {{Value("3")}, "=> 3\n"},
        {{"(:write-string \"; No values\n\" :repl-result)"}, "; No values\n"},
        {{Value("1"), Value("2")}, "=> 1\n=> 2\n"},
        {{Value("\"two\nlines\"")}, "=> \"two\nlines\"\n"},
        {{"(:write-string \"hi\")", Value("3")}, "hi\n=> 3\n"},
        {{"(:write-string \"hi\n\")", Value("3")}, "hi\n=> 3\n"},
        {{"(:write-string \"1\")", "(:write-string \"2\\\\\\\"\" nil)", "(:write-string \"\n\")"}, "12\\\"\n"},
        {{"(:write-string \"a\tb\r\n\")"}, "a\tb\r\n"},
        {{Bytes("(:write-string \"\0\")"), Value("3")}, "^@\n=> 3\n"},
        {{"(:write-string \"\x1b[1m\x7f\")"}, "^[[1m^?"},
        {{Value("\x01")}, "=> ^A\n"},
        {{"(:write-string \"\" nil)", "(:write-string 42)", "(:write-string)"}, ""},
    };
    for (const Case &c : cases) {
        Conversation lisp;
        lisp.Submit("(f)");
        EXPECT_EQ(c.transcript, lisp.Transcript(c.messages)) << c.messages[0];
        EXPECT_EQ("", TranscriptOf(lisp.Receive(Done(4)))) << c.messages[0];
        EXPECT_FALSE(lisp.s.evaluating) << c.messages[0];
    }
}

TEST(Session, TheNextTextBeginsOnAFreshLineAfterOutputWithoutALineBreak)
{
    Conversation lisp;
    lisp.Submit("(princ 1)");
    lisp.Submit("(princ 2)");
    EXPECT_EQ("1", TranscriptOf(lisp.Receive("(:write-string \"1\")")));
    EXPECT_EQ("\nCL-USER> (princ 2)\n", TranscriptOf(lisp.Receive(Done(4))));
}

TEST(Session, AnAbortEndsItsTextAndTheNextTextBegins)
{
    struct Case {
        int returned;  // forms of "(a) (b) (c)" that returned before the abort
        const char *abort;
        const char *transcript;
    } cases[] = {
        {0, "(:return (:abort \"#<SIMPLE-ERROR \\\"no\\\" {1001}>\") 4)",
         "; Evaluation aborted: #<SIMPLE-ERROR \"no\" {1001}>\n; Not evaluated: the 2 forms after it.\n"},
        {1, "(:return (:abort \"NIL\") 5)", "; Evaluation aborted: NIL\n; Not evaluated: the form after it.\n"},
        {2, "(:return (:abort) 6)", "; Evaluation aborted.\n"},
        {0, "(:invalid-rpc 4 \"Thread not found\")",
         "; The Lisp refused a request: Thread not found\n; Evaluation aborted: Thread not found\n"
         "; Not evaluated: the 2 forms after it.\n"},
    };
    for (const Case &c : cases) {
        Conversation lisp;
        lisp.Submit("(a) (b) (c)");
        lisp.Submit("(next)");
        for (int i = 0; i < c.returned; i++)
            lisp.Receive(Done(4 + i));
        lisp.Receive(c.abort);
        EXPECT_EQ(c.transcript + std::string("CL-USER> (next)\n"), TranscriptOf(lisp.out)) << c.abort;
        EXPECT_EQ(Messages{Eval("(next)", 5 + c.returned)}, MessagesOf(lisp.out)) << c.abort;
    }
}

TEST(Session, AnUnfinishedLastFormIsReportedAndNotSent)
{
    struct Case {
        const char *text;
        std::vector<std::string> forms;  // what is sent, one after another
        const char *unfinished;
    } cases[] = {
        {"(a) (b", {"(a)"}, "(b"},
        {"(a)\n(b\n (c)", {"(a)"}, "(b ..."},
        {"\"abc", {}, "\"abc"},
        {"(a) #| to be", {"(a)"}, "#| to be"},
    };
    for (const Case &c : cases) {
        Conversation lisp;
        std::string shown;
        Messages sent;
        auto take = [&](const Effects &out) {
            shown += TranscriptOf(out);
            Messages messages = MessagesOf(out);
            sent.insert(sent.end(), messages.begin(), messages.end());
        };
        take(lisp.Submit(c.text));
        take(lisp.Submit("(next)"));
        Messages expected;
        long id = 4;
        for (const std::string &form : c.forms) {
            expected.push_back(Eval(form, id));
            take(lisp.Receive(Done(id++)));
        }
        expected.push_back(Eval("(next)", id));
        EXPECT_EQ(expected, sent) << c.text;
        EXPECT_EQ("CL-USER> " + std::string(c.text) +
                      "\n; Not evaluated: the text ends inside a form (a \")\" or a closing \" is missing): " +
                      c.unfinished + "\nCL-USER> (next)\n",
                  shown)
            << c.text;
    }
}

TEST(Session, OutputOfAThreadThatWaitsIsAcknowledged)
{
    struct Case {
        const char *message;
        const char *transcript;
        Messages sent;
    } cases[] = {
        {"(:write-string \"x\" nil 4)", "x", {"(:write-done 4)"}},
        {"(:write-string \"3\n\" :repl-result 4)", "=> 3\n", {"(:write-done 4)"}},
        {"(:write-string 42 nil 4)", "", {"(:write-done 4)"}},
        {"(:write-string \"x\" nil)", "x", {}},
        {"(:write-string \"x\")", "x", {}},
    };
    for (const Case &c : cases) {
        Conversation lisp;
        lisp.Submit("(f)");
        lisp.Receive(c.message);
        EXPECT_EQ(c.transcript, TranscriptOf(lisp.out)) << c.message;
        EXPECT_EQ(c.sent, MessagesOf(lisp.out)) << c.message;
    }
}

TEST(Session, ALineTheLispReadsIsAnsweredOnce)
{
    Conversation lisp;
    lisp.Submit("(read-line)");
    lisp.Answer("early", false);
    EXPECT_TRUE(Has(lisp.Receive("(:read-string 4 5)"), EffectKind::QuestionChanged));
    EXPECT_TRUE(SessionAsks(lisp.s));
    lisp.Answer("say \"y\"");
    EXPECT_EQ("say \"y\"\n", TranscriptOf(lisp.out));
    EXPECT_EQ(Messages{"(:emacs-return-string 4 5 \"say \\\"y\\\"\n\")"}, MessagesOf(lisp.out));
    EXPECT_TRUE(Has(lisp.out, EffectKind::QuestionChanged));
    lisp.Answer("again", false);

    // A read that ends without an answer (the evaluation was aborted) asks no more.
    lisp.Receive("(:read-string 4 6)");
    lisp.Receive("(:read-aborted 4 5)");
    EXPECT_TRUE(SessionAsks(lisp.s)) << "another read's end";
    EXPECT_TRUE(Has(lisp.Receive("(:read-aborted 4 6)"), EffectKind::QuestionChanged));
    lisp.Answer("late", false);
}

TEST(Session, AYesOrNoQuestionTakesOnlyYesOrNo)
{
    struct Case {
        const char *line;
        const char *transcript;
        Messages sent;
    } cases[] = {
        {"y", "y\n", {"(:emacs-return 4 8 t)"}},
        {"  Yes", "  Yes\n", {"(:emacs-return 4 8 t)"}},
        {"no", "no\n", {"(:emacs-return 4 8 nil)"}},
        {"N", "N\n", {"(:emacs-return 4 8 nil)"}},
        {"maybe", "maybe\nPlease answer y or n. (y or n) ", {}},
        {"", "\nPlease answer y or n. (y or n) ", {}},
    };
    for (const Case &c : cases) {
        Conversation lisp;
        lisp.Submit("(y-or-n-p \"Really?\")");
        EXPECT_EQ("Really? (y or n) ", TranscriptOf(lisp.Receive("(:y-or-n-p 4 8 \"Really?\")")));
        lisp.Answer(c.line);
        EXPECT_EQ(c.transcript, TranscriptOf(lisp.out)) << c.line;
        EXPECT_EQ(c.sent, MessagesOf(lisp.out)) << c.line;
        EXPECT_EQ(c.sent.empty(), SessionAsks(lisp.s)) << c.line << ": asked again until answered";
    }
}

// A line typed while an evaluation runs is held: it answers that
// evaluation's question when one comes (the Lisp's prompt may show before
// it asks), and is evaluated next when none does. Texts from the editor,
// and lines typed while the debugger is open, are never taken as answers.
TEST(Session, ALineTypedAheadAnswersTheNextQuestionOrIsEvaluatedNext)
{
    struct Case {
        const char *name;
        bool fromEditor, inDebugger;
        const char *question;   // what the Lisp sends after the line was typed
        Messages sent;          // in answer to it
    } cases[] = {
        {"a read answered", false, false, "(:read-string 4 5)",
         {"(:emacs-return-string 4 5 \"hello\n\")"}},
        {"a yes answered", false, false, "(:y-or-n-p 4 5 \"Go on?\")", {"(:emacs-return 4 5 t)"}},
        {"an editor's text waits", true, false, "(:read-string 4 5)", {}},
        {"the debugger's read waits", false, true, "(:read-string 4 5)", {}},
    };
    for (const Case &c : cases) {
        Conversation lisp;
        lisp.Submit("(ask)");
        if (c.inDebugger)
            lisp.Receive(Debug41);
        const char *line = strcmp(c.question, "(:read-string 4 5)") == 0 ? "hello" : "y";
        if (c.fromEditor)
            lisp.Submit(line);
        else
            lisp.Type(line, TypedEvaluation);
        EXPECT_EQ(Messages{}, MessagesOf(lisp.out)) << c.name << ": held, not sent";
        lisp.Receive(c.question);
        EXPECT_EQ(c.sent, MessagesOf(lisp.out)) << c.name;
        EXPECT_EQ(c.sent.empty(), SessionAsks(lisp.s)) << c.name;
        EXPECT_EQ(c.sent.empty() ? 1u : 0u, lisp.s.waiting.size()) << c.name;
    }

    // Not asked: the held line is the next evaluation, and a second held
    // line answers the question of the first.
    Conversation lisp;
    lisp.Submit("(sleep 1)");
    lisp.Type("(read-line)", TypedEvaluation);
    lisp.Type("typed", TypedEvaluation);
    EXPECT_EQ(Messages{Eval("(read-line)", 5)}, MessagesOf(lisp.Receive(Done(4))));
    EXPECT_FALSE(lisp.s.waiting.front().typedAhead) << "typed ahead of the evaluation that ended";
    lisp.Receive("(:read-string 5 7)");
    EXPECT_EQ(Messages{"(:emacs-rex (kestralune-listener:thread-name 5) \"COMMON-LISP-USER\" t 6)"}, MessagesOf(lisp.out))
        << "typed before its evaluation began: evaluated in its turn; only the thread's name is asked for";
    EXPECT_EQ(TypedAnswer, SessionType(lisp.s, "now", lisp.out));
}

// A text of a file with an in-package is read in that package, once the
// Lisp has found it: the echo names it, and the REPL's own package stays,
// unless the text changes *package* itself. A package the Lisp lacks is
// said, and the REPL's used.
TEST(Session, AFilesTextIsReadInItsPackage)
{
    const std::string lookup = "(:emacs-rex (cl:ignore-errors (cl:let ((p (cl:find-package \"MY-APP\"))) (cl:and p "
                               "(cl:list (cl:package-name p) (swank::package-string-for-prompt p))))) "
                               "\"COMMON-LISP-USER\" t 4)";
    Conversation lisp;
    Effects &out = lisp.out;
    out = Effects();
    ASSERT_TRUE(SessionSubmitInPackage(lisp.s, "(f) (in-package :cl-user) (g)", "MY-APP", out));
    EXPECT_EQ(Messages{lookup}, MessagesOf(out));
    EXPECT_EQ("", TranscriptOf(out)) << "echoed once the package is known";
    lisp.Receive("(:return (:ok (\"MY-APP\" \"APP\")) 4)");
    EXPECT_EQ("APP> (f) (in-package :cl-user) (g)\n", TranscriptOf(lisp.out));
    EXPECT_EQ(Messages{Eval("(f)", 5, "MY-APP")}, MessagesOf(lisp.out));
    EXPECT_EQ(Messages{Eval("(in-package :cl-user)", 6, "MY-APP")}, MessagesOf(lisp.Receive(Done(5))));
    lisp.Receive("(:new-package \"COMMON-LISP-USER\" \"CL-USER\")");
    EXPECT_EQ(Messages{Eval("(g)", 7)}, MessagesOf(lisp.Receive(Done(6)))) << "the text changed *package*";

    Conversation other;
    other.out = Effects();
    SessionSubmitInPackage(other.s, "(f)", "MY-APP", other.out);
    other.Receive("(:return (:ok nil) 4)");
    EXPECT_EQ("; The Lisp has no package MY-APP; the text is read in CL-USER.\nCL-USER> (f)\n", TranscriptOf(other.out));
    EXPECT_EQ(Messages{Eval("(f)", 5)}, MessagesOf(other.out));
    EXPECT_EQ("COMMON-LISP-USER", other.s.package);
}

// An interrupt that opens no debugger (Swank 2.27 may keep one that comes
// while the REPL thread writes output) is sent again every two ticks,
// three times at most, until a debugger level opens or the evaluation ends.
TEST(Session, AnInterruptIsSentAgainUntilTheDebuggerOpens)
{
    const Messages interrupt = {"(:emacs-interrupt :repl-thread)"};
    auto tick = [](Conversation &lisp) {
        lisp.out = Effects();
        SessionTick(lisp.s, lisp.out);
        return MessagesOf(lisp.out);
    };
    Conversation lisp;
    lisp.Submit("(loop (print 1))");
    lisp.out = Effects();
    SessionInterrupt(lisp.s, lisp.out);
    EXPECT_EQ(interrupt, MessagesOf(lisp.out));
    std::vector<Messages> sent;
    for (int i = 0; i < 8; i++)
        sent.push_back(tick(lisp));
    EXPECT_EQ((std::vector<Messages>{{}, interrupt, {}, interrupt, {}, interrupt, {}, {}}), sent);

    Conversation stopped;
    stopped.Submit("(loop)");
    SessionInterrupt(stopped.s, stopped.out);
    stopped.Receive(Debug41);
    EXPECT_EQ(Messages{}, tick(stopped));
    EXPECT_EQ(Messages{}, tick(stopped)) << "the debugger opened";

    Conversation ended;
    ended.Submit("(sleep 1)");
    SessionInterrupt(ended.s, ended.out);
    ended.Receive(Done(4));
    EXPECT_EQ(Messages{}, tick(ended));
    EXPECT_EQ(Messages{}, tick(ended)) << "the evaluation ended";
}

TEST(Session, TheDebuggerOpensALevelAndARestartGoesToItsThread)
{
    Conversation lisp;
    lisp.Submit("(restart-case (error \"no\") (use-five () 5))");
    lisp.Receive("(:new-package \"FOO\" \"FOO\")");
    lisp.Receive(Debug41);
    EXPECT_EQ("; Debugger, level 1: no\n;   [Condition of type SIMPLE-ERROR]\n", TranscriptOf(lisp.out));
    EXPECT_TRUE(Has(lisp.out, EffectKind::DebuggerChanged));
    EXPECT_TRUE(MessagesOf(lisp.out).empty());
    const DebugLevel *level = SessionDebugLevel(lisp.s);
    ASSERT_TRUE(level);
    EXPECT_EQ("4", level->thread);
    EXPECT_EQ(1, level->level);
    EXPECT_EQ("no", level->message);
    EXPECT_EQ("   [Condition of type SIMPLE-ERROR]", level->type);
    ASSERT_EQ(4u, level->restarts.size());
    EXPECT_EQ("USE-FIVE", level->restarts[0].name);
    EXPECT_EQ("*ABORT", level->restarts[2].name);
    EXPECT_EQ("abort thread (#<THREAD \"repl-thread\" RUNNING {1001}>)", level->restarts[3].description);
    ASSERT_EQ(2u, level->frames.size());
    EXPECT_EQ(1, level->frames[1].index);
    EXPECT_EQ("(ERROR \"no\")", level->frames[1].text);
    EXPECT_FALSE(level->moreFrames) << "fewer frames came than were asked for";

    Effects &activated = lisp.Receive("(:debug-activate 4 1 nil)");
    EXPECT_TRUE(Has(activated, EffectKind::DebuggerChanged));
    EXPECT_TRUE(MessagesOf(activated).empty() && TranscriptOf(activated).empty());

    lisp.Submit("(later)");
    EXPECT_EQ("; Waits until the debugger is left: (later)\n", TranscriptOf(lisp.out));
    EXPECT_TRUE(MessagesOf(lisp.out).empty());

    EXPECT_TRUE(MessagesOf(lisp.Restart(4)).empty()) << "there is no restart 4";
    lisp.Restart(0);
    EXPECT_EQ("; Restart 0 [USE-FIVE]: USE-FIVE\n", TranscriptOf(lisp.out));
    EXPECT_EQ(Messages{"(:emacs-rex (swank:invoke-nth-restart-for-emacs 1 0) \"FOO\" 4 5)"}, MessagesOf(lisp.out));
    EXPECT_EQ("", TranscriptOf(lisp.Receive("(:return (:abort \"NIL\") 5)")));
    EXPECT_TRUE(SessionDebugLevel(lisp.s)) << "open until the Lisp says it returned";
    EXPECT_TRUE(Has(lisp.Receive("(:debug-return 4 1 nil)"), EffectKind::DebuggerChanged));
    EXPECT_FALSE(SessionDebugLevel(lisp.s));
    EXPECT_EQ("=> 5\n", TranscriptOf(lisp.Receive(Value("5"))));
    lisp.Receive(Done(4));
    EXPECT_EQ("FOO> (later)\n", TranscriptOf(lisp.out));
    EXPECT_EQ(Messages{Eval("(later)", 6, "FOO")}, MessagesOf(lisp.out));
}

TEST(Session, NestedLevelsCloseFromTheInnermostAndAbortRecordsItsAbortRestart)
{
    Conversation lisp;
    lisp.Submit("(error \"no\")");
    lisp.Receive(Debug41);
    lisp.Receive(Debug42);
    EXPECT_EQ("; Debugger, level 2: The variable X is unbound.\n;   [Condition of type UNBOUND-VARIABLE]\n",
              TranscriptOf(lisp.out));
    ASSERT_EQ(2u, lisp.s.debugger.size());
    EXPECT_EQ(2, SessionDebugLevel(lisp.s)->level);

    lisp.Abort();
    EXPECT_EQ("; Restart 1 [ABORT]: Return to sldb level 1.\n", TranscriptOf(lisp.out));
    EXPECT_EQ(Messages{"(:emacs-rex (swank:sldb-abort) \"COMMON-LISP-USER\" 4 5)"}, MessagesOf(lisp.out));
    lisp.Receive("(:debug-return 4 2 nil)");
    ASSERT_EQ(1u, lisp.s.debugger.size());
    EXPECT_EQ(1, SessionDebugLevel(lisp.s)->level);

    // The innermost ABORT of level 1 is Swank's own, shown as *ABORT.
    lisp.Abort();
    EXPECT_EQ("; Restart 2 [*ABORT]: Return to SLIME's top level.\n", TranscriptOf(lisp.out));
    EXPECT_EQ(Messages{"(:emacs-rex (swank:sldb-abort) \"COMMON-LISP-USER\" 4 6)"}, MessagesOf(lisp.out));

    // An error in the debugger again, and a debugger of another thread,
    // which waits behind the thread on screen.
    lisp.Receive(Debug42);
    lisp.Receive("(:debug 9 1 (\"bg\" \"   [Condition of type ERROR]\" nil) ((\"ABORT\" \"abort thread\")) "
                 "((0 \"(G)\")) nil)");
    EXPECT_EQ("; thread 9 entered the debugger, level 1: bg (Ctrl+Tab in the debugger shows it)\n",
              TranscriptOf(lisp.out));
    ASSERT_EQ(3u, lisp.s.debugger.size());
    lisp.Receive(Returned(7, "(:ok \"worker\")"));  // the name of thread 9
    lisp.Abort();
    EXPECT_EQ(Messages{"(:emacs-rex (swank:sldb-abort) \"COMMON-LISP-USER\" 4 8)"}, MessagesOf(lisp.out))
        << "to the thread on screen";
    lisp.Receive("(:debug-return 4 1 nil)");
    ASSERT_EQ(1u, lisp.s.debugger.size()) << "a return closes the level and those inside it";
    EXPECT_EQ("; The debugger shows worker, level 1.\n", TranscriptOf(lisp.out));
    EXPECT_EQ("9", SessionDebugLevel(lisp.s)->thread);

    // A level shown again (as Swank does when a level inside it returned)
    // replaces the one it was, and is not recorded again.
    lisp.Receive("(:debug 9 1 (\"bg again\" \"\" nil) nil nil nil)");
    EXPECT_EQ("", TranscriptOf(lisp.out));
    ASSERT_EQ(1u, lisp.s.debugger.size());
    EXPECT_EQ("bg again", SessionDebugLevel(lisp.s)->message);
    lisp.Receive("(:debug-return 9 1 nil)");
    EXPECT_TRUE(lisp.s.debugger.empty());
}

// A condition's message is shown cut at 8192 bytes, and its long lines (a
// number of many digits) broken, which an Edit control takes seconds to wrap.
TEST(Session, ALongConditionMessageIsShownCutAndBroken)
{
    Conversation lisp;
    lisp.Submit("(f)");
    lisp.Receive("(:debug 4 1 (\"The value " + std::string(20000, '7') + " is not of type LIST\" \"t\" nil) nil nil nil)");
    ASSERT_NE(nullptr, SessionDebugLevel(lisp.s));
    const std::string &shown = SessionDebugLevel(lisp.s)->message;
    EXPECT_LT(shown.size(), 8400u);
    EXPECT_EQ(0u, shown.find("The value 777"));
    EXPECT_NE(std::string::npos, shown.find(" ...\n[cut: the message is longer than 8192 bytes]"));
    size_t longest = 0, start = 0;
    for (size_t end; (end = shown.find('\n', start)) != std::string::npos; start = end + 1)
        longest = std::max(longest, end - start);
    EXPECT_EQ(160u, std::max(longest, shown.size() - start));
    EXPECT_EQ(std::string(8192 - 10, '7'), [&] {
        std::string digits;
        for (char c : shown)
            if (c == '7')
                digits += c;
        return digits;
    }()) << "only line breaks were added";
}

TEST(Session, MalformedDebuggerMessagesOpenNothing)
{
    const char *bad[] = {
        "(:debug 4 0 (\"x\" \"\" nil) nil nil nil)",
        "(:debug 4 -1 (\"x\" \"\" nil) nil nil nil)",
        "(:debug 4 one (\"x\" \"\" nil) nil nil nil)",
        "(:debug (4) 1 (\"x\" \"\" nil) nil nil nil)",
        "(:debug 4 1 (x \"\" nil) nil nil nil)",
        "(:debug 4 1)",
    };
    for (const char *message : bad) {
        Conversation lisp;
        lisp.Receive(message);
        EXPECT_TRUE(lisp.s.debugger.empty()) << message;
        EXPECT_FALSE(Has(lisp.out, EffectKind::CloseConnection)) << message;
    }
}

TEST(Session, MoreFramesAndLocalsFillTheLevel)
{
    Conversation lisp;
    lisp.Submit("(deep)");
    lisp.Receive(DebugWithFrames(1, 20));
    EXPECT_TRUE(SessionDebugLevel(lisp.s)->moreFrames) << "as many frames came as Swank sends at first";

    EXPECT_EQ(Messages{"(:emacs-rex (swank:backtrace 20 40) \"COMMON-LISP-USER\" 4 5)"},
              MessagesOf(lisp.MoreFrames()));
    EXPECT_TRUE(MessagesOf(lisp.MoreFrames()).empty()) << "asked once until answered";
    lisp.Receive("(:return (:ok ((20 \"(FOO)\") (21 \"(BAR)\" (:restartable t)))) 5)");
    EXPECT_TRUE(Has(lisp.out, EffectKind::DebuggerChanged));
    const DebugLevel *level = SessionDebugLevel(lisp.s);
    ASSERT_EQ(22u, level->frames.size());
    EXPECT_EQ(21, level->frames[21].index);
    EXPECT_EQ("(BAR)", level->frames[21].text);
    EXPECT_FALSE(level->moreFrames) << "the backtrace ended";
    EXPECT_TRUE(MessagesOf(lisp.MoreFrames()).empty());

    EXPECT_EQ(Messages{"(:emacs-rex (swank:frame-locals-and-catch-tags 21) \"COMMON-LISP-USER\" 4 6)"},
              MessagesOf(lisp.Locals(21)));
    EXPECT_TRUE(MessagesOf(lisp.Locals(21)).empty()) << "asked once";
    EXPECT_TRUE(MessagesOf(lisp.Locals(99)).empty()) << "no such frame";
    EXPECT_FALSE(level->frames[21].localsKnown);
    lisp.Receive("(:return (:ok (((:name \"X\" :id 0 :value \"5\") (:name \"Y\" :id 0 :value \"\x01\")) nil)) 6)");
    EXPECT_TRUE(Has(lisp.out, EffectKind::DebuggerChanged));
    EXPECT_TRUE(level->frames[21].localsKnown);
    EXPECT_EQ((Messages{"X = 5", "Y = ^A"}), level->frames[21].locals);

    // Locals that cannot be read, and no locals at all.
    lisp.Locals(0);
    lisp.Receive("(:return (:abort \"#<ERROR>\") 7)");
    EXPECT_EQ(Messages{"(the locals could not be read)"}, level->frames[0].locals);
    lisp.Locals(1);
    lisp.Receive("(:return (:ok (nil nil)) 8)");
    EXPECT_TRUE(level->frames[1].localsKnown);
    EXPECT_TRUE(level->frames[1].locals.empty());
}

TEST(Session, AFailedBacktraceLeavesTheFramesAsTheyWere)
{
    Conversation lisp;
    lisp.Submit("(deep)");
    lisp.Receive(DebugWithFrames(1, 20));
    lisp.MoreFrames();
    lisp.Receive("(:return (:abort \"#<ERROR>\") 5)");
    EXPECT_TRUE(Has(lisp.out, EffectKind::DebuggerChanged));
    const DebugLevel *level = SessionDebugLevel(lisp.s);
    EXPECT_EQ(20u, level->frames.size());
    EXPECT_FALSE(level->framesAsked) << "no longer shown as being fetched";
}

TEST(Session, AnAnswerAfterItsLevelReturnedChangesNothing)
{
    Conversation lisp;
    lisp.Submit("(deep)");
    lisp.Receive(DebugWithFrames(1, 20));
    lisp.Receive(DebugWithFrames(2, 20));
    lisp.MoreFrames();  // id 5, about level 2
    lisp.Locals(3);     // id 6, about level 2
    lisp.Receive("(:debug-return 4 2 nil)");

    lisp.Receive("(:return (:ok ((20 \"(LATE)\"))) 5)");
    EXPECT_FALSE(Has(lisp.out, EffectKind::DebuggerChanged));
    lisp.Receive("(:return (:ok (((:name \"X\" :id 0 :value \"5\")) nil)) 6)");
    EXPECT_FALSE(Has(lisp.out, EffectKind::DebuggerChanged));
    const DebugLevel *level = SessionDebugLevel(lisp.s);
    ASSERT_TRUE(level);
    EXPECT_EQ(1, level->level);
    EXPECT_EQ(20u, level->frames.size());
    EXPECT_TRUE(level->moreFrames);
    EXPECT_FALSE(level->frames[3].localsAsked || level->frames[3].localsKnown);
    EXPECT_TRUE(lisp.s.requests.count(4)) << "only the evaluation is left waiting";
    EXPECT_EQ(1u, lisp.s.requests.size());

    lisp.Receive("(:debug-return 4 1 nil)");
    lisp.Receive("(:return (:abort \"NIL\") 5)");
    EXPECT_TRUE(lisp.s.debugger.empty());
}

TEST(Session, TextsWaitForTheDebuggerOnlyWhenTheyDoWait)
{
    // A thread of the Lisp's own entered the debugger; the REPL is free.
    Conversation lisp;
    lisp.Receive("(:debug 9 1 (\"bg\" \"   [Condition of type ERROR]\" nil) ((\"ABORT\" \"abort thread\")) "
                 "nil nil)");
    lisp.Submit("(f)");
    EXPECT_EQ("CL-USER> (f)\n", TranscriptOf(lisp.out));
    EXPECT_EQ(Messages{Eval("(f)", 5)}, MessagesOf(lisp.out)) << "after the request for the thread's name";
}

TEST(Session, InterruptGoesToTheReplThreadWhileItEvaluates)
{
    Conversation lisp;
    Effects out;
    SessionInterrupt(lisp.s, out);
    EXPECT_EQ("; Nothing to interrupt.\n", TranscriptOf(out));
    EXPECT_TRUE(MessagesOf(out).empty());
    lisp.Submit("(loop)");
    out = Effects();
    SessionInterrupt(lisp.s, out);
    EXPECT_EQ(Messages{"(:emacs-interrupt :repl-thread)"}, MessagesOf(out));
}

TEST(Session, AnswersWhatTheLispAsksAndIgnoresWhatItNeedsNothingFor)
{
    Conversation lisp;
    EXPECT_EQ(Messages{"(:emacs-pong 3 7)"}, MessagesOf(lisp.Receive("(:ping 3 7)")));
    const char *ignored[] = {"(:new-features (:x))",
                             "(:indentation-update ((\"when\" . 1)))",
                             "(:debug-return 4 1 nil)",
                             "(:return)",
                             "(:return (:ok 1))",
                             "(:return (:ok 1) 99)",
                             "(:return (:ok 1) (2))",
                             "(:return nil 2)",
                             "(:ping \"x\")",
                             "(:ping 3)",
                             "(:read-string 4)",
                             "(:new-package \"X\")",
                             "(:channel-send 1 (:prompt \"X\" \"X\" 0))"};
    for (const char *message : ignored) {
        Effects &out = lisp.Receive(message);
        EXPECT_TRUE(MessagesOf(out).empty() && TranscriptOf(out).empty() && !Has(out, EffectKind::CloseConnection)) << message;
        EXPECT_FALSE(SessionAsks(lisp.s)) << message;
    }
    EXPECT_EQ("COMMON-LISP-USER", lisp.s.package);
    EXPECT_EQ("; The Lisp refused a request: no such thread\n",
              TranscriptOf(lisp.Receive("(:invalid-rpc 99 \"no such thread\")")));
    EXPECT_FALSE(Has(lisp.out, EffectKind::CloseConnection));
}

TEST(Session, AMalformedMessageClosesTheConnection)
{
    const char *bad[] = {"(:return", "\"just a string\"", "((:nested) 1)", "", "(:a) (:b)", "()", "42"};
    for (const char *message : bad) {
        Conversation lisp;
        EXPECT_TRUE(Has(lisp.Receive(message), EffectKind::CloseConnection)) << message;
        EXPECT_EQ("; The Lisp sent a malformed message; the connection is closed.\n", TranscriptOf(lisp.out))
            << message;
    }
}

// Swank goes on after a request it could not read: the connection stays,
// and the request the packet ends with is taken as refused, so that
// nothing waits for it; a packet without one of the session's ids is said.
TEST(Session, ARequestTheLispCouldNotReadIsRefusedAndTheConnectionStays)
{
    Conversation lisp;
    lisp.Submit("(f)\n(g)");
    lisp.Receive("(:reader-error \"(:emacs-rex (kestralune-listener:listener-eval \\\"(f)\\\") \\\"X\\\" :repl-thread 4)\" "
                 "\"Package X does not exist.\")");
    EXPECT_FALSE(Has(lisp.out, EffectKind::CloseConnection));
    EXPECT_EQ("; The Lisp could not read a request: Package X does not exist.\n"
              "; Evaluation aborted: Package X does not exist.\n; Not evaluated: the form after it.\n",
              TranscriptOf(lisp.out));
    EXPECT_FALSE(lisp.s.evaluating);
    EXPECT_TRUE(lisp.s.requests.empty());
    const char *odd[] = {"(:reader-error \"(:emacs-rex\" \"end of file\")", "(:reader-error \"(x 99)\" \"y\")",
                         "(:reader-error 4 \"y\")", "(:reader-error)"};
    for (const char *message : odd) {
        EXPECT_FALSE(Has(lisp.Receive(message), EffectKind::CloseConnection)) << message;
        EXPECT_EQ(LinkState::Ready, lisp.s.state) << message;
    }
    EXPECT_EQ("; The Lisp could not read a request: end of file\n", TranscriptOf(lisp.Receive(odd[0])));
    EXPECT_EQ(Messages{Eval("(h)", 5)}, MessagesOf(lisp.Submit("(h)")));
}

TEST(Session, ALostConnectionSaysWhatDidNotFinishAndWhatDidNotRun)
{
    Conversation lisp;
    lisp.Submit("(a) (sleep 10)");
    lisp.Receive(Done(4));
    lisp.Submit("\r\n  (defun f ()\r\n  1)");
    lisp.Submit("   ");
    lisp.Receive(Debug41);
    lisp.Receive("(:read-string 4 5)");
    lisp.Lost("the Lisp closed the connection");
    EXPECT_EQ("; Connection to the Lisp lost: the Lisp closed the connection.\n"
              "; Did not finish: (a) (sleep 10)\n"
              "; Did not run: (defun f () ...\n"
              "; Did not run: (empty)\n",
              TranscriptOf(lisp.out));
    EXPECT_TRUE(Has(lisp.out, EffectKind::CaptionChanged) && Has(lisp.out, EffectKind::DebuggerChanged) && Has(lisp.out, EffectKind::QuestionChanged));
    EXPECT_FALSE(HasConnection(lisp.s) || lisp.s.evaluating || SessionAsks(lisp.s));
    EXPECT_TRUE(lisp.s.waiting.empty() && lisp.s.debugger.empty() && lisp.s.requests.empty());
    EXPECT_FALSE(SessionSubmit(lisp.s, "(+ 1 2)", lisp.out));
    EXPECT_EQ("", TranscriptOf(lisp.Lost("again"))) << "a connection is lost once";

    // Texts that waited for the REPL to be made did not run, and none was in
    // the Lisp; a connection lost before it was ready was refused, which the
    // link says once, so the session does not say it was lost.
    Session s;
    Effects out;
    SessionConnected(s, out);
    SessionSubmit(s, "(x)", out);
    SessionMessage(s, ConnectionInfo(1), out);
    out = Effects();
    SessionLost(s, "reset", out);
    EXPECT_EQ("; Did not run: (x)\n", TranscriptOf(out));
}

TEST(Session, ALostConnectionEndsTheOpenLine)
{
    Conversation lisp;
    lisp.Submit("(princ 1)");
    lisp.Receive("(:write-string \"1\")");
    EXPECT_EQ("\n; Connection to the Lisp lost: gone.\n; Did not finish: (princ 1)\n",
              TranscriptOf(lisp.Lost("gone")));
}

TEST(Session, AReconnectKeepsThePackageOfTheSameLispAndSaysWhenItWasStartedAgain)
{
    struct Case {
        bool nameless;  // a connection in between was lost before the Lisp named itself
        long pid;
        const char *package, *prompt;
        const char *transcript;
    } cases[] = {
        {false, 14065, "FOO", "F", "; Connected to SBCL 2.2.9.debian.\n"},
        {true, 14065, "FOO", "F", "; Connected to SBCL 2.2.9.debian.\n"},
        {false, 222, "COMMON-LISP-USER", "CL-USER",
         "; Connected to SBCL 2.2.9.debian.\n"
         "; The Lisp was started again (process 222): what was defined before is gone.\n"},
        {true, 222, "COMMON-LISP-USER", "CL-USER",
         "; Connected to SBCL 2.2.9.debian.\n"
         "; The Lisp was started again (process 222): what was defined before is gone.\n"},
    };
    for (const Case &c : cases) {
        Conversation lisp(14065);
        lisp.Submit("(in-package :foo)");
        lisp.Receive("(:new-package \"FOO\" \"F\")");
        lisp.Receive(Done(4));
        lisp.Lost("gone");
        if (c.nameless) {
            SessionConnected(lisp.s, lisp.out);
            lisp.Lost("gone");
        }
        lisp.Connect(c.pid);
        EXPECT_EQ(c.transcript, TranscriptOf(lisp.out)) << c.pid;
        EXPECT_EQ(c.package, lisp.s.package) << c.pid;
        EXPECT_EQ(c.prompt, lisp.s.prompt) << c.pid;
        lisp.Submit("(f)");
        EXPECT_EQ(std::string(c.prompt) + "> (f)\n", TranscriptOf(lisp.out)) << c.pid;
        EXPECT_EQ(Messages{Eval("(f)", 4, c.package)}, MessagesOf(lisp.out)) << c.pid;
    }
}

TEST(Session, WhatTheLispNamesIsShownWithItsControlCharactersVisible)
{
    Session s;
    Effects out;
    SessionConnected(s, out);
    SessionMessage(s, Bytes("(:return (:ok (:pid 1 :lisp-implementation (:type \"L\x01\" :version \"1\x00\"))) 1)"),
                   out);
    SessionMessage(s, HelperLoaded, out);
    out = Effects();
    SessionMessage(s, "(:return (:ok (\"P\" \"P\x1b\")) 3)", out);
    EXPECT_EQ("; Connected to L^A 1^@.\n", TranscriptOf(out));
    out = Effects();
    SessionMessage(s, Bytes("(:new-package \"Q\0\" \"Q\0\")"), out);
    SessionSubmit(s, "(f)", out);
    EXPECT_EQ("Q^@> (f)\n", TranscriptOf(out));
    EXPECT_EQ(Messages{Eval("(f)", 4, std::string("Q\0", 2))}, MessagesOf(out))
        << "the package goes back to the Lisp as it named it";
}

// The request for a form of this many bytes, sent in COMMON-LISP-USER with a
// one-digit id, is exactly as long as a frame can announce.
size_t LongestForm()
{
    return MaxFramePayload - Eval("", 4).size();
}

TEST(Session, AFormTooLongForOneMessageIsRefusedAndTheQueueGoesOn)
{
    Conversation lisp;
    lisp.Submit("(first)");
    std::string tooLong = "(a) " + std::string(LongestForm() + 1, 'x');
    lisp.Submit(tooLong);
    EXPECT_EQ("; Not evaluated: a form is too long for one message to the Lisp (" +
                  std::to_string(LongestForm() + 1) + " bytes): " + tooLong.substr(0, 60) + " ...\n",
              TranscriptOf(lisp.out));
    EXPECT_TRUE(MessagesOf(lisp.out).empty());
    EXPECT_TRUE(lisp.s.waiting.empty()) << "refused, not queued";
    lisp.Submit("(then)");
    lisp.Receive(Done(4));
    EXPECT_TRUE(MessagesOf(lisp.out) == Messages{Eval("(then)", 5)});

    // Quotes and backslashes are escaped in the request: they count twice.
    lisp.Receive(Done(5));
    std::string quoted = "\"" + std::string(LongestForm() / 4 * 2 + 2, '\\') + "\"";
    lisp.Submit(quoted);
    EXPECT_NE(std::string::npos, TranscriptOf(lisp.out).find("; Not evaluated: a form is too long"));
    EXPECT_TRUE(MessagesOf(lisp.out).empty());

    // The longest that fits goes.
    std::string longest(LongestForm(), 'x');
    lisp.Submit(longest);
    ASSERT_EQ(1u, MessagesOf(lisp.out).size());
    std::string frame;
    EXPECT_TRUE(EncodeFrame(MessagesOf(lisp.out)[0], &frame));
}

TEST(Session, AFormThatNoLongerFitsWhenItsTurnComesIsNotSent)
{
    // Fits while the REPL reads in COMMON-LISP-USER, not once an earlier form
    // moved it to a package of a longer name.
    Conversation lisp;
    lisp.Submit("(in-package :a-package-of-a-longer-name)");
    std::string longest(LongestForm(), 'x');
    lisp.Submit(longest + " (after)");
    lisp.Submit("(then)");
    EXPECT_EQ(2u, lisp.s.waiting.size());
    lisp.Receive("(:new-package \"A-PACKAGE-OF-A-LONGER-NAME\" \"A\")");
    lisp.Receive(Done(4));
    EXPECT_TRUE(MessagesOf(lisp.out) == Messages{Eval("(then)", 5, "A-PACKAGE-OF-A-LONGER-NAME")})
        << "the next text goes, not the form that does not fit";
    std::string transcript = TranscriptOf(lisp.out);
    size_t notice = transcript.find("; Not evaluated: a form is too long for one message to the Lisp (" +
                                    std::to_string(longest.size()) + " bytes).\n"
                                                                      "; Not evaluated: the form after it.\n"
                                                                      "A> (then)\n");
    EXPECT_NE(std::string::npos, notice) << transcript.substr(transcript.size() - 200);
    EXPECT_EQ(1u, lisp.s.requests.size());
}

TEST(Session, ALongTextIsEchoedShortened)
{
    std::string lines = "(progn\n";
    while (lines.size() <= EchoLimit)
        lines += std::string(99, 'x') + "\n";
    lines += ")";
    Conversation lisp;
    lisp.Submit(lines);
    // Its lines up to EchoLimit: "(progn\n" and 19 lines of 100.
    EXPECT_EQ("CL-USER> " + lines.substr(0, 7 + 19 * 100) + "; ... (" + std::to_string(lines.size()) +
                  " characters in all)\n",
              TranscriptOf(lisp.out));
    EXPECT_EQ(Messages{Eval(lines, 4)}, MessagesOf(lisp.out)) << "the Lisp gets the whole text";

    struct Case {
        std::string text, echo;
    } cases[] = {
        {std::string(EchoLimit, '1'), std::string(EchoLimit, '1') + "\n"},
        {std::string(EchoLimit + 1, '1'),
         std::string(EchoLimit, '1') + "\n; ... (" + std::to_string(EchoLimit + 1) + " characters in all)\n"},
        // "a" then 1000 two-byte characters: byte EchoLimit is inside the
        // last; the text is 1001 characters long, in 2001 bytes.
        {"a" + Repeat("\xc3\xa9", 1000), "a" + Repeat("\xc3\xa9", 999) + "\n; ... (1001 characters in all)\n"},
    };
    long id = 4;
    for (const Case &c : cases) {
        lisp.Receive(Done(id++));
        EXPECT_EQ("CL-USER> " + c.echo, TranscriptOf(lisp.Submit(c.text))) << c.text.size();
        EXPECT_EQ(Messages{Eval(c.text, id)}, MessagesOf(lisp.out));
    }
}

TEST(Session, EvaluationLabels)
{
    struct Case {
        std::string text, label;
    } cases[] = {
        {"(+ 1 2)", "(+ 1 2)"},
        {"  (+ 1 2)\r\n\r\n", "(+ 1 2)"},
        {"(a)\n(b)", "(a) ..."},
        {"\r\n\t(a)\r\n", "(a)"},
        {std::string(60, 'x'), std::string(60, 'x')},
        {std::string(61, 'x'), std::string(60, 'x') + " ..."},
        {std::string(59, 'x') + "\xc3\xa9", std::string(59, 'x') + " ..."},
        {" \r\n\t", "(empty)"},
        {"", "(empty)"},
        {std::string("(a \0)", 5), "(a ^@)"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.label, EvaluationLabel(c.text)) << c.text;
}

}  // namespace

namespace {

// A level of thread T on level N with two frames, as Swank sends it.
std::string DebugOf(const std::string &thread, long level, const std::string &message)
{
    return "(:debug " + thread + " " + std::to_string(level) + " (" + LispString(message) +
           " \"   [Condition of type ERROR]\" nil) ((\"ABORT\" \"abort thread\")) ((0 \"(F0)\") (1 \"(F1)\")) nil)";
}

}  // namespace

// Each thread keeps its own levels: another thread's level waits behind
// the one on screen, said in the transcript and not raised; the next
// thread is shown on request, and when the one shown returns. The window
// names each thread, and every other one.
TEST(Session, EachThreadKeepsItsLevelsAndTheOneOnScreenStays)
{
    Conversation lisp;
    lisp.Submit("(f)");
    lisp.Receive(DebugOf("4", 1, "first"));
    EXPECT_EQ(1, FirstOf(lisp.out, EffectKind::DebuggerChanged).tag) << "the user's evaluation: to the front";
    EXPECT_EQ("repl-thread", SessionDebugLevel(lisp.s)->threadName);
    DebugPlace replLevel1 = lisp.Here();

    lisp.Receive(DebugOf("9", 1, "second"));
    EXPECT_EQ("; thread 9 entered the debugger, level 1: second (Ctrl+Tab in the debugger shows it)\n",
              TranscriptOf(lisp.out));
    EXPECT_EQ(Messages{"(:emacs-rex (kestralune-listener:thread-name 9) \"COMMON-LISP-USER\" t 5)"},
              MessagesOf(lisp.out));
    EXPECT_EQ(0, FirstOf(lisp.out, EffectKind::DebuggerChanged).tag) << "behind the user's typing";
    EXPECT_EQ("4", SessionDebugLevel(lisp.s)->thread);
    EXPECT_EQ("thread 9 (level 1)", SessionDebugLevel(lisp.s)->otherThreads);
    lisp.Receive(Returned(5, "(:ok \"kestralune-1\")"));
    EXPECT_TRUE(Has(lisp.out, EffectKind::CaptionChanged));
    EXPECT_EQ("kestralune-1 (level 1)", SessionDebugLevel(lisp.s)->otherThreads);
    lisp.Receive(DebugOf("9", 2, "second, deeper"));
    EXPECT_EQ("4", SessionDebugLevel(lisp.s)->thread) << "its own levels, not the view";
    EXPECT_EQ("kestralune-1 (level 2)", SessionDebugLevel(lisp.s)->otherThreads);
    EXPECT_TRUE(MessagesOf(lisp.out).empty()) << "the name is asked once";

    // The next thread, on request; an action of the level no longer shown
    // still reaches it, a switch made from a thread not on screen is dropped.
    Effects out;
    SessionNextDebugThread(lisp.s, replLevel1, out);
    EXPECT_EQ(1, FirstOf(out, EffectKind::DebuggerChanged).tag);
    ASSERT_EQ("9", SessionDebugLevel(lisp.s)->thread);
    EXPECT_EQ(2, SessionDebugLevel(lisp.s)->level);
    EXPECT_EQ("kestralune-1", SessionDebugLevel(lisp.s)->threadName);
    EXPECT_EQ("repl-thread (level 1)", SessionDebugLevel(lisp.s)->otherThreads);
    out = Effects();
    SessionNextDebugThread(lisp.s, replLevel1, out);
    EXPECT_TRUE(out.empty()) << "made on a thread no longer on screen";

    // The thread on screen returns: the other one is shown, and said.
    lisp.Receive("(:debug-return 9 1 nil)");
    EXPECT_EQ("; The debugger shows repl-thread, level 1.\n", TranscriptOf(lisp.out));
    EXPECT_EQ("4", SessionDebugLevel(lisp.s)->thread);
    EXPECT_EQ("", SessionDebugLevel(lisp.s)->otherThreads);
    lisp.Receive("(:debug-activate 4 1 nil)");
    EXPECT_EQ(1, FirstOf(lisp.out, EffectKind::DebuggerChanged).tag);
    lisp.Receive("(:debug-activate 9 1 nil)");
    EXPECT_FALSE(Has(lisp.out, EffectKind::DebuggerChanged)) << "no such level";
}

// An action carries the thread and level it was made on: one made on a
// level that is no longer its thread's innermost, or on a level being left
// (Esc pressed twice before the Lisp answered), is dropped. A restart that
// answers left nothing, and the level takes actions again.
TEST(Session, ActionsComeTooLateAreDropped)
{
    struct Case {
        const char *what;
        std::string thread;
        long level;
        bool sent;
    } cases[] = {
        {"the innermost level", "4", 2, true},
        {"a level inside which another opened", "4", 1, false},
        {"a level that returned", "4", 3, false},
        {"a thread not in the debugger", "8", 1, false},
        {"another thread's innermost, not on screen", "9", 1, true},
    };
    typedef void (*Act)(Session &, const DebugPlace &, Effects &);
    for (const Case &c : cases) {
        DebugPlace at{c.thread, c.level};
        const Act acts[] = {
            [](Session &s, const DebugPlace &p, Effects &o) { SessionInvokeRestart(s, p, 0, o); },
            [](Session &s, const DebugPlace &p, Effects &o) { SessionAbortDebugger(s, p, o); },
            [](Session &s, const DebugPlace &p, Effects &o) { SessionFrameLocals(s, p, 1, o); },
            [](Session &s, const DebugPlace &p, Effects &o) { SessionEvalInFrame(s, p, 1, "x", o); },
            [](Session &s, const DebugPlace &p, Effects &o) { SessionReturnFromFrame(s, p, 1, "x", o); },
            [](Session &s, const DebugPlace &p, Effects &o) { SessionFrameTool(s, p, 1, FrameTool::Source, o); },
        };
        for (Act act : acts) {
            Conversation lisp;
            lisp.Submit("(f)");
            lisp.Receive(DebugOf("4", 1, "one"));
            lisp.Receive(DebugOf("4", 2, "two"));
            lisp.Receive(DebugOf("4", 3, "three"));
            lisp.Receive(DebugOf("9", 1, "other"));
            lisp.Receive("(:debug-return 4 3 nil)");
            Effects out;
            act(lisp.s, at, out);
            EXPECT_EQ(c.sent, !MessagesOf(out).empty()) << c.what;
            if (c.sent)
                EXPECT_NE(std::string::npos, MessagesOf(out)[0].find(" " + c.thread + " ")) << c.what;
        }
    }

    Conversation lisp;
    lisp.Submit("(f)");
    lisp.Receive(DebugOf("4", 1, "one"));
    EXPECT_EQ(1u, MessagesOf(lisp.Abort()).size());
    EXPECT_TRUE(MessagesOf(lisp.Abort()).empty()) << "the level is being left";
    EXPECT_TRUE(MessagesOf(lisp.Restart(0)).empty()) << "the level is being left";
    lisp.Receive(Returned(5, "(:ok nil)"));  // the abort did not leave it
    EXPECT_TRUE(Has(lisp.out, EffectKind::DebuggerChanged));
    EXPECT_EQ(1u, MessagesOf(lisp.Restart(0)).size());
    lisp.Receive(Returned(6, "(:abort nil)"));  // left: the return follows
    EXPECT_TRUE(MessagesOf(lisp.Abort()).empty());

    // A restart that errs leads into a deeper level, not out: once that one
    // returns, Esc on the level below is sent, before the restart's answer.
    Conversation erring;
    erring.Submit("(f)");
    erring.Receive(DebugOf("4", 1, "outer"));
    EXPECT_EQ(1u, MessagesOf(erring.Restart(0)).size());
    erring.Receive(DebugOf("4", 2, "inner"));
    EXPECT_EQ(1u, MessagesOf(erring.Abort()).size());
    erring.Receive("(:debug-return 4 2 nil)");
    EXPECT_EQ(1u, MessagesOf(erring.Abort()).size()) << "level 1 takes Esc again";
}

// The tools on a frame: what each sends (through the helper's frame-tool,
// which answers (:ok VALUE) or (:refused MESSAGE)) and what each answer
// shows. What the Lisp cannot do is one line, and the level takes actions
// again.
TEST(Session, TheFrameToolsSayWhatTheLispCouldDo)
{
    const std::string frame1 = " 1) \"COMMON-LISP-USER\" 4 5)";
    struct Case {
        const char *what;
        FrameTool tool;
        std::string sent, reply, shown;
        bool edits;
    } cases[] = {
        {"source in a file", FrameTool::Source,
         "(:emacs-rex (kestralune-listener:frame-tool (quote swank/backend:frame-source-location)" + frame1,
         "(:ok (:ok (:location (:file \"/src/a.lisp\") (:position 11) nil)))", "", true},
        {"source of a text", FrameTool::Source, "",
         "(:ok (:ok (:location (:buffer \"x\") (:position 1) nil)))",
         "; The source of frame 1 is not known: it was compiled from a text, not a file\n", false},
        {"source the Lisp does not know", FrameTool::Source, "", "(:ok (:ok (:error \"No source.\")))",
         "; The source of frame 1 is not known: No source.\n", false},
        {"restart where the Lisp cannot", FrameTool::Restart,
         "(:emacs-rex (kestralune-listener:frame-tool (quote swank/backend:restart-frame)" + frame1,
         "(:ok (:refused \"SWANK/BACKEND:RESTART-FRAME not implemented\"))",
         "; SBCL 2.2.9.debian cannot restart frame 1: SWANK/BACKEND:RESTART-FRAME not implemented\n", false},
        {"disassembly", FrameTool::Disassemble,
         "(:emacs-rex (kestralune-listener:frame-tool (quote swank:sldb-disassemble)" + frame1,
         "(:ok (:ok \"; disassembly\nMOV RAX, 1\n\"))", "; Disassembly of frame 1:\n; disassembly\nMOV RAX, 1\n",
         false},
        {"a step where the Lisp cannot", FrameTool::StepInto,
         "(:emacs-rex (kestralune-listener:frame-tool (quote swank:sldb-step)" + frame1,
         "(:ok (:refused \"Not currently single-stepping, and no continue restart available.\"))",
         "; SBCL 2.2.9.debian cannot step into frame 1: Not currently single-stepping, and no continue restart "
         "available.\n",
         false},
        {"next, which stepped", FrameTool::StepNext,
         "(:emacs-rex (kestralune-listener:frame-tool (quote swank:sldb-next)" + frame1, "(:abort nil)", "", false},
        {"disassembly aborted", FrameTool::Disassemble, "", "(:abort nil)", "; Could not disassemble frame 1.\n",
         false},
        {"out", FrameTool::StepOut, "(:emacs-rex (kestralune-listener:frame-tool (quote swank:sldb-out)" + frame1,
         "(:ok (:refused \"no\"))", "; SBCL 2.2.9.debian cannot step out of frame 1: no\n", false},
    };
    for (const Case &c : cases) {
        Conversation lisp;
        lisp.Submit("(f)");
        lisp.Receive(DebugOf("4", 1, "one"));
        Effects out;
        SessionFrameTool(lisp.s, lisp.Here(), 1, c.tool, out);
        if (!c.sent.empty())
            EXPECT_EQ(Messages{c.sent}, MessagesOf(out)) << c.what;
        Effects &answered = lisp.Receive(Returned(5, c.reply));
        EXPECT_EQ(c.shown, TranscriptOf(answered)) << c.what;
        EXPECT_EQ(c.edits, Has(answered, EffectKind::EditReady)) << c.what;
        if (c.edits) {
            const Effect &edit = FirstOf(answered, EffectKind::EditReady);
            ASSERT_EQ(1u, edit.places.size());
            EXPECT_EQ("/src/a.lisp", edit.places[0].file);
            EXPECT_EQ(10, edit.places[0].position);
            EXPECT_EQ("the source of frame 1 is", edit.text);
        }
        // A step, a restart or a return that did what it was asked left the
        // level (its request aborted): the level's return follows.
        bool left = c.tool != FrameTool::Disassemble && c.reply == "(:abort nil)";
        EXPECT_EQ(left, SessionDebugLevel(lisp.s)->leaving) << c.what;
        EXPECT_EQ(left ? 0u : 1u, MessagesOf(lisp.Abort()).size()) << c.what;
    }
}

// Evaluating in a frame: the text goes to the helper with the frame and
// the REPL's package; the value shows in the level and in the transcript.
// Returning from a frame evaluates its text there (nil when empty), and
// answers only when it could not return.
TEST(Session, EvalInAFrameAndReturnFromIt)
{
    Conversation lisp;
    lisp.Submit("(f)");
    lisp.Receive(DebugOf("4", 1, "one"));
    Effects out;
    SessionEvalInFrame(lisp.s, lisp.Here(), 1, "(+ n 1)", out);
    EXPECT_EQ("; In frame 1: (+ n 1)\n", TranscriptOf(out));
    EXPECT_EQ(Messages{"(:emacs-rex (kestralune-listener:eval-in-frame \"(+ n 1)\" 1 \"COMMON-LISP-USER\") "
                       "\"COMMON-LISP-USER\" 4 5)"},
              MessagesOf(out));
    lisp.Receive(Returned(5, "(:ok (:ok \"=> 5 (3 bits, #x5, #o5, #b101)\"))"));
    EXPECT_EQ("=> 5 (3 bits, #x5, #o5, #b101)\n", TranscriptOf(lisp.out));
    EXPECT_EQ("=> 5 (3 bits, #x5, #o5, #b101)", SessionDebugLevel(lisp.s)->evalResult);
    EXPECT_TRUE(Has(lisp.out, EffectKind::DebuggerChanged));
    out = Effects();
    SessionEvalInFrame(lisp.s, lisp.Here(), 1, "(car 1)", out);
    lisp.Receive(Returned(6, "(:ok (:refused \"The value 1 is not of type LIST\"))"));
    EXPECT_EQ("; Error: The value 1 is not of type LIST", SessionDebugLevel(lisp.s)->evalResult);
    out = Effects();
    SessionEvalInFrame(lisp.s, lisp.Here(), 1, "  ", out);
    SessionEvalInFrame(lisp.s, lisp.Here(), 7, "x", out);
    EXPECT_TRUE(out.empty()) << "nothing to evaluate, or no such frame";

    SessionReturnFromFrame(lisp.s, lisp.Here(), 0, "", out);
    EXPECT_EQ("; Return from frame 0 with nil\n", TranscriptOf(out));
    EXPECT_EQ(Messages{"(:emacs-rex (kestralune-listener:frame-tool (quote swank:sldb-return-from-frame) 0 \"nil\") "
                       "\"COMMON-LISP-USER\" 4 7)"},
              MessagesOf(out));
    EXPECT_TRUE(MessagesOf(lisp.Abort()).empty()) << "being left";
    lisp.Receive(Returned(7, "(:ok (:ok \"(\\\"Frame is not returnable\\\")\"))"));
    EXPECT_EQ("; Could not return from frame 0: (\"Frame is not returnable\")\n", TranscriptOf(lisp.out));
    EXPECT_EQ(1u, MessagesOf(lisp.Abort()).size());
}

// Questions of several threads wait in the order they came: the line typed
// answers the first, each as its kind wants, and the next one's prompt is
// written when its turn comes. A question aborted leaves its place.
TEST(Session, QuestionsOfSeveralThreadsAreAnsweredInOrder)
{
    Conversation lisp;
    lisp.Submit("(f)");
    lisp.Receive("(:read-from-minibuffer 4 1 \"Name: \" \"anna\")");
    EXPECT_EQ("Name: [anna] ", TranscriptOf(lisp.out));
    EXPECT_TRUE(MessagesOf(lisp.out).empty());
    lisp.Receive("(:y-or-n-p 9 2 \"Go on?\")");
    EXPECT_EQ("\n; thread 9 waits for input too; it is answered after repl-thread.\n", TranscriptOf(lisp.out));
    lisp.Receive(Returned(5, "(:ok \"worker\")"));
    lisp.Receive("(:read-string 11 3)");
    lisp.Receive("(:read-string 12 4)");
    ASSERT_EQ(4u, lisp.s.questions.size());
    EXPECT_EQ("4", SessionQuestion(lisp.s)->thread);
    lisp.Receive("(:read-aborted 12 4)");
    EXPECT_EQ(3u, lisp.s.questions.size());
    EXPECT_TRUE(Has(lisp.out, EffectKind::QuestionChanged));

    EXPECT_EQ(Messages{"(:emacs-return 4 1 \"bob\")"}, MessagesOf(lisp.Answer("bob")));
    EXPECT_EQ("bob\n; Now worker waits for input.\nGo on? (y or n) ", TranscriptOf(lisp.out));
    EXPECT_EQ(Messages{}, MessagesOf(lisp.Answer("maybe")));
    EXPECT_EQ(Messages{"(:emacs-return 9 2 t)"}, MessagesOf(lisp.Answer("yes")));
    EXPECT_EQ(Messages{"(:emacs-return-string 11 3 \"text\n\")"}, MessagesOf(lisp.Answer("text")));
    EXPECT_FALSE(SessionAsks(lisp.s));
    lisp.Answer("late", false);

    // The first aborted: the next one's turn.
    lisp.Receive("(:read-string 4 5)");
    lisp.Receive("(:y-or-n-p 9 6 \"Again?\")");
    lisp.Receive("(:read-aborted 4 5)");
    EXPECT_EQ("; Now worker waits for input.\nAgain? (y or n) ", TranscriptOf(lisp.out));
    EXPECT_EQ("9", SessionQuestion(lisp.s)->thread);
}

// What the Lisp asks of an Emacs the listener is not is answered at once,
// so that no thread of the Lisp waits for ever: the call signals an error.
TEST(Session, EmacsCallsAreAnsweredWithAnError)
{
    struct Case {
        const char *message, *line, *answer;
    } cases[] = {
        {"(:eval 4 7 \"(+ 1 2)\")", "; Evaluating in the editor (eval-in-emacs) is not supported: the Lisp's call signals an error.\n",
         "(:emacs-return 4 7 (:error \"KESTRALUNE\" \"Evaluating in the editor (eval-in-emacs) is not supported\"))"},
        {"(:ed-rpc 5 8 \"slime-foo\" 1 2)",
         "; Calling the editor's function slime-foo is not supported: the Lisp's call signals an error.\n",
         "(:emacs-return 5 8 (:error \"KESTRALUNE\" \"Calling the editor's function slime-foo is not supported\"))"},
        {"(:eval 4)", "", nullptr},
        {"(:ed-rpc \"x\" 8)", "", nullptr},
    };
    for (const Case &c : cases) {
        Conversation lisp;
        Effects &out = lisp.Receive(c.message);
        EXPECT_EQ(c.line, TranscriptOf(out)) << c.message;
        EXPECT_EQ(c.answer ? Messages{c.answer} : Messages{}, MessagesOf(out)) << c.message;
        EXPECT_FALSE(Has(out, EffectKind::CloseConnection));
    }
}
