// The inspector against a real Lisp (tests/listener/with_swank.sh starts
// SBCL, or ECL with KESTRALUNE_TEST_LISP=ecl): a CLOS instance, a hash table
// and its actions, a list of 100000 elements fetched as it is scrolled, the
// way into a piece and back and forward, a frame's local and the condition
// from the debugger, the Lisp's own INSPECT and inspect-in-emacs, and
// objects that cannot be printed or inspected, none of which opens the
// debugger. The window is read through its controls' messages.
#include "tests/listener/listenertest.h"
#include "listener/win32/codepage.h"
#include "listener/win32/resource.h"
#include "tests/support/wintest.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>
#include <vector>

namespace {

typedef std::vector<std::string> Texts;

Program Listener;

std::string Joined(const Texts &lines)
{
    std::string all;
    for (const std::string &line : lines)
        all += line + "\n";
    return all;
}

// The first line that holds text, or -1.
int LineWith(const Texts &lines, const std::string &text)
{
    for (size_t i = 0; i < lines.size(); i++)
        if (lines[i].find(text) != std::string::npos)
            return (int)i;
    return -1;
}

class ListenerInspect : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        const char *port = getenv("KESTRALUNE_TEST_PORT");
        ASSERT_NE(nullptr, port) << "no Lisp: run through tests/listener/with_swank.sh";
        Listener = StartListener(std::string("-port ") + port + SecretOption());
        ASSERT_NE(nullptr, Listener.main);
        std::string name = OnEcl() ? "ECL " : "SBCL ";
        ASSERT_TRUE(WaitForCaption(Listener, "KESTRALUNE - connected to " + name, 60000)) << Caption(Listener);
        ASSERT_TRUE(WaitForTranscript(Listener, "; Connected to " + name)) << Transcript(Listener);
        // The objects the tests inspect.
        ASSERT_TRUE(Evaluate("(defclass place () ((name :initarg :name) (items :initarg :items)))",
                             "=> #<"));
        ASSERT_TRUE(Evaluate("(defvar *place* (make-instance 'place :name \"home\" :items (list 10 20 30)))",
                             "=> *PLACE*"));
        ASSERT_TRUE(Evaluate("(defvar *table* (make-hash-table))", "=> *TABLE*"));
        ASSERT_TRUE(Evaluate("(defvar *long* (make-list 100000 :initial-element 7))", "=> *LONG*"));
    }
    static void TearDownTestSuite() { EXPECT_EQ(0u, StopListener(Listener)); }
    // Each test starts with the listener idle and the inspector closed.
    void SetUp() override
    {
        ASSERT_NE(nullptr, Listener.main);
        if (!ListenerIdle(Listener)) {
            ASSERT_TRUE(ResetListener(Listener)) << Caption(Listener);
        }
        if (HWND inspector = InspectorWindowOf(Listener, 0)) {
            PostMessageW(inspector, WM_CLOSE, 0, 0);
            ASSERT_TRUE(Hidden(inspector));
        }
    }
    void TearDown() override
    {
        if (HasFailure() && Listener.main && !ListenerIdle(Listener)) {
            EXPECT_TRUE(ResetListener(Listener)) << Caption(Listener);
        }
    }
    // Evaluates the text typed on the input line; true once the transcript
    // shows expected after its echo.
    static bool Evaluate(const std::string &text, const std::string &expected, DWORD ms = 30000)
    {
        size_t from = Transcript(Listener).size();
        return EnterInput(Listener, text) && WaitForTranscript(Listener, expected, ms, from);
    }
    // The text put on the input line, the caret at its end, and Inspect.
    static void InspectInput(const std::string &text)
    {
        HWND input = GetDlgItem(Listener.main, ID_INPUT);
        std::wstring wide = Utf8ToWide(text);
        DWORD_PTR result;
        SendMessageTimeoutW(input, WM_SETTEXT, 0, (LPARAM)wide.c_str(), SMTO_NORMAL, 5000, &result);
        SendMessageTimeoutW(input, EM_SETSEL, wide.size(), wide.size(), SMTO_NORMAL, 5000, &result);
        ListenerCommand(Listener, IDM_INSPECT);
    }
    // The inspector once its title holds title and a line holds line.
    static HWND Inspector(const std::string &title, const std::string &line = "")
    {
        HWND inspector = InspectorWindowOf(Listener, 20000);
        if (inspector && !WaitForInspector(inspector, title, line)) {
            ADD_FAILURE() << "title " << InspectorTitle(inspector) << "\n" << Joined(InspectorLines(inspector));
            return NULL;
        }
        return inspector;
    }
    static HWND List(HWND inspector) { return GetDlgItem(inspector, ID_INSPECT_LIST); }
    static void Select(HWND inspector, int line)
    {
        DWORD_PTR result;
        SendMessageTimeoutW(List(inspector), LB_SETCURSEL, line, 0, SMTO_NORMAL, 5000, &result);
    }
    static void Key(HWND inspector, WPARAM key, bool alt = false)
    {
        PostMessageW(List(inspector), alt ? WM_SYSKEYDOWN : WM_KEYDOWN, key, alt ? 0x20000001 : 1);
    }
    static bool Hidden(HWND window, DWORD ms = 10000)
    {
        DWORD start = GetTickCount();
        while (IsWindowVisible(window) && GetTickCount() - start < ms)
            PumpFor(10);
        return !IsWindowVisible(window);
    }
    // The debugger window once it shows, or null.
    static HWND Debugger(DWORD ms = 20000) { return DebuggerWindowOf(Listener, ms); }
};

// SBCL's Swank lists the slots as pieces; ECL's describes the instance.
TEST_F(ListenerInspect, AnInstanceShowsItsSlots)
{
    InspectInput("*place*");
    HWND inspector = Inspector("PLACE", "home");
    ASSERT_NE(nullptr, inspector);
    EXPECT_EQ("KESTRALUNE Inspector", WindowText(inspector));
    Texts lines = InspectorLines(inspector);
    int items = LineWith(lines, "(10 20 30)");
    ASSERT_GE(items, 0) << Joined(lines);
    EXPECT_NE(std::string::npos, lines[items].find("ITEMS")) << lines[items];
    EXPECT_GE(LineWith(lines, "NAME"), 0) << Joined(lines);
    if (!OnEcl()) {
        // The slot's value is a piece of its own.
        Select(inspector, items);
        Key(inspector, VK_RETURN);
        EXPECT_NE(nullptr, Inspector("CONS", "1: 20"));
    }
    Key(inspector, VK_ESCAPE);
    EXPECT_TRUE(Hidden(inspector));
    EXPECT_TRUE(ListenerIdle(Listener)) << Caption(Listener);
}

TEST_F(ListenerInspect, APieceLeadsInAndBackAndForward)
{
    InspectInput("(list :outer (list 10 20 30))");
    HWND inspector = Inspector("CONS", "0: :OUTER");
    ASSERT_NE(nullptr, inspector);
    Texts lines = InspectorLines(inspector);
    int inner = LineWith(lines, "1: (10 20 30)");
    ASSERT_GE(inner, 0) << Joined(lines);
    Select(inspector, inner);
    Key(inspector, VK_RETURN);
    ASSERT_NE(nullptr, Inspector("CONS", "1: 20"));
    Key(inspector, VK_BACK);
    ASSERT_NE(nullptr, Inspector("CONS", "0: :OUTER"));
    Key(inspector, VK_RIGHT, true);
    ASSERT_NE(nullptr, Inspector("CONS", "1: 20"));
    Key(inspector, VK_LEFT, true);
    ASSERT_NE(nullptr, Inspector("CONS", "0: :OUTER"));
    // Nothing before the first: the object stays and the status says so.
    Key(inspector, VK_BACK);
    DWORD start = GetTickCount();
    while (InspectorStatus(inspector).empty() && GetTickCount() - start < 10000)
        PumpFor(10);
    EXPECT_EQ("Nothing was inspected before this object.", InspectorStatus(inspector));
    EXPECT_GE(LineWith(InspectorLines(inspector), "0: :OUTER"), 0);
    // A double-click on the piece opens it too.
    RECT item = {};
    DWORD_PTR result;
    SendMessageTimeoutW(List(inspector), LB_SETTOPINDEX, 0, 0, SMTO_NORMAL, 5000, &result);
    SendMessageTimeoutW(List(inspector), LB_GETITEMRECT, inner, (LPARAM)&item, SMTO_NORMAL, 5000, &result);
    LPARAM at = MAKELPARAM(item.left + 4 + 40, item.top + 2);  // past "1: ", in the value
    PostMessageW(List(inspector), WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(List(inspector), WM_LBUTTONUP, 0, at);
    PostMessageW(List(inspector), WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    PostMessageW(List(inspector), WM_LBUTTONUP, 0, at);
    EXPECT_NE(nullptr, Inspector("CONS", "1: 20"));
}

// A hash table's entries, each with the action that removes it; the
// action runs and the table shows anew, without the entry. F5 shows the
// table as it is now.
TEST_F(ListenerInspect, AHashTablesEntriesAndItsActions)
{
    ASSERT_TRUE(Evaluate("(progn (clrhash *table*) (setf (gethash :apple *table*) 1 (gethash :pear *table*) 2) t)",
                         "=> T"));
    InspectInput("*table*");
    HWND inspector = Inspector("HASH-TABLE", ":PEAR = 2 [remove entry]");
    ASSERT_NE(nullptr, inspector);
    Texts lines = InspectorLines(inspector);
    int apple = LineWith(lines, ":APPLE = 1 [remove entry]");
    ASSERT_GE(apple, 0) << Joined(lines);
    EXPECT_GE(LineWith(lines, "Count: 2"), 0) << Joined(lines);
    EXPECT_GE(LineWith(lines, "[clear hashtable]"), 0) << Joined(lines);

    // The line's third piece, after the key and the value, is its action.
    Select(inspector, apple);
    Key(inspector, VK_RIGHT);
    Key(inspector, VK_RIGHT);
    Key(inspector, VK_RETURN);
    ASSERT_NE(nullptr, Inspector("HASH-TABLE", "Count: 1"));
    lines = InspectorLines(inspector);
    EXPECT_LT(LineWith(lines, ":APPLE"), 0) << Joined(lines);
    EXPECT_GE(LineWith(lines, ":PEAR = 2"), 0) << Joined(lines);
    EXPECT_TRUE(Evaluate("(gethash :apple *table*)", "=> NIL\r\n=> NIL"));

    // Changed in the Lisp, shown as it is now on F5.
    ASSERT_TRUE(Evaluate("(setf (gethash :plum *table*) 3)", "=> 3"));
    Key(inspector, VK_F5);
    EXPECT_NE(nullptr, Inspector("HASH-TABLE", ":PLUM = 3"));
    // The key's piece opens the key.
    lines = InspectorLines(inspector);
    int plum = LineWith(lines, ":PLUM = 3");
    ASSERT_GE(plum, 0);
    Select(inspector, plum);
    Key(inspector, VK_RETURN);
    EXPECT_NE(nullptr, Inspector("KEYWORD", "PLUM"));
}

// Swank sends the first 500 pieces of the list's content; the rest comes a
// range at a time as the list is scrolled to its end, never all of it.
TEST_F(ListenerInspect, ALongListOpensAtOnceAndTheRestComesOnScrolling)
{
    InspectInput("*long*");
    HWND inspector = Inspector("CONS", "0: 7");
    ASSERT_NE(nullptr, inspector);
    PumpFor(200);
    Texts lines = InspectorLines(inspector);
    EXPECT_EQ("A proper list:", lines.front());
    EXPECT_LT(lines.size(), 200u) << "the first range only";
    EXPECT_LT(LineWith(lines, "200: 7"), 0);
    size_t first = lines.size();
    Key(inspector, VK_END);
    ASSERT_NE(nullptr, Inspector("CONS", "200: 7"));
    PumpFor(200);
    lines = InspectorLines(inspector);
    EXPECT_LT(lines.size(), 3 * first) << "one range more";
    // The lines follow on without a gap or a line twice; the last may wait
    // for its value in the next range.
    for (size_t i = 1; i + 1 < lines.size(); i++)
        EXPECT_EQ(std::to_string(i - 1) + ": 7", lines[i]) << i;
    Key(inspector, VK_END);
    EXPECT_NE(nullptr, Inspector("CONS", std::to_string(lines.size() + 10) + ": 7"));
}

TEST_F(ListenerInspect, TheDebuggersLocalAndCondition)
{
    ASSERT_TRUE(Evaluate("(defun inspect-bottom (thing) (error \"bottom of ~a\" (length thing)))",
                         "=> INSPECT-BOTTOM"));
    ASSERT_TRUE(EnterInput(Listener, "(inspect-bottom (list :left :right))"));
    HWND debugger = Debugger();
    ASSERT_NE(nullptr, debugger);
    HWND frames = GetDlgItem(debugger, ID_DEBUG_FRAMES);
    Texts lines;
    int frame = -1;
    for (DWORD start = GetTickCount(); frame < 0 && GetTickCount() - start < 10000; PumpFor(20))
        frame = LineWith(lines = DebuggerFrames(debugger), "INSPECT-BOTTOM");
    ASSERT_GE(frame, 0) << Joined(lines);
    DWORD_PTR result;
    SendMessageTimeoutW(frames, LB_SETCURSEL, frame, 0, SMTO_NORMAL, 5000, &result);
    SetFocus(NULL);
    PostMessageW(frames, WM_KEYDOWN, VK_RETURN, 1);
    int local = -1;
    for (DWORD start = GetTickCount(); local < 0 && GetTickCount() - start < 10000; PumpFor(20))
        local = LineWith(lines = DebuggerFrames(debugger), "THING = ");
    // ECL may know no locals of a frame.
    if (local >= 0 || !OnEcl()) {
        ASSERT_GE(local, 0) << Joined(lines);
        SendMessageTimeoutW(frames, LB_SETCURSEL, local, 0, SMTO_NORMAL, 5000, &result);
        PostMessageW(frames, WM_CHAR, L'i', 1);
        HWND inspector = Inspector("CONS", ":RIGHT");
        ASSERT_NE(nullptr, inspector);
    }
    // On the frame's own line, I inspects the condition.
    SendMessageTimeoutW(frames, LB_SETCURSEL, frame, 0, SMTO_NORMAL, 5000, &result);
    PostMessageW(frames, WM_CHAR, L'I', 1);
    HWND inspector = Inspector("SIMPLE-ERROR");
    ASSERT_NE(nullptr, inspector);
    EXPECT_TRUE(IsWindowVisible(debugger));
    TypeInDebugger(debugger, 0x1b);
    EXPECT_TRUE(WaitForNoDebugger(Listener));
}

// (inspect x) typed in the listener opens the inspector where the Lisp has
// a hook for INSPECT (SBCL); Swank's inspect-in-emacs does on every Lisp,
// and with :wait t the Lisp is answered at once and goes on.
TEST_F(ListenerInspect, TheLispsInspectOpensTheWindow)
{
    if (!OnEcl()) {
        ASSERT_TRUE(Evaluate("(inspect *place*)", "; No values"));
        HWND inspector = Inspector("PLACE", "\"home\"");
        ASSERT_NE(nullptr, inspector);
        PostMessageW(inspector, WM_CLOSE, 0, 0);
        ASSERT_TRUE(Hidden(inspector));
    }
    ASSERT_TRUE(Evaluate("(progn (swank:inspect-in-emacs *long* :wait t) :went-on)", "=> :WENT-ON"));
    EXPECT_NE(nullptr, Inspector("CONS", "0: 7"));
    EXPECT_TRUE(ListenerIdle(Listener)) << Caption(Listener);
    // Inspect Last Value: the REPL's *.
    ASSERT_TRUE(Evaluate("(list :last 1)", "=> (:LAST 1)"));
    ListenerCommand(Listener, IDM_INSPECTLAST);
    EXPECT_NE(nullptr, Inspector("CONS", "0: :LAST"));
}

// A piece whose printing fails says so in its place; a form that fails and
// an object whose inspection fails say why in the window. None opens the
// debugger.
TEST_F(ListenerInspect, WhatCannotBePrintedOrInspectedSaysSoInItsPlace)
{
    ASSERT_TRUE(Evaluate("(defclass unprintable () ())", "=> #<"));
    ASSERT_TRUE(Evaluate("(defmethod print-object ((u unprintable) stream) (error \"no printing\"))",
                         "=> #<"));
    ASSERT_TRUE(Evaluate("(defclass half () ((unset) (set :initform 2)))", "=> #<"));
    InspectInput("(list (make-instance 'unprintable) (make-instance 'half) 5)");
    HWND inspector = Inspector("CONS", "2: 5");
    ASSERT_NE(nullptr, inspector);
    Texts lines = InspectorLines(inspector);
    int broken = LineWith(lines, "0: ");
    ASSERT_GE(broken, 0) << Joined(lines);
    EXPECT_NE(std::string::npos, lines[broken].find("error printing")) << lines[broken];
    // The instance with a slot never set.
    int half = LineWith(lines, "1: ");
    ASSERT_GE(half, 0);
    Select(inspector, half);
    Key(inspector, VK_RETURN);
    ASSERT_NE(nullptr, Inspector("HALF", "2"));
    EXPECT_GE(LineWith(InspectorLines(inspector), "UNSET"), 0) << Joined(InspectorLines(inspector));
    EXPECT_EQ(nullptr, DebuggerWindowOf(Listener, 0));

    InspectInput("(car 5)");
    inspector = Inspector("(car 5) could not be inspected", "The Lisp said: ");
    ASSERT_NE(nullptr, inspector);
    ASSERT_TRUE(Evaluate("(defmethod swank:emacs-inspect ((u unprintable)) (error \"no inspecting\"))",
                         "=> #<"));
    InspectInput("(make-instance 'unprintable)");
    EXPECT_NE(nullptr, Inspector("could not be inspected", "The Lisp said: no inspecting"));
    EXPECT_EQ(nullptr, DebuggerWindowOf(Listener, 300));
    EXPECT_TRUE(ListenerIdle(Listener)) << Caption(Listener);
}

}  // namespace
