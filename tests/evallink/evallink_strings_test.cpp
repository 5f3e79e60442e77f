// The string handles of a command that finds no conversation are given back.
// Its own exe: DDEML under Wine keeps a reference to the name once any
// conversation has been held, so the check needs a process that never held one.
#include "tests/evallink/linktest.h"
#include "tests/support/wintest.h"

#include <gtest/gtest.h>

namespace {

TEST(EvalLinkStrings, CommandsWithoutConversationLeaveNoStringBehind)
{
    StartEditorWithLink();
    WatchDialogs();
    ShowText("(car x)", 0, 7);
    for (const char *options : {(const char *)NULL, "-refuse"}) {
        SCOPED_TRACE(options ? options : "no server");
        Kestralune server;
        if (options) {
            ASSERT_EQ("", server.Start(options));
        }
        for (int i = 0; i < 3; i++)
            EvalCommand();
        EXPECT_EQ(3u, TakeSeenDialogs().size());
        EXPECT_EQ(0, FindAtomA("KESTRALUNE"));
    }
}

} // namespace
