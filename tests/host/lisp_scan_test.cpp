// The scanning rules over plain strings: the re-indent decision, the
// keyword test and the match scan, including the bounds they must keep.
#include "editor/lisp_scan.h"
#include "tests/editor/indent_examples.h"

#include <gtest/gtest.h>

#include <string>

namespace {

ScanResult Decide(const std::string &text, unsigned caret, ReindentPlan *plan, unsigned lowest = 0)
{
    return DecideReindent(text.data(), (unsigned)text.size(), (unsigned)text.size(), caret, lowest, plan);
}

// The text as the control holds it after the plan is carried out.
std::string Apply(std::string text, const ReindentPlan &plan)
{
    if (plan.change > 0)
        text.insert(plan.lineStart, (size_t)plan.change, ' ');
    else
        text.erase(plan.lineStart, (size_t)-plan.change);
    return text;
}

TEST(Reindent, WorkedExamples)
{
    for (const IndentExample &example : IndentExamples) {
        std::string above = std::string(example.above) + "\r\n";
        std::string text = above + example.line;
        std::string expected = above + example.after;
        SCOPED_TRACE(testing::PrintToString(text));
        ReindentPlan plan = {};
        ScanResult result = Decide(text, (unsigned)text.size(), &plan);
        if (expected == text) {
            EXPECT_EQ(ScanNothing, result);
            continue;
        }
        ASSERT_EQ(ScanFound, result);
        EXPECT_EQ(above.size(), plan.lineStart);
        EXPECT_EQ(expected, Apply(text, plan));
        // A second Tab finds nothing left to do.
        EXPECT_EQ(ScanNothing, Decide(expected, (unsigned)expected.size(), &plan));
    }
}

TEST(Reindent, LineBreaksAreCrOrLfAlone)
{
    ReindentPlan plan = {};
    for (const char *text : {"(foo a\nb)", "(foo a\rb)", "(foo a\r\nb)"}) {
        std::string t = text;
        ASSERT_EQ(ScanFound, Decide(t, (unsigned)t.size(), &plan)) << t;
        EXPECT_EQ(5, plan.change) << t;
    }
}

TEST(Reindent, FirstLineAndTextWithoutFormChangeNothing)
{
    ReindentPlan plan = {};
    EXPECT_EQ(ScanNothing, Decide("", 0, &plan));
    EXPECT_EQ(ScanNothing, Decide("(foo", 4, &plan));
    EXPECT_EQ(ScanNothing, Decide("(foo", 0, &plan));
    EXPECT_EQ(ScanNothing, Decide("a\r\nb", 4, &plan));
}

TEST(Reindent, CaretKeepsItsPlaceInTheLine)
{
    const unsigned lineStart = 4;
    struct { unsigned caret; int change; unsigned expected; } cases[] = {
        {lineStart + 8, -5, lineStart + 3},  // after the deleted blanks
        {lineStart + 6, -5, lineStart + 1},
        {lineStart + 5, -5, lineStart},      // exactly as far in as is deleted
        {lineStart + 2, -5, lineStart},      // inside the deleted blanks: the line start
        {lineStart, -5, lineStart},
        {lineStart, 6, lineStart + 6},       // inserting moves it wherever it stands
        {lineStart + 3, 6, lineStart + 9},
        {lineStart + 3, 0, lineStart + 3},
    };
    for (auto c : cases)
        EXPECT_EQ(c.expected, CaretAfter(c.caret, lineStart, c.change)) << c.caret << " " << c.change;
}

TEST(Reindent, InsertionIsCappedAndASecondTabAddsTheRest)
{
    // The "(" at column 300 calls for 305 columns.
    std::string text = std::string(300, ' ') + "(foo a\r\nb)";
    unsigned lineStart = (unsigned)text.size() - 2;
    ReindentPlan plan = {};
    ASSERT_EQ(ScanFound, Decide(text, lineStart + 1, &plan));
    EXPECT_EQ(MaxIndentInsert, plan.change);
    text = Apply(text, plan);
    ASSERT_EQ(ScanFound, Decide(text, lineStart + 1, &plan));
    EXPECT_EQ(305 - MaxIndentInsert, plan.change);
    text = Apply(text, plan);
    EXPECT_EQ(ScanNothing, Decide(text, lineStart + 1, &plan));
    EXPECT_EQ(std::string(305, ' ') + "b)", text.substr(lineStart));
}

TEST(Reindent, NeverReadsBeyondWhatTheCopyHolds)
{
    ReindentPlan plan = {};
    std::string text = "(foo a\r\n   b)";
    const unsigned held = (unsigned)text.size();
    // A caret beyond the copy: the answer is unknown.
    EXPECT_EQ(ScanUnknown, DecideReindent(text.data(), held, held + 10, held + 1, 0, &plan));
    // The blanks of the line run to the end of the copy and the text goes on:
    // how many there really are is unknown.
    std::string cut = "(foo a\r\n   ";
    EXPECT_EQ(ScanUnknown, DecideReindent(cut.data(), (unsigned)cut.size(), (unsigned)cut.size() + 5, 8, 0, &plan));
    // The same blanks at the true end of the text are the whole indentation.
    ASSERT_EQ(ScanFound, DecideReindent(cut.data(), (unsigned)cut.size(), (unsigned)cut.size(), 8, 0, &plan));
    EXPECT_EQ(2, plan.change);
    // A first non-blank inside the copy settles it, whatever follows.
    ASSERT_EQ(ScanFound, DecideReindent(text.data(), held, held + 1000, 8, 0, &plan));
    EXPECT_EQ(2, plan.change);
}

TEST(Reindent, ScansStopAtTheLowestPosition)
{
    ReindentPlan plan = {};
    std::string text = "(foo a\r\nb)";
    // The "(" lies below the lowest position: nothing encloses the line.
    EXPECT_EQ(ScanNothing, Decide(text, 10, &plan, 1));
    // The line starting at the lowest position counts as the first line.
    EXPECT_EQ(ScanNothing, Decide(text, 10, &plan, 8));
    EXPECT_EQ(ScanNothing, Decide(text, 3, &plan, 9));  // caret below lowest
    // The "(" at the lowest position is still found; its column counts from it.
    std::string nested = "x (foo a\r\nb)";
    ASSERT_EQ(ScanFound, Decide(nested, 12, &plan, 2));
    EXPECT_EQ(5, plan.change);
}

TEST(IndentColumn, Spans)
{
    struct { const char *form; int column; } cases[] = {
        {"(", 1},
        {"(\r\n", 1},
        {"(  \r\n", 3},             // the blanks are skipped
        {"( (a b)\r\n", 2},         // under the inner "("
        {"(foo", 1},                // the span ends inside the head word
        {"(foo bar", 5},
        {"(  foo  bar baz\r\n", 8},
        {"(\tlambda (x)\r\n", 2},    // however many blanks before the keyword
        {"(foo\"a b\" c\r\n", 7},   // the word ends at a blank, not a quote
    };
    for (auto c : cases)
        EXPECT_EQ(c.column, IndentColumn(c.form, (unsigned)strlen(c.form))) << c.form;
}

TEST(IsSpecialForm, KeywordPrefixesInAnyCase)
{
    struct { const char *word; bool special; } cases[] = {
        {"defun f", true}, {"DEFMACRO", true}, {"defmeth", true}, {"defmethod", true},
        {"defproto", true}, {"let", true}, {"Letrec", true}, {"letter", true},
        {"flet", true}, {"cond", true}, {"conditional", true}, {"case", true},
        {"casey", true}, {"labels", true}, {"lambda", true},
        {"le", false}, {"def", false}, {"defmac", false}, {"xlet", false}, {"", false},
        {"(let", false}, {"l\xc5t", false}, {"lab els", false},
    };
    for (auto c : cases)
        EXPECT_EQ(c.special, IsSpecialForm(c.word, (unsigned)strlen(c.word))) << c.word;
}

TEST(IsSpecialForm, ReadsNoMoreThanRemains)
{
    // A keyword longer than what remains is not tried.
    EXPECT_FALSE(IsSpecialForm("letx", 2));
    EXPECT_TRUE(IsSpecialForm("letx", 3));
    EXPECT_FALSE(IsSpecialForm("defun", 4));
    EXPECT_FALSE(IsSpecialForm("lambda", 0));
}

TEST(MatchingParen, Scans)
{
    const int None = -1;
    struct { const char *text; int open; } cases[] = {
        {"(a (b) x)", 0},
        {"()", 0},
        {"(a (b)", 3},
        {"(a \"(\" b)", 0},          // the "(" in the string is skipped
        {"(a\r\n (b\r\n  c)\r\n d)", 0},
        {"x)", None},
        {")", None},
        {"(print \"a)", None},        // the quote hides the "(" of print
        {"a) b)", None},             // unbalanced
        {"(a) (", None},            // no ")" typed: the scan ends on the ")"
        {"(a (", None},             // ... or runs out with the depth below 0
        {"\"", None},
        {"", None},
    };
    for (auto c : cases) {
        unsigned length = (unsigned)strlen(c.text), open = 12345;
        ScanResult result = FindMatchingParen(c.text, length, length, 0, &open);
        if (c.open == None) {
            EXPECT_EQ(ScanNothing, result) << c.text;
        } else {
            EXPECT_EQ(ScanFound, result) << c.text;
            EXPECT_EQ((unsigned)c.open, open) << c.text;
        }
    }
}

TEST(MatchingParen, BoundsOfTheScan)
{
    unsigned open = 0;
    // Beyond the copy: unknown.
    EXPECT_EQ(ScanUnknown, FindMatchingParen("()", 2, 3, 0, &open));
    // The match at the lowest position is found; below it, not.
    EXPECT_EQ(ScanFound, FindMatchingParen("((b)", 4, 4, 1, &open));
    EXPECT_EQ(1u, open);
    EXPECT_EQ(ScanNothing, FindMatchingParen("(a (b) x)", 9, 9, 1, &open));
    EXPECT_EQ(ScanNothing, FindMatchingParen("()", 2, 2, 2, &open));
    EXPECT_EQ(ScanNothing, FindMatchingParen("()", 2, 1, 2, &open));
    // The scan starts at the caret, not at the end of the text.
    EXPECT_EQ(ScanFound, FindMatchingParen("(a) b)", 6, 3, 0, &open));
    EXPECT_EQ(0u, open);
}

} // namespace
