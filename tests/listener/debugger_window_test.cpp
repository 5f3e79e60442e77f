// The debugger window in this process: what it shows of a level, and the
// actions it posts to its owner, a plain window of the test's that records
// them, for keys and clicks sent to its controls.
#include "listener/win32/debugger.h"
#include "listener/win32/resource.h"
#include "tests/support/wintest.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// An action as the owner receives it, with the thread and level it was
// made at (SampleLevel's unless said).
struct Action {
    WPARAM action;
    long argument;
    std::string text;
    std::string thread = "5";
    long level = 1;
    bool operator==(const Action &other) const
    {
        return action == other.action && argument == other.argument && text == other.text &&
               thread == other.thread && level == other.level;
    }
};
void PrintTo(const Action &a, std::ostream *out)
{
    static const char *const names[] = {"InvokeRestart",  "Abort",       "MoreFrames",    "FrameLocals",
                                        "NextThread",     "EvalInFrame", "FrameSource",   "RestartFrame",
                                        "ReturnFromFrame", "Disassemble", "StepInto",      "StepNext",
                                        "StepOut"};
    *out << (a.action < sizeof names / sizeof *names ? names[a.action] : "?") << "(" << a.argument << ", \""
         << a.text << "\") at " << a.thread << "/" << a.level;
}
const Action Abort = {DebugAbort, 0, ""}, MoreFrames = {DebugMoreFrames, 0, ""},
             NextThread = {DebugNextThread, 0, ""};
Action Restart(int n) { return {DebugInvokeRestart, n, ""}; }
Action Locals(long index) { return {DebugFrameLocals, index, ""}; }
Action OnFrame(DebugAction action, long frame, const std::string &text = std::string())
{
    return {action, frame, text};
}

std::vector<Action> Posted;

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DEBUGGER_ACTION) {
        DebugActionPost *post = (DebugActionPost *)lParam;
        Posted.push_back({wParam, post->argument, post->text, post->at.thread, post->at.level});
        delete post;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND MakeOwner()
{
    static bool registered;
    if (!registered) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = OwnerProc;
        wc.hInstance = GetModuleHandleW(NULL);
        wc.lpszClassName = L"DebuggerTestOwner";
        registered = RegisterClassW(&wc) != 0;
    }
    return CreateWindowExW(0, L"DebuggerTestOwner", L"Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 500, 400,
                           NULL, NULL, GetModuleHandleW(NULL), NULL);
}

DebugFrame Frame(long index, const char *text)
{
    DebugFrame frame;
    frame.index = index;
    frame.text = text;
    return frame;
}

// A type error in a worker thread, as SBCL's Swank reports one: four
// restarts, three frames and more to come.
DebugLevel SampleLevel()
{
    DebugLevel level;
    level.thread = "5";
    level.level = 1;
    level.threadName = "worker";
    level.message = "The value\n  \"\xce\xbb\"\nis not of type\n  NUMBER";
    level.type = "[Condition of type TYPE-ERROR]";
    level.restarts = {{"USE-VALUE", "Use a new value."},
                      {"RETRY", "Retry SLIME REPL evaluation request."},
                      {"*ABORT", "Return to SLIME's top level."},
                      {"ABORT", "abort thread (#<THREAD \"worker\" RUNNING {1004}>)"}};
    level.frames = {Frame(0, "(SB-KERNEL:TWO-ARG-+ \"\xce\xbb\" 1)"), Frame(1, "(+ \"\xce\xbb\" 1)"),
                    Frame(2, "(EVAL (+ \"\xce\xbb\" 1))")};
    level.moreFrames = true;
    return level;
}

enum Target { RestartList, FrameList, ConditionBox, WholeWindow };

class DebuggerWindowTest : public ::testing::Test {
protected:
    HWND owner = NULL;

    void SetUp() override
    {
        Posted.clear();
        owner = MakeOwner();
        ASSERT_TRUE(owner);
    }
    void TearDown() override
    {
        EndDebugger();
        EXPECT_EQ(NULL, DebuggerWindow());
        DestroyWindow(owner);
        PumpMessages();
    }

    void Show(const DebugLevel &level)
    {
        ShowDebugger(owner, &level);
        PumpMessages();
        ASSERT_TRUE(DebuggerWindow());
    }
    static HWND Control(int id) { return GetDlgItem(DebuggerWindow(), id); }
    static HWND TargetWindow(Target target)
    {
        switch (target) {
        case RestartList: return Control(ID_DEBUG_RESTARTS);
        case FrameList: return Control(ID_DEBUG_FRAMES);
        case ConditionBox: return Control(ID_DEBUG_CONDITION);
        default: return DebuggerWindow();
        }
    }
    static std::wstring Text(HWND window)
    {
        std::wstring text(GetWindowTextLengthW(window) + 1, L'\0');
        text.resize(GetWindowTextW(window, &text[0], (int)text.size()));
        return text;
    }
    static std::wstring Line(int id, int index)
    {
        HWND list = Control(id);
        LRESULT length = SendMessageW(list, LB_GETTEXTLEN, index, 0);
        if (length == LB_ERR)
            return L"<none>";
        std::wstring text(length + 1, L'\0');
        SendMessageW(list, LB_GETTEXT, index, (LPARAM)&text[0]);
        text.resize(length);
        return text;
    }
    static std::vector<std::wstring> Lines(int id)
    {
        std::vector<std::wstring> lines;
        int count = (int)SendMessageW(Control(id), LB_GETCOUNT, 0, 0);
        for (int i = 0; i < count; i++)
            lines.push_back(Line(id, i));
        return lines;
    }
    static int Selected(int id) { return (int)SendMessageW(Control(id), LB_GETCURSEL, 0, 0); }
    static std::wstring SelectedLine(int id) { return Line(id, Selected(id)); }
    static void Select(int id, int index) { SendMessageW(Control(id), LB_SETCURSEL, index, 0); }
    static int FindLine(int id, const std::wstring &text)
    {
        return (int)SendMessageW(Control(id), LB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)text.c_str());
    }

    // A key as the message loop delivers it: its key-down, then the
    // character TranslateMessage makes of it (none when ch is 0). Actions
    // are posted, so none has arrived before the messages are pumped.
    static std::vector<Action> Key(HWND target, UINT vk, wchar_t ch)
    {
        Posted.clear();
        SendMessageW(target, WM_KEYDOWN, vk, 1);
        if (ch)
            SendMessageW(target, WM_CHAR, ch, 1);
        SendMessageW(target, WM_KEYUP, vk, 0xC0000001);
        EXPECT_TRUE(Posted.empty()) << "sent to the owner instead of posted";
        PumpMessages();
        return Posted;
    }
    // A key held down (true) or let go, as GetKeyState reads it on this thread.
    static void HoldKey(int vk, bool down)
    {
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[vk] = down ? 0x80 : 0;
        SetKeyboardState(keys);
    }
    static std::vector<Action> DoubleClick(int id, int index)
    {
        Posted.clear();
        HWND list = Control(id);
        RECT item;
        EXPECT_NE(LB_ERR, SendMessageW(list, LB_GETITEMRECT, index, (LPARAM)&item));
        LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
        SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(list, WM_LBUTTONUP, 0, at);
        SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
        SendMessageW(list, WM_LBUTTONUP, 0, at);
        PumpMessages();
        return Posted;
    }
};

TEST_F(DebuggerWindowTest, ShowsTheConditionRestartsAndFrames)
{
    Show(SampleLevel());
    HWND window = DebuggerWindow();
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(owner, GetWindow(window, GW_OWNER));
    EXPECT_EQ(L"KESTRALUNE Debugger - worker - level 1", Text(window));
    EXPECT_FALSE(IsWindowVisible(Control(ID_DEBUG_THREADS))) << "no other thread is in the debugger";
    wchar_t className[64] = L"";
    GetClassNameW(window, className, 64);
    EXPECT_STREQ(L"KestraluneDebugger", className);
    EXPECT_TRUE(IsWindowUnicode(window));

    EXPECT_EQ(L"The value\r\n  \"\u03bb\"\r\nis not of type\r\n  NUMBER\r\n[Condition of type TYPE-ERROR]",
              Text(Control(ID_DEBUG_CONDITION)));
    EXPECT_EQ((std::vector<std::wstring>{L"0: [USE-VALUE] Use a new value.",
                                         L"1: [RETRY] Retry SLIME REPL evaluation request.",
                                         L"2: [*ABORT] Return to SLIME's top level.",
                                         L"3: [ABORT] abort thread (#<THREAD \"worker\" RUNNING {1004}>)"}),
              Lines(ID_DEBUG_RESTARTS));
    EXPECT_EQ((std::vector<std::wstring>{L"0: (SB-KERNEL:TWO-ARG-+ \"\u03bb\" 1)", L"1: (+ \"\u03bb\" 1)",
                                         L"2: (EVAL (+ \"\u03bb\" 1))", L"--more--"}),
              Lines(ID_DEBUG_FRAMES));
    EXPECT_EQ(0, Selected(ID_DEBUG_RESTARTS));
    EXPECT_EQ(0, Selected(ID_DEBUG_FRAMES));
    EXPECT_EQ(Control(ID_DEBUG_RESTARTS), GetFocus());

    // Laid out top to bottom, inside the window, none of them empty.
    RECT condition, restarts, frames, client;
    GetWindowRect(Control(ID_DEBUG_CONDITION), &condition);
    GetWindowRect(Control(ID_DEBUG_RESTARTS), &restarts);
    GetWindowRect(Control(ID_DEBUG_FRAMES), &frames);
    RECT eval, result;
    GetWindowRect(Control(ID_DEBUG_EVAL), &eval);
    GetWindowRect(Control(ID_DEBUG_RESULT), &result);
    GetClientRect(window, &client);
    MapWindowPoints(window, NULL, (POINT *)&client, 2);
    EXPECT_LE(condition.bottom, restarts.top);
    EXPECT_LE(restarts.bottom, frames.top);
    EXPECT_LE(frames.bottom, eval.top);
    EXPECT_LE(eval.bottom, result.top);
    EXPECT_LE(result.bottom, client.bottom);
    for (const RECT &r : {condition, restarts, frames, eval, result})
        EXPECT_GT(r.bottom - r.top, 12);
}

TEST_F(DebuggerWindowTest, KeysPostTheirActions)
{
    struct Case {
        const char *what;
        Target target;
        int restart, frame;  // selected first, when not negative
        UINT vk;
        wchar_t ch;
        std::vector<Action> expected;
    } cases[] = {
        {"digit in the restarts", RestartList, -1, -1, '0', L'0', {Restart(0)}},
        {"digit past the selection", RestartList, 1, -1, '3', L'3', {Restart(3)}},
        {"digit with no such restart", RestartList, -1, -1, '4', L'4', {}},
        {"digit in the frames", FrameList, -1, -1, '2', L'2', {Restart(2)}},
        {"digit in the condition", ConditionBox, -1, -1, '1', L'1', {Restart(1)}},
        {"digit to the window", WholeWindow, -1, -1, '1', L'1', {Restart(1)}},
        {"Enter on a restart", RestartList, 2, -1, VK_RETURN, L'\r', {Restart(2)}},
        {"Enter on a frame", FrameList, -1, 1, VK_RETURN, L'\r', {Locals(1)}},
        {"Enter on --more--", FrameList, -1, 3, VK_RETURN, L'\r', {MoreFrames}},
        {"Down from the last frame", FrameList, -1, 2, VK_DOWN, 0, {MoreFrames}},
        {"Down between frames", FrameList, -1, 0, VK_DOWN, 0, {}},
        {"Esc in the restarts", RestartList, -1, -1, VK_ESCAPE, 0x1b, {Abort}},
        {"Esc in the frames", FrameList, -1, -1, VK_ESCAPE, 0x1b, {Abort}},
        {"Esc in the condition", ConditionBox, -1, -1, VK_ESCAPE, 0x1b, {Abort}},
        {"a letter", RestartList, -1, -1, 'A', L'a', {}},
        // The tools, on the selected line's frame; a local's line is its frame's.
        {"S on a frame", FrameList, -1, 1, 'S', L's', {OnFrame(DebugFrameSource, 1)}},
        {"S in the restarts: the selected frame", RestartList, -1, -1, 'S', L'S', {OnFrame(DebugFrameSource, 0)}},
        {"R", FrameList, -1, 2, 'R', L'r', {OnFrame(DebugRestartFrame, 2)}},
        {"T: the evaluation line is empty", FrameList, -1, 2, 'T', L't', {OnFrame(DebugReturnFromFrame, 2)}},
        {"D", FrameList, -1, 0, 'D', L'd', {OnFrame(DebugDisassemble, 0)}},
        {"F11", FrameList, -1, 1, VK_F11, 0, {OnFrame(DebugStepInto, 1)}},
        {"F10", FrameList, -1, 1, VK_F10, 0, {OnFrame(DebugStepNext, 1)}},
        {"a tool on --more--", FrameList, -1, 3, 'S', L's', {}},
        {"Ctrl+Tab", FrameList, -1, -1, VK_TAB, L'\t', {NextThread}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Show(SampleLevel());
        if (c.restart >= 0)
            Select(ID_DEBUG_RESTARTS, c.restart);
        if (c.frame >= 0)
            Select(ID_DEBUG_FRAMES, c.frame);
        HWND target = TargetWindow(c.target);
        SetFocus(target);
        if (c.target != WholeWindow) {  // which hands its focus to a list
            EXPECT_EQ(target, GetFocus());
        }
        bool control = std::string(c.what) == "Ctrl+Tab";
        if (control)
            HoldKey(VK_CONTROL, true);
        EXPECT_EQ(c.expected, Key(target, c.vk, c.ch));
        if (control)
            HoldKey(VK_CONTROL, false);
        ShowDebugger(owner, nullptr);
    }
}

// Shift+F11 steps out; Esc held down (its key-down repeated, bit 30 of
// lParam set) asks to abort once, not once a repeat, which would leave one
// level after another.
TEST_F(DebuggerWindowTest, ShiftF11StepsOutAndAHeldEscAbortsOnce)
{
    Show(SampleLevel());
    HWND frames = Control(ID_DEBUG_FRAMES);
    Select(ID_DEBUG_FRAMES, 2);
    HoldKey(VK_SHIFT, true);
    EXPECT_EQ(std::vector<Action>{OnFrame(DebugStepOut, 2)}, Key(frames, VK_F11, 0));
    HoldKey(VK_SHIFT, false);

    Posted.clear();
    SendMessageW(frames, WM_KEYDOWN, VK_ESCAPE, 1);
    for (int i = 0; i < 5; i++)
        SendMessageW(frames, WM_KEYDOWN, VK_ESCAPE, 1 | (1 << 30));
    SendMessageW(frames, WM_KEYUP, VK_ESCAPE, 0xC0000001);
    PumpMessages();
    EXPECT_EQ(std::vector<Action>{Abort}, Posted);
}

// The evaluation line takes letters and digits as text; Enter evaluates
// it in the selected frame, T returns its value from that frame; its
// value shows under it.
TEST_F(DebuggerWindowTest, TheEvaluationLineActsOnTheSelectedFrame)
{
    DebugLevel level = SampleLevel();
    level.frames[1].localsAsked = level.frames[1].localsKnown = true;
    level.frames[1].locals = {"X = 5"};
    Show(level);
    HWND eval = Control(ID_DEBUG_EVAL);
    Select(ID_DEBUG_FRAMES, 2);  // the local X of frame 1
    SetFocus(eval);
    EXPECT_EQ(std::vector<Action>{}, Key(eval, '1', L'1'));
    EXPECT_EQ(std::vector<Action>{}, Key(eval, 'S', L's'));
    EXPECT_EQ(L"1s", Text(eval)) << "typed, not a restart or a tool";
    SetWindowTextW(eval, L"(+ x λ)");
    EXPECT_EQ(std::vector<Action>{OnFrame(DebugEvalInFrame, 1, "(+ x \xce\xbb)")}, Key(eval, VK_RETURN, L'\r'));
    SetFocus(Control(ID_DEBUG_FRAMES));
    EXPECT_EQ(std::vector<Action>{OnFrame(DebugReturnFromFrame, 1, "(+ x \xce\xbb)")},
              Key(Control(ID_DEBUG_FRAMES), 'T', L't'));
    // Ctrl+I (its character a Tab) inspects the line's value in the frame.
    SetFocus(eval);
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    std::vector<Action> inspected = Key(eval, 'I', L'\t');
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
    EXPECT_EQ(std::vector<Action>{OnFrame(DebugInspectInFrame, 1, "(+ x \xce\xbb)")}, inspected);
    EXPECT_EQ(std::vector<Action>{Abort}, Key(eval, VK_ESCAPE, 0x1b)) << "Esc aborts from the line too";

    level.evalResult = "=> 6 (3 bits, #x6, #o6, #b110)";
    Show(level);
    EXPECT_EQ(L"=> 6 (3 bits, #x6, #o6, #b110)", Text(Control(ID_DEBUG_RESULT)));
    EXPECT_EQ(2, Selected(ID_DEBUG_FRAMES)) << "the same level, refreshed in place";
}

// The caption names the thread; the other threads in the debugger are
// named over the condition; actions carry the thread and level shown. A
// level shown without raising it stays behind the window the user is in.
TEST_F(DebuggerWindowTest, TheThreadIsNamedAndALevelBehindTakesNoFocus)
{
    DebugLevel level = SampleLevel();
    level.otherThreads = "thread 9 (level 2)";
    Show(level);
    HWND threads = Control(ID_DEBUG_THREADS);
    EXPECT_TRUE(IsWindowVisible(threads));
    EXPECT_EQ(L"Also in the debugger (Ctrl+Tab): thread 9 (level 2)", Text(threads));
    RECT line, condition;
    GetWindowRect(threads, &line);
    GetWindowRect(Control(ID_DEBUG_CONDITION), &condition);
    EXPECT_LE(line.bottom, condition.top);

    DebugLevel other = SampleLevel();
    other.thread = "9";
    other.threadName = "thread 9";
    other.level = 2;
    ShowDebugger(owner, &other, true);
    PumpMessages();
    EXPECT_EQ(L"KESTRALUNE Debugger - thread 9 - level 2", Text(DebuggerWindow()));
    Action restart = Restart(1);
    restart.thread = "9";
    restart.level = 2;
    EXPECT_EQ(std::vector<Action>{restart}, Key(Control(ID_DEBUG_RESTARTS), '1', L'1'));
    ShowDebugger(owner, nullptr);
    PumpMessages();

    SetForegroundWindow(owner);
    SetFocus(owner);
    PumpMessages();
    ShowDebugger(owner, &level, false);
    PumpMessages();
    EXPECT_TRUE(IsWindowVisible(DebuggerWindow()));
    EXPECT_EQ(owner, GetForegroundWindow());
    EXPECT_EQ(owner, GetFocus());
}

TEST_F(DebuggerWindowTest, DoubleClickActsAsEnter)
{
    Show(SampleLevel());
    struct Case {
        int list, index;
        std::vector<Action> expected;
    } cases[] = {
        {ID_DEBUG_RESTARTS, 1, {Restart(1)}},
        {ID_DEBUG_RESTARTS, 3, {Restart(3)}},
        {ID_DEBUG_FRAMES, 2, {Locals(2)}},
        {ID_DEBUG_FRAMES, 3, {MoreFrames}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.index);
        EXPECT_EQ(c.expected, DoubleClick(c.list, c.index));
    }
}

TEST_F(DebuggerWindowTest, LocalsComeUnderTheirFrame)
{
    DebugLevel level = SampleLevel();
    level.frames[0].localsAsked = level.frames[0].localsKnown = true;
    level.frames[1].localsAsked = level.frames[1].localsKnown = true;
    level.frames[1].locals = {"X = 5", "Y = \"\xce\xbb\""};
    level.frames[2].localsAsked = true;
    Show(level);
    EXPECT_EQ((std::vector<std::wstring>{L"0: (SB-KERNEL:TWO-ARG-+ \"\u03bb\" 1)", L"      (no locals)",
                                         L"1: (+ \"\u03bb\" 1)", L"      X = 5", L"      Y = \"\u03bb\"",
                                         L"2: (EVAL (+ \"\u03bb\" 1))", L"      ...", L"--more--"}),
              Lines(ID_DEBUG_FRAMES));

    // Each line stands for its frame, whose Swank index is asked for, not
    // the line's place in the list.
    struct Case {
        int line;
        std::vector<Action> expected;
    } cases[] = {{2, {Locals(1)}}, {4, {Locals(1)}}, {5, {Locals(2)}}, {6, {Locals(2)}}, {7, {MoreFrames}}};
    SetFocus(Control(ID_DEBUG_FRAMES));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        Select(ID_DEBUG_FRAMES, c.line);
        EXPECT_EQ(c.expected, Key(Control(ID_DEBUG_FRAMES), VK_RETURN, L'\r'));
    }
}

TEST_F(DebuggerWindowTest, FramesAskedForAndCome)
{
    DebugLevel level = SampleLevel();
    Show(level);
    HWND frames = Control(ID_DEBUG_FRAMES);
    SetFocus(frames);
    Select(ID_DEBUG_FRAMES, 3);
    EXPECT_EQ(std::vector<Action>{MoreFrames}, Key(frames, VK_RETURN, L'\r'));

    level.framesAsked = true;
    Show(level);
    EXPECT_EQ(L"... asking for more frames", Line(ID_DEBUG_FRAMES, 3));
    EXPECT_EQ(3, Selected(ID_DEBUG_FRAMES));
    EXPECT_EQ(std::vector<Action>{}, Key(frames, VK_RETURN, L'\r'));
    EXPECT_EQ(std::vector<Action>{}, Key(frames, VK_DOWN, 0));

    level.framesAsked = false;
    level.moreFrames = false;
    level.frames.push_back(Frame(3, "(SWANK::EVAL-REGION \"(+ \\\"\xce\xbb\\\" 1)\")"));
    Show(level);
    EXPECT_EQ(4u, Lines(ID_DEBUG_FRAMES).size());
    EXPECT_EQ(L"3: (SWANK::EVAL-REGION \"(+ \\\"\u03bb\\\" 1)\")", SelectedLine(ID_DEBUG_FRAMES));
    EXPECT_EQ(frames, GetFocus());
    EXPECT_EQ(std::vector<Action>{}, Key(frames, VK_DOWN, 0));
}

// A refresh of the same level puts the selection back on the same line
// (found by what it stands for, as lines come above it), and the top line.
TEST_F(DebuggerWindowTest, RefreshKeepsSelectionAndScroll)
{
    DebugLevel many = SampleLevel();
    for (long i = 3; i < 60; i++)
        many.frames.push_back(Frame(i, ("(FRAME-" + std::to_string(i) + ")").c_str()));
    many.frames[4].localsAsked = true;
    many.frames[5].localsAsked = many.frames[5].localsKnown = true;
    many.frames[5].locals = {"A = 1", "B = 2"};

    struct Case {
        const char *what;
        std::wstring selected, top;   // lines before the refresh
        std::function<void(DebugLevel &)> change;
        std::wstring selectedAfter;   // empty: the same line
    } cases[] = {
        {"locals come above", L"40: (FRAME-40)", L"30: (FRAME-30)",
         [](DebugLevel &l) {
             l.frames[1].localsAsked = l.frames[1].localsKnown = true;
             l.frames[1].locals = {"X = 1", "Y = 2", "Z = 3"};
         },
         L""},
        {"a local, as more frames come", L"      B = 2", L"2: (EVAL (+ \"\u03bb\" 1))",
         [](DebugLevel &l) { l.frames.push_back(Frame(60, "(FRAME-60)")); }, L""},
        {"waiting locals come", L"      ...", L"1: (+ \"\u03bb\" 1)",
         [](DebugLevel &l) {
             l.frames[4].localsKnown = true;
             l.frames[4].locals = {"N = 4"};
         },
         L"      N = 4"},
        {"--more-- and the frames come", L"--more--", L"45: (FRAME-45)",
         [](DebugLevel &l) {
             l.frames.push_back(Frame(60, "(FRAME-60)"));
             l.frames.push_back(Frame(61, "(FRAME-61)"));
         },
         L"60: (FRAME-60)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        DebugLevel level = many;
        Show(level);
        HWND frames = Control(ID_DEBUG_FRAMES);
        SetFocus(frames);
        int selected = FindLine(ID_DEBUG_FRAMES, c.selected), top = FindLine(ID_DEBUG_FRAMES, c.top);
        ASSERT_GE(selected, 0);
        ASSERT_GE(top, 0);
        Select(ID_DEBUG_FRAMES, selected);
        SendMessageW(frames, LB_SETTOPINDEX, top, 0);
        ASSERT_EQ(top, SendMessageW(frames, LB_GETTOPINDEX, 0, 0)) << "the list is too short to scroll";

        c.change(level);
        Show(level);
        EXPECT_EQ(c.selectedAfter.empty() ? c.selected : c.selectedAfter, SelectedLine(ID_DEBUG_FRAMES));
        EXPECT_EQ(c.top, Line(ID_DEBUG_FRAMES, (int)SendMessageW(frames, LB_GETTOPINDEX, 0, 0)));
        EXPECT_EQ(frames, GetFocus());
        ShowDebugger(owner, nullptr);
    }
}

// Locals asked for on the last line in view are scrolled into view when
// they come; locals of another frame move nothing.
TEST_F(DebuggerWindowTest, LocalsOfTheSelectedFrameComeIntoView)
{
    DebugLevel level = SampleLevel();
    for (long i = 3; i < 60; i++)
        level.frames.push_back(Frame(i, ("(FRAME-" + std::to_string(i) + ")").c_str()));
    Show(level);
    HWND frames = Control(ID_DEBUG_FRAMES);
    RECT client;
    GetClientRect(frames, &client);
    int page = client.bottom / (int)SendMessageW(frames, LB_GETITEMHEIGHT, 0, 0);
    ASSERT_GT(page, 3);
    Select(ID_DEBUG_FRAMES, 20);
    SendMessageW(frames, LB_SETTOPINDEX, 20 - page + 1, 0);

    level.frames[20].localsAsked = level.frames[20].localsKnown = true;
    level.frames[20].locals = {"X = 1", "Y = 2", "Z = 3"};
    Show(level);
    EXPECT_EQ(20, Selected(ID_DEBUG_FRAMES));
    EXPECT_EQ(20 + 3 - page + 1, SendMessageW(frames, LB_GETTOPINDEX, 0, 0));

    // Scrolled back by the user, the frame's locals out of view again.
    SendMessageW(frames, LB_SETTOPINDEX, 20 - page + 1, 0);
    level.frames[40].localsAsked = level.frames[40].localsKnown = true;
    level.frames[40].locals = {"A = 1"};
    Show(level);
    EXPECT_EQ(20 - page + 1, SendMessageW(frames, LB_GETTOPINDEX, 0, 0));
}

TEST_F(DebuggerWindowTest, ClosingAsksToAbortAndKeepsTheWindow)
{
    Show(SampleLevel());
    HWND window = DebuggerWindow();
    struct Case {
        UINT message;
        WPARAM wParam;
    } cases[] = {{WM_CLOSE, 0}, {WM_SYSCOMMAND, SC_CLOSE}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        Posted.clear();
        SendMessageW(window, c.message, c.wParam, 0);
        PumpMessages();
        EXPECT_EQ(std::vector<Action>{Abort}, Posted);
        EXPECT_TRUE(IsWindow(window));
        EXPECT_TRUE(IsWindowVisible(window));
        EXPECT_EQ(window, DebuggerWindow());
    }
}

// Hiding ends the level: the same thread and level shown again is a new
// debugger, as is another level or thread; each starts at restart 0 with the
// focus on the restarts.
TEST_F(DebuggerWindowTest, ANewLevelStartsOver)
{
    struct Case {
        const char *what;
        bool hide;
        const char *thread;
        long level;
    } cases[] = {
        {"hidden, then the same level again", true, "5", 1},
        {"a deeper level", false, "5", 2},
        {"another thread's level 1", false, "6", 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        DebugLevel level = SampleLevel();
        level.frames[1].localsAsked = level.frames[1].localsKnown = true;
        level.frames[1].locals = {"X = 5"};
        Show(level);
        HWND window = DebuggerWindow();
        Select(ID_DEBUG_RESTARTS, 3);
        Select(ID_DEBUG_FRAMES, 3);
        SetFocus(Control(ID_DEBUG_FRAMES));
        if (c.hide) {
            ShowDebugger(owner, nullptr);
            EXPECT_FALSE(IsWindowVisible(window));
            EXPECT_EQ(window, DebuggerWindow());
        }

        DebugLevel next = SampleLevel();
        next.thread = c.thread;
        next.level = c.level;
        next.message = "second";
        next.restarts.pop_back();
        Show(next);
        EXPECT_EQ(window, DebuggerWindow()) << "the window is made once";
        EXPECT_TRUE(IsWindowVisible(window));
        EXPECT_EQ(L"KESTRALUNE Debugger - worker - level " + std::to_wstring(c.level), Text(window));
        EXPECT_EQ(L"second\r\n[Condition of type TYPE-ERROR]", Text(Control(ID_DEBUG_CONDITION)));
        EXPECT_EQ(3u, Lines(ID_DEBUG_RESTARTS).size());
        EXPECT_EQ(4u, Lines(ID_DEBUG_FRAMES).size()) << "no locals from the level before";
        EXPECT_EQ(0, Selected(ID_DEBUG_RESTARTS));
        EXPECT_EQ(0, Selected(ID_DEBUG_FRAMES));
        EXPECT_EQ(Control(ID_DEBUG_RESTARTS), GetFocus());
        EXPECT_EQ(window, GetForegroundWindow());
        ShowDebugger(owner, nullptr);
    }
}

TEST_F(DebuggerWindowTest, TabMovesBetweenTheLists)
{
    Show(SampleLevel());
    HWND restarts = Control(ID_DEBUG_RESTARTS), frames = Control(ID_DEBUG_FRAMES);
    struct Case {
        HWND from, to;
    } cases[] = {{restarts, frames},
                 {frames, Control(ID_DEBUG_EVAL)},
                 {Control(ID_DEBUG_EVAL), restarts},
                 {Control(ID_DEBUG_CONDITION), restarts}};
    for (const Case &c : cases) {
        SetFocus(c.from);
        EXPECT_EQ(std::vector<Action>{}, Key(c.from, VK_TAB, L'\t'));
        EXPECT_EQ(c.to, GetFocus());
    }
}

// The window goes with its owner; the next level makes a new one, and
// without an owner to post to none is made.
TEST_F(DebuggerWindowTest, GoesWithItsOwner)
{
    DebugLevel level = SampleLevel();
    ShowDebugger(NULL, &level);
    EXPECT_EQ(NULL, DebuggerWindow());

    Show(level);
    HWND first = DebuggerWindow();
    DestroyWindow(owner);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(NULL, DebuggerWindow());

    owner = MakeOwner();
    Show(level);
    EXPECT_EQ(owner, GetWindow(DebuggerWindow(), GW_OWNER));
    EXPECT_EQ(L"0: [USE-VALUE] Use a new value.", Line(ID_DEBUG_RESTARTS, 0));
    EXPECT_EQ(std::vector<Action>{Restart(1)}, Key(Control(ID_DEBUG_RESTARTS), '1', L'1'));
}

// I (or Ctrl+I, whose character is a Tab) inspects the local of the line
// selected in the backtrace, by its frame's Swank index and its number in
// the frame; anywhere else, the condition.
TEST_F(DebuggerWindowTest, IInspectsTheSelectedLocalElseTheCondition)
{
    DebugLevel level = SampleLevel();
    level.frames[0].localsAsked = level.frames[0].localsKnown = true;
    level.frames[1].localsAsked = level.frames[1].localsKnown = true;
    level.frames[1].locals = {"X = 5", "Y = 6"};
    level.frames[2].localsAsked = true;
    const Action condition = OnFrame(DebugInspectCondition, 0);
    const Action y = OnFrame(DebugInspectLocal, DebugLocalArgument(1, 1));
    const Action x = OnFrame(DebugInspectLocal, DebugLocalArgument(1, 0));
    struct Case {
        const char *what;
        Target target;
        int line;
        wchar_t ch;
        bool control;
        std::vector<Action> expected;
    } cases[] = {
        {"the second local", FrameList, 4, L'i', false, {y}},
        {"the first local", FrameList, 3, L'I', false, {x}},
        {"Ctrl+I on a local", FrameList, 4, L'\t', true, {y}},
        {"a frame's line", FrameList, 2, L'i', false, {condition}},
        {"(no locals)", FrameList, 1, L'i', false, {condition}},
        {"locals asked for", FrameList, 6, L'i', false, {condition}},
        {"the restarts", RestartList, -1, L'i', false, {condition}},
        {"the condition", ConditionBox, -1, L'i', false, {condition}},
        {"Ctrl+I in the restarts", RestartList, -1, L'\t', true, {condition}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Show(level);
        if (c.line >= 0)
            Select(ID_DEBUG_FRAMES, c.line);
        HWND target = TargetWindow(c.target);
        SetFocus(target);
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_CONTROL] = c.control ? 0x80 : 0;
        SetKeyboardState(keys);
        std::vector<Action> posted = Key(target, 'I', c.ch);
        keys[VK_CONTROL] = 0;
        SetKeyboardState(keys);
        EXPECT_EQ(c.expected, posted);
        EXPECT_EQ(1, DebugLocalFrame(y.argument));
        EXPECT_EQ(1, DebugLocalIndex(y.argument));
        ShowDebugger(owner, nullptr);
    }
}

}  // namespace
