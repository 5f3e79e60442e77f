// Read access to the editor's text: the selection, the snapshot and the
// selected text, for texts up to and beyond what the snapshot holds.
#include "editor/editor.h"
#include "tests/editor/editor_window.h"

#include <gtest/gtest.h>

#include <string.h>

namespace {

class Snapshot : public ::testing::Test {
protected:
    void SetUp() override { OpenEditorWindow(); }
    // Lines of text, so that the control lays it out quickly.
    static std::string Lines(unsigned length)
    {
        std::string text;
        for (unsigned i = 0; text.size() < length; i++)
            text += (char)('a' + i % 26);
        for (unsigned i = 60; i + 1 < length; i += 61) {
            text[i] = '\r';
            text[i + 1] = '\n';
        }
        return text;
    }
};

TEST_F(Snapshot, HoldsUpTo31000Characters)
{
    for (unsigned length : {0u, 5u, SnapshotChars - 1, SnapshotChars, SnapshotChars + 1, SnapshotChars + 900}) {
        std::string text = Lines(length);
        SetEditorText(text, 0);
        const char *snapshot = TextSnapshot();
        ASSERT_NE(nullptr, snapshot);
        unsigned held = length < SnapshotChars ? length : SnapshotChars;
        EXPECT_EQ(held, strlen(snapshot)) << length;
        EXPECT_EQ(0, memcmp(text.data(), snapshot, held)) << length;
        EXPECT_EQ(length, SnapshotTextLength);
        EXPECT_EQ(held, SnapshotHeld());
    }
}

TEST_F(Snapshot, SelectedTextIsCutFromAFreshSnapshot)
{
    SetEditorText("(a b)\r\n(c)", 1, 4);
    ASSERT_NE(nullptr, SelectedText());
    EXPECT_STREQ("a b", SelectedText());
    SendMessageA(EditorWindow, EM_SETSEL, 7, 10);
    EXPECT_STREQ("(c)", SelectedText());
    SendMessageA(EditorWindow, EM_SETSEL, 3, 3);
    EXPECT_STREQ("", SelectedText());
    // The cut is made in the copy only.
    EXPECT_EQ(10, GetWindowTextLengthA(EditorWindow));
}

TEST_F(Snapshot, SelectionBeyondTheSnapshotGivesNoText)
{
    const std::string text = Lines(SnapshotChars + 900);
    struct { unsigned start, end; bool given; } cases[] = {
        {SnapshotChars - 10, SnapshotChars, true},
        {SnapshotChars, SnapshotChars, true},
        {SnapshotChars - 10, SnapshotChars + 1, false},
        {SnapshotChars + 100, SnapshotChars + 200, false},
    };
    for (auto c : cases) {
        SetEditorText(text, c.start, c.end);
        const char *selected = SelectedText();
        if (c.given) {
            ASSERT_NE(nullptr, selected) << c.start;
            EXPECT_EQ(text.substr(c.start, c.end - c.start), selected);
        } else {
            EXPECT_EQ(nullptr, selected) << c.start << "-" << c.end;
        }
    }
}

TEST_F(Snapshot, GetSelectionKeepsLargePositionsWhole)
{
    SetEditorText(Lines(70000), 66000, 69000);
    unsigned start = 0, end = 0;
    GetSelection(EditorWindow, &start, &end);
    EXPECT_EQ(66000u, start);
    EXPECT_EQ(69000u, end);
    start = end = 7;
    GetSelection(EditorWindow, NULL, &end);
    GetSelection(EditorWindow, &start, NULL);
    EXPECT_EQ(66000u, start);
    EXPECT_EQ(69000u, end);
}

} // namespace
