// A KESTRALUNE that takes the execute and never answers: the command gives up
// after its 60 s time-out and still closes the conversation. Its own exe, so
// that the other tests need not wait for it.
#include "tests/evallink/linktest.h"
#include "app/shell.h"
#include "tests/support/wintest.h"

#include <gtest/gtest.h>

namespace {

TEST(EvalLinkTimeOut, SilentServerGivesTransactionFailedAfterSixtySeconds)
{
    StartEditorWithLink();
    WatchDialogs();
    Kestralune server;
    ASSERT_EQ("", server.Start("-hold 120000"));
    ShowText("(loop)", 0, 6);
    DWORD start = GetTickCount();
    EvalCommand();
    DWORD waited = GetTickCount() - start;
    EXPECT_GE(waited, 59500u);
    EXPECT_LT(waited, 70000u);
    std::vector<SeenDialog> seen = TakeSeenDialogs();
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ("Transaction failed", seen[0].text);
    EXPECT_EQ((ServerRecords{Opened, Sent("(loop)"), Closed}), server.Take(3));
}

} // namespace
