// The Swank wire format: frames split and joined anywhere, headers that are
// not lengths, strings with quotes and backslashes, and the s-expression
// reader on what the Lisp really sends and on what it must refuse.
#include "listener/core/swank_wire.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Frame(const std::string &payload)
{
    std::string frame;
    EXPECT_TRUE(EncodeFrame(payload, &frame));
    return frame;
}

TEST(SwankFrames, HeaderIsSixHexDigitsOfTheByteLength)
{
    EXPECT_EQ("000000", Frame(""));
    EXPECT_EQ("00000b(:return t)", Frame("(:return t)"));
    // UTF-8: the length counts bytes, not characters.
    EXPECT_EQ("000004\"\xc3\xa9\"", Frame("\"\xc3\xa9\""));
    std::string frame;
    EXPECT_TRUE(EncodeFrame(std::string(MaxFramePayload, 'x'), &frame));
    EXPECT_EQ("ffffff", frame.substr(0, 6));
    EXPECT_FALSE(EncodeFrame(std::string(MaxFramePayload + 1, 'x'), &frame));
}

TEST(SwankFrames, ReadBackWhateverTheBytesArriveIn)
{
    const std::string stream = Frame("(:a)") + Frame("") + Frame("(:write-string \"x\\\"y\")");
    for (size_t piece = 1; piece <= stream.size(); piece++) {
        FrameReader reader;
        std::vector<std::string> got;
        for (size_t at = 0; at < stream.size(); at += piece) {
            FeedBytes(reader, stream.data() + at, std::min(piece, stream.size() - at));
            std::string payload;
            while (NextFrame(reader, &payload) == FrameReady)
                got.push_back(payload);
        }
        ASSERT_EQ(3u, got.size()) << "pieces of " << piece;
        EXPECT_EQ("(:a)", got[0]);
        EXPECT_EQ("", got[1]);
        EXPECT_EQ("(:write-string \"x\\\"y\")", got[2]);
        EXPECT_FALSE(BytesWaiting(reader));
    }
}

// A batch of many small frames, as a flood of output brings, is read in one
// pass: each frame is taken where it lies, and the bytes after the batch
// still join the frame they begin.
TEST(SwankFrames, ABatchOfManyFramesIsReadInOrder)
{
    const int Count = 200000;
    std::string batch;
    for (int i = 0; i < Count; i++)
        batch += Frame("(:write-string \"" + std::to_string(i) + "\")");
    const std::string last = Frame("(:return (:ok nil) 1)");
    batch += last.substr(0, 4);
    FrameReader reader;
    FeedBytes(reader, batch.data(), batch.size());
    std::string payload;
    int got = 0;
    while (NextFrame(reader, &payload) == FrameReady) {
        ASSERT_EQ("(:write-string \"" + std::to_string(got) + "\")", payload);
        got++;
    }
    EXPECT_EQ(Count, got);
    EXPECT_TRUE(BytesWaiting(reader));
    FeedBytes(reader, last.data() + 4, last.size() - 4);
    ASSERT_EQ(FrameReady, NextFrame(reader, &payload));
    EXPECT_EQ("(:return (:ok nil) 1)", payload);
    EXPECT_FALSE(BytesWaiting(reader));
}

TEST(SwankFrames, BadHeadersAndCutOffFrames)
{
    struct Case {
        std::string bytes;
        FrameResult expected;
    } cases[] = {
        {"00000", FrameIncomplete},          // header not whole yet
        {"000005(:a", FrameIncomplete},      // payload cut off
        {"0000G1(:a)", FrameMalformed},      // not a hex digit
        {"-00004(:a)", FrameMalformed},      // no sign allowed
        {" 00004(:a)", FrameMalformed},      // nor blanks
        {"ffffff", FrameIncomplete},         // the most a header can announce
    };
    for (const Case &c : cases) {
        FrameReader reader;
        FeedBytes(reader, c.bytes.data(), c.bytes.size());
        std::string payload = "untouched";
        EXPECT_EQ(c.expected, NextFrame(reader, &payload)) << c.bytes;
        EXPECT_EQ("untouched", payload) << c.bytes;
        EXPECT_EQ(c.bytes, reader.pending) << "nothing taken from " << c.bytes;
    }
}

TEST(SwankStrings, QuotesAndBackslashesAreEscapedAndReadBack)
{
    const std::string texts[] = {"", "plain", "say \"hi\"", "back\\slash\\", "\\\"", "line\r\nbreak",
                                 "bytes \xe9\xff\x80"};
    for (const std::string &text : texts) {
        std::string literal = LispString(text);
        Sexp read;
        ASSERT_TRUE(ReadSexp(literal, &read)) << literal;
        EXPECT_EQ(Sexp::String, read.kind);
        EXPECT_EQ(text, read.text);
    }
    EXPECT_EQ("\"a\\\"b\\\\c\"", LispString("a\"b\\c"));
}

TEST(SwankSexp, ReadsWhatSwankSends)
{
    Sexp m;
    ASSERT_TRUE(ReadSexp("(:return (:ok (:values \"CL-USER\" ((\"3\") nil))) 12)", &m));
    ASSERT_EQ(3u, m.items.size());
    EXPECT_TRUE(IsAtom(m.items[0], ":RETURN"));
    EXPECT_EQ("12", Item(m, 2)->text);
    const Sexp &values = *Item(*Item(*Item(m, 1), 1), 2);
    ASSERT_EQ(2u, values.items.size());
    EXPECT_EQ("3", values.items[0].items[0].text);
    EXPECT_TRUE(IsAtom(values.items[1], "NIL"));

    ASSERT_TRUE(ReadSexp("(:debug 3 1 (\"Interrupt\" \"   [Condition of type SIMPLE-ERROR]\" nil) "
                         "((:continue \"Continue\")) ((0 \"(sleep 1)\" (:restartable nil))) (nil))",
                         &m));
    EXPECT_EQ(7u, m.items.size());
    ASSERT_TRUE(ReadSexp(" ( :new-features (:|odd feature| :x\\ y #:g 'q 1.5d0) ) ", &m));
    EXPECT_EQ(":|odd feature|", Item(*Item(m, 1), 0)->text);
    EXPECT_EQ(":x\\ y", Item(*Item(m, 1), 1)->text);
    EXPECT_EQ(5u, Item(m, 1)->items.size());
    EXPECT_EQ(nullptr, Item(m, 2));
    EXPECT_EQ(nullptr, Item(*Item(m, 0), 0));  // an atom has no items
}

TEST(SwankSexp, RefusesAnythingButOneWholeExpression)
{
    const char *bad[] = {"",          "   ",         "(",           ")",         "(a))",      "(a) (b)",
                         "\"open",     "\"esc\\",    "(a \"b)",     "|bar",      "x\\",       "(:a . "};
    for (const char *text : bad) {
        Sexp m;
        EXPECT_FALSE(ReadSexp(text, &m)) << text;
    }
    std::string deep(MaxSexpDepth, '('), close(MaxSexpDepth, ')');
    Sexp m;
    EXPECT_TRUE(ReadSexp(deep + close, &m));
    EXPECT_FALSE(ReadSexp("(" + deep + close + ")", &m));
    // Deeper than that is refused without exhausting the stack.
    EXPECT_FALSE(ReadSexp(std::string(1000000, '('), &m));
}

}  // namespace
