// A typed ")" in a real edit control: the matching "(" is selected and
// drawn for the pause, then the caret returns; keys typed meanwhile wait.
#include "editor/editor.h"
#include "tests/editor/editor_window.h"
#include "tests/support/wintest.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// What the editor was asked to do, seen from a procedure in front of it:
// every EM_SETSEL, and the selection at every paint.
struct Seen {
    UINT message;
    unsigned start, end;
    double ms;
};
std::vector<Seen> Record;
WNDPROC Editor;
HANDLE FlashShown;  // set when a single character is selected

double NowMs()
{
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return count.QuadPart * 1000.0 / frequency.QuadPart;
}

LRESULT CALLBACK Recorder(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == EM_SETSEL) {
        Record.push_back({message, (unsigned)wParam, (unsigned)lParam, NowMs()});
        if ((unsigned)lParam == (unsigned)wParam + 1)
            SetEvent(FlashShown);
    } else if (message == WM_PAINT) {
        Selection selection = EditorSelection();
        Record.push_back({message, selection.start, selection.end, NowMs()});
    }
    return CallWindowProcA(Editor, window, message, wParam, lParam);
}

class Flash : public ::testing::Test {
protected:
    void SetUp() override
    {
        OpenEditorWindow();
        FlashShown = CreateEventA(NULL, TRUE, FALSE, NULL);
        Editor = (WNDPROC)SetWindowLongPtrA(EditorWindow, GWLP_WNDPROC, (LONG_PTR)Recorder);
    }
    void TearDown() override
    {
        SetWindowLongPtrA(EditorWindow, GWLP_WNDPROC, (LONG_PTR)Editor);
        CloseHandle(FlashShown);
    }
    // Types ")" into text with the caret at its end; returns what was seen.
    std::vector<Seen> TypeCloseAfter(const std::string &text)
    {
        SetEditorText(text, (unsigned)text.size());
        PumpMessages();
        Record.clear();
        EXPECT_EQ(1, TypeChar(')'));
        return Record;
    }
    static std::vector<Seen> Selections(const std::vector<Seen> &seen)
    {
        std::vector<Seen> selections;
        for (const Seen &s : seen)
            if (s.message == EM_SETSEL)
                selections.push_back(s);
        return selections;
    }
};

TEST_F(Flash, SelectsTheMatchForThePauseThenReturns)
{
    struct { const char *text; unsigned open; } cases[] = {
        {"(a (b) x", 0},
        {"(", 0},
        {"(a \"(\" b", 0},               // the "(" in the string is skipped
        {"(a\r\n (b\r\n  c)\r\n d", 0},  // lines back
        {"(a (b", 3},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<Seen> seen = TypeCloseAfter(c.text);
        unsigned caret = (unsigned)strlen(c.text) + 1;
        EXPECT_EQ(std::string(c.text) + ")", WindowText(EditorWindow));
        std::vector<Seen> selections = Selections(seen);
        ASSERT_EQ(2u, selections.size());
        EXPECT_EQ(c.open, selections[0].start);
        EXPECT_EQ(c.open + 1, selections[0].end);
        EXPECT_EQ(caret, selections[1].start);
        EXPECT_EQ(caret, selections[1].end);
        EXPECT_GE(selections[1].ms - selections[0].ms, 240.0);  // the clock moves in 10 ms steps
        // The "(" was drawn selected while it was selected, not only after.
        bool drawn = false;
        for (const Seen &s : seen)
            drawn |= s.message == WM_PAINT && s.start == c.open && s.end == c.open + 1 &&
                     s.ms >= selections[0].ms && s.ms < selections[1].ms;
        EXPECT_TRUE(drawn);
        EXPECT_EQ((Selection{caret, caret}), EditorSelection());
    }
}

TEST_F(Flash, NoMatchSelectsNothing)
{
    for (const char *text : {"", "x", "(a) b)", "(print \"a", "\"", "(a)\"(\""}) {
        SCOPED_TRACE(text);
        double start = NowMs();
        std::vector<Seen> seen = TypeCloseAfter(text);
        EXPECT_LT(NowMs() - start, 200.0);  // no pause either
        EXPECT_TRUE(Selections(seen).empty());
        unsigned caret = (unsigned)strlen(text) + 1;
        EXPECT_EQ((Selection{caret, caret}), EditorSelection());
    }
}

TEST_F(Flash, TypedOverASelectionMatchesFromTheNewCaret)
{
    SetEditorText("(a xyz", 3, 6);
    Record.clear();
    TypeChar(')');
    EXPECT_EQ("(a )", WindowText(EditorWindow));
    std::vector<Seen> selections = Selections(Record);
    ASSERT_EQ(2u, selections.size());
    EXPECT_EQ(0u, selections[0].start);
    EXPECT_EQ((Selection{4, 4}), EditorSelection());
}

DWORD WINAPI TypeDuringFlash(void *posted)
{
    if (WaitForSingleObject(FlashShown, 5000) == WAIT_OBJECT_0) {
        for (char c : {'x', 'y', 'z'})
            PostMessageA(EditorWindow, WM_CHAR, (WPARAM)c, 1);
        SetEvent((HANDLE)posted);
    }
    return 0;
}

TEST_F(Flash, KeysTypedDuringThePauseFollowInOrder)
{
    SetEditorText("(a", 2);
    HANDLE posted = CreateEventA(NULL, TRUE, FALSE, NULL);
    HANDLE typist = CreateThread(NULL, 0, TypeDuringFlash, posted, 0, NULL);
    TypeChar(')');
    // The keys were sent during the pause and are still waiting.
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(posted, 0));
    EXPECT_EQ("(a)", WindowText(EditorWindow));
    WaitForSingleObject(typist, 5000);
    PumpMessages();
    EXPECT_EQ("(a)xyz", WindowText(EditorWindow));
    EXPECT_EQ((Selection{6, 6}), EditorSelection());
    CloseHandle(typist);
    CloseHandle(posted);
}

TEST_F(Flash, BeyondTheSnapshotNothingIsSelected)
{
    // "(" then short lines past 31000: a ")" typed beyond 31000 is not
    // matched; one typed within the snapshot is.
    std::string text = "(";
    while (text.size() < SnapshotChars + 200)
        text += "aaaaaaaaaaaa\r\n";
    for (unsigned caret : {SnapshotChars + 100, SnapshotChars + 1}) {
        SetEditorText(text, caret);
        Record.clear();
        TypeChar(')');
        EXPECT_TRUE(Selections(Record).empty()) << caret;
        EXPECT_EQ((Selection{caret + 1, caret + 1}), EditorSelection());
    }
    SetEditorText(text, SnapshotChars - 1);
    Record.clear();
    TypeChar(')');
    std::vector<Seen> selections = Selections(Record);
    ASSERT_EQ(2u, selections.size());
    EXPECT_EQ(0u, selections[0].start);
    EXPECT_EQ(SnapshotChars, selections[1].start);
}

} // namespace
