// Tab in a real edit control: the line's indentation, the caret, the
// selection, the message's result and the change notification.
#include "app/shell.h"
#include "editor/editor.h"
#include "tests/editor/editor_window.h"
#include "tests/editor/indent_examples.h"
#include "tests/support/wintest.h"

#include <gtest/gtest.h>

namespace {

class Tab : public ::testing::Test {
protected:
    void SetUp() override { OpenEditorWindow(); }
};

TEST_F(Tab, ReindentsTheCaretLine)
{
    for (const IndentExample &example : IndentExamples) {
        std::string above = std::string(example.above) + "\r\n";
        std::string text = above + example.line;
        std::string expected = above + example.after;
        SCOPED_TRACE(testing::PrintToString(text));
        SetEditorText(text, (unsigned)text.size());
        EXPECT_EQ(0, TypeChar('\t'));
        EXPECT_EQ(expected, WindowText(EditorWindow));
        // The caret keeps its place after the line's text.
        EXPECT_EQ((Selection{(unsigned)expected.size(), (unsigned)expected.size()}), EditorSelection());
        // A change goes through the control and is announced; no change is not.
        if (expected == text)
            EXPECT_EQ(0, EditorChanges);
        else
            EXPECT_LT(0, EditorChanges);
    }
}

TEST_F(Tab, CaretKeepsItsPlaceInTheLineText)
{
    // "(a" then "      xyz)": five blanks go.
    const std::string text = "(a\r\n      xyz)";
    const unsigned lineStart = 4;
    struct { unsigned caret, expected; } cases[] = {
        {lineStart + 8, lineStart + 3},  // between y and z
        {lineStart + 2, lineStart},      // inside the deleted blanks: the line start
        {lineStart, lineStart},
    };
    for (auto c : cases) {
        SetEditorText(text, c.caret);
        TypeChar('\t');
        EXPECT_EQ("(a\r\n xyz)", WindowText(EditorWindow));
        EXPECT_EQ((Selection{c.expected, c.expected}), EditorSelection()) << c.caret;
    }
    SetEditorText("(list 1\r\nxyz", 10);  // between x and y
    TypeChar('\t');
    EXPECT_EQ("(list 1\r\n      xyz", WindowText(EditorWindow));
    EXPECT_EQ((Selection{16, 16}), EditorSelection());
}

TEST_F(Tab, InsertsAtMost252SpacesAndASecondTabTheRest)
{
    const std::string above = std::string(300, ' ') + "(foo a\r\n";  // the line wants 305
    const unsigned lineStart = (unsigned)above.size();
    SetEditorText(above + "b)", lineStart + 1);
    TypeChar('\t');
    EXPECT_EQ(above + std::string(252, ' ') + "b)", WindowText(EditorWindow));
    EXPECT_EQ((Selection{lineStart + 253, lineStart + 253}), EditorSelection());
    TypeChar('\t');
    EXPECT_EQ(above + std::string(305, ' ') + "b)", WindowText(EditorWindow));
    EXPECT_EQ((Selection{lineStart + 306, lineStart + 306}), EditorSelection());
    TypeChar('\t');
    EXPECT_EQ(above + std::string(305, ' ') + "b)", WindowText(EditorWindow));
}

TEST_F(Tab, SelectionIsNeitherReplacedNorKept)
{
    // "bar" is selected on a line that wants five spaces.
    SetEditorText("(foo a\r\nbar baz)", 8, 11);
    EXPECT_EQ(0, TypeChar('\t'));
    EXPECT_EQ("(foo a\r\n     bar baz)", WindowText(EditorWindow));
    EXPECT_EQ((Selection{13, 13}), EditorSelection());
    // A selection on a line that is already right stays as it was.
    SetEditorText("(foo a\r\n     bar baz)", 13, 16);
    TypeChar('\t');
    EXPECT_EQ("(foo a\r\n     bar baz)", WindowText(EditorWindow));
    EXPECT_EQ((Selection{13, 16}), EditorSelection());
    EXPECT_EQ(0, EditorChanges);
}

TEST_F(Tab, OnTheFirstLineChangesNothing)
{
    SetEditorText("(defun f ()", 5);
    EXPECT_EQ(0, TypeChar('\t'));
    EXPECT_EQ("(defun f ()", WindowText(EditorWindow));
    EXPECT_EQ((Selection{5, 5}), EditorSelection());
    EXPECT_EQ(0, EditorChanges);
}

TEST_F(Tab, OtherCharactersGoToTheControlAndAnswer1)
{
    SetEditorText("(a", 2);
    EXPECT_EQ(1, TypeChar(' '));
    EXPECT_EQ(1, TypeChar('b'));
    EXPECT_EQ(1, TypeChar(')'));
    EXPECT_EQ(1, TypeChar('\b'));
    EXPECT_EQ("(a b", WindowText(EditorWindow));
    EXPECT_LT(0, EditorChanges);
    // Messages other than WM_CHAR answer what the control answers.
    EXPECT_EQ(4, SendMessageA(EditorWindow, WM_GETTEXTLENGTH, 0, 0));
}

TEST_F(Tab, AtTheTextLimitTheCaretMovesByWhatWasInserted)
{
    // The line wants five spaces; the text is two short of the editor's limit
    // on typed text, so the control takes two.
    const std::string head = "(foo a\r\nb)";
    std::string text = head + "\r\n";
    while (text.size() + 11 <= EditorTextLimit - 2)
        text += "yyyyyyyyy\r\n";
    text.append(EditorTextLimit - 2 - text.size(), 'y');
    SetEditorText(text, (unsigned)head.size());
    TypeChar('\t');
    const std::string shown = WindowText(EditorWindow);
    EXPECT_TRUE(shown == "(foo a\r\n  b)" + text.substr(head.size()))
        << shown.substr(0, 16) << "... (" << shown.size() << " characters)";
    EXPECT_EQ((Selection{(unsigned)head.size() + 2, (unsigned)head.size() + 2}), EditorSelection());
}

// A text longer than the snapshot: "(progn", short lines up to 31000, "  z"
// starting there, then more lines. Every line but the first wants one blank.
// (Short lines: the control lays out one very long line slowly.)
class LongText : public Tab {
protected:
    static std::string Text()
    {
        std::string text = "(progn\r\n";
        while (text.size() + 2 * 11 <= SnapshotChars)
            text += "yyyyyyyyy\r\n";
        text.append(SnapshotChars - text.size() - 2, 'y');
        text += "\r\n  z\r\n";
        while (text.size() < SnapshotChars + 500)
            text += "w\r\n";
        return text + ")";
    }
};

TEST_F(LongText, TabBeyondTheSnapshotChangesNothing)
{
    const std::string text = Text();
    // On a line beyond 31000; on the line starting at 31000, whose blanks the
    // snapshot cannot see the end of.
    for (unsigned caret : {SnapshotChars + 300, SnapshotChars + 3, SnapshotChars}) {
        SetEditorText(text, caret);
        EXPECT_EQ(0, TypeChar('\t'));
        EXPECT_EQ(text, WindowText(EditorWindow)) << caret;
        EXPECT_EQ((Selection{caret, caret}), EditorSelection()) << caret;
        EXPECT_EQ(0, EditorChanges) << caret;
    }
}

TEST_F(LongText, TabWithinTheSnapshotWorks)
{
    const std::string text = Text();
    const unsigned caret = 20000, lineStart = (unsigned)text.rfind('\n', caret - 1) + 1;
    SetEditorText(text, caret);
    TypeChar('\t');
    EXPECT_EQ(text.substr(0, lineStart) + " " + text.substr(lineStart), WindowText(EditorWindow));
    EXPECT_EQ((Selection{caret + 1, caret + 1}), EditorSelection());

    // A text of exactly 31000 characters, the caret at its very end.
    std::string whole = text.substr(0, SnapshotChars - 3) + "\r\nz";
    ASSERT_EQ(SnapshotChars, whole.size());
    SetEditorText(whole, SnapshotChars);
    TypeChar('\t');
    EXPECT_EQ(whole.substr(0, SnapshotChars - 1) + " z", WindowText(EditorWindow));
    EXPECT_EQ((Selection{SnapshotChars + 1, SnapshotChars + 1}), EditorSelection());
}

} // namespace
