// The transcript's line store: appends, offsets as a reader of the whole
// text counts them, the newest text kept.
#include "listener/core/line_store.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The whole text as UTF-8 (ASCII in these cases), as WM_GETTEXT reads it.
std::string Whole(const LineStore &store)
{
    std::u16string wide = RangeText(store, 0, TextLength(store));
    return std::string(wide.begin(), wide.end());
}

LineStore StoreOf(const std::string &text, size_t limit = 1000000)
{
    LineStore store;
    store.limit = limit;
    ClearLines(store);
    AppendUtf8(store, text);
    return store;
}

TEST(LineStore, AppendsBreakLinesAsTheReaderSeesThem)
{
    struct {
        std::vector<std::string> appends;
        std::string whole;
        size_t lines;
    } cases[] = {
        {{}, "", 1},
        {{"abc"}, "abc", 1},
        {{"abc\n"}, "abc\r\n", 2},
        {{"a", "b\nc", "d\n", "e"}, "ab\r\ncd\r\ne", 3},
        {{"a\r\nb\rc"}, "a\r\nb\r\nc", 3},
        {{"a\r", "\nb"}, "a\r\nb", 2},  // a CR LF split between two appends is one break
        {{"a\r", "\r\nb"}, "a\r\n\r\nb", 3},
        {{"\n\n\n"}, "\r\n\r\n\r\n", 4},
    };
    for (const auto &c : cases) {
        LineStore store = StoreOf("");
        for (const std::string &text : c.appends)
            AppendUtf8(store, text);
        EXPECT_EQ(c.whole, Whole(store)) << c.whole;
        EXPECT_EQ(c.whole.size(), TextLength(store)) << c.whole;
        EXPECT_EQ(c.lines, LineCount(store)) << c.whole;
    }
}

TEST(LineStore, Utf8BecomesUtf16AndBadBytesReplacementCharacters)
{
    struct {
        std::string utf8;
        std::u16string wide;
    } cases[] = {
        {"\xce\xbb\xd0\x96\xe6\xbc\xa2", u"\u03bb\u0416\u6f22"},
        {"\xf0\x9f\x98\x80!", u"\U0001F600!"},
        {"a\xff" "b", u"a\ufffdb"},
        {"\xc0\xaf", u"\ufffd\ufffd"},      // overlong
        {"\xed\xa0\x80", u"\ufffd\ufffd\ufffd"},  // a surrogate's code
        {"\xe6\xbc", u"\ufffd\ufffd"},      // cut short at the end
        {"\xe6\n", u"\ufffd\r\n"},          // cut short by a line break
    };
    for (const auto &c : cases) {
        LineStore store = StoreOf(c.utf8);
        EXPECT_EQ(c.wide, RangeText(store, 0, TextLength(store))) << c.utf8;
    }
}

TEST(LineStore, OffsetsMapToLinesAndRangesCountCrLfAsTwo)
{
    // Offsets:    a b \r \n \r \n c d e \r \n (end)
    //             0 1 2  3  4  5  6 7 8 9  10 11
    LineStore store = StoreOf("ab\n\ncde\n");
    ASSERT_EQ(4u, LineCount(store));
    const size_t lineOf[] = {0, 0, 0, 0, 1, 1, 2, 2, 2, 2, 2, 3, 3};
    for (size_t offset = 0; offset < sizeof lineOf / sizeof *lineOf; offset++)
        EXPECT_EQ(lineOf[offset], LineOfOffset(store, offset)) << offset;
    const size_t lineOffsets[] = {0, 4, 6, 11, 11};
    for (size_t line = 0; line < 5; line++)
        EXPECT_EQ(lineOffsets[line], LineOffset(store, line)) << line;
    EXPECT_EQ(3u, LineLength(store, 2));
    EXPECT_EQ(u"cde", std::u16string(LineText(store, 2), 3));
    EXPECT_EQ(2u, ValidOffset(store, 3)) << "between CR and LF";
    EXPECT_EQ(11u, ValidOffset(store, 50)) << "past the end";
    EXPECT_EQ(7u, ValidOffset(store, 7));
    struct {
        size_t from, to;
        std::u16string text;
    } ranges[] = {
        {0, 12, u"ab\r\n\r\ncde\r\n"}, {1, 3, u"b\r"},   {3, 7, u"\n\r\nc"},
        {6, 9, u"cde"},                {9, 11, u"\r\n"}, {11, 11, u""},
        {5, 2, u""},                   {10, 99, u"\n"},
    };
    for (const auto &r : ranges)
        EXPECT_EQ(r.text, RangeText(store, r.from, r.to)) << r.from << ".." << r.to;
    char16_t room[4];
    EXPECT_EQ(4u, CopyText(store, 1, room, 4));
    EXPECT_EQ(u"b\r\n\r", std::u16string(room, 4));
}

// Lines of 10 characters read (8 and CR LF), numbered.
std::string Numbered(int first, int count)
{
    std::string text;
    char line[16];
    for (int i = first; i < first + count; i++) {
        snprintf(line, sizeof line, "%08d\n", i);
        text += line;
    }
    return text;
}

TEST(LineStore, KeepsAtLeastTheLimitOfTheNewestTextFromALineStart)
{
    LineStore store = StoreOf("", 1000);
    size_t most = 0;
    for (int i = 0; i < 2000; i += 7) {
        AppendUtf8(store, Numbered(i, 7));
        std::string whole = Whole(store);
        ASSERT_GE(whole.size(), std::min<size_t>(1000, (size_t)(i + 7) * 10));
        ASSERT_EQ(0u, whole.size() % 10) << "whole lines only";
        char last[16];
        snprintf(last, sizeof last, "%08d\r\n", i + 6);
        ASSERT_EQ(last, whole.substr(whole.size() - 10)) << "the newest line is there";
        most = std::max(most, whole.size());
    }
    EXPECT_LE(most, 1250u) << "cut once a quarter over";
    // The dropped counts keep positions from the emptied store's start.
    std::string whole = Whole(store);
    EXPECT_EQ(store.droppedLines * 10, store.droppedCharacters);
    EXPECT_EQ(std::stoi(whole.substr(0, 8)), (int)store.droppedLines);
    ClearLines(store);
    EXPECT_EQ("", Whole(store));
    EXPECT_EQ(0u, store.droppedLines + store.droppedCharacters);
}

TEST(LineStore, ALineLongerThanTheLimitLosesItsStartNotHalfACharacter)
{
    std::string text = "old\n";
    for (int i = 0; i < 1000; i++)
        text += "\xf0\x9f\x98\x80";  // two UTF-16 units each
    LineStore store = StoreOf(text, 101);
    std::u16string whole = RangeText(store, 0, TextLength(store));
    EXPECT_EQ(1u, LineCount(store));
    EXPECT_EQ(102u, whole.size()) << "the limit, and the low half's partner";
    EXPECT_TRUE(whole[0] >= 0xD800 && whole[0] < 0xDC00) << "starts with a high surrogate";
    EXPECT_EQ(2000u + 5 - 102, store.droppedCharacters) << "\"old\" and its CR LF too";
    EXPECT_EQ(1u, store.droppedLines);
    // Many empty lines: whole CR LF pairs go.
    store = StoreOf(std::string(800, '\n') + "end", 1000);
    whole = RangeText(store, 0, TextLength(store));
    EXPECT_GE(whole.size(), 1000u);
    EXPECT_EQ(u"\r\nend", whole.substr(whole.size() - 5));
    EXPECT_EQ(u'\r', whole[0]);
}

TEST(LineStore, WordsAreLispSymbolsAndNumbers)
{
    LineStore store = StoreOf("(foo-bar 12.5 \"x\")\n=> :done");
    struct {
        size_t offset;
        std::u16string word;
    } cases[] = {
        {0, u"("},     {1, u"foo-bar"}, {5, u"foo-bar"}, {8, u" "}, {10, u"12.5"},
        {14, u"\""},   {17, u")"},      {18, u""},       {19, u""},       {20, u"=>"},
        {25, u":done"}, {28, u":done"},  {99, u":done"},
    };
    for (const auto &c : cases) {
        size_t from, to;
        WordAt(store, c.offset, &from, &to);
        EXPECT_EQ(c.word, RangeText(store, from, to)) << c.offset;
    }
}

TEST(LineStore, AFloodOfLinesAppendsInTimeLinearInItsSize)
{
    // A million short lines through a store that keeps a million
    // characters: quadratic copying would take minutes.
    LineStore store;
    ClearLines(store);
    std::string batch;
    for (int i = 0; i < 1000; i++)
        batch += "\n" + std::to_string(i) + " ";
    for (int i = 0; i < 1000; i++)
        AppendUtf8(store, batch);
    EXPECT_GE(TextLength(store), 1000000u);
    EXPECT_LE(TextLength(store), 1250000u);
    EXPECT_EQ(u"\r\n999 ", RangeText(store, TextLength(store) - 6, TextLength(store)));
}

}  // namespace
