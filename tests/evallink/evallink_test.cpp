// "Eval Selection" against the stand-in KESTRALUNE server in a second process:
// what arrives, byte for byte, and what the user is told when it fails.
#include "tests/evallink/linktest.h"
#include "app/shell.h"
#include "document/document.h"
#include "editor/editor.h"
#include "evallink/evallink.h"
#include "tests/support/process.h"
#include "tests/support/wintest.h"

#include <gtest/gtest.h>

namespace {

const char CannotConnect[] = "Can't connect to KESTRALUNE";
const char Failed[] = "Transaction failed";

class EvalLink : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        StartEditorWithLink();
        ASSERT_NE(nullptr, EditorWindow);
        WatchDialogs();
    }
    void SetUp() override
    {
        PumpMessages();
        TakeSeenDialogs();
    }
    // The texts of the notices shown since the last call; each must be an
    // information box captioned "KESTRALUNE".
    static std::vector<std::string> Notices()
    {
        std::vector<std::string> texts;
        for (const SeenDialog &seen : TakeSeenDialogs()) {
            EXPECT_EQ("KESTRALUNE", seen.caption);
            EXPECT_EQ(LoadIconA(NULL, IDI_INFORMATION), seen.icon);
            texts.push_back(seen.text);
        }
        return texts;
    }
    typedef std::vector<std::string> Texts;
};

// 31000 characters of Lisp over many lines: what the snapshot holds at most.
std::string LongText()
{
    std::string text;
    while (text.size() < 31000)
        text += "(setq total (+ total 1))\r\n";
    text.resize(31000);
    return text;
}

TEST_F(EvalLink, SelectionArrivesAsOneExecuteWithItsNul)
{
    const std::string lines = "(defun sq (x)\r\n  (* x x))\r\n(sq 3)";
    const std::string high = "(print \"\xE9t\xE9 \x80 \xFF\xB0\")";
    struct {
        const char *what;
        std::string text;
        unsigned start, end;
        std::string sent;
    } cases[] = {
        {"bare caret: a lone NUL", "(car x)", 3, 3, ""},
        {"whole lines", lines, 0, 27, "(defun sq (x)\r\n  (* x x))\r\n"},
        {"last line without its break", lines, 15, 33, "  (* x x))\r\n(sq 3)"},
        {"bytes above 127", high, 0, (unsigned)high.size(), high},
        {"31000 characters in one piece", LongText(), 0, 31000, LongText()},
    };
    Kestralune server;
    ASSERT_EQ("", server.Start());
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ShowText(c.text, c.start, c.end);
        EvalCommand();
        EXPECT_EQ(Texts(), Notices());
        EXPECT_EQ((ServerRecords{Opened, Sent(c.sent), Closed}), server.Take(3));
    }
}

TEST_F(EvalLink, NoConversationGivesConnectNoticeAndTakesNoSnapshot)
{
    struct {
        const char *what;
        const char *options;   // null: no server at all
        ServerRecords seen;
    } cases[] = {
        {"no server", NULL, {}},
        {"topic refused", "-refuse", {Refused}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Kestralune server;
        if (c.options) {
            ASSERT_EQ("", server.Start(c.options));
        }
        ShowText("(first)", 0, 7);
        const char *snapshot = SelectedText();
        ASSERT_NE(nullptr, snapshot);
        ShowText("(second)", 0, 8);
        EvalCommand();
        EXPECT_EQ(Texts{CannotConnect}, Notices());
        EXPECT_STREQ("(first)", snapshot) << "the command took a snapshot";
        if (c.options) {
            EXPECT_EQ(c.seen, server.Take(c.seen.size()));
        }
    }
}

TEST_F(EvalLink, ExecuteNotAcknowledgedGivesTransactionFailed)
{
    for (const char *options : {"-busy", "-notprocessed"}) {
        SCOPED_TRACE(options);
        Kestralune server;
        ASSERT_EQ("", server.Start(options));
        ShowText("(car x)", 0, 7);
        EvalCommand();
        EXPECT_EQ(Texts{Failed}, Notices());
        EXPECT_EQ((ServerRecords{Opened, Sent("(car x)"), Closed}), server.Take(3));
    }
}

TEST_F(EvalLink, LateAcknowledgementIsStillSuccess)
{
    Kestralune server;
    ASSERT_EQ("", server.Start("-hold 1500"));
    ShowText("(car x)", 0, 7);
    DWORD start = GetTickCount();
    EvalCommand();
    EXPECT_GE(GetTickCount() - start, 1400u);
    EXPECT_EQ(Texts(), Notices());
    EXPECT_EQ((ServerRecords{Opened, Sent("(car x)"), Closed}), server.Take(3));
}

TEST_F(EvalLink, SelectionBeyondTheSnapshotSendsNothing)
{
    Kestralune server;
    ASSERT_EQ("", server.Start());
    ShowText(LongText() + std::string(1000, 'y'), 31500, 31510);
    ASSERT_EQ(32000, GetWindowTextLengthA(EditorWindow));
    EvalCommand();
    EXPECT_EQ(Texts{Failed}, Notices());
    EXPECT_EQ((ServerRecords{Opened, Closed}), server.Take(2));
}

TEST_F(EvalLink, LinkThatFailedToStartGivesConnectNotice)
{
    Kestralune server;
    ASSERT_EQ("", server.Start());
    DWORD started = DdeInstance;
    DdeInstance = 0;
    ShowText("(car x)", 0, 7);
    EvalCommand();
    DdeInstance = started;
    EXPECT_EQ(Texts{CannotConnect}, Notices());
    EXPECT_EQ(ServerRecords(), server.Take());
}

TEST_F(EvalLink, EachEvaluationHasItsOwnConversation)
{
    Kestralune server;
    ASSERT_EQ("", server.Start());
    ShowText("(a) (b)", 0, 3);
    EvalCommand();
    SendMessageA(EditorWindow, EM_SETSEL, 4, 7);
    EvalCommand();
    EXPECT_EQ(Texts(), Notices());
    EXPECT_EQ((ServerRecords{Opened, Sent("(a)"), Closed, Opened, Sent("(b)"), Closed}), server.Take(6));
}

TEST_F(EvalLink, FailureDoesNotCarryOverToTheNextEvaluation)
{
    ShowText("(car x)", 0, 7);
    EvalCommand();
    EXPECT_EQ(Texts{CannotConnect}, Notices());
    {
        Kestralune busy;
        ASSERT_EQ("", busy.Start("-busy"));
        EvalCommand();
        EXPECT_EQ(Texts{Failed}, Notices());
    }
    Kestralune server;
    ASSERT_EQ("", server.Start());
    EvalCommand();
    EXPECT_EQ(Texts(), Notices());
    EXPECT_EQ((ServerRecords{Opened, Sent("(car x)"), Closed}), server.Take(3));
}

TEST_F(EvalLink, DocumentAndSelectionStayAsTheyWere)
{
    const std::string text = "(let ((a 1))\r\n  (+ a 2))";
    struct {
        const char *what;
        const char *options;   // null: no server
    } servers[] = {{"acknowledged", ""}, {"busy", "-busy"}, {"no server", NULL}};
    struct {
        unsigned start, end;
    } selections[] = {{5, 12}, {9, 9}, {0, (unsigned)text.size()}};
    for (const auto &s : servers) {
        Kestralune server;
        if (s.options) {
            ASSERT_EQ("", server.Start(s.options));
        }
        for (const auto &selection : selections) {
            SCOPED_TRACE(std::string(s.what) + " " + std::to_string(selection.start) + ".." +
                         std::to_string(selection.end));
            ShowText(text, selection.start, selection.end);
            EvalCommand();
            Notices();
            unsigned start = 0, end = 0;
            GetSelection(EditorWindow, &start, &end);
            EXPECT_EQ(selection.start, start);
            EXPECT_EQ(selection.end, end);
            EXPECT_EQ(text, WindowText(EditorWindow));
            EXPECT_EQ(0, DocumentModified);
        }
    }
}

BOOL CALLBACK CountWindow(HWND, LPARAM count)
{
    ++*(int *)count;
    return TRUE;
}

// Kernel handles, and this thread's windows (DDEML opens a window for every
// conversation).
std::pair<int, int> HandlesInUse()
{
    int windows = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountWindow, (LPARAM)&windows);
    return {KernelHandles(GetCurrentProcessId()), windows};
}

TEST_F(EvalLink, ThousandEvaluationsLeaveNothingBehind)
{
    Kestralune server;
    ASSERT_EQ("", server.Start());
    ShowText("(car x)", 0, 7);
    EvalCommand();
    server.Take(3);
    std::pair<int, int> before = HandlesInUse();
    ASSERT_GT(before.first, 0);
    for (int i = 0; i < 1000; i++)
        EvalCommand();
    EXPECT_EQ(before, HandlesInUse());
    EXPECT_EQ(Texts(), Notices());
    EXPECT_EQ(3000u, server.Take(3000).size());
}

} // namespace
