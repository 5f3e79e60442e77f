// The listener's input area as the user types into it, against a real Lisp
// (tests/listener/with_swank.sh starts SBCL and passes its port and secret):
// several lines and complete forms, indentation, completion, argument lists,
// descriptions, input the Lisp reads, and the history kept across runs in a
// folder of the test's own (APPDATA). Then against a Swank the test plays,
// whose answers come when the test says: an answer about an older text is
// dropped.
#include "tests/listener/listenertest.h"
#include "listener/win32/codepage.h"
#include "listener/core/history.h"
#include "listener/win32/resource.h"
#include "tests/support/wintest.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

// The input area of a listener and what the user does there.
struct InputArea {
    Program *listener;
    HWND Input() const { return GetDlgItem(listener->main, ID_INPUT); }
    HWND Status() const { return GetDlgItem(listener->main, ID_INPUT_STATUS); }
    std::string Text() const { return ControlText(Input()); }
    std::string StatusText() const { return ControlText(Status()); }
    // Typed character by character, as WM_CHAR (UTF-8 text, no line breaks).
    void Type(const std::string &text) const
    {
        for (wchar_t c : Utf8ToWide(text))
            PostMessageW(Input(), WM_CHAR, c, 1);
    }
    // A key press, through the listener's message loop.
    void Key(WPARAM key) const { PostMessageW(Input(), WM_KEYDOWN, key, 1); }
    void Clear() const
    {
        DWORD_PTR result;
        SendMessageTimeoutW(Input(), WM_SETTEXT, 0, (LPARAM)L"", SMTO_NORMAL, 5000, &result);
    }
    bool WaitForText(const std::string &text, DWORD ms = 5000, bool prefix = false) const
    {
        DWORD start = GetTickCount();
        do {
            std::string now = Text();
            if (prefix ? now.compare(0, text.size(), text) == 0 : now == text)
                return true;
            PumpFor(5);
        } while (GetTickCount() - start < ms);
        return false;
    }
    bool WaitForStatus(const std::string &text, DWORD ms = 5000) const
    {
        DWORD start = GetTickCount();
        do {
            if (StatusText() == text)
                return true;
            PumpFor(5);
        } while (GetTickCount() - start < ms);
        return false;
    }
    int Height() const
    {
        RECT r;
        GetWindowRect(Input(), &r);
        return r.bottom - r.top;
    }
    // The line the caret is on.
    long CaretLine() const
    {
        DWORD_PTR line = 0;
        SendMessageTimeoutW(Input(), EM_LINEFROMCHAR, (WPARAM)-1, 0, SMTO_NORMAL, 5000, &line);
        return (long)line;
    }
};

// Puts the text on the clipboard and pastes it into the input.
bool Paste(const InputArea &area, const std::string &text)
{
    std::wstring wide = Utf8ToWide(text);
    if (!OpenClipboard(NULL))
        return false;
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (wide.size() + 1) * sizeof(wchar_t));
    memcpy(GlobalLock(memory), wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
    GlobalUnlock(memory);
    bool set = SetClipboardData(CF_UNICODETEXT, memory) != NULL;
    CloseClipboard();
    return set && PostMessageW(area.Input(), WM_PASTE, 0, 0);
}

// How many of the text's lines hold the piece.
size_t LinesWith(const std::string &text, const std::string &piece)
{
    size_t count = 0;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        if (text.substr(at, end - at).find(piece) != std::string::npos)
            count++;
        at = end;
    }
    return count;
}

Program Listener;
InputArea Area = {&Listener};
// The listener's APPDATA: its history file is the test's own.
std::string AppData;

class InputLisp : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        AppData = OwnFolder("kestralune-input-test");
        RemoveFolder(AppData);
        CreateDirectoryA(AppData.c_str(), NULL);
        // The listener inherits the test's environment.
        SetEnvironmentVariableA("APPDATA", AppData.c_str());
        Start();
    }
    static void TearDownTestSuite()
    {
        if (Listener.main) {
            EXPECT_EQ(0u, StopListener(Listener));
        }
        RemoveFolder(AppData);
    }
    static void Start()
    {
        const char *port = getenv("KESTRALUNE_TEST_PORT");
        ASSERT_NE(nullptr, port) << "no Lisp: run through tests/listener/with_swank.sh";
        Listener = StartListener(std::string("-port ") + port + SecretOption());
        ASSERT_NE(nullptr, Listener.main);
        ASSERT_TRUE(WaitForCaption(Listener, "KESTRALUNE - connected to ", 60000)) << Caption(Listener);
        ASSERT_TRUE(WaitForTranscript(Listener, "; Connected to ")) << Transcript(Listener);
    }
    static void Restart()
    {
        EXPECT_EQ(0u, StopListener(Listener));
        Start();
    }
    // Each test starts from a listener with nothing left of the tests
    // before (see ResetListener).
    void SetUp() override
    {
        ASSERT_NE(nullptr, Listener.main);
        if (!ListenerIdle(Listener)) {
            ASSERT_TRUE(ResetListener(Listener)) << Caption(Listener);
        }
        Area.Clear();
        ASSERT_TRUE(Area.WaitForText(""));
    }
    void TearDown() override
    {
        if (HasFailure() && Listener.main) {
            EXPECT_TRUE(ResetListener(Listener)) << Caption(Listener);
        }
    }
    // What the transcript shows from the offset up to the expected text.
    static std::string Shown(size_t from, const std::string &expected, DWORD ms = 20000)
    {
        if (!WaitForTranscript(Listener, expected, ms, from))
            return "(not shown) " + Transcript(Listener).substr(std::min(from, Transcript(Listener).size()));
        std::string shown = Transcript(Listener).substr(from);
        return shown.substr(0, shown.find(expected) + expected.size());
    }
    // Types the text and presses Enter; what the transcript shows up to expected.
    static std::string Enter(const std::string &text, const std::string &expected)
    {
        size_t from = Transcript(Listener).size();
        Area.Type(text);
        Area.Key(VK_RETURN);
        return Shown(from, expected);
    }
};

// Enter on the first note whose line begins with PREFIX.
::testing::AssertionResult EnterOnNote(HWND list, const std::string &prefix)
{
    std::vector<std::string> lines = ListLines(list);
    for (size_t i = 0; i < lines.size(); i++) {
        if (lines[i].compare(0, prefix.size(), prefix) == 0) {
            SendMessageW(list, LB_SETCURSEL, i, 0);
            PostMessageW(list, WM_KEYDOWN, VK_RETURN, 1);
            return ::testing::AssertionSuccess();
        }
    }
    return ::testing::AssertionFailure() << "no note begins with \"" << prefix << "\" in "
                                         << (lines.empty() ? "(no lines)" : lines[0]);
}

// A pasted defun keeps its lines, the input grows with them, and Enter
// evaluates it whole; the input is one line again after.
TEST_F(InputLisp, APastedDefunEvaluatesWhole)
{
    int oneLine = Area.Height();
    const std::string defun = "(defun add3 (x)\r\n  (+ x\r\n     3))";
    ASSERT_TRUE(Paste(Area, defun));
    ASSERT_TRUE(Area.WaitForText(defun)) << Area.Text();
    DWORD start = GetTickCount();
    while (Area.Height() <= oneLine && GetTickCount() - start < 5000)
        PumpFor(10);
    EXPECT_GT(Area.Height(), oneLine + 2 * (oneLine / 3)) << "three lines show";
    size_t from = Transcript(Listener).size();
    Area.Key(VK_RETURN);
    EXPECT_EQ("CL-USER> " + defun + "\r\n=> ADD3\r\n", Shown(from, "=> ADD3\r\n"));
    EXPECT_TRUE(Area.WaitForText(""));
    EXPECT_EQ("CL-USER> (add3 4)\r\n=> 7\r\n", Enter("(add3 4)", "=> 7\r\n"));
    start = GetTickCount();
    while (Area.Height() != oneLine && GetTickCount() - start < 5000)
        PumpFor(10);
    EXPECT_EQ(oneLine, Area.Height());
}

// Enter inside an open form begins a new line indented as the editor's Tab
// would; Enter after the closing parenthesis sends the whole.
TEST_F(InputLisp, EnterInsideAFormIndentsAndAfterItSends)
{
    Area.Type("(defun twice (x)");
    Area.Key(VK_RETURN);
    EXPECT_TRUE(Area.WaitForText("(defun twice (x)\r\n  ")) << Area.Text();
    Area.Type("(* x");
    Area.Key(VK_RETURN);
    EXPECT_TRUE(Area.WaitForText("(defun twice (x)\r\n  (* x\r\n     ")) << Area.Text();
    size_t from = Transcript(Listener).size();
    EXPECT_EQ("CL-USER> (defun twice (x)\r\n  (* x\r\n     2))\r\n=> TWICE\r\n", Enter("2))", "=> TWICE\r\n"));
    EXPECT_EQ("CL-USER> (twice 21)\r\n=> 42\r\n", Enter("(twice 21)", "=> 42\r\n"));

    // Only blanks: nothing is sent, and no line is begun.
    from = Transcript(Listener).size();
    Area.Type("   ");
    Area.Key(VK_RETURN);
    Area.Type("x");
    EXPECT_TRUE(Area.WaitForText("   x")) << Area.Text();
    EXPECT_EQ(Transcript(Listener).size(), from);
}

// Character literals, strings and comments do not fool the rule that says
// whether the text is complete.
TEST_F(InputLisp, CharactersAndCommentsDoNotFoolTheCompletenessRule)
{
    struct {
        const char *typed;
        bool sends;
        const char *then;  // typed next when it does not send
        const char *shown;
    } cases[] = {
        {"(list #\\( #\\;)", true, "", "=> (#\\( #\\;)\r\n"},
        {"(list #\\( ; )", false, ")", "=> (#\\()\r\n"},
        {"(list \"a ; b)\" #\\\")", true, "", "=> (\"a ; b)\" #\\\")\r\n"},
        {"#| ((\" |# 5", true, "", "=> 5\r\n"},
        {"(+ 1 #| ) |# 2", false, "3)", "=> 6\r\n"},
        {"; only a comment", false, "7", "=> 7\r\n"},
    };
    for (const auto &c : cases) {
        Area.Clear();
        ASSERT_TRUE(Area.WaitForText(""));
        size_t from = Transcript(Listener).size();
        Area.Type(c.typed);
        Area.Key(VK_RETURN);
        if (c.sends) {
            EXPECT_NE("(not shown)", Shown(from, c.shown).substr(0, 11)) << c.typed;
            EXPECT_TRUE(Area.WaitForText("")) << c.typed;
            continue;
        }
        std::string kept = std::string(c.typed) + "\r\n";
        EXPECT_TRUE(Area.WaitForText(kept, 5000, true)) << c.typed << ": " << Area.Text();
        EXPECT_EQ(from, Transcript(Listener).size()) << c.typed << ": nothing was sent";
        Area.Type(c.then);
        Area.Key(VK_RETURN);
        EXPECT_NE("(not shown)", Shown(from, c.shown).substr(0, 11)) << c.typed;
        EXPECT_TRUE(Area.WaitForText("")) << c.typed;
    }
}

// Tab after part of a symbol completes it through the Lisp: one match is
// put in, several put in their common part and are listed; package
// prefixes complete too. In the leading blanks Tab re-indents the line.
TEST_F(InputLisp, TabCompletesSymbols)
{
    struct {
        const char *typed, *completed;
    } cases[] = {
        {"(maphas", "(maphash"},
        {"(cl:maphas", "(cl:maphash"},
        {"(CL:MAPHAS", "(CL:maphash"},
        {"(cl-user::quill-a", "(cl-user::quill-add3"},
        {"(swank-repl:listener-ev", "(swank-repl:listener-eval"},
        {"(multiple-value-bi", "(multiple-value-bind"},
        {"(funcall #'maphas", "(funcall #'maphash"},
    };
    Enter("(defun quill-add3 (x) (+ x 3))", "=> QUILL-ADD3\r\n");
    for (const auto &c : cases) {
        Area.Clear();
        ASSERT_TRUE(Area.WaitForText(""));
        Area.Type(c.typed);
        Area.Key(VK_TAB);
        EXPECT_TRUE(Area.WaitForText(c.completed)) << c.typed << ": " << Area.Text();
    }

    // "mapca" begins MAPCAN and MAPCAR: both are listed, the text stays.
    Area.Clear();
    ASSERT_TRUE(Area.WaitForText(""));
    size_t from = Transcript(Listener).size();
    Area.Type("(mapca");
    Area.Key(VK_TAB);
    EXPECT_EQ("; 2 completions:\r\nmapcan  mapcar\r\n", Shown(from, "mapcar\r\n"));
    EXPECT_EQ("(mapca", Area.Text());

    Area.Clear();
    ASSERT_TRUE(Area.WaitForText(""));
    from = Transcript(Listener).size();
    Area.Type("(with-");
    Area.Key(VK_TAB);
    std::string shown = Shown(from, "with-open-file");
    EXPECT_NE(std::string::npos, shown.find(" completions")) << shown;
    EXPECT_TRUE(WaitForTranscript(Listener, "with-output-to-string", 5000, from)) << Transcript(Listener).substr(from);
    EXPECT_EQ("(with-", Area.Text());
    // The common part of several is put in.
    Area.Type("open");
    Area.Key(VK_TAB);
    EXPECT_TRUE(Area.WaitForText("(with-open-")) << Area.Text();

    // Past ShownMatches, the first ones and how many there are.
    from = Transcript(Listener).size();
    Area.Clear();
    ASSERT_TRUE(Area.WaitForText(""));
    Area.Type("(s");
    Area.Key(VK_TAB);
    shown = Shown(from, " more.\r\n");
    EXPECT_NE(std::string::npos, shown.find(" completions, the first 40:\r\n")) << shown;

    // Tab in the leading blanks of a line re-indents it.
    Area.Clear();
    ASSERT_TRUE(Area.WaitForText(""));
    Area.Type("(let ((x 1))");
    Area.Key(VK_RETURN);
    ASSERT_TRUE(Area.WaitForText("(let ((x 1))\r\n  "));
    Area.Type("      x");
    Area.Key(VK_HOME);
    Area.Key(VK_TAB);
    EXPECT_TRUE(Area.WaitForText("(let ((x 1))\r\n  x")) << Area.Text();
}

// The status line shows the argument list of the operator once typing
// pauses, the argument at the caret marked, and follows the caret.
TEST_F(InputLisp, TheArgumentListFollowsTheCaret)
{
    Area.Type("(mapcar ");
    EXPECT_TRUE(Area.WaitForStatus("(mapcar ===> FUNCTION <=== LIST &REST MORE-LISTS)")) << Area.StatusText();
    Area.Type("#'1+ ");
    EXPECT_TRUE(Area.WaitForStatus("(mapcar FUNCTION ===> LIST <=== &REST MORE-LISTS)")) << Area.StatusText();
    Area.Type("'(1 2) '(3) ");
    EXPECT_TRUE(Area.WaitForStatus("(mapcar FUNCTION LIST &REST ===> MORE-LISTS <===)")) << Area.StatusText();
    // The caret moved back into the first argument.
    for (int i = 0; i < 15; i++)
        Area.Key(VK_LEFT);
    EXPECT_TRUE(Area.WaitForStatus("(mapcar ===> FUNCTION <=== LIST &REST MORE-LISTS)")) << Area.StatusText();
    // A form inside: its operator's list, by keyword too.
    Area.Key(VK_END);
    Area.Type("(find 1 x :test ");
    // SBCL: (find ITEM SEQUENCE &REST ARGS &KEY ... TEST TEST-NOT), ECL:
    // (find ITEM SEQUENCE &KEY ... (TEST '#'EQL) TEST-NOT ...), on one line.
    auto marked = [](const std::string &status) {
        size_t from = status.find("===> "), to = status.find(" <===");
        return from == std::string::npos || to == std::string::npos ? std::string() : status.substr(from + 5, to - from - 5);
    };
    DWORD start = GetTickCount();
    while (marked(Area.StatusText()).compare(0, 4, "TEST") != 0 &&
           marked(Area.StatusText()).compare(0, 6, "(TEST ") != 0 && GetTickCount() - start < 5000)
        PumpFor(10);
    std::string status = Area.StatusText();
    EXPECT_EQ(0u, status.find("(find ITEM SEQUENCE ")) << status;
    EXPECT_TRUE(marked(status) == "TEST" || marked(status).compare(0, 6, "(TEST ") == 0) << status;
    EXPECT_EQ(std::string::npos, status.find_first_of("\r\n")) << status;
    // Outside any form, nothing.
    Area.Clear();
    Area.Type("42 ");
    EXPECT_TRUE(Area.WaitForStatus("")) << Area.StatusText();
}

// F1 shows the Lisp's description of the symbol at the caret; an unknown
// symbol says so, and opens no debugger.
TEST_F(InputLisp, F1DescribesTheSymbolAtTheCaret)
{
    size_t from = Transcript(Listener).size();
    Area.Type("(mapcar");
    Area.Key(VK_LEFT);
    Area.Key(VK_F1);
    // Each Lisp words it its own way; both name the arguments.
    EXPECT_NE("(not shown)", Shown(from, "(FUNCTION LIST &REST MORE-LISTS)").substr(0, 11));
    EXPECT_NE(std::string::npos, Transcript(Listener).find("MAPCAR", from));
    Area.Clear();
    Area.Type("no-such-symbol-here");
    from = Transcript(Listener).size();
    Area.Key(VK_F1);
    EXPECT_NE("(not shown)", Shown(from, "; No description of no-such-symbol-here: Unknown symbol").substr(0, 11));
    PumpFor(300);
    EXPECT_EQ(nullptr, DebuggerWindowOf(Listener, 0));
    EXPECT_TRUE(WaitForCaption(Listener, "KESTRALUNE - connected to ", 1000)) << Caption(Listener);
    EXPECT_EQ(std::string::npos, Caption(Listener).find("debugger")) << Caption(Listener);
}

// The Lisp menu's Macroexpand-1 shows the expansion of the form at the
// caret as the Lisp prints it, and leaves the input as it was; Macroexpand
// All expands the forms inside too. Each Lisp expands WHEN its own way.
TEST_F(InputLisp, MacroexpandShowsTheExpansionOfTheFormAtTheCaret)
{
    Area.Type("42 (when a b)");
    ASSERT_TRUE(Area.WaitForText("42 (when a b)"));
    size_t from = Transcript(Listener).size();
    ListenerCommand(Listener, IDM_MACROEXPAND1);
    std::string shown = Shown(from, "(IF A");
    ASSERT_NE("(not shown)", shown.substr(0, 11)) << shown;
    ASSERT_TRUE(WaitForTranscript(Listener, "B", 5000, from + shown.size())) << Transcript(Listener).substr(from);
    EXPECT_EQ(std::string::npos, Transcript(Listener).find("42", from)) << Transcript(Listener).substr(from);
    EXPECT_EQ("42 (when a b)", Area.Text());
    // All of it: the WHEN inside the LET is expanded too, where the Lisp's
    // Swank can (ECL's gives the form back as it is).
    Area.Clear();
    Area.Type("(let ((x 1)) (when x 2))");
    ASSERT_TRUE(Area.WaitForText("(let ((x 1)) (when x 2))"));
    from = Transcript(Listener).size();
    ListenerCommand(Listener, IDM_MACROEXPANDALL);
    shown = Shown(from, OnEcl() ? "(LET ((X 1))" : "(IF X");
    EXPECT_NE("(not shown)", shown.substr(0, 11)) << shown;
    // A form the reader cannot take is said in one line, and opens no debugger.
    Area.Clear();
    Area.Type("(when a b");
    ASSERT_TRUE(Area.WaitForText("(when a b"));
    from = Transcript(Listener).size();
    ListenerCommand(Listener, IDM_MACROEXPAND1);
    shown = Shown(from, "; Macroexpansion of (when a b: ");
    EXPECT_NE("(not shown)", shown.substr(0, 11)) << shown;
    PumpFor(300);
    EXPECT_EQ(nullptr, DebuggerWindowOf(Listener, 0));
}

// Toggle Trace traces the function at the caret: later calls show their
// trace; toggled again, or after Untrace All, they do not. Without a symbol
// at the caret it says so.
TEST_F(InputLisp, ToggleTraceTracesTheFunctionAtTheCaret)
{
    Enter("(defun ide-traced (x) (* x 2))", "=> IDE-TRACED");
    Area.Clear();
    Area.Type("ide-traced");
    ASSERT_TRUE(Area.WaitForText("ide-traced"));
    size_t from = Transcript(Listener).size();
    ListenerCommand(Listener, IDM_TOGGLETRACE);
    std::string shown = Shown(from, "IDE-TRACED is now traced.");
    ASSERT_NE("(not shown)", shown.substr(0, 11)) << shown;
    Area.Clear();
    shown = Enter("(ide-traced 21)", "=> 42");
    EXPECT_NE(std::string::npos, shown.find("(IDE-TRACED 21)")) << shown;
    Area.Clear();
    size_t before = Transcript(Listener).size();
    ListenerCommand(Listener, IDM_UNTRACEALL);
    shown = Shown(before, "; Nothing is traced now.");
    EXPECT_NE("(not shown)", shown.substr(0, 11)) << shown;
    shown = Enter("(ide-traced 4)", "=> 8");
    EXPECT_EQ(std::string::npos, shown.find("(IDE-TRACED 4)")) << shown;
    Area.Clear();
    Area.Type("  ");
    ASSERT_TRUE(Area.WaitForText("  "));
    from = Transcript(Listener).size();
    ListenerCommand(Listener, IDM_TOGGLETRACE);
    shown = Shown(from, "; No symbol at the caret.");
    EXPECT_NE("(not shown)", shown.substr(0, 11)) << shown;
}

struct EditorSearch {
    std::string file;  // lower case
    HWND found;
};

BOOL CALLBACK TakeEditorTitled(HWND window, LPARAM lParam)
{
    EditorSearch *s = (EditorSearch *)lParam;
    char name[64], title[MAX_PATH];
    GetClassNameA(window, name, sizeof name);
    GetWindowTextA(window, title, sizeof title);
    CharLowerA(title);
    if (strcmp(name, "QuillonWClass") == 0 && strstr(title, s->file.c_str()))
        s->found = window;
    return !s->found;
}

// A top-level editor window of class QuillonWClass whose title names the
// file, waited for up to ms; null when none comes.
HWND EditorTitled(const std::string &file, DWORD ms)
{
    EditorSearch search = {file, NULL};
    DWORD start = GetTickCount();
    do {
        EnumWindows(TakeEditorTitled, (LPARAM)&search);
        if (search.found)
            return search.found;
        PumpFor(20);
    } while (GetTickCount() - start < ms);
    return NULL;
}

struct PlacesSearch {
    std::wstring caption;
    HWND found;
};

BOOL CALLBACK TakePlacesTitled(HWND window, LPARAM lParam)
{
    PlacesSearch *s = (PlacesSearch *)lParam;
    wchar_t name[64], title[MAX_PATH];
    GetClassNameW(window, name, 64);
    GetWindowTextW(window, title, MAX_PATH);
    if (wcscmp(name, L"KestralunePlaces") == 0 && IsWindowVisible(window) &&
        std::wstring(title).compare(0, s->caption.size(), s->caption) == 0)
        s->found = window;
    return !s->found;
}

// The listener's places window whose caption begins with the text, waited
// for up to ms; null when none comes.
HWND PlacesWindowTitled(const std::wstring &caption, DWORD ms = 10000)
{
    PlacesSearch search = {caption, NULL};
    DWORD start = GetTickCount();
    do {
        EnumWindows(TakePlacesTitled, (LPARAM)&search);
        if (search.found)
            return search.found;
        PumpFor(20);
    } while (GetTickCount() - start < ms);
    return NULL;
}

// The selection of an editor of another process: EM_GETSEL's packed answer.
std::pair<long, long> EditorSelection(HWND editor)
{
    DWORD_PTR packed = 0;
    if (!SendMessageTimeoutW(GetDlgItem(editor, 300), EM_GETSEL, 0, 0, SMTO_NORMAL, 5000, &packed))
        return {-1, -1};
    return {(long)LOWORD(packed), (long)HIWORD(packed)};
}

// An editor of another process, closed however the test ends: unmodified,
// it ends on WM_CLOSE without asking.
struct ClosedEditor {
    HWND editor;
    HANDLE process;
    explicit ClosedEditor(HWND window) : editor(window), process(NULL)
    {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
    }
    ~ClosedEditor()
    {
        PostMessageW(editor, WM_CLOSE, 0, 0);
        if (process && WaitForSingleObject(process, 10000) != WAIT_OBJECT_0) {
            ADD_FAILURE() << "the editor did not end";
            TerminateProcess(process, 1);
        }
        if (process)
            CloseHandle(process);
    }
};

// Find Definition on a function loaded from a file opens a new editor on
// that file (quillon.exe beside the listener) with the defun selected. Who
// Calls lists its caller, and Enter there selects the call in that editor (where the Lisp keeps the record: ECL says in one line that
// it does not). A symbol with no definition is said in one line.
TEST_F(InputLisp, FindDefinitionAndWhoCallsSelectTheDefunInTheEditor)
{
    const std::string unixFolder = "/tmp/kestralune-ide-" + std::to_string(GetCurrentProcessId());
    const std::string folder = "Z:\\tmp\\kestralune-ide-" + std::to_string(GetCurrentProcessId());
    const std::string file = folder + "\\idedef.lsp";
    const std::string text =
        ";; A definition to find.\r\n\r\n(defun ide-defined (x)\r\n  (+ x 1))\r\n\r\n(defun ide-caller ()\r\n  (ide-defined 2))\r\n";
    CreateDirectoryA(folder.c_str(), NULL);
    FILE *f = fopen(file.c_str(), "wb");
    ASSERT_NE(nullptr, f) << file;
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
    std::string shown = Enter("(load \"" + unixFolder + "/idedef.lsp\")", "\n=> ");
    ASSERT_NE("(not shown)", shown.substr(0, 11)) << shown;
    Area.Clear();
    Area.Type("(ide-defined 2)");
    ASSERT_TRUE(Area.WaitForText("(ide-defined 2)"));
    for (int i = 0; i < 4; i++)
        Area.Key(VK_LEFT);
    ListenerCommand(Listener, IDM_FINDDEFINITION);
    HWND editor = EditorTitled("idedef.lsp", 30000);
    ASSERT_NE(nullptr, editor) << Transcript(Listener);
    DWORD pid = 0;
    GetWindowThreadProcessId(editor, &pid);
    EXPECT_NE(GetCurrentProcessId(), pid);
    ClosedEditor close(editor);
    const long start = (long)text.find("(defun"), end = (long)text.find("\r\n", text.find("(+ x 1))"));
    std::pair<long, long> selection;
    DWORD begun = GetTickCount();
    while ((selection = EditorSelection(editor)) != std::make_pair(start, end) && GetTickCount() - begun < 10000)
        PumpFor(20);
    EXPECT_EQ(std::make_pair(start, end), selection) << Transcript(Listener);

    size_t from = Transcript(Listener).size();
    ListenerCommand(Listener, IDM_WHOCALLS);
    if (OnEcl()) {
        shown = Shown(from, "; Who Calls is not implemented by ECL");
        EXPECT_NE("(not shown)", shown.substr(0, 11)) << shown;
    } else {
        HWND callers = PlacesWindowTitled(L"KESTRALUNE References - callers of ide-defined");
        ASSERT_NE(nullptr, callers) << Transcript(Listener).substr(from);
        HWND list = FindWindowExW(callers, NULL, L"ListBox", NULL);
        std::vector<std::string> lines = ListLines(list);
        ASSERT_EQ(1u, lines.size()) << Transcript(Listener).substr(from);
        EXPECT_EQ("IDE-CALLER  idedef.lsp", lines[0]);
        PostMessageW(list, WM_KEYDOWN, VK_RETURN, 1);
        const long callerStart = (long)text.find("(ide-defined 2)"), callerEnd = callerStart + 15;
        begun = GetTickCount();
        while ((selection = EditorSelection(editor)) != std::make_pair(callerStart, callerEnd) &&
               GetTickCount() - begun < 10000)
            PumpFor(20);
        EXPECT_EQ(std::make_pair(callerStart, callerEnd), selection) << Transcript(Listener).substr(from);
        PostMessageW(callers, WM_CLOSE, 0, 0);
    }
    DeleteFileA(file.c_str());
    RemoveDirectoryA(folder.c_str());

    Area.Clear();
    Area.Type("no-such-function-here");
    ASSERT_TRUE(Area.WaitForText("no-such-function-here"));
    from = Transcript(Listener).size();
    ListenerCommand(Listener, IDM_FINDDEFINITION);
    shown = Shown(from, "; No definition of no-such-function-here is known");
    EXPECT_NE("(not shown)", shown.substr(0, 11)) << shown;
    PumpFor(300);
    EXPECT_EQ(nullptr, DebuggerWindowOf(Listener, 0));
}

// S in the debugger on the frame of a function loaded from a file opens
// an editor on the file with the frame's form selected, inside the defun,
// as Find Definition does; where the Lisp knows no place in the source,
// one line says so.
TEST_F(InputLisp, FrameSourceShowsTheFrameInTheEditor)
{
    const std::string unixFolder = "/tmp/kestralune-frame-" + std::to_string(GetCurrentProcessId());
    const std::string folder = "Z:\\tmp\\kestralune-frame-" + std::to_string(GetCurrentProcessId());
    const std::string file = folder + "\\framesrc.lsp";
    const std::string text = ";; A frame to find.\r\n\r\n(defun ide-frame-fails (x)\r\n  (error \"fails with ~a\" x))\r\n";
    CreateDirectoryA(folder.c_str(), NULL);
    ASSERT_TRUE(WriteText(file, text)) << file;
    std::string shown = Enter("(load \"" + unixFolder + "/framesrc.lsp\")", "\n=> ");
    ASSERT_NE("(not shown)", shown.substr(0, 11)) << shown;
    Area.Clear();
    size_t from = Transcript(Listener).size();
    Enter("(ide-frame-fails 3)", "; Debugger, level 1: fails with 3");
    HWND debugger = DebuggerWindowOf(Listener);
    ASSERT_NE(nullptr, debugger) << Transcript(Listener).substr(from);
    HWND frames = GetDlgItem(debugger, ID_DEBUG_FRAMES);
    std::vector<std::string> lines = ListLines(frames);
    size_t at = 0;
    while (at < lines.size() && lines[at].find("IDE-FRAME-FAILS") == std::string::npos)
        at++;
    ASSERT_LT(at, lines.size()) << (lines.empty() ? "(no frames)" : lines[0]);
    DWORD_PTR result;
    SendMessageTimeoutW(frames, LB_SETCURSEL, at, 0, SMTO_NORMAL, 5000, &result);
    from = Transcript(Listener).size();
    PostMessageW(frames, WM_CHAR, L's', 1);
    HWND editor = EditorTitled("framesrc.lsp", OnEcl() ? 5000 : 30000);
    if (!editor && OnEcl()) {
        shown = Shown(from, "; The source of frame ");
        EXPECT_NE("(not shown)", shown.substr(0, 11)) << shown;
    } else {
        ASSERT_NE(nullptr, editor) << Transcript(Listener).substr(from);
        ClosedEditor close(editor);
        const long start = (long)text.find("(defun"), end = (long)text.size();
        std::pair<long, long> selection;
        DWORD begun = GetTickCount();
        while (((selection = EditorSelection(editor)).first < start || selection.second <= selection.first) &&
               GetTickCount() - begun < 10000)
            PumpFor(20);
        EXPECT_LE(start, selection.first) << Transcript(Listener).substr(from);
        EXPECT_LT(selection.first, selection.second);
        EXPECT_LE(selection.second, end);
    }
    PostMessageW(GetDlgItem(debugger, ID_DEBUG_RESTARTS), WM_KEYDOWN, VK_ESCAPE, 1);
    EXPECT_TRUE(WaitForNoDebugger(Listener));
    DeleteFileA(file.c_str());
    RemoveDirectoryA(folder.c_str());
}

// Compile Editor Text compiles the editor's whole text: the summary shows,
// the notes are listed one a line, and Enter on the warning selects its
// source in the editor. An unbalanced text is a read error, and the Lisp
// goes on.
TEST_F(InputLisp, CompileEditorTextListsItsNotesAndEnterSelectsTheirSource)
{
    const std::string folder = "Z:\\tmp\\kestralune-notes-" + std::to_string(GetCurrentProcessId());
    const std::string file = folder + "\\idenote.lsp";
    const std::string text = "(defun ide-noted-ok () 1)\r\n\r\n(defun ide-noted ()\r\n  (+ 1 undefined-ide-var))\r\n";
    CreateDirectoryA(folder.c_str(), NULL);
    FILE *f = fopen(file.c_str(), "wb");
    ASSERT_NE(nullptr, f) << file;
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
    Program editor = StartQuillon(file);
    // Stopped however the test ends: its text is changed at the end, and
    // the editor would ask to save it.
    struct Stop {
        Program &editor;
        ~Stop()
        {
            TerminateProcess(editor.info.hProcess, 0);
            WaitForExit(editor);
        }
    } stop = {editor};
    ASSERT_NE(nullptr, editor.main);
    size_t from = Transcript(Listener).size();
    ListenerCommand(Listener, IDM_COMPILEEDITOR);
    std::string shown = Shown(from, "; loaded");
    EXPECT_NE(std::string::npos, shown.find("; Compiled ")) << shown;
    EXPECT_NE(std::string::npos, shown.find("warning")) << shown;
    HWND notes = PlacesWindowTitled(L"KESTRALUNE Notes - ");
    ASSERT_NE(nullptr, notes) << Transcript(Listener).substr(from);
    HWND list = FindWindowExW(notes, NULL, L"ListBox", NULL);
    // SBCL places the warning at the form with the variable; ECL gives a
    // style warning on the whole defun, its message's first line a heading.
    const std::string line = OnEcl() ? "style warning 3:1 " : "warning 4:3 undefined variable: ";
    const long formStart = (long)text.find(OnEcl() ? "(defun ide-noted ()" : "(+ 1 undefined-ide-var)");
    const long formEnd = OnEcl() ? (long)text.size() - 2 : formStart + 23;
    ASSERT_TRUE(EnterOnNote(list, line));
    std::pair<long, long> selection;
    DWORD begun = GetTickCount();
    while ((selection = EditorSelection(editor.main)) != std::make_pair(formStart, formEnd) &&
           GetTickCount() - begun < 10000)
        PumpFor(20);
    EXPECT_EQ(std::make_pair(formStart, formEnd), selection) << Transcript(Listener).substr(from);
    PostMessageW(notes, WM_CLOSE, 0, 0);

    DWORD_PTR result;
    SendMessageTimeoutW(GetDlgItem(editor.main, 300), WM_SETTEXT, 0, (LPARAM)L"(defun ide-broken (", SMTO_NORMAL, 5000,
                        &result);
    from = Transcript(Listener).size();
    ListenerCommand(Listener, IDM_COMPILEEDITOR);
    shown = Shown(from, "; Compiled ");
    EXPECT_NE("(not shown)", shown.substr(0, 11)) << shown;
    EXPECT_TRUE(WaitForTranscript(Listener, "failed: not loaded", 10000, from)) << Transcript(Listener).substr(from);
    PumpFor(300);
    EXPECT_EQ(nullptr, DebuggerWindowOf(Listener, 0));
    Enter("(+ 1 2)", "=> 3");
    DeleteFileA(file.c_str());
    RemoveDirectoryA(folder.c_str());
}

struct DialogSearch {
    DWORD process;
    HWND found;
};

BOOL CALLBACK TakeDialogOf(HWND window, LPARAM lParam)
{
    DialogSearch *s = (DialogSearch *)lParam;
    wchar_t name[64];
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    GetClassNameW(window, name, 64);
    if (process == s->process && wcscmp(name, L"#32770") == 0 && IsWindowVisible(window))
        s->found = window;
    return !s->found;
}

// Chooses the file in the Open dialog the listener shows: its name typed
// into the dialog's file name box, then OK.
bool ChooseInDialog(const Program &listener, const std::string &file)
{
    DialogSearch search = {listener.info.dwProcessId, NULL};
    DWORD start = GetTickCount();
    while (!search.found && GetTickCount() - start < 10000) {
        EnumWindows(TakeDialogOf, (LPARAM)&search);
        PumpFor(20);
    }
    if (!search.found)
        return false;
    PumpFor(200);
    // The file name box: a combo box in the Explorer-style dialog, an edit
    // control in the older one.
    HWND name = GetDlgItem(search.found, 0x47c);
    if (!name)
        name = GetDlgItem(search.found, 0x480);
    DWORD_PTR result;
    std::wstring wide = Utf8ToWide(file);
    if (!name || !SendMessageTimeoutW(name, WM_SETTEXT, 0, (LPARAM)wide.c_str(), SMTO_NORMAL, 5000, &result))
        return false;
    return PostMessageW(search.found, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)GetDlgItem(search.found, IDOK));
}

// Writes the bytes to the file; false when it cannot.
bool WriteBytes(const std::string &file, const std::string &bytes)
{
    FILE *f = fopen(file.c_str(), "wb");
    if (!f)
        return false;
    bool written = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && written;
}


// The editor's selection, waited for until it is the expected one.
std::pair<long, long> SelectionComes(HWND editor, std::pair<long, long> expected)
{
    std::pair<long, long> selection;
    DWORD begun = GetTickCount();
    while ((selection = EditorSelection(editor)) != expected && GetTickCount() - begun < 10000)
        PumpFor(20);
    return selection;
}

// Compile and Load File: the file chosen in the dialog is compiled, the
// summary shows, and Enter on the warning's note opens the file in a new
// editor with its source selected, though the file has CR LF line breaks
// and a character of two bytes before it. Again (F7) compiles it as it is
// now: cleanly, and loaded; unbalanced, a read error, not loaded; gone,
// said in one line. None of them opens the debugger.
TEST_F(InputLisp, CompileAndLoadFileListsItsNotesAndEnterSelectsTheirSource)
{
    const std::string unixFolder = "/tmp/kestralune-file-" + std::to_string(GetCurrentProcessId());
    const std::string folder = "Z:\\tmp\\kestralune-file-" + std::to_string(GetCurrentProcessId());
    const std::string file = folder + "\\idefile.lsp";
    const std::string text = ";; \xce\xbb: a file to compile.\r\n(defun ide-file-ok () 1)\r\n\r\n"
                             "(defun ide-file-noted ()\r\n  (+ 1 undefined-ide-file-var))\r\n";
    CreateDirectoryA(folder.c_str(), NULL);
    ASSERT_TRUE(WriteBytes(file, text)) << file;
    size_t from = Transcript(Listener).size();
    ListenerCommand(Listener, IDM_COMPILEFILE);
    ASSERT_TRUE(ChooseInDialog(Listener, file)) << Transcript(Listener).substr(from);
    std::string shown = Shown(from, "; Compiled idefile.lsp: ");
    ASSERT_NE("(not shown)", shown.substr(0, 11)) << shown;
    ASSERT_TRUE(WaitForTranscript(Listener, "loaded\r\n", 20000, from)) << Transcript(Listener).substr(from);
    HWND notes = PlacesWindowTitled(L"KESTRALUNE Notes - idefile.lsp");
    ASSERT_NE(nullptr, notes) << Transcript(Listener).substr(from);
    HWND list = FindWindowExW(notes, NULL, L"ListBox", NULL);
    // As for a compiled text: SBCL's warning at the form, ECL's style
    // warning at the defun.
    const std::string line = OnEcl() ? "style warning 4:1 " : "warning 5:3 undefined variable: ";
    const long formStart = (long)text.find(OnEcl() ? "(defun ide-file-noted" : "(+ 1 undefined-ide-file-var)");
    const long formEnd = OnEcl() ? (long)text.size() - 2 : formStart + 28;
    ASSERT_TRUE(EnterOnNote(list, line));
    HWND editor = EditorTitled("idefile.lsp", 30000);
    ASSERT_NE(nullptr, editor) << Transcript(Listener).substr(from);
    ClosedEditor close(editor);
    EXPECT_EQ(std::make_pair(formStart, formEnd), SelectionComes(editor, {formStart, formEnd}))
        << Transcript(Listener).substr(from);
    PostMessageW(notes, WM_CLOSE, 0, 0);

    ASSERT_TRUE(WriteBytes(file, "(defun ide-file-ok () 1)\r\n(defun ide-file-two () 2)\r\n"));
    from = Transcript(Listener).size();
    ListenerCommand(Listener, IDM_COMPILEFILEAGAIN);
    shown = Shown(from, "; Compiled idefile.lsp: no notes");
    ASSERT_NE("(not shown)", shown.substr(0, 11)) << shown;
    shown = Shown(from, "; loaded\r\n");
    EXPECT_NE("(not shown)", shown.substr(0, 11)) << shown;
    Area.Clear();
    Enter("(ide-file-two)", "=> 2");

    // The Lisp's ED: SBCL's own ED reaches the listener through its hook;
    // ECL has none (its ED runs $EDITOR), so Swank's ed-in-emacs is asked.
    const std::string other = folder + "\\ideedit.lsp";
    ASSERT_TRUE(WriteBytes(other, "(defun ide-edited () 3)\r\n"));
    Area.Clear();
    from = Transcript(Listener).size();
    std::string ed = OnEcl() ? "(swank:ed-in-emacs \"" : "(ed \"";
    Area.Type(ed + unixFolder + "/ideedit.lsp\")");
    Area.Key(VK_RETURN);
    HWND edited = EditorTitled("ideedit.lsp", 30000);
    ASSERT_NE(nullptr, edited) << Transcript(Listener).substr(from);
    ClosedEditor closeEdited(edited);
    // The listener's window waits while the new editor starts: what is
    // typed next goes once ED has returned.
    ASSERT_NE("(not shown)", Shown(from, "\n=> ", 30000).substr(0, 11));
    Area.Clear();
    // A function name goes to its definition, in the editor already open.
    Enter("(load \"" + unixFolder + "/ideedit.lsp\")", "\n=> ");
    Area.Clear();
    from = Transcript(Listener).size();
    Area.Type(OnEcl() ? "(swank:ed-in-emacs 'ide-edited)" : "(ed 'ide-edited)");
    Area.Key(VK_RETURN);
    EXPECT_EQ(std::make_pair(0L, 23L), SelectionComes(edited, {0, 23})) << Transcript(Listener).substr(from);
    Area.Clear();

    ASSERT_TRUE(WriteBytes(file, "(defun ide-file-broken (\r\n"));
    from = Transcript(Listener).size();
    ListenerCommand(Listener, IDM_COMPILEFILEAGAIN);
    shown = Shown(from, "; Compiled idefile.lsp: ");
    EXPECT_NE("(not shown)", shown.substr(0, 11)) << shown;
    EXPECT_TRUE(WaitForTranscript(Listener, "failed: not loaded", 10000, from)) << Transcript(Listener).substr(from);
    if (!OnEcl()) {
        notes = PlacesWindowTitled(L"KESTRALUNE Notes - idefile.lsp");
        ASSERT_NE(nullptr, notes) << Transcript(Listener).substr(from);
        std::vector<std::string> lines = ListLines(FindWindowExW(notes, NULL, L"ListBox", NULL));
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ("read error", lines[0].substr(0, 10)) << lines[0];
        PostMessageW(notes, WM_CLOSE, 0, 0);
    }
    PumpFor(300);
    EXPECT_EQ(nullptr, DebuggerWindowOf(Listener, 0));
    Area.Clear();
    Enter("(+ 1 2)", "=> 3");

    DeleteFileA(file.c_str());
    DeleteFileA(other.c_str());
    RemoveDirectoryA(folder.c_str());
    from = Transcript(Listener).size();
    ListenerCommand(Listener, IDM_COMPILEFILEAGAIN);
    shown = Shown(from, "idefile.lsp cannot be read.");
    EXPECT_NE("(not shown)", shown.substr(0, 11)) << shown;
}

// Ctrl+Enter hands the text over as it is, complete or not: the keys are
// the keyboard's, so that the listener sees Ctrl held.
TEST_F(InputLisp, CtrlEnterSendsTheTextAsItIs)
{
    Area.Type("(car (list 1");
    ASSERT_TRUE(Area.WaitForText("(car (list 1"));
    SetForegroundWindow(Listener.main);
    PumpFor(100);
    INPUT keys[4] = {};
    WORD codes[4] = {VK_CONTROL, VK_RETURN, VK_RETURN, VK_CONTROL};
    for (int i = 0; i < 4; i++) {
        keys[i].type = INPUT_KEYBOARD;
        keys[i].ki.wVk = codes[i];
        keys[i].ki.dwFlags = i >= 2 ? KEYEVENTF_KEYUP : 0;
    }
    size_t from = Transcript(Listener).size();
    ASSERT_EQ(4u, SendInput(4, keys, sizeof(INPUT)));
    EXPECT_EQ("CL-USER> (car (list 1\r\n; Not evaluated: the text ends inside a form (a \")\" or a closing \" is "
              "missing): (car (list 1\r\n",
              Shown(from, "missing): (car (list 1\r\n", 5000));
    EXPECT_TRUE(Area.WaitForText("")) << Area.Text();
}

// While the Lisp reads, Enter hands over what is typed, complete or not.
TEST_F(InputLisp, WhileTheLispReadsEnterSendsAnything)
{
    size_t from = Transcript(Listener).size();
    Area.Type("(list (read-line) 5)");
    Area.Key(VK_RETURN);
    ASSERT_NE("(not shown)", Shown(from, "CL-USER> (list (read-line) 5)\r\n").substr(0, 11));
    ASSERT_TRUE(WaitForCaption(Listener, "KESTRALUNE - connected to ", 5000));
    DWORD start = GetTickCount();
    while (Caption(Listener).find("waits for input") == std::string::npos && GetTickCount() - start < 5000)
        PumpFor(10);
    ASSERT_NE(std::string::npos, Caption(Listener).find("waits for input")) << Caption(Listener);
    from = Transcript(Listener).size();
    Area.Type("(unclosed \"");
    Area.Key(VK_RETURN);
    EXPECT_EQ("(unclosed \"\r\n=> (\"(unclosed \\\"\" 5)\r\n", Shown(from, " 5)\r\n"));
    // And the input is read as forms again.
    Area.Type("(car");
    Area.Key(VK_RETURN);
    EXPECT_TRUE(Area.WaitForText("(car\r\n ")) << Area.Text();
}

// The history is written on a thread of its own: the file's bytes once
// they hold WANTED, or as they are after 5 s ("(unreadable)" when never read).
std::string FileOnceItHolds(const std::string &path, const std::string &wanted)
{
    std::string bytes = "(unreadable)";
    DWORD begun = GetTickCount();
    do {
        std::string read;
        if (ReadFileBytes(path, read))
            bytes = read;
        if (bytes.find(wanted) != std::string::npos)
            break;
        PumpFor(20);
    } while (GetTickCount() - begun < 5000);
    return bytes;
}

// What was evaluated is kept in the history file and recalled after the
// listener starts again; Up and Down recall only from the first and the
// last line.
TEST_F(InputLisp, HistorySurvivesARestart)
{
    Enter("(+ 40 2)", "=> 42\r\n");
    Area.Type("(list 1");
    Area.Key(VK_RETURN);
    ASSERT_TRUE(Area.WaitForText("(list 1\r\n      "));
    Enter("2)", "=> (1 2)\r\n");
    const std::string kept = "(+ 40 2)\r\n(list 1\\n      2)\r\n";
    std::string file = FileOnceItHolds(AppData + "\\KESTRALUNE\\history.txt", kept);
    EXPECT_NE(std::string::npos, file.find(kept)) << file;

    Restart();
    ASSERT_NE(nullptr, Listener.main);
    EXPECT_EQ(std::string::npos, Transcript(Listener).find("history")) << Transcript(Listener);
    Area.Key(VK_UP);
    ASSERT_TRUE(Area.WaitForText("(list 1\r\n      2)")) << Area.Text();
    EXPECT_EQ(1, Area.CaretLine());
    // On the last line Up moves the caret to the first; there it recalls.
    Area.Key(VK_UP);
    DWORD start = GetTickCount();
    while (Area.CaretLine() != 0 && GetTickCount() - start < 5000)
        PumpFor(10);
    EXPECT_EQ(0, Area.CaretLine());
    EXPECT_EQ("(list 1\r\n      2)", Area.Text());
    Area.Key(VK_UP);
    EXPECT_TRUE(Area.WaitForText("(+ 40 2)")) << Area.Text();
    Area.Key(VK_DOWN);
    EXPECT_TRUE(Area.WaitForText("(list 1\r\n      2)")) << Area.Text();
    // The caret is on the last line: Down goes past the newest, to nothing.
    Area.Key(VK_DOWN);
    EXPECT_TRUE(Area.WaitForText("")) << Area.Text();
    EXPECT_EQ("CL-USER> (+ 40 2)\r\n=> 42\r\n", Enter("(+ 40 2)", "=> 42\r\n"));
}

// A damaged history file is said once in the transcript and otherwise
// ignored; the next input saved puts it aside and starts the file anew.
TEST_F(InputLisp, ADamagedHistoryFileIsIgnoredWithOneLine)
{
    const std::string path = AppData + "\\KESTRALUNE\\history.txt";
    EXPECT_EQ(0u, StopListener(Listener));
    FILE *out = fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, out);
    fputs("this is not a history\r\n(+ 1 1)\r\n", out);
    fclose(out);
    Start();
    ASSERT_NE(nullptr, Listener.main);
    std::string transcript = Transcript(Listener);
    EXPECT_EQ(1u, LinesWith(transcript, "history")) << transcript;
    EXPECT_NE(std::string::npos, transcript.find("; The input history ")) << transcript;
    EXPECT_NE(std::string::npos, transcript.find("is damaged (the first line is not \"KESTRALUNE history 1\")"))
        << transcript;
    Area.Key(VK_UP);
    PumpFor(200);
    EXPECT_EQ("", Area.Text()) << "nothing is recalled from it";

    Enter("(+ 2 3)", "=> 5\r\n");
    const std::string started = std::string(HistoryFileHeader) + "\r\n(+ 2 3)\r\n";
    EXPECT_EQ(started, FileOnceItHolds(path, started));
    const std::string aside = "this is not a history\r\n(+ 1 1)\r\n";
    EXPECT_EQ(aside, FileOnceItHolds(AppData + "\\KESTRALUNE\\history-damaged.txt", aside));
    EXPECT_EQ(1u, LinesWith(Transcript(Listener), "history"));
}

// Against a Swank played by the test: each request of the input area goes
// to a worker thread in the REPL's package, and an answer that comes after
// the text changed is dropped.
class InputFake : public ::testing::Test {
protected:
    FakeSwank swank;
    Program listener = {};
    InputArea area = {&listener};
    std::string appData = OwnFolder("kestralune-input-fake");
    void SetUp() override
    {
        CreateDirectoryA(appData.c_str(), NULL);
        SetEnvironmentVariableA("APPDATA", appData.c_str());
        ASSERT_TRUE(ListenSwank(swank));
        listener = StartListener("-port " + std::to_string(swank.port));
        ASSERT_NE(nullptr, listener.main);
        std::string why;
        ASSERT_TRUE(GreetListener(swank, nullptr, &why)) << why;
        ASSERT_TRUE(WaitForCaption(listener, "KESTRALUNE - connected to FAKE"));
    }
    void TearDown() override
    {
        if (listener.main) {
            EXPECT_EQ(0u, StopListener(listener));
        }
        CloseSwank(swank);
        RemoveFolder(appData);
    }
    // The next request; the ones that are no request of the input area
    // (none are expected) fail the test.
    std::string Request(DWORD ms = 5000) { return ReadRequest(swank, ms); }
    // The next request that holds the text, past others (argument lists
    // asked for while typing paused).
    std::string RequestWith(const std::string &text)
    {
        std::string request;
        do
            request = Request();
        while (!request.empty() && request.find(text) == std::string::npos);
        return request;
    }
    void Answer(long id, const std::string &value)
    {
        ASSERT_TRUE(SendPayload(swank, "(:return (:ok " + value + ") " + std::to_string(id) + ")"));
    }
};

TEST_F(InputFake, AStaleCompletionIsDropped)
{
    area.Type("(mapca");
    area.Key(VK_TAB);
    std::string request = RequestWith("simple-completions");
    EXPECT_EQ("(:emacs-rex (cl:handler-case (swank:simple-completions \"mapca\" \"COMMON-LISP-USER\") "
              "(cl:error () nil)) \"COMMON-LISP-USER\" t " + std::to_string(RequestId(request)) + ")",
              request);
    area.Type("x");
    ASSERT_TRUE(area.WaitForText("(mapcax"));
    size_t from = Transcript(listener).size();
    Answer(RequestId(request), "((\"mapcar\" \"mapcan\") \"mapca\")");
    PumpFor(300);
    EXPECT_EQ("(mapcax", area.Text());
    EXPECT_EQ(std::string::npos, Transcript(listener).find("completions", from));

    // Asked again, the answer fits the text and is put in.
    area.Key(VK_BACK);
    ASSERT_TRUE(area.WaitForText("(mapca"));
    area.Key(VK_TAB);
    std::string again = RequestWith("simple-completions");
    ASSERT_FALSE(again.empty());
    Answer(RequestId(again), "((\"mapcar\") \"mapcar\")");
    EXPECT_TRUE(area.WaitForText("(mapcar")) << area.Text();
}

// Completions as either Swank answers them: up to 2.31 ((NAME ...) PREFIX),
// since 2.32 ((NAME FLAGS DESIGNATOR) ...) with no common prefix.
TEST_F(InputFake, CompletionsOfEitherSwankArePutInAndListed)
{
    struct {
        const char *swank, *typed, *answer, *completed, *listed;
    } cases[] = {
        {"2.27, one", "(destructuring-bi", "((\"destructuring-bind\") \"destructuring-bind\")",
         "(destructuring-bind", nullptr},
        {"2.27, two", "(with-op", "((\"with-open-file\" \"with-open-stream\") \"with-open-\")", "(with-open-",
         "; 2 completions:\r\nwith-open-file    with-open-stream\r\n"},
        {"2.32, one", "(destructuring-bi",
         "((\"destructuring-bind\" \"-f---m---\" \"COMMON-LISP:DESTRUCTURING-BIND\"))", "(destructuring-bind",
         nullptr},
        {"2.32, two", "(with-op",
         "((\"with-open-file\" \"-f---m---\" \"COMMON-LISP:WITH-OPEN-FILE\") "
         "(\"with-open-stream\" \"-f---m---\" \"COMMON-LISP:WITH-OPEN-STREAM\"))",
         "(with-open-", "; 2 completions:\r\nwith-open-file    with-open-stream\r\n"},
        {"2.32, three with nothing in common past the typed part", "(with-",
         "((\"with-accessors\" \"-f---m---\" \"COMMON-LISP:WITH-ACCESSORS\") "
         "(\"with-open-file\" \"-f---m---\" \"COMMON-LISP:WITH-OPEN-FILE\") "
         "(\"with-slots\" \"-f---m---\" \"COMMON-LISP:WITH-SLOTS\"))",
         "(with-", "; 3 completions:\r\nwith-accessors  with-open-file  with-slots\r\n"},
    };
    for (const auto &c : cases) {
        area.Clear();
        ASSERT_TRUE(area.WaitForText("")) << c.swank;
        area.Type(c.typed);
        ASSERT_TRUE(area.WaitForText(c.typed)) << c.swank;
        size_t from = Transcript(listener).size();
        area.Key(VK_TAB);
        std::string request = RequestWith("simple-completions");
        ASSERT_FALSE(request.empty()) << c.swank;
        Answer(RequestId(request), c.answer);
        EXPECT_TRUE(area.WaitForText(c.completed)) << c.swank << ": " << area.Text();
        if (c.listed) {
            EXPECT_TRUE(WaitForTranscript(listener, c.listed, 5000, from))
                << c.swank << ": " << Transcript(listener).substr(from);
        } else {
            PumpFor(200);
            EXPECT_EQ(std::string::npos, Transcript(listener).find("completion", from))
                << c.swank << ": " << Transcript(listener).substr(from);
        }
    }
}

TEST_F(InputFake, AStaleArgumentListIsDroppedAndAskedAgain)
{
    area.Type("(foo ");
    std::string request = Request();
    EXPECT_EQ("(:emacs-rex (cl:handler-case (swank:operator-arglist \"foo\" \"COMMON-LISP-USER\") "
              "(cl:error () nil)) \"COMMON-LISP-USER\" t 4)",
              request)
        << "one request, once typing paused";
    area.Type("b");
    ASSERT_TRUE(area.WaitForText("(foo b"));
    Answer(RequestId(request), "\"(foo A B)\"");
    PumpFor(100);
    EXPECT_EQ("", area.StatusText()) << "the answer was about an older text";
    std::string again = Request();
    ASSERT_NE(std::string::npos, again.find("(swank:operator-arglist \"foo\" ")) << again;
    Answer(RequestId(again), "\"(foo A B)\"");
    EXPECT_TRUE(area.WaitForStatus("(foo ===> A <=== B)")) << area.StatusText();
    // An operator with no known list shows nothing.
    area.Type(" (bar ");
    std::string bar = Request();
    ASSERT_NE(std::string::npos, bar.find("(swank:operator-arglist \"bar\" ")) << bar;
    Answer(RequestId(bar), "nil");
    EXPECT_TRUE(area.WaitForStatus("")) << area.StatusText();
}

}  // namespace
