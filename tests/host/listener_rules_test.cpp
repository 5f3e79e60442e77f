// The listener's command line, its input history and its transcript's text rules.
#include "listener/history.h"
#include "listener/options.h"
#include "listener/text_rules.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace {

bool Read(std::initializer_list<const char *> args, ListenerOptions *options)
{
    std::vector<const char *> argv{"kestralune.exe"};
    argv.insert(argv.end(), args);
    return ReadListenerOptions((int)argv.size(), argv.data(), options);
}

TEST(ListenerOptions, ReadsEachOptionAndKeepsDefaults)
{
    ListenerOptions o;
    ASSERT_TRUE(Read({}, &o));
    EXPECT_EQ("127.0.0.1", o.host);
    EXPECT_EQ(4005, o.port);
    EXPECT_EQ("", o.lispCommand);
    ASSERT_TRUE(Read({"-port", "65535", "-lisp", "sbcl --load start.lisp", "-host", "localhost"}, &o));
    EXPECT_EQ("localhost", o.host);
    EXPECT_EQ(65535, o.port);
    EXPECT_EQ("sbcl --load start.lisp", o.lispCommand);
}

TEST(ListenerOptions, RefusesWhatItCannotUse)
{
    for (auto args : {std::vector<const char *>{"-port"}, {"-port", "0"}, {"-port", "65536"}, {"-port", "4o05"},
                      {"-port", ""}, {"-port", "99999999999999999999"}, {"-host", ""}, {"-lisp", ""},
                      {"-verbose", "1"}, {"4005"}}) {
        std::vector<const char *> argv{"kestralune.exe"};
        argv.insert(argv.end(), args.begin(), args.end());
        ListenerOptions o;
        EXPECT_FALSE(ReadListenerOptions((int)argv.size(), argv.data(), &o)) << args[0];
    }
}

TEST(ListenerHistory, RecallsBackAndForthLikeAShell)
{
    History h;
    std::string line;
    EXPECT_FALSE(HistoryPrevious(h, &line));
    for (const char *input : {"(a)", "", "  ", "(b)", "(b)", "(c)"})
        HistoryAdd(h, input);
    EXPECT_EQ(3u, h.entries.size()) << "blank inputs and repeats are not kept";
    EXPECT_FALSE(HistoryNext(h, &line));
    for (const char *expected : {"(c)", "(b)", "(a)"}) {
        ASSERT_TRUE(HistoryPrevious(h, &line));
        EXPECT_EQ(expected, line);
    }
    EXPECT_FALSE(HistoryPrevious(h, &line));
    ASSERT_TRUE(HistoryNext(h, &line));
    EXPECT_EQ("(b)", line);
    ASSERT_TRUE(HistoryNext(h, &line));
    ASSERT_TRUE(HistoryNext(h, &line));
    EXPECT_EQ("", line) << "past the newest: an empty line";
    EXPECT_FALSE(HistoryNext(h, &line));
    HistoryAdd(h, "(d)");
    ASSERT_TRUE(HistoryPrevious(h, &line));
    EXPECT_EQ("(d)", line) << "a new input ends recalling";
    for (size_t i = 0; i < HistoryLimit + 10; i++)
        HistoryAdd(h, std::to_string(i));
    EXPECT_EQ(HistoryLimit, h.entries.size());
    EXPECT_EQ(std::to_string(HistoryLimit + 9), h.entries.back());
}

TEST(TranscriptText, LineBreaksBecomeCrLf)
{
    EXPECT_EQ("a\r\nb\r\n", ToCrLf("a\nb\n"));
    EXPECT_EQ("a\r\nb", ToCrLf("a\r\nb"));
    EXPECT_EQ("\r\n\r\n\r\n", ToCrLf("\n\r\r\n"));
    EXPECT_EQ("", ToCrLf(""));
}

TEST(TranscriptText, KeepsTheTailFromALineStart)
{
    EXPECT_EQ("short", KeepTail("short", 10));
    EXPECT_EQ("ccc\r\nddd", KeepTail("aaa\r\nbbb\r\nccc\r\nddd", 9));
    EXPECT_EQ("bbb\nccc", KeepTail("aaa\nbbb\nccc", 7)) << "the limit falls just after a line break";
    EXPECT_EQ("789", KeepTail("123456789", 3)) << "no line break: the last characters";
    EXPECT_EQ("x", KeepTail("abc\nx", 2));
}

}  // namespace
