// The listener's conversation with the Lisp, driven by the messages Swank
// sends: what goes out, in which order, and what the transcript shows.
#include "listener/session.h"
#include "listener/swank_wire.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A session whose Lisp has loaded the helper and named itself; its first
// request (the helper) had id 1.
struct Conversation {
    Session s;
    SessionOutput out;

    Conversation()
    {
        SessionConnected(s, "(helper)", out);
        Receive("(:return (:ok (\"SBCL\" \"2.2.9\")) 1)");
    }
    // Clears what earlier steps produced, then hands one message over.
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
};

std::string EvaluateRequest(const std::string &text, long id)
{
    return "(:emacs-rex (kestralune-listener:evaluate " + LispString(text) + ") \"COMMON-LISP-USER\" t " +
           std::to_string(id) + ")";
}

TEST(Session, ConnectingLoadsTheHelperThenRunsWhatWaited)
{
    Session s;
    SessionOutput out;
    EXPECT_FALSE(SessionSubmit(s, "(+ 1 2)", out)) << "nothing is taken without a Lisp";
    SessionConnected(s, "(defun f () \"q\\\")", out);
    ASSERT_EQ(1u, out.messages.size());
    EXPECT_EQ("(:emacs-rex (cl:progn (cl:load (cl:make-string-input-stream \"(defun f () \\\"q\\\\\\\")\")) "
              "(cl:funcall (cl:read-from-string \"kestralune-listener:start\"))) \"COMMON-LISP-USER\" t 1)",
              out.messages[0]);
    EXPECT_TRUE(out.captionChanged);
    EXPECT_TRUE(s.connected);
    EXPECT_FALSE(s.ready);

    out = SessionOutput();
    EXPECT_TRUE(SessionSubmit(s, "(+ 1 2)", out)) << "taken while the helper loads";
    EXPECT_TRUE(out.messages.empty());

    out = SessionOutput();
    SessionMessage(s, "(:return (:ok (\"SBCL\" \"2.2.9.debian\")) 1)", out);
    EXPECT_EQ("SBCL 2.2.9.debian", s.lispName);
    EXPECT_TRUE(out.captionChanged);
    EXPECT_EQ("; Connected to SBCL 2.2.9.debian.\nCL-USER> (+ 1 2)\n", out.transcript);
    ASSERT_EQ(1u, out.messages.size());
    EXPECT_EQ(EvaluateRequest("(+ 1 2)", 2), out.messages[0]);
}

TEST(Session, AHelperTheLispRefusesClosesTheConnection)
{
    const char *answers[] = {"(:return (:abort \"Package SWANK/BACKEND does not exist\") 1)",
                             "(:return (:ok nil) 1)", "(:invalid-rpc 1 \"Thread not found\")"};
    for (const char *answer : answers) {
        Session s;
        SessionOutput out;
        SessionConnected(s, "", out);
        out = SessionOutput();
        SessionMessage(s, answer, out);
        EXPECT_TRUE(out.closeConnection) << answer;
        EXPECT_FALSE(s.ready) << answer;
    }
}

TEST(Session, ShowsValuesOutputAndErrors)
{
    struct Case {
        const char *result;      // what the helper returned
        const char *transcript;  // shown after the echo
    } cases[] = {
        {"(:values \"CL-USER\" ((\"3\")))", "=> 3\n"},
        {"(:values \"CL-USER\" ((\"1\" \"2\") nil (\"FOO\")))", "=> 1\n=> 2\n; No values\n=> FOO\n"},
        {"(:values \"CL-USER\" ())", ""},
        {"(:error \"arithmetic error\nOperation was (/ 1 0).\" \"DIVISION-BY-ZERO\" \"CL-USER\" ((\"X\")))",
         "=> X\n; Error: arithmetic error\n; Operation was (/ 1 0).\n; [Condition of type DIVISION-BY-ZERO]\n"},
        {"(:surprise)", "; The Lisp answered in a form the listener does not know.\n"},
    };
    for (const Case &c : cases) {
        Conversation lisp;
        lisp.Submit("(f)");
        SessionOutput &out = lisp.Receive(std::string("(:return (:ok ") + c.result + ") 2)");
        EXPECT_EQ(c.transcript, out.transcript) << c.result;
        EXPECT_EQ(0, lisp.s.runningId) << c.result;
    }
}

TEST(Session, OutputComesAsItArrivesAndValuesStartOnAFreshLine)
{
    Conversation lisp;
    lisp.Submit("(progn (princ 1) (princ 2) 7)");
    EXPECT_EQ("1", lisp.Receive("(:write-string \"1\")").transcript);
    EXPECT_EQ("2\\\"", lisp.Receive("(:write-string \"2\\\\\\\"\" nil)").transcript);
    EXPECT_EQ("\n=> 7\n", lisp.Receive("(:return (:ok (:values \"CL-USER\" ((\"7\")))) 2)").transcript);
}

TEST(Session, EvaluationsRunOneAtATimeInOrderAndKeepThePackage)
{
    Conversation lisp;
    EXPECT_EQ(1u, lisp.Submit("(in-package :foo)\r\n").messages.size());
    EXPECT_EQ("CL-USER> (in-package :foo)\r\n", lisp.out.transcript);
    EXPECT_TRUE(lisp.Submit("(second)").messages.empty());
    EXPECT_TRUE(lisp.Submit("(third)").messages.empty());
    lisp.Receive("(:return (:ok (:values \"FOO\" ((\"#<PACKAGE \\\"FOO\\\">\")))) 2)");
    ASSERT_EQ(1u, lisp.out.messages.size());
    EXPECT_EQ(EvaluateRequest("(second)", 3), lisp.out.messages[0]);
    EXPECT_EQ("=> #<PACKAGE \"FOO\">\nFOO> (second)\n", lisp.out.transcript);
    lisp.Receive("(:return (:ok (:values \"FOO\" ())) 77)");  // not ours: ignored
    EXPECT_TRUE(lisp.out.messages.empty());
    lisp.Receive("(:return (:abort \"#<SIMPLE-ERROR>\") 3)");
    EXPECT_EQ("; Evaluation aborted: #<SIMPLE-ERROR>\nFOO> (third)\n", lisp.out.transcript);
    EXPECT_EQ(EvaluateRequest("(third)", 4), lisp.out.messages.at(0));
}

TEST(Session, InterruptAndTheDebuggerNeverLeaveTheLispWaiting)
{
    Conversation lisp;
    SessionOutput out;
    SessionInterrupt(lisp.s, out);
    EXPECT_EQ("; Nothing to interrupt.\n", out.transcript);
    EXPECT_TRUE(out.messages.empty());

    lisp.Submit("(loop)");
    out = SessionOutput();
    SessionInterrupt(lisp.s, out);
    EXPECT_EQ(std::vector<std::string>{"(:emacs-interrupt t)"}, out.messages);
    lisp.Receive("(:debug 5 1 (\"Interrupt from Emacs\" \"   [Condition of type SIMPLE-ERROR]\" nil) nil nil nil)");
    EXPECT_EQ(std::vector<std::string>{"(:emacs-rex (swank:throw-to-toplevel) nil 5 3)"}, lisp.out.messages);
    EXPECT_EQ("", lisp.out.transcript) << "an asked-for interrupt is not a surprise";
    EXPECT_EQ("; Interrupted.\n", lisp.Receive("(:return (:abort \"interrupted\") 2)").transcript);

    // A debugger nobody asked for (a BREAK in the evaluated code) is shown and left.
    lisp.Submit("(break)");
    lisp.Receive("(:debug 6 1 (\"break\" \"   [Condition of type SIMPLE-CONDITION]\" nil) nil nil nil)");
    EXPECT_EQ("; Debugger entered: break\n;   [Condition of type SIMPLE-CONDITION]\n", lisp.out.transcript);
    EXPECT_EQ(std::vector<std::string>{"(:emacs-rex (swank:throw-to-toplevel) nil 6 5)"}, lisp.out.messages);
}

TEST(Session, AnswersWhatTheLispAsksAndIgnoresTheRest)
{
    Conversation lisp;
    EXPECT_EQ(std::vector<std::string>{"(:emacs-pong 3 7)"}, lisp.Receive("(:ping 3 7)").messages);
    EXPECT_EQ(std::vector<std::string>{"(:emacs-return 3 8 nil)"},
              lisp.Receive("(:y-or-n-p 3 8 \"Really?\")").messages);
    const char *ignored[] = {"(:new-features (:x))", "(:indentation-update ((\"when\" . 1)))",
                             "(:debug-activate 3 1 nil)", "(:write-string 42)", "(:return)", "(:ping \"x\")"};
    for (const char *message : ignored) {
        SessionOutput &out = lisp.Receive(message);
        EXPECT_TRUE(out.messages.empty() && out.transcript.empty() && !out.closeConnection) << message;
    }
}

TEST(Session, AMalformedMessageClosesTheConnection)
{
    const char *bad[] = {"(:return", "\"just a string\"", "((:nested) 1)", "", "(:a) (:b)"};
    for (const char *message : bad) {
        Conversation lisp;
        EXPECT_TRUE(lisp.Receive(message).closeConnection) << message;
        EXPECT_NE(std::string::npos, lisp.out.transcript.find("malformed")) << message;
    }
}

TEST(Session, ALostConnectionSaysWhichEvaluationsDidNotRun)
{
    Conversation lisp;
    lisp.Submit("(sleep 10)");
    lisp.Submit("\r\n  (defun f ()\r\n  1)");
    lisp.Submit("   ");
    SessionOutput out;
    SessionLost(lisp.s, "the Lisp closed the connection", out);
    EXPECT_EQ("; Connection to the Lisp lost: the Lisp closed the connection.\n"
              "; Did not finish: (sleep 10)\n"
              "; Did not run: (defun f () ...\n"
              "; Did not run: (empty)\n",
              out.transcript);
    EXPECT_TRUE(out.captionChanged);
    EXPECT_FALSE(lisp.s.connected);
    EXPECT_TRUE(lisp.s.waiting.empty());
    EXPECT_FALSE(SessionSubmit(lisp.s, "(+ 1 2)", out));
    out = SessionOutput();
    SessionLost(lisp.s, "again", out);
    EXPECT_EQ("", out.transcript) << "a connection is lost once";
}

TEST(Session, EvaluationLabels)
{
    EXPECT_EQ("(+ 1 2)", EvaluationLabel("(+ 1 2)"));
    EXPECT_EQ("(+ 1 2)", EvaluationLabel("  (+ 1 2)\r\n\r\n"));
    EXPECT_EQ("(a) ...", EvaluationLabel("(a)\n(b)"));
    EXPECT_EQ(std::string(60, 'x') + " ...", EvaluationLabel(std::string(61, 'x')));
    EXPECT_EQ("(empty)", EvaluationLabel(" \r\n\t"));
}

}  // namespace
