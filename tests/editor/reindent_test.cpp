// Tab in a real edit control: the line's indentation, the caret, the
// selection, the message's result and the change notification.
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

} // namespace
