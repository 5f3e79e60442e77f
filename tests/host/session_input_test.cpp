// What the input area asks of the Lisp through the session: completions,
// argument lists and descriptions go to a worker thread (t) in the REPL's
// package, never to the REPL thread, and their answers come back with the
// tag they were asked with. The answers are as SBCL's Swank 2.27 gives them.
#include "listener/session.h"
#include "listener/swank_wire.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

typedef std::vector<std::string> Texts;

// A session whose REPL is made (ids 1 to 3 went to connecting).
struct Connected {
    Session s;
    SessionOutput out;
    Connected()
    {
        SessionConnected(s, "(helper)", out);
        Receive("(:return (:ok (:pid 7 :lisp-implementation (:type \"SBCL\" :version \"2.2.9\"))) 1)");
        Receive("(:return (:ok t) 2)");
        Receive("(:return (:ok (\"COMMON-LISP-USER\" \"CL-USER\")) 3)");
        EXPECT_TRUE(s.ready);
    }
    SessionOutput &Receive(const std::string &payload)
    {
        out = SessionOutput();
        SessionMessage(s, payload, out);
        return out;
    }
};

TEST(SessionInput, CompletionsGoToAWorkerThreadAndComeBackWithTheirTag)
{
    Connected c;
    SessionOutput out;
    ASSERT_TRUE(SessionComplete(c.s, "with-", 17, out));
    EXPECT_EQ(Texts{"(:emacs-rex (cl:handler-case (swank:simple-completions \"with-\" \"COMMON-LISP-USER\") "
                    "(cl:error () nil)) \"COMMON-LISP-USER\" t 4)"},
              out.messages);
    EXPECT_FALSE(out.completionReady);
    SessionOutput &answer =
        c.Receive("(:return (:ok ((\"with-accessors\" \"with-compilation-unit\") \"with-\")) 4)");
    EXPECT_TRUE(answer.completionReady);
    EXPECT_EQ(17, answer.completionTag);
    EXPECT_EQ((Texts{"with-accessors", "with-compilation-unit"}), answer.completions);
    EXPECT_EQ("", answer.transcript);

    // No match, an error caught in the Lisp (nil) and an abort all answer
    // with no completions.
    const char *answers[] = {"(:return (:ok (nil \"\")) 5)", "(:return (:ok nil) 5)",
                             "(:return (:abort \"no\") 5)"};
    for (const char *none : answers) {
        out = SessionOutput();
        ASSERT_TRUE(SessionComplete(c.s, "zzz", 18, out));
        ASSERT_EQ(1u, c.s.requests.count(5)) << none;
        SessionOutput &empty = c.Receive(none);
        EXPECT_TRUE(empty.completionReady) << none;
        EXPECT_EQ(18, empty.completionTag) << none;
        EXPECT_TRUE(empty.completions.empty()) << none;
        c.s.nextId = 5;
    }
}

TEST(SessionInput, RequestsReadInTheReplsPackageAndLeaveARunningEvaluationAlone)
{
    Connected c;
    c.Receive("(:new-package \"MY-PACKAGE\" \"MY\")");
    SessionOutput out;
    ASSERT_TRUE(SessionSubmit(c.s, "(sleep 10)", out));
    long evaluation = c.s.running.requestId;
    ASSERT_EQ(4, evaluation);
    out = SessionOutput();
    ASSERT_TRUE(SessionArglist(c.s, "mapcar", 3, out));
    ASSERT_TRUE(SessionDescribe(c.s, "mapcar", out));
    EXPECT_EQ((Texts{"(:emacs-rex (cl:handler-case (swank:operator-arglist \"mapcar\" \"MY-PACKAGE\") "
                     "(cl:error () nil)) \"MY-PACKAGE\" t 5)",
                     "(:emacs-rex (cl:handler-case (swank:describe-symbol \"mapcar\") (cl:error (condition) "
                     "(cl:list :error (cl:ignore-errors (cl:princ-to-string condition))))) \"MY-PACKAGE\" t 6)"}),
              out.messages);
    EXPECT_EQ(evaluation, c.s.running.requestId);
    EXPECT_TRUE(c.s.evaluating);
    SessionOutput &answer = c.Receive("(:return (:ok \"(mapcar FUNCTION LIST &REST MORE-LISTS)\") 5)");
    EXPECT_TRUE(answer.arglistReady);
    EXPECT_EQ(3, answer.arglistTag);
    EXPECT_EQ("mapcar", answer.arglistName);
    EXPECT_EQ("(mapcar FUNCTION LIST &REST MORE-LISTS)", answer.arglist);
    EXPECT_EQ(evaluation, c.s.running.requestId);
}

TEST(SessionInput, AnOperatorWithoutAnArgumentListAnswersAnEmptyOne)
{
    Connected c;
    // A long list the Lisp's printer broke into lines comes as one line.
    SessionOutput first;
    ASSERT_TRUE(SessionArglist(c.s, "find", 8, first));
    EXPECT_EQ("(find ITEM SEQUENCE &KEY (TEST '#'EQL) (START 0))",
              c.Receive("(:return (:ok \"(find ITEM SEQUENCE &KEY (TEST '#'EQL)\n (START 0))\n\") 4)").arglist);
    const char *answers[] = {"(:return (:ok nil) 4)", "(:return (:abort \"x\") 4)"};
    for (const char *answer : answers) {
        SessionOutput out;
        c.s.nextId = 4;
        ASSERT_TRUE(SessionArglist(c.s, "no-such", 9, out));
        SessionOutput &got = c.Receive(answer);
        EXPECT_TRUE(got.arglistReady) << answer;
        EXPECT_EQ("no-such", got.arglistName) << answer;
        EXPECT_EQ("", got.arglist) << answer;
    }
}

TEST(SessionInput, ADescriptionIsShownOnItsOwnLines)
{
    Connected c;
    struct {
        const char *answer;
        std::string shown;
    } cases[] = {
        {"(:return (:ok \"COMMON-LISP:CAR\n  [symbol]\n\n\") 4)", "COMMON-LISP:CAR\n  [symbol]\n"},
        {"(:return (:ok (:error \"Unknown symbol: nope [in #<PACKAGE \\\"COMMON-LISP-USER\\\">]\")) 4)",
         "; No description of nope: Unknown symbol: nope [in #<PACKAGE \"COMMON-LISP-USER\">]\n"},
        {"(:return (:ok (:error nil)) 4)", "; No description of nope.\n"},
        {"(:return (:abort \"x\") 4)", "; No description of nope: the request was aborted.\n"},
        {"(:return (:ok \"a\x01" "b\") 4)", "a^Ab\n"},
    };
    for (const auto &k : cases) {
        SessionOutput out;
        c.s.nextId = 4;
        // Output without its line break is ended first.
        c.Receive("(:write-string \"partial\")");
        ASSERT_TRUE(SessionDescribe(c.s, "nope", out));
        EXPECT_EQ("\n" + k.shown, c.Receive(k.answer).transcript) << k.answer;
    }
    std::string big = "(:return (:ok \"" + std::string(20000, 'd') + "\") 5)";
    SessionOutput out;
    ASSERT_TRUE(SessionDescribe(c.s, "big", out));
    std::string shown = c.Receive(big).transcript;
    EXPECT_EQ(std::string(16384, 'd') + " ...\n[cut: the description is longer than 16384 characters]\n", shown);
}

TEST(SessionInput, NothingIsAskedWithoutAReadyLisp)
{
    Session s;
    SessionOutput out;
    EXPECT_FALSE(SessionComplete(s, "a", 1, out));
    EXPECT_FALSE(SessionArglist(s, "a", 1, out));
    EXPECT_FALSE(SessionDescribe(s, "a", out));
    s.connected = true;  // connected, the REPL not made yet
    EXPECT_FALSE(SessionComplete(s, "a", 1, out));
    EXPECT_TRUE(out.messages.empty());
    EXPECT_TRUE(s.requests.empty());
}

}  // namespace
