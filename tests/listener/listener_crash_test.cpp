// Crashes of the programs around the editor, with SBCL running swank:
// the Lisp killed again and again while evaluations are in flight, and the
// listener killed while the editor evaluates. The Lisp's port comes in
// KESTRALUNE_TEST_PORT, and tests/listener/with_swank.sh kills and restarts
// it on request (LispRequest). QUILLON_SOAK=full makes the runs longer.
#include "tests/listener/listenertest.h"
#include "editor/editor.h"
#include "tests/evallink/linktest.h"
#include "tests/support/wintest.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <vector>

namespace {

typedef std::vector<std::string> Texts;

const char Connected[] = "KESTRALUNE - connected to SBCL ";

class ListenerCrashes : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        StartEditorWithLink();
        WatchDialogs();
    }
    void SetUp() override
    {
        const char *port = getenv("KESTRALUNE_TEST_PORT");
        ASSERT_NE(nullptr, port) << "no Lisp: run through tests/listener/with_swank.sh";
        listener = StartListener(std::string("-port ") + port + SecretOption());
        ASSERT_NE(nullptr, listener.main);
        ASSERT_TRUE(WaitForCaption(listener, Connected)) << Caption(listener);
        TakeSeenDialogs();
    }
    void TearDown() override
    {
        if (listener.info.hProcess) {
            EXPECT_EQ(0u, StopListener(listener));
        }
    }
    // Evaluates the text from the editor; the notices it raised, and in ms
    // how long the command took.
    static Texts Evaluate(const std::string &text, DWORD *ms = nullptr)
    {
        ShowText(text, 0, (unsigned)text.size());
        return EvaluateAgain(ms);
    }
    // Eval Selection of what the editor holds selected now.
    static Texts EvaluateAgain(DWORD *ms = nullptr)
    {
        DWORD start = GetTickCount();
        EvalCommand();
        if (ms)
            *ms = GetTickCount() - start;
        Texts notices;
        for (const SeenDialog &seen : TakeSeenDialogs())
            notices.push_back(seen.text);
        return notices;
    }
    Program listener;
};

// Each round: a long evaluation runs and two more wait behind it when SBCL
// is killed. The listener says what was lost, stays alive and answering,
// the editor meanwhile gets "Transaction failed" at once, and once SBCL
// serves again the listener reconnects by itself, says that this is a new
// Lisp, and evaluates.
TEST_F(ListenerCrashes, TheLispKilledWithEvaluationsInFlight)
{
    const int rounds = FullSoak() ? 50 : 5;
    DWORD lossMs = 0, reconnectMs = 0, longestEvalMs = 0;
    for (int round = 1; round <= rounds; round++) {
        SCOPED_TRACE("round " + std::to_string(round));
        size_t from = Transcript(listener).size();
        std::string waiting = "(+ " + std::to_string(round) + " 1000)";
        EXPECT_EQ(Texts{}, Evaluate("(sleep 30)"));
        EXPECT_EQ(Texts{}, Evaluate(waiting));
        EXPECT_EQ(Texts{}, Evaluate("(list 'second)"));
        ASSERT_TRUE(WaitForTranscript(listener, "CL-USER> (sleep 30)\r\n", 10000, from)) << Transcript(listener);
        PumpFor(100);  // the Lisp is inside the sleep

        DWORD start = GetTickCount();
        ASSERT_TRUE(LispRequest("kill"));
        ASSERT_TRUE(WaitForTranscript(listener,
                                      "; Did not finish: (sleep 30)\r\n; Did not run: " + waiting +
                                          "\r\n; Did not run: (list 'second)\r\n",
                                      10000, from))
            << Transcript(listener).substr(from);
        lossMs += GetTickCount() - start;
        EXPECT_NE(std::string::npos, Transcript(listener).find("; Connection to the Lisp lost", from));
        ASSERT_TRUE(ListenerAnswers(listener)) << "the listener lives on";
        ASSERT_TRUE(WaitForCaption(listener, "KESTRALUNE - not connected", 5000)) << Caption(listener);

        DWORD evalMs;
        EXPECT_EQ(Texts{"Transaction failed"}, Evaluate("(+ 1 1)", &evalMs)) << "no Lisp: not taken";
        longestEvalMs = std::max(longestEvalMs, evalMs);

        start = GetTickCount();
        ASSERT_TRUE(LispRequest("start")) << "SBCL did not serve again";
        ASSERT_TRUE(WaitForCaption(listener, Connected)) << Caption(listener);
        reconnectMs += GetTickCount() - start;
        EXPECT_TRUE(WaitForTranscript(listener, "; The Lisp was started again (process ", 5000, from))
            << "the user is told the definitions are gone\n" << Transcript(listener).substr(from);
        from = Transcript(listener).size();
        std::string sum = "(+ " + std::to_string(round) + " 2000)";
        EXPECT_EQ(Texts{}, Evaluate(sum, &evalMs));
        longestEvalMs = std::max(longestEvalMs, evalMs);
        EXPECT_TRUE(WaitForTranscript(listener, sum + "\r\n=> " + std::to_string(round + 2000) + "\r\n", 10000, from))
            << Transcript(listener).substr(from);
    }
    printf("%d kills of SBCL: loss reported %lu ms after the kill, reconnected %lu ms after the restart (means); "
           "longest Eval Selection %lu ms\n",
           rounds, (unsigned long)(lossMs / rounds), (unsigned long)(reconnectMs / rounds),
           (unsigned long)longestEvalMs);
}

// Kills the listener after the given time, from a thread of its own, while
// the test's thread is inside Eval Selection.
struct Killer {
    HANDLE process;
    DWORD afterMs;
};

DWORD WINAPI KillLater(void *argument)
{
    Killer *killer = (Killer *)argument;
    Sleep(killer->afterMs);
    TerminateProcess(killer->process, 99);
    return 0;
}

// The listener is killed while the Lisp works on an evaluation the editor
// sent, or while the editor is in a conversation with it: the command that
// meets the kill ends at the latest when its 60 s time-out runs out (a
// server killed after it took the execute never answers, and the editor
// cannot tell that from a slow one), with a notice or, taken before the
// kill, without; the first command after it says so; every other command
// ends at once, and once a new listener runs the next one is taken and
// evaluated.
TEST_F(ListenerCrashes, TheListenerKilledWhileTheEditorEvaluates)
{
    const int rounds = FullSoak() ? 20 : 2;
    std::string big = "(length \"";
    while (big.size() < 30000)
        big += std::string(70, 'x') + "\r\n";
    big += "\")";
    DWORD longestMs = 0, longestKilledMs = 0;
    for (int round = 1; round <= rounds; round++) {
        SCOPED_TRACE("round " + std::to_string(round));
        EXPECT_EQ(Texts{}, Evaluate("(sleep 5)"));
        // Eval Selection again and again with a large selection while
        // another thread kills the listener: some command meets it dying.
        ShowText(big, 0, (unsigned)big.size());
        Killer killer = {listener.info.hProcess, 20u * round};
        HANDLE thread = CreateThread(NULL, 0, KillLater, &killer, 0, NULL);
        ASSERT_NE(nullptr, thread);
        // The command that meets the kill is the first to end with the
        // listener gone. It may have been taken before the kill, and then
        // its conversation's end waits for the dead server (under Wine for
        // 10 s): it succeeds, and the next one gives the notice.
        Texts notices;
        int sent = 0;
        DWORD ms = 0;
        bool met = false;
        for (; sent < 200 && notices.empty(); sent++) {
            notices = EvaluateAgain(&ms);
            if (!met && WaitForSingleObject(listener.info.hProcess, 0) == WAIT_OBJECT_0) {
                met = true;
                longestKilledMs = std::max(longestKilledMs, ms);
            } else {
                longestMs = std::max(longestMs, ms);
            }
        }
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(listener.info.hProcess, 5000));
        ASSERT_EQ(1u, notices.size()) << "the command that met the kill, or the next";
        EXPECT_TRUE(notices[0] == "Transaction failed" || notices[0] == "Can't connect to KESTRALUNE") << notices[0];
        printf("round %d: the listener killed during Eval Selection %d: \"%s\" after %lu ms\n", round, sent,
               notices[0].c_str(), (unsigned long)ms);
        EXPECT_EQ(Texts{"Can't connect to KESTRALUNE"}, Evaluate("(+ 1 2)", &ms)) << "with no listener";
        longestMs = std::max(longestMs, ms);
        CloseHandle(listener.info.hProcess);
        CloseHandle(listener.info.hThread);
        listener = Program();

        SetUp();
        size_t from = Transcript(listener).size();
        EXPECT_EQ(Texts{}, Evaluate("(* 6 7)", &ms)) << "the editor's link works again";
        longestMs = std::max(longestMs, ms);
        EXPECT_TRUE(WaitForTranscript(listener, "(* 6 7)\r\n=> 42\r\n", 10000, from))
            << Transcript(listener).substr(from);
    }
    printf("%d kills of the listener: longest Eval Selection %lu ms, %lu ms for one that met the kill\n", rounds,
           (unsigned long)longestMs, (unsigned long)longestKilledMs);
    EXPECT_LT(longestMs, 5000u) << "far within the time-out";
    EXPECT_LT(longestKilledMs, 61000u) << "within the time-out";
}

} // namespace
