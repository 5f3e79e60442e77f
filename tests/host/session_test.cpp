// The listener's conversation with the Lisp, driven by the messages Swank's
// REPL sends: what goes out, in which order, and what the transcript shows.
// The messages are as SBCL's Swank 2.27 sends them.
#include "listener/session.h"
#include "listener/swank_wire.h"

#include <gtest/gtest.h>

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
    return "(:emacs-rex (swank-repl:listener-eval " + LispString(form) + ") " + LispString(package) +
           " :repl-thread " + std::to_string(id) + ")";
}

std::string Done(long id)
{
    return "(:return (:ok nil) " + std::to_string(id) + ")";
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
    SessionOutput out;

    explicit Conversation(long pid = 14065) { Connect(pid); }
    void Connect(long pid)
    {
        out = SessionOutput();
        SessionConnected(s, "(helper)", out);
        Receive(ConnectionInfo(pid));
        Receive(HelperLoaded);
        Receive(ReplMade);
        EXPECT_TRUE(s.ready);
    }
    // Each step clears what the steps before it produced.
    SessionOutput &Receive(const std::string &payload)
    {
        out = SessionOutput();
        SessionMessage(s, payload, out);
        return out;
    }
    SessionOutput &Submit(const std::string &text)
    {
        out = SessionOutput();
        EXPECT_TRUE(SessionSubmit(s, text, out));
        return out;
    }
    SessionOutput &Answer(const std::string &line, bool taken = true)
    {
        out = SessionOutput();
        EXPECT_EQ(taken, SessionAnswer(s, line, out)) << line;
        return out;
    }
    SessionOutput &Lost(const std::string &why)
    {
        out = SessionOutput();
        SessionLost(s, why, out);
        return out;
    }
    SessionOutput &Restart(size_t n)
    {
        out = SessionOutput();
        SessionInvokeRestart(s, n, out);
        return out;
    }
    SessionOutput &Abort()
    {
        out = SessionOutput();
        SessionAbortDebugger(s, out);
        return out;
    }
    SessionOutput &MoreFrames()
    {
        out = SessionOutput();
        SessionMoreFrames(s, out);
        return out;
    }
    SessionOutput &Locals(long frame)
    {
        out = SessionOutput();
        SessionFrameLocals(s, frame, out);
        return out;
    }
    // Hands each message over in turn; what they wrote, all together.
    std::string Transcript(const std::vector<std::string> &payloads)
    {
        std::string shown;
        for (const std::string &payload : payloads)
            shown += Receive(payload).transcript;
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
    SessionOutput out;
    EXPECT_FALSE(SessionSubmit(s, "(+ 1 2)", out)) << "nothing is taken without a Lisp";
    SessionConnected(s, "(defun f () \"q\\\")", out);
    EXPECT_EQ(Messages{"(:emacs-rex (swank:connection-info) \"COMMON-LISP-USER\" t 1)"}, out.messages);
    EXPECT_TRUE(out.captionChanged);
    EXPECT_TRUE(s.connected);
    EXPECT_FALSE(s.ready);

    out = SessionOutput();
    EXPECT_TRUE(SessionSubmit(s, "(+ 1 2)", out)) << "taken while the REPL is made";
    EXPECT_TRUE(out.messages.empty());
    EXPECT_EQ("", out.transcript);

    out = SessionOutput();
    SessionMessage(s, ConnectionInfo(14065), out);
    EXPECT_EQ("SBCL 2.2.9.debian", s.lispName);
    EXPECT_EQ(14065, s.lispPid);
    EXPECT_TRUE(out.captionChanged);
    EXPECT_EQ(Messages{"(:emacs-rex (cl:progn (swank:swank-require (quote (:swank-repl))) "
                       "(cl:load (cl:make-string-input-stream \"(defun f () \\\"q\\\\\\\")\")) "
                       "(cl:funcall (cl:read-from-string \"kestralune-listener:start\"))) "
                       "\"COMMON-LISP-USER\" t 2)"},
              out.messages);

    out = SessionOutput();
    SessionMessage(s, HelperLoaded, out);
    EXPECT_EQ(Messages{"(:emacs-rex (swank-repl:create-repl nil) "
                       "\"COMMON-LISP-USER\" t 3)"},
              out.messages);
    EXPECT_FALSE(s.ready);
    EXPECT_EQ("", out.transcript);

    // The first REPL of the listener reads in the package the REPL names.
    out = SessionOutput();
    SessionMessage(s, "(:return (:ok (\"MY-PACKAGE\" \"MY\")) 3)", out);
    EXPECT_TRUE(s.ready);
    EXPECT_TRUE(out.captionChanged);
    EXPECT_EQ("; Connected to SBCL 2.2.9.debian.\nMY> (+ 1 2)\n", out.transcript);
    EXPECT_EQ(Messages{Eval("(+ 1 2)", 4, "MY-PACKAGE")}, out.messages);
    EXPECT_EQ(1u, s.requests.size());
}

// A Lisp that runs Swank without threads (CLISP) cannot be interrupted, and
// its debugger answers late: the user is told at once.
TEST(Session, ALispWithoutThreadsIsSaidToBeOne)
{
    for (const char *style : {":spawn", "nil"}) {
        Session s;
        SessionOutput out;
        SessionConnected(s, "", out);
        std::string info = ConnectionInfo(7);
        info.replace(info.find(":style :spawn"), 13, std::string(":style ") + style);
        out = SessionOutput();
        SessionMessage(s, info, out);
        EXPECT_EQ(std::string(style) == "nil" ? "; This Lisp runs Swank without threads: Interrupt cannot stop an "
                                                "evaluation, and its debugger may answer late.\n"
                                              : "",
                  out.transcript)
            << style;
        EXPECT_EQ(1u, out.messages.size()) << "the helper is loaded all the same";
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
        {1, "(:return (:abort \"Don't know how to REQUIRE SWANK-REPL.\") 2)",
         "; The Lisp did not take Swank's REPL or the listener's helper: Don't know how to REQUIRE SWANK-REPL.\n"},
        {2, "(:return (:abort \"#<TYPE-ERROR>\") 3)", "; The Lisp could not make Swank's REPL: #<TYPE-ERROR>\n"},
        {2, "(:return (:ok nil) 3)", "; The Lisp could not make Swank's REPL.\n"},
        {2, "(:return (:ok (\"CL-USER\")) 3)", "; The Lisp could not make Swank's REPL.\n"},
    };
    for (const Case &c : cases) {
        Session s;
        SessionOutput out;
        SessionConnected(s, "", out);
        SessionSubmit(s, "(waits)", out);
        const std::string steps[] = {ConnectionInfo(1), HelperLoaded};
        for (int i = 0; i < c.answered; i++)
            SessionMessage(s, steps[i], out);
        out = SessionOutput();
        SessionMessage(s, c.refusal, out);
        EXPECT_TRUE(out.closeConnection) << c.refusal;
        EXPECT_FALSE(s.ready) << c.refusal;
        EXPECT_TRUE(out.messages.empty()) << c.refusal << ": the text that waits is not sent";
        EXPECT_EQ(c.transcript, out.transcript) << c.refusal;
    }
}

TEST(Session, EachFormIsItsOwnEvaluationSentWhenTheOneBeforeReturned)
{
    Conversation lisp;
    lisp.Submit("(in-package :foo) (+ 1 2)\n(list 'a \"b\")\n");
    EXPECT_EQ("CL-USER> (in-package :foo) (+ 1 2)\n(list 'a \"b\")\n", lisp.out.transcript);
    EXPECT_EQ(Messages{Eval("(in-package :foo)", 4)}, lisp.out.messages);
    EXPECT_TRUE(lisp.Submit("(second)").messages.empty()) << "a text waits for the one before it";
    EXPECT_EQ("", lisp.out.transcript);

    EXPECT_EQ("", lisp.Receive("(:new-package \"FOO\" \"FOO\")").transcript);
    EXPECT_EQ("=> #<PACKAGE \"FOO\">\n", lisp.Receive(Value("#<PACKAGE \"FOO\">")).transcript);
    EXPECT_TRUE(lisp.out.messages.empty()) << "a value is not the end of the evaluation";
    EXPECT_EQ(Messages{Eval("(+ 1 2)", 5, "FOO")}, lisp.Receive(Done(4)).messages);
    EXPECT_TRUE(lisp.Receive(Done(77)).messages.empty()) << "no request of ours has id 77";
    EXPECT_EQ("=> 3\n", lisp.Receive(Value("3")).transcript);
    EXPECT_EQ(Messages{Eval("(list 'a \"b\")", 6, "FOO")}, lisp.Receive(Done(5)).messages);
    lisp.Receive(Done(6));
    EXPECT_EQ("FOO> (second)\n", lisp.out.transcript);
    EXPECT_EQ(Messages{Eval("(second)", 7, "FOO")}, lisp.out.messages);
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
        EXPECT_EQ("", lisp.Receive(Done(4)).transcript) << c.messages[0];
        EXPECT_FALSE(lisp.s.evaluating) << c.messages[0];
    }
}

TEST(Session, TheNextTextBeginsOnAFreshLineAfterOutputWithoutALineBreak)
{
    Conversation lisp;
    lisp.Submit("(princ 1)");
    lisp.Submit("(princ 2)");
    EXPECT_EQ("1", lisp.Receive("(:write-string \"1\")").transcript);
    EXPECT_EQ("\nCL-USER> (princ 2)\n", lisp.Receive(Done(4)).transcript);
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
        EXPECT_EQ(c.transcript + std::string("CL-USER> (next)\n"), lisp.out.transcript) << c.abort;
        EXPECT_EQ(Messages{Eval("(next)", 5 + c.returned)}, lisp.out.messages) << c.abort;
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
        auto take = [&](const SessionOutput &out) {
            shown += out.transcript;
            sent.insert(sent.end(), out.messages.begin(), out.messages.end());
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
        EXPECT_EQ(c.transcript, lisp.out.transcript) << c.message;
        EXPECT_EQ(c.sent, lisp.out.messages) << c.message;
    }
}

TEST(Session, ALineTheLispReadsIsAnsweredOnce)
{
    Conversation lisp;
    lisp.Submit("(read-line)");
    lisp.Answer("early", false);
    EXPECT_TRUE(lisp.Receive("(:read-string 4 5)").questionChanged);
    EXPECT_TRUE(lisp.s.question.open);
    lisp.Answer("say \"y\"");
    EXPECT_EQ("say \"y\"\n", lisp.out.transcript);
    EXPECT_EQ(Messages{"(:emacs-return-string 4 5 \"say \\\"y\\\"\n\")"}, lisp.out.messages);
    EXPECT_TRUE(lisp.out.questionChanged);
    lisp.Answer("again", false);

    // A read that ends without an answer (the evaluation was aborted) asks no more.
    lisp.Receive("(:read-string 4 6)");
    lisp.Receive("(:read-aborted 4 5)");
    EXPECT_TRUE(lisp.s.question.open) << "another read's end";
    EXPECT_TRUE(lisp.Receive("(:read-aborted 4 6)").questionChanged);
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
        EXPECT_EQ("Really? (y or n) ", lisp.Receive("(:y-or-n-p 4 8 \"Really?\")").transcript);
        lisp.Answer(c.line);
        EXPECT_EQ(c.transcript, lisp.out.transcript) << c.line;
        EXPECT_EQ(c.sent, lisp.out.messages) << c.line;
        EXPECT_EQ(c.sent.empty(), lisp.s.question.open) << c.line << ": asked again until answered";
    }
}

TEST(Session, TheDebuggerOpensALevelAndARestartGoesToItsThread)
{
    Conversation lisp;
    lisp.Submit("(restart-case (error \"no\") (use-five () 5))");
    lisp.Receive("(:new-package \"FOO\" \"FOO\")");
    lisp.Receive(Debug41);
    EXPECT_EQ("; Debugger, level 1: no\n;   [Condition of type SIMPLE-ERROR]\n", lisp.out.transcript);
    EXPECT_TRUE(lisp.out.debuggerChanged);
    EXPECT_TRUE(lisp.out.messages.empty());
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

    SessionOutput &activated = lisp.Receive("(:debug-activate 4 1 nil)");
    EXPECT_TRUE(activated.debuggerChanged);
    EXPECT_TRUE(activated.messages.empty() && activated.transcript.empty());

    lisp.Submit("(later)");
    EXPECT_EQ("; Waits until the debugger is left: (later)\n", lisp.out.transcript);
    EXPECT_TRUE(lisp.out.messages.empty());

    EXPECT_TRUE(lisp.Restart(4).messages.empty()) << "there is no restart 4";
    lisp.Restart(0);
    EXPECT_EQ("; Restart 0 [USE-FIVE]: USE-FIVE\n", lisp.out.transcript);
    EXPECT_EQ(Messages{"(:emacs-rex (swank:invoke-nth-restart-for-emacs 1 0) \"FOO\" 4 5)"}, lisp.out.messages);
    EXPECT_EQ("", lisp.Receive("(:return (:abort \"NIL\") 5)").transcript);
    EXPECT_TRUE(SessionDebugLevel(lisp.s)) << "open until the Lisp says it returned";
    EXPECT_TRUE(lisp.Receive("(:debug-return 4 1 nil)").debuggerChanged);
    EXPECT_FALSE(SessionDebugLevel(lisp.s));
    EXPECT_EQ("=> 5\n", lisp.Receive(Value("5")).transcript);
    lisp.Receive(Done(4));
    EXPECT_EQ("FOO> (later)\n", lisp.out.transcript);
    EXPECT_EQ(Messages{Eval("(later)", 6, "FOO")}, lisp.out.messages);
}

TEST(Session, NestedLevelsCloseFromTheInnermostAndAbortRecordsItsAbortRestart)
{
    Conversation lisp;
    lisp.Submit("(error \"no\")");
    lisp.Receive(Debug41);
    lisp.Receive(Debug42);
    EXPECT_EQ("; Debugger, level 2: The variable X is unbound.\n;   [Condition of type UNBOUND-VARIABLE]\n",
              lisp.out.transcript);
    ASSERT_EQ(2u, lisp.s.debugger.size());
    EXPECT_EQ(2, SessionDebugLevel(lisp.s)->level);

    lisp.Abort();
    EXPECT_EQ("; Restart 1 [ABORT]: Return to sldb level 1.\n", lisp.out.transcript);
    EXPECT_EQ(Messages{"(:emacs-rex (swank:sldb-abort) \"COMMON-LISP-USER\" 4 5)"}, lisp.out.messages);
    lisp.Receive("(:debug-return 4 2 nil)");
    ASSERT_EQ(1u, lisp.s.debugger.size());
    EXPECT_EQ(1, SessionDebugLevel(lisp.s)->level);

    // The innermost ABORT of level 1 is Swank's own, shown as *ABORT.
    lisp.Abort();
    EXPECT_EQ("; Restart 2 [*ABORT]: Return to SLIME's top level.\n", lisp.out.transcript);
    EXPECT_EQ(Messages{"(:emacs-rex (swank:sldb-abort) \"COMMON-LISP-USER\" 4 6)"}, lisp.out.messages);

    // An error in the debugger again, and a debugger of another thread.
    lisp.Receive(Debug42);
    lisp.Receive("(:debug 9 1 (\"bg\" \"   [Condition of type ERROR]\" nil) ((\"ABORT\" \"abort thread\")) "
                 "((0 \"(G)\")) nil)");
    ASSERT_EQ(3u, lisp.s.debugger.size());
    lisp.Abort();
    EXPECT_EQ(Messages{"(:emacs-rex (swank:sldb-abort) \"COMMON-LISP-USER\" 9 7)"}, lisp.out.messages)
        << "to the thread of the innermost level";
    lisp.Receive("(:debug-return 4 1 nil)");
    ASSERT_EQ(1u, lisp.s.debugger.size()) << "a return closes the level and those inside it";
    EXPECT_EQ("9", SessionDebugLevel(lisp.s)->thread);

    // A level shown again (as Swank does when a level inside it returned)
    // replaces the one it was, and is not recorded again.
    lisp.Receive("(:debug 9 1 (\"bg again\" \"\" nil) nil nil nil)");
    EXPECT_EQ("", lisp.out.transcript);
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
    EXPECT_NE(std::string::npos, shown.find(" ...\n[cut: the message is longer than 8192 characters]"));
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
        EXPECT_FALSE(lisp.out.closeConnection) << message;
    }
}

TEST(Session, MoreFramesAndLocalsFillTheLevel)
{
    Conversation lisp;
    lisp.Submit("(deep)");
    lisp.Receive(DebugWithFrames(1, 20));
    EXPECT_TRUE(SessionDebugLevel(lisp.s)->moreFrames) << "as many frames came as Swank sends at first";

    EXPECT_EQ(Messages{"(:emacs-rex (swank:backtrace 20 40) \"COMMON-LISP-USER\" 4 5)"},
              lisp.MoreFrames().messages);
    EXPECT_TRUE(lisp.MoreFrames().messages.empty()) << "asked once until answered";
    lisp.Receive("(:return (:ok ((20 \"(FOO)\") (21 \"(BAR)\" (:restartable t)))) 5)");
    EXPECT_TRUE(lisp.out.debuggerChanged);
    const DebugLevel *level = SessionDebugLevel(lisp.s);
    ASSERT_EQ(22u, level->frames.size());
    EXPECT_EQ(21, level->frames[21].index);
    EXPECT_EQ("(BAR)", level->frames[21].text);
    EXPECT_FALSE(level->moreFrames) << "the backtrace ended";
    EXPECT_TRUE(lisp.MoreFrames().messages.empty());

    EXPECT_EQ(Messages{"(:emacs-rex (swank:frame-locals-and-catch-tags 21) \"COMMON-LISP-USER\" 4 6)"},
              lisp.Locals(21).messages);
    EXPECT_TRUE(lisp.Locals(21).messages.empty()) << "asked once";
    EXPECT_TRUE(lisp.Locals(99).messages.empty()) << "no such frame";
    EXPECT_FALSE(level->frames[21].localsKnown);
    lisp.Receive("(:return (:ok (((:name \"X\" :id 0 :value \"5\") (:name \"Y\" :id 0 :value \"\x01\")) nil)) 6)");
    EXPECT_TRUE(lisp.out.debuggerChanged);
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
    EXPECT_TRUE(lisp.out.debuggerChanged);
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
    EXPECT_FALSE(lisp.out.debuggerChanged);
    lisp.Receive("(:return (:ok (((:name \"X\" :id 0 :value \"5\")) nil)) 6)");
    EXPECT_FALSE(lisp.out.debuggerChanged);
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
    EXPECT_EQ("CL-USER> (f)\n", lisp.out.transcript);
    EXPECT_EQ(Messages{Eval("(f)", 4)}, lisp.out.messages);
}

TEST(Session, InterruptGoesToTheReplThreadWhileItEvaluates)
{
    Conversation lisp;
    SessionOutput out;
    SessionInterrupt(lisp.s, out);
    EXPECT_EQ("; Nothing to interrupt.\n", out.transcript);
    EXPECT_TRUE(out.messages.empty());
    lisp.Submit("(loop)");
    out = SessionOutput();
    SessionInterrupt(lisp.s, out);
    EXPECT_EQ(Messages{"(:emacs-interrupt :repl-thread)"}, out.messages);
}

TEST(Session, AnswersWhatTheLispAsksAndIgnoresWhatItNeedsNothingFor)
{
    Conversation lisp;
    EXPECT_EQ(Messages{"(:emacs-pong 3 7)"}, lisp.Receive("(:ping 3 7)").messages);
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
        SessionOutput &out = lisp.Receive(message);
        EXPECT_TRUE(out.messages.empty() && out.transcript.empty() && !out.closeConnection) << message;
        EXPECT_FALSE(lisp.s.question.open) << message;
    }
    EXPECT_EQ("COMMON-LISP-USER", lisp.s.package);
    EXPECT_EQ("; The Lisp refused a request: no such thread\n",
              lisp.Receive("(:invalid-rpc 99 \"no such thread\")").transcript);
    EXPECT_FALSE(lisp.out.closeConnection);
}

TEST(Session, AMalformedMessageClosesTheConnection)
{
    const char *bad[] = {"(:return", "\"just a string\"", "((:nested) 1)", "", "(:a) (:b)", "()", "42"};
    for (const char *message : bad) {
        Conversation lisp;
        EXPECT_TRUE(lisp.Receive(message).closeConnection) << message;
        EXPECT_EQ("; The Lisp sent a malformed message; the connection is closed.\n", lisp.out.transcript)
            << message;
    }
    Conversation lisp;
    EXPECT_TRUE(lisp.Receive("(:reader-error \"(:emacs-rex\" \"end of file\")").closeConnection)
        << "a request Swank could not read is never answered";
    EXPECT_EQ("; The Lisp could not read a request: end of file\n", lisp.out.transcript);
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
              lisp.out.transcript);
    EXPECT_TRUE(lisp.out.captionChanged && lisp.out.debuggerChanged && lisp.out.questionChanged);
    EXPECT_FALSE(lisp.s.connected || lisp.s.ready || lisp.s.evaluating || lisp.s.question.open);
    EXPECT_TRUE(lisp.s.waiting.empty() && lisp.s.debugger.empty() && lisp.s.requests.empty());
    EXPECT_FALSE(SessionSubmit(lisp.s, "(+ 1 2)", lisp.out));
    EXPECT_EQ("", lisp.Lost("again").transcript) << "a connection is lost once";

    // Texts that waited for the REPL to be made did not run, and none was in
    // the Lisp; a connection lost before it was ready was refused, which the
    // link says once, so the session does not say it was lost.
    Session s;
    SessionOutput out;
    SessionConnected(s, "", out);
    SessionSubmit(s, "(x)", out);
    SessionMessage(s, ConnectionInfo(1), out);
    out = SessionOutput();
    SessionLost(s, "reset", out);
    EXPECT_EQ("; Did not run: (x)\n", out.transcript);
}

TEST(Session, ALostConnectionEndsTheOpenLine)
{
    Conversation lisp;
    lisp.Submit("(princ 1)");
    lisp.Receive("(:write-string \"1\")");
    EXPECT_EQ("\n; Connection to the Lisp lost: gone.\n; Did not finish: (princ 1)\n",
              lisp.Lost("gone").transcript);
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
            SessionConnected(lisp.s, "", lisp.out);
            lisp.Lost("gone");
        }
        lisp.Connect(c.pid);
        EXPECT_EQ(c.transcript, lisp.out.transcript) << c.pid;
        EXPECT_EQ(c.package, lisp.s.package) << c.pid;
        EXPECT_EQ(c.prompt, lisp.s.prompt) << c.pid;
        lisp.Submit("(f)");
        EXPECT_EQ(std::string(c.prompt) + "> (f)\n", lisp.out.transcript) << c.pid;
        EXPECT_EQ(Messages{Eval("(f)", 4, c.package)}, lisp.out.messages) << c.pid;
    }
}

TEST(Session, WhatTheLispNamesIsShownWithItsControlCharactersVisible)
{
    Session s;
    SessionOutput out;
    SessionConnected(s, "", out);
    SessionMessage(s, Bytes("(:return (:ok (:pid 1 :lisp-implementation (:type \"L\x01\" :version \"1\x00\"))) 1)"),
                   out);
    SessionMessage(s, HelperLoaded, out);
    out = SessionOutput();
    SessionMessage(s, "(:return (:ok (\"P\" \"P\x1b\")) 3)", out);
    EXPECT_EQ("; Connected to L^A 1^@.\n", out.transcript);
    out = SessionOutput();
    SessionMessage(s, Bytes("(:new-package \"Q\0\" \"Q\0\")"), out);
    SessionSubmit(s, "(f)", out);
    EXPECT_EQ("Q^@> (f)\n", out.transcript);
    EXPECT_EQ(Messages{Eval("(f)", 4, std::string("Q\0", 2))}, out.messages)
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
              lisp.out.transcript);
    EXPECT_TRUE(lisp.out.messages.empty());
    EXPECT_TRUE(lisp.s.waiting.empty()) << "refused, not queued";
    lisp.Submit("(then)");
    lisp.Receive(Done(4));
    EXPECT_TRUE(lisp.out.messages == Messages{Eval("(then)", 5)});

    // Quotes and backslashes are escaped in the request: they count twice.
    lisp.Receive(Done(5));
    std::string quoted = "\"" + std::string(LongestForm() / 4 * 2 + 2, '\\') + "\"";
    lisp.Submit(quoted);
    EXPECT_NE(std::string::npos, lisp.out.transcript.find("; Not evaluated: a form is too long"));
    EXPECT_TRUE(lisp.out.messages.empty());

    // The longest that fits goes.
    std::string longest(LongestForm(), 'x');
    lisp.Submit(longest);
    ASSERT_EQ(1u, lisp.out.messages.size());
    std::string frame;
    EXPECT_TRUE(EncodeFrame(lisp.out.messages[0], &frame));
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
    EXPECT_TRUE(lisp.out.messages == Messages{Eval("(then)", 5, "A-PACKAGE-OF-A-LONGER-NAME")})
        << "the next text goes, not the form that does not fit";
    std::string transcript = lisp.out.transcript;
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
              lisp.out.transcript);
    EXPECT_EQ(Messages{Eval(lines, 4)}, lisp.out.messages) << "the Lisp gets the whole text";

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
        EXPECT_EQ("CL-USER> " + c.echo, lisp.Submit(c.text).transcript) << c.text.size();
        EXPECT_EQ(Messages{Eval(c.text, id)}, lisp.out.messages);
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
