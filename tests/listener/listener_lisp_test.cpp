// The editor's real "Eval Selection" (in this process), the listener and a
// real Lisp running Swank, as three processes: values, output, the REPL
// variables, printing that cannot harm the Lisp, input the Lisp reads, the
// debugger and its restarts, interrupts, the package and definitions carried
// over, a long text with every kind of character, and a thousand
// evaluations. tests/listener/with_swank.sh starts the Lisp (SBCL, or ECL
// with KESTRALUNE_TEST_LISP=ecl) and passes its port and secret.
#include "tests/listener/listenertest.h"
#include "editor/editor.h"
#include "listener/win32/codepage.h"
#include "listener/win32/resource.h"
#include "tests/evallink/linktest.h"
#include "tests/support/wintest.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <vector>

namespace {

typedef std::vector<std::string> Texts;

Program Listener;

class ListenerLisp : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        StartEditorWithLink();
        WatchDialogs();
        const char *port = getenv("KESTRALUNE_TEST_PORT");
        ASSERT_NE(nullptr, port) << "no Lisp: run through tests/listener/with_swank.sh";
        Listener = StartListener(std::string("-port ") + port + SecretOption());
        ASSERT_NE(nullptr, Listener.main);
        std::string name = OnEcl() ? "ECL " : "SBCL ";
        ASSERT_TRUE(WaitForCaption(Listener, "KESTRALUNE - connected to " + name, 60000)) << Caption(Listener);
        ASSERT_TRUE(WaitForTranscript(Listener, "; Connected to " + name)) << Transcript(Listener);
    }
    static void TearDownTestSuite() { EXPECT_EQ(0u, StopListener(Listener)); }
    // Each test starts from a listener with nothing left of the tests
    // before: one that failed may have left a debugger level, a question or
    // an evaluation running, which would hold up every later text.
    void SetUp() override
    {
        ASSERT_NE(nullptr, Listener.main);
        TakeSeenDialogs();
        if (!ListenerIdle(Listener)) {
            ASSERT_TRUE(ResetListener(Listener)) << Caption(Listener);
        }
    }
    void TearDown() override
    {
        if (HasFailure() && Listener.main) {
            EXPECT_TRUE(ResetListener(Listener)) << Caption(Listener);
        }
    }
    // Evaluates the text from the editor and waits for the transcript to
    // show what follows its echo up to the expected text; what it showed.
    static std::string Evaluate(const std::string &text, const std::string &expected, DWORD ms = 20000)
    {
        size_t from = Transcript(Listener).size();
        ShowText(text, 0, (unsigned)text.size());
        EvalCommand();
        for (const SeenDialog &seen : TakeSeenDialogs())
            ADD_FAILURE() << "notice: " << seen.text;
        return Shown(from, expected, ms);
    }
    // What the transcript shows from the offset up to the expected text.
    static std::string Shown(size_t from, const std::string &expected, DWORD ms = 20000)
    {
        if (!WaitForTranscript(Listener, expected, ms, from))
            return "(not shown) " + Transcript(Listener).substr(std::min(from, Transcript(Listener).size()));
        std::string shown = Transcript(Listener).substr(from);
        return shown.substr(0, shown.find(expected) + expected.size());
    }
    // Types a line on the listener's input line and presses Enter.
    static void TypeLine(const std::string &line)
    {
        HWND input = GetDlgItem(Listener.main, ID_INPUT);
        std::wstring wide = Utf8ToWide(line);
        DWORD_PTR result;
        SendMessageTimeoutW(input, WM_SETTEXT, 0, (LPARAM)wide.c_str(), SMTO_NORMAL, 5000, &result);
        PostMessageW(input, WM_KEYDOWN, VK_RETURN, 1);
    }
    // The debugger window once its caption begins with the text and, when
    // level is given, ends with " - level LEVEL" (the thread's name between), or null.
    static HWND Debugger(const std::string &caption, DWORD ms = 20000, long level = 0)
    {
        const std::string end = level ? " - level " + std::to_string(level) : std::string();
        DWORD start = GetTickCount();
        do {
            HWND window = WaitForWindow(Listener, "KestraluneDebugger", 100);
            std::string text = window ? WindowText(window) : std::string();
            if (window && IsWindowVisible(window) && text.compare(0, caption.size(), caption) == 0 &&
                text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0)
                return window;
            PumpFor(20);
        } while (GetTickCount() - start < ms);
        return NULL;
    }
    // A key in the debugger's list of restarts: a digit or Esc.
    static void DebuggerKey(HWND debugger, WPARAM key)
    {
        HWND restarts = GetDlgItem(debugger, ID_DEBUG_RESTARTS);
        if (key == VK_ESCAPE)
            PostMessageW(restarts, WM_KEYDOWN, VK_ESCAPE, 1);
        else
            PostMessageW(restarts, WM_CHAR, key, 1);
    }
    // Selects the first frame whose line holds the text; false when none does.
    static bool SelectFrame(HWND debugger, const std::string &text)
    {
        HWND frames = GetDlgItem(debugger, ID_DEBUG_FRAMES);
        std::vector<std::string> lines = ListLines(frames);
        for (size_t i = 0; i < lines.size(); i++) {
            if (lines[i].find(text) != std::string::npos) {
                DWORD_PTR result;
                SendMessageTimeoutW(frames, LB_SETCURSEL, i, 0, SMTO_NORMAL, 5000, &result);
                return true;
            }
        }
        return false;
    }
    // A key-down in the backtrace: a tool's letter as WM_CHAR, F10/F11 as keys.
    static void FrameKey(HWND debugger, WPARAM key)
    {
        HWND frames = GetDlgItem(debugger, ID_DEBUG_FRAMES);
        if (key == VK_F10 || key == VK_F11)
            PostMessageW(frames, WM_KEYDOWN, key, 1);
        else
            PostMessageW(frames, WM_CHAR, key, 1);
    }
    // The evaluation line set to the text, then Enter on it.
    static void EvalLine(HWND debugger, const std::string &text, bool enter = true)
    {
        HWND line = GetDlgItem(debugger, ID_DEBUG_EVAL);
        std::wstring wide = Utf8ToWide(text);
        DWORD_PTR result;
        SendMessageTimeoutW(line, WM_SETTEXT, 0, (LPARAM)wide.c_str(), SMTO_NORMAL, 5000, &result);
        if (enter)
            PostMessageW(line, WM_KEYDOWN, VK_RETURN, 1);
    }
    static bool WaitForEmptyTranscript()
    {
        DWORD start = GetTickCount();
        while (!Transcript(Listener).empty() && GetTickCount() - start < 5000)
            PumpFor(10);
        return Transcript(Listener).empty();
    }
    static bool DebuggerHidden(HWND debugger, DWORD ms = 10000)
    {
        DWORD start = GetTickCount();
        while (IsWindowVisible(debugger) && GetTickCount() - start < ms)
            PumpFor(20);
        return !IsWindowVisible(debugger);
    }
};

TEST_F(ListenerLisp, ValuesOutputAndErrors)
{
    struct {
        const char *text;
        const char *shown;  // after the echo "CL-USER> text\r\n"
    } cases[] = {
        {"(+ 1 2)", "=> 3\r\n"},
        {"(format t \"hello~%\") (values 1 \"two\")", "hello\r\n=> NIL\r\n=> 1\r\n=> \"two\"\r\n"},
        {"(princ 'no-newline)", "NO-NEWLINE\r\n=> NO-NEWLINE\r\n"},
        {"(values)", "; No values\r\n"},
        {"(car (list 1", "; Not evaluated: the text ends inside a form (a \")\" or a closing \" is missing): "
                         "(car (list 1\r\n"},
        {"(progn (princ (code-char 0)) (princ \"after\") 5) 6", "^@after\r\n=> 5\r\n=> 6\r\n"},
        {"(* 6 7)", "=> 42\r\n"},
    };
    for (const auto &c : cases) {
        std::string echo = std::string("CL-USER> ") + c.text + "\r\n";
        EXPECT_EQ(echo + c.shown, Evaluate(c.text, c.shown)) << c.text;
    }
}

// The REPL variables step with each form, whether it comes from the editor
// or from the input line.
TEST_F(ListenerLisp, TheReplVariablesStepFormByForm)
{
    EXPECT_EQ("CL-USER> (+ 1 2) (* * 2) (list * **)\r\n=> 3\r\n=> 6\r\n=> (6 3)\r\n",
              Evaluate("(+ 1 2) (* * 2) (list * **)", "=> (6 3)\r\n"));
    size_t from = Transcript(Listener).size();
    TypeLine("(floor 7 2)");
    EXPECT_EQ("CL-USER> (floor 7 2)\r\n=> 3\r\n=> 1\r\n", Shown(from, "=> 1\r\n"));
    from = Transcript(Listener).size();
    TypeLine("(list / *** +)");
    EXPECT_EQ("CL-USER> (list / *** +)\r\n=> ((3 1) 6 (FLOOR 7 2))\r\n", Shown(from, "))\r\n"));
    EXPECT_EQ("CL-USER> (list - 1)\r\n=> ((LIST - 1) 1)\r\n", Evaluate("(list - 1)", "1) 1)\r\n"));
}

// No value can hang the listener, kill the Lisp or drop the connection, and
// the definitions made before are still there after each. The labels are
// the listener's printing of values only: the user's code prints as in a
// bare Lisp (*print-circle* is NIL there).
TEST_F(ListenerLisp, PrintingNeverHarmsTheLisp)
{
    Evaluate("(defun survivor () :still-here)", "=> SURVIVOR\r\n");
    const std::string cut = "... [cut: the value is longer than 16384 characters]\r\n";
    struct {
        const char *text;
        std::string shown;
    } cases[] = {
        {"(let ((x (list 1 2))) (setf (cddr x) x) x)", "=> #1=(1 2 . #1#)\r\n"},
        {"(let ((s (list 1))) (list s s))", "=> (#1=(1) #1#)\r\n"},
        {"(let ((s (list 1))) (prin1-to-string (list s s)))", "=> \"((1) (1))\"\r\n"},
        {"(let ((s (list 1))) (print (list s s)) *print-circle*)", "\r\n((1) (1)) \r\n=> NIL\r\n"},
        {"(make-string 5000000 :initial-element #\\a)", "=> \"" + std::string(16383, 'a') + " " + cut},
    };
    for (const auto &c : cases) {
        DWORD start = GetTickCount();
        std::string echo = std::string("CL-USER> ") + c.text + "\r\n";
        EXPECT_EQ(echo + c.shown, Evaluate(c.text, c.shown, 30000)) << c.text;
        printf("%.40s: %lu ms\n", c.text, (unsigned long)(GetTickCount() - start));
        EXPECT_EQ("CL-USER> (survivor)\r\n=> :STILL-HERE\r\n", Evaluate("(survivor)", ":STILL-HERE\r\n"));
    }
    EXPECT_TRUE(WaitForCaption(Listener, "KESTRALUNE - connected to ")) << Caption(Listener);
}

TEST_F(ListenerLisp, OutputOfAnotherThreadShows)
{
    size_t from = Transcript(Listener).size();
    // The output is made by the Lisp, so that the echo cannot pass for it.
    Evaluate("(swank/backend:spawn (lambda () (sleep 0.2) (princ (string-upcase \"from another thread\")) "
             "(finish-output)))",
             "(finish-output)))");
    EXPECT_NE("(not shown)", Shown(from, "FROM ANOTHER THREAD").substr(0, 11)) << Transcript(Listener).substr(from);
}

// A bare Swank client of the test's own, connected to the Lisp beside the
// listener: a socket read and written with the fake server's frame helpers.
bool ConnectBare(FakeSwank &bare)
{
    StartSockets();
    const char *port = getenv("KESTRALUNE_TEST_PORT");
    bare.peer = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons((unsigned short)atoi(port ? port : "0"));
    if (bare.peer == INVALID_SOCKET || connect(bare.peer, (sockaddr *)&address, sizeof address) != 0)
        return false;
    std::string secret = SecretText();
    return secret.empty() || SendPayload(bare, secret);
}

// What the bare client was sent up to the answer to its request id: the
// output written to it and its REPL's results, as Swank sent them; the
// answer is empty when none came within 20 s.
struct BareReceived {
    std::string output;
    Texts results;
    std::string answer;
};

BareReceived BareUntilAnswer(FakeSwank &bare, long id)
{
    BareReceived got;
    for (;;) {
        std::string message = ReadRequest(bare, 20000);
        Sexp m;
        if (message.empty() || !ReadSexp(message, &m) || !Item(m, 0))
            return got;
        if (IsAtom(*Item(m, 0), ":return") && RequestId(message) == id) {
            got.answer = message;
            return got;
        }
        const Sexp *text = Item(m, 1), *target = Item(m, 2), *thread = Item(m, 3);
        if (!IsAtom(*Item(m, 0), ":write-string") || !text)
            continue;
        if (target && IsAtom(*target, ":repl-result"))
            got.results.push_back(text->text);
        else
            got.output += text->text;
        if (thread)
            SendPayload(bare, "(:write-done " + thread->text + ")");
    }
}

// Another Swank client of the same Lisp (a SLIME beside the listener) sees
// Swank as it is: its REPL's output goes to it, and its values are printed
// by Swank's own REPL (PRIN1, *print-circle* as the Lisp has it, "; No
// value"). The listener keeps the output of the Lisp's other threads, also
// once that client has gone.
TEST_F(ListenerLisp, AnotherSwankClientSeesSwankAsItIs)
{
    FakeSwank bare;
    ASSERT_TRUE(ConnectBare(bare));
    ASSERT_TRUE(SendPayload(bare, "(:emacs-rex (swank-repl:create-repl nil) \"COMMON-LISP-USER\" t 1)"));
    BareReceived made = BareUntilAnswer(bare, 1);
    ASSERT_EQ(0u, made.answer.find("(:return (:ok (")) << made.answer;
    size_t from = Transcript(Listener).size();
    ASSERT_TRUE(SendPayload(bare, "(:emacs-rex (swank-repl:listener-eval " +
                                      LispString("(progn (princ (string-upcase \"bare output\")) "
                                                 "(let ((s (list 1))) (list s s)))") +
                                      ") \"COMMON-LISP-USER\" :repl-thread 2)"));
    BareReceived evaluated = BareUntilAnswer(bare, 2);
    EXPECT_EQ("(:return (:ok nil) 2)", evaluated.answer);
    EXPECT_EQ("BARE OUTPUT", evaluated.output);
    EXPECT_EQ(Texts{"((1) (1))\n"}, evaluated.results);
    ASSERT_TRUE(SendPayload(bare, "(:emacs-rex (swank-repl:listener-eval \"(values)\") \"COMMON-LISP-USER\" "
                                  ":repl-thread 3)"));
    BareReceived none = BareUntilAnswer(bare, 3);
    EXPECT_EQ(Texts{"; No value"}, none.results);

    // The listener's own evaluations and the output of another thread,
    // while that client is connected and after it has gone.
    for (const char *when : {"beside another client", "after it"}) {
        EXPECT_NE(std::string::npos,
                  Evaluate("(list 1 2)", "=> (1 2)\r\n").find("CL-USER> (list 1 2)\r\n=> (1 2)\r\n"))
            << when;
        size_t at = Transcript(Listener).size();
        Evaluate("(swank/backend:spawn (lambda () (princ (string-upcase \"thread output\")) (finish-output)))",
                 "(finish-output)))");
        EXPECT_NE("(not shown)", Shown(at, "THREAD OUTPUT").substr(0, 11)) << when << Transcript(Listener).substr(at);
        if (bare.peer != INVALID_SOCKET) {
            ASSERT_TRUE(SendPayload(bare, "(:emacs-rex (cl:+ 1 1) \"COMMON-LISP-USER\" t 4)"));
            EXPECT_EQ("", BareUntilAnswer(bare, 4).output) << "the other thread's output is the listener's";
        }
        ClosePeer(bare);
    }
    EXPECT_EQ(std::string::npos, Transcript(Listener).find("BARE OUTPUT", from)) << Transcript(Listener).substr(from);
}

// Whether the listener's caption says the Lisp waits for input, within ms:
// the question it printed may show before the listener has the request to
// read, and a line typed before that is a text to evaluate.
bool WaitsForInput(DWORD ms = 10000)
{
    DWORD start = GetTickCount();
    while (Caption(Listener).find(" - the Lisp waits for input") == std::string::npos) {
        if (GetTickCount() - start >= ms)
            return false;
        PumpFor(10);
    }
    return true;
}

TEST_F(ListenerLisp, TheLispAsksAndTheInputLineAnswers)
{
    EXPECT_NE(std::string::npos,
              Evaluate("(list (read-line) 5)", "5)\r\n").find("CL-USER> (list (read-line) 5)\r\n"));
    EXPECT_TRUE(WaitsForInput()) << Caption(Listener);
    size_t from = Transcript(Listener).size();
    TypeLine("hello there");
    EXPECT_EQ("hello there\r\n=> (\"hello there\" 5)\r\n", Shown(from, "5)\r\n"));

    // Each Lisp words the question its own way: SBCL "Go on? (y or n) ", ECL "Go on?  (Y or N) ".
    const std::string question = OnEcl() ? "Go on?  (Y or N) " : "Go on? (y or n) ";
    std::string asked = Evaluate("(if (y-or-n-p \"Go on?\") 'went 'stayed)", question);
    EXPECT_EQ(question, asked.substr(asked.size() - std::min(asked.size(), question.size()))) << asked;
    EXPECT_TRUE(WaitsForInput()) << Caption(Listener);
    from = Transcript(Listener).size();
    TypeLine("y");
    EXPECT_EQ("y\r\n=> WENT\r\n", Shown(from, "WENT\r\n"));
}

// A line typed while an evaluation runs is its answer if it then asks,
// and the next evaluation if it does not: typed before the Lisp asks, as
// fast as a user types.
TEST_F(ListenerLisp, ALineTypedAheadIsTheAnswerOrTheNextEvaluation)
{
    size_t from = Transcript(Listener).size();
    ShowText("(progn (sleep 1) (list (read-line) 6))", 0, 38);
    EvalCommand();
    ASSERT_NE("(not shown)", Shown(from, "(read-line) 6))\r\n").substr(0, 11));
    TypeLine("early");
    EXPECT_EQ("CL-USER> (progn (sleep 1) (list (read-line) 6))\r\nearly\r\n=> (\"early\" 6)\r\n",
              Shown(from, " 6)\r\n"));

    from = Transcript(Listener).size();
    ShowText("(progn (sleep 1) :slept)", 0, 24);
    EvalCommand();
    ASSERT_NE("(not shown)", Shown(from, ":slept)\r\n").substr(0, 11));
    TypeLine("(+ 40 2)");
    EXPECT_EQ("CL-USER> (progn (sleep 1) :slept)\r\n=> :SLEPT\r\nCL-USER> (+ 40 2)\r\n=> 42\r\n",
              Shown(from, "=> 42\r\n"));
}

// An error opens the debugger window; Esc takes the innermost ABORT
// restart, and the next evaluation works.
TEST_F(ListenerLisp, AnErrorOpensTheDebuggerAndEscAborts)
{
    size_t from = Transcript(Listener).size();
    ShowText("(error \"custom ~a\" 42)", 0, 22);
    EvalCommand();
    HWND debugger = Debugger("KESTRALUNE Debugger");
    ASSERT_NE(nullptr, debugger) << Transcript(Listener).substr(from);
    EXPECT_EQ("CL-USER> (error \"custom ~a\" 42)\r\n; Debugger, level 1: custom 42\r\n"
              ";   [Condition of type SIMPLE-ERROR]\r\n",
              Shown(from, "SIMPLE-ERROR]\r\n"));
    DebuggerKey(debugger, VK_ESCAPE);
    EXPECT_TRUE(DebuggerHidden(debugger));
    EXPECT_NE("(not shown)", Shown(from, "; Evaluation aborted").substr(0, 11));
    EXPECT_EQ("CL-USER> (+ 1 1)\r\n=> 2\r\n", Evaluate("(+ 1 1)", "=> 2\r\n"));
}

// A restart that returns a value lets the evaluation go on with it; an
// error inside the debugger (a restart that errs) opens the next level, and Esc goes back to the
// level below.
TEST_F(ListenerLisp, RestartsAndNestedLevels)
{
    size_t from = Transcript(Listener).size();
    std::string text = "(restart-case (error \"no\") (use-five () 5))";
    ShowText(text, 0, (unsigned)text.size());
    EvalCommand();
    HWND debugger = Debugger("KESTRALUNE Debugger");
    ASSERT_NE(nullptr, debugger) << Transcript(Listener).substr(from);
    DebuggerKey(debugger, '0');
    EXPECT_EQ("CL-USER> " + text + "\r\n; Debugger, level 1: no\r\n;   [Condition of type SIMPLE-ERROR]\r\n"
              "; Restart 0 [USE-FIVE]: USE-FIVE\r\n=> 5\r\n",
              Shown(from, "=> 5\r\n"));
    EXPECT_TRUE(DebuggerHidden(debugger));

    // A restart that errs without unwinding: the error is inside the debugger.
    text = "(restart-bind ((fail (lambda () (error \"inner\")))) (error \"outer\"))";
    ShowText(text, 0, (unsigned)text.size());
    EvalCommand();
    ASSERT_NE(nullptr, Debugger("KESTRALUNE Debugger - ", 20000, 1));
    DebuggerKey(debugger, '0');
    ASSERT_NE(nullptr, Debugger("KESTRALUNE Debugger - ", 20000, 2)) << WindowText(debugger);
    DebuggerKey(debugger, VK_ESCAPE);
    EXPECT_NE(nullptr, Debugger("KESTRALUNE Debugger - ", 20000, 1)) << WindowText(debugger);
    EXPECT_NE("(not shown)", Shown(from, "; Restart 0 [ABORT]: Return to sldb level 1.\r\n").substr(0, 11));
    DebuggerKey(debugger, VK_ESCAPE);
    EXPECT_TRUE(DebuggerHidden(debugger));
    EXPECT_NE("(not shown)", Shown(from, "; Evaluation aborted").substr(0, 11));
    std::string record = Transcript(Listener).substr(from);
    size_t first = record.find("; Debugger, level 1: outer");
    EXPECT_EQ(std::string::npos, record.find("; Debugger, level 1: outer", first + 1))
        << "a level shown again is recorded once\n" << record;
    EXPECT_NE(std::string::npos, Evaluate("(+ 2 2)", "=> 4\r\n").find("CL-USER> (+ 2 2)\r\n=> 4\r\n"));
}

// Interrupt stops (loop) in the debugger with a CONTINUE restart: continued,
// it runs on; interrupted again and aborted, the next text runs.
TEST_F(ListenerLisp, AnEndlessLoopIsInterruptedContinuedAndAborted)
{
    EXPECT_EQ("CL-USER> (loop)\r\n", Evaluate("(loop)", "(loop)\r\n"));
    size_t from = Transcript(Listener).size();
    ShowText("(+ 20 2)", 0, 8);
    EvalCommand();
    EXPECT_EQ("(not shown)", Shown(from, "; Waits until the debugger is left: (+ 20 2)", 100).substr(0, 11))
        << "no debugger yet: the text simply waits";
    ListenerCommand(Listener, IDM_INTERRUPT);
    HWND debugger = Debugger("KESTRALUNE Debugger");
    ASSERT_NE(nullptr, debugger) << Transcript(Listener).substr(from);
    EXPECT_NE("(not shown)", Shown(from, "; Debugger, level 1: ").substr(0, 11));
    DebuggerKey(debugger, '0');  // CONTINUE
    EXPECT_TRUE(DebuggerHidden(debugger));
    PumpFor(300);
    EXPECT_EQ(std::string::npos, Transcript(Listener).find("=> 22", from)) << "the loop runs on";
    ListenerCommand(Listener, IDM_INTERRUPT);
    ASSERT_NE(nullptr, Debugger("KESTRALUNE Debugger"));
    DebuggerKey(debugger, VK_ESCAPE);
    EXPECT_NE("(not shown)", Shown(from, "CL-USER> (+ 20 2)\r\n=> 22\r\n").substr(0, 11));
}

// Interrupt stops a flood of printed lines: the debugger opens while the
// output still pours in, and once aborted the output stops and the next
// text runs.
TEST_F(ListenerLisp, AFloodOfOutputIsInterruptedAndAborted)
{
    ListenerCommand(Listener, IDM_CLEARTRANSCRIPT);
    ASSERT_TRUE(WaitForEmptyTranscript());
    ShowText("(dotimes (i 100000000) (print i))", 0, 33);
    EvalCommand();
    ASSERT_NE("(not shown)", Shown(0, "\r\n5000 \r\n", 60000).substr(0, 11));
    ListenerCommand(Listener, IDM_INTERRUPT);
    HWND debugger = Debugger("KESTRALUNE Debugger", 60000);
    ASSERT_NE(nullptr, debugger) << Transcript(Listener).substr(0, 300);
    EXPECT_NE("(not shown)", Shown(0, "; Debugger, level 1: ").substr(0, 11));
    DebuggerKey(debugger, VK_ESCAPE);
    EXPECT_TRUE(DebuggerHidden(debugger, 30000));
    EXPECT_NE("(not shown)", Shown(0, "; Evaluation aborted").substr(0, 11));
    size_t length = Transcript(Listener).size();
    PumpFor(300);
    EXPECT_EQ(length, Transcript(Listener).size()) << "no more output";
    EXPECT_EQ("CL-USER> (+ 1 2)\r\n=> 3\r\n", Evaluate("(+ 1 2)", "=> 3\r\n"));
    ListenerCommand(Listener, IDM_CLEARTRANSCRIPT);
    EXPECT_TRUE(WaitForEmptyTranscript());
}

// Past a million characters of output the transcript holds the newest
// million and more, whole lines without a gap up to the value.
TEST_F(ListenerLisp, AMillionCharactersOfOutputKeepTheNewestLinesAndTheValue)
{
    ListenerCommand(Listener, IDM_CLEARTRANSCRIPT);
    ASSERT_TRUE(WaitForEmptyTranscript());
    // Made in the Lisp first, then written at once, as ECL writes to
    // Swank's stream slowly a character at a time.
    const std::string form = "(progn (write-string (with-output-to-string (o) (dotimes (i 250000) "
                             "(format o \"~d~%\" i)))) :done)";
    const std::string last = "\r\n249999\r\n=> :DONE\r\n";
    ShowText(form, 0, (unsigned)form.size());
    EvalCommand();
    ASSERT_NE("(not shown)", Shown(0, last, 120000).substr(0, 11));
    std::string transcript = Transcript(Listener);
    EXPECT_GE(transcript.size(), 1000000u);
    EXPECT_LE(transcript.size(), 1250000u);
    EXPECT_EQ(last, transcript.substr(transcript.size() - std::min(transcript.size(), last.size())));
    EXPECT_EQ(std::string::npos, transcript.find("CL-USER> ")) << "the oldest lines went";
    // From the first line on, every number follows the one before.
    size_t at = 0;
    long expected = atol(transcript.c_str());
    for (; at < transcript.size() && transcript.compare(at, 3, "=> ") != 0; expected++) {
        size_t end = transcript.find("\r\n", at);
        ASSERT_NE(std::string::npos, end);
        ASSERT_EQ(std::to_string(expected), transcript.substr(at, end - at)) << "at " << at;
        at = end + 2;
    }
    EXPECT_EQ(250000, expected);
    ListenerCommand(Listener, IDM_CLEARTRANSCRIPT);
    EXPECT_TRUE(WaitForEmptyTranscript());
}

// An evaluation never outlives its connection: Reconnect ends a running
// loop (Swank ends the REPL thread with its connection), the transcript says
// it did not finish, and nothing of it reaches the new connection.
TEST_F(ListenerLisp, AnEvaluationEndsWithItsConnection)
{
    Evaluate("(defvar *spins* 0)", "=> *SPINS*\r\n");
    size_t from = Transcript(Listener).size();
    ShowText("(loop (incf *spins*))", 0, 21);
    EvalCommand();
    EXPECT_NE("(not shown)", Shown(from, "CL-USER> (loop (incf *spins*))\r\n").substr(0, 11));
    PumpFor(200);
    ListenerCommand(Listener, IDM_RECONNECT);
    EXPECT_NE("(not shown)", Shown(from, "; Did not finish: (loop (incf *spins*))\r\n").substr(0, 11));
    ASSERT_TRUE(WaitForCaption(Listener, "KESTRALUNE - connected to ")) << Caption(Listener);
    EXPECT_NE(std::string::npos,
              Evaluate("(let ((before *spins*)) (sleep 0.3) (list (> before 0) (= before *spins*)))", "=> (")
                  .find("=> ("));
    EXPECT_NE("(not shown)", Shown(from, "=> (T T)\r\n").substr(0, 11)) << "the loop ended with its connection";
}

// A frame's locals show under it on Enter, and more frames come on request.
TEST_F(ListenerLisp, TheBacktraceShowsLocalsAndMoreFrames)
{
    Evaluate("(defun descend (n) (if (zerop n) (error \"bottom\") (1+ (descend (1- n)))))", "=> DESCEND\r\n");
    ShowText("(descend 30)", 0, 12);
    EvalCommand();
    HWND debugger = Debugger("KESTRALUNE Debugger");
    ASSERT_NE(nullptr, debugger);
    HWND frames = GetDlgItem(debugger, ID_DEBUG_FRAMES);
    std::vector<std::string> lines = ListLines(frames);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ("--more--", lines.back()) << "20 frames first";
    size_t at = 0;
    // SBCL prints a frame as its call, (DESCEND 0); ECL as its function,
    // #<bytecompiled-function DESCEND ...>, and may know no locals of it.
    const std::string frame = OnEcl() ? "DESCEND" : "(DESCEND 0)", local = OnEcl() ? "      " : "      N = 0";
    while (at < lines.size() && lines[at].find(frame) == std::string::npos)
        at++;
    ASSERT_LT(at, lines.size()) << lines.front();
    DWORD_PTR result;
    SendMessageTimeoutW(frames, LB_SETCURSEL, at, 0, SMTO_NORMAL, 5000, &result);
    PostMessageW(frames, WM_KEYDOWN, VK_RETURN, 1);
    bool shown = false;
    for (DWORD start = GetTickCount(); !shown && GetTickCount() - start < 10000; PumpFor(50)) {
        lines = ListLines(frames);
        shown = at + 1 < lines.size() && lines[at + 1].compare(0, local.size(), local) == 0 &&
                lines[at + 1] != "      ...";
    }
    EXPECT_TRUE(shown) << (at + 1 < lines.size() ? lines[at + 1] : "(no line)");
    // Read again once the window is idle: a list read while it changes gives
    // the count from before the change.
    PumpFor(300);
    lines = ListLines(frames);
    ASSERT_EQ("--more--", lines.back());
    size_t before = lines.size();
    SendMessageTimeoutW(frames, LB_SETCURSEL, before - 1, 0, SMTO_NORMAL, 5000, &result);
    PostMessageW(frames, WM_KEYDOWN, VK_RETURN, 1);
    for (DWORD start = GetTickCount(); lines.size() <= before && GetTickCount() - start < 10000; PumpFor(50))
        lines = ListLines(frames);
    EXPECT_GT(lines.size(), before + 10) << "more frames: " << [&] {
        std::string all;
        for (const std::string &line : lines)
            all += line + "\n";
        return all;
    }();
    DebuggerKey(debugger, VK_ESCAPE);
    EXPECT_TRUE(DebuggerHidden(debugger));
}

// Texts from the editor wait behind an open debugger, the transcript says
// so, and they run in order once it is left.
TEST_F(ListenerLisp, TextsFromTheEditorWaitBehindTheDebugger)
{
    size_t from = Transcript(Listener).size();
    ShowText("(error \"stop\")", 0, 14);
    EvalCommand();
    HWND debugger = Debugger("KESTRALUNE Debugger");
    ASSERT_NE(nullptr, debugger);
    for (const char *text : {"(+ 40 1)", "(+ 40 2)"}) {
        ShowText(text, 0, (unsigned)strlen(text));
        EvalCommand();
    }
    EXPECT_NE("(not shown)", Shown(from, "; Waits until the debugger is left: (+ 40 2)\r\n").substr(0, 11));
    EXPECT_EQ(std::string::npos, Transcript(Listener).find("=> 41", from));
    DebuggerKey(debugger, VK_ESCAPE);
    EXPECT_NE("(not shown)",
              Shown(from, "CL-USER> (+ 40 1)\r\n=> 41\r\nCL-USER> (+ 40 2)\r\n=> 42\r\n").substr(0, 11));
}

// An error whose message would be megabytes shows cut in the debugger; the
// Lisp and the connection stay.
TEST_F(ListenerLisp, AHugeErrorMessageShowsCut)
{
    Evaluate("(defun survivor () :still-here)", "=> SURVIVOR\r\n");
    for (const char *text : {"(error (make-string 5000000 :initial-element #\\b))",
                             "(car (make-string 5000000 :initial-element #\\a))"}) {
        size_t from = Transcript(Listener).size();
        ShowText(text, 0, (unsigned)strlen(text));
        EvalCommand();
        HWND debugger = Debugger("KESTRALUNE Debugger", 30000);
        ASSERT_NE(nullptr, debugger) << text << Transcript(Listener).substr(from, 300);
        HWND condition = GetDlgItem(debugger, ID_DEBUG_CONDITION);
        DWORD_PTR length = 0;
        SendMessageTimeoutW(condition, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 5000, &length);
        EXPECT_LT(length, 70000u) << text;
        EXPECT_GT(length, 1000u) << text;
        DebuggerKey(debugger, VK_ESCAPE);
        EXPECT_TRUE(DebuggerHidden(debugger, 30000)) << text;
        EXPECT_NE(std::string::npos,
                  Evaluate("(survivor)", ":STILL-HERE\r\n").find("CL-USER> (survivor)\r\n=> :STILL-HERE\r\n"))
            << text;
    }
}

TEST_F(ListenerLisp, PackageAndDefinitionsCarryOver)
{
    // How each Lisp prints a package.
    auto package = [](const std::string &name) {
        return OnEcl() ? "#<\"" + name + "\" package>" : "#<PACKAGE \"" + name + "\">";
    };
    EXPECT_EQ("CL-USER> (defpackage :kt (:use :cl)) (in-package :kt) (defun twice (x) (* 2 x))\r\n=> " +
                  package("KT") + "\r\n=> " + package("KT") + "\r\n=> TWICE\r\n",
              Evaluate("(defpackage :kt (:use :cl)) (in-package :kt) (defun twice (x) (* 2 x))", "=> TWICE\r\n"));
    EXPECT_EQ("KT> (twice 21)\r\n=> 42\r\n", Evaluate("(twice 21)", "=> 42\r\n"));
    EXPECT_EQ("KT> (in-package :cl-user)\r\n=> " + package("COMMON-LISP-USER") + "\r\n",
              Evaluate("(in-package :cl-user)", package("COMMON-LISP-USER") + "\r\n"));
    EXPECT_EQ("CL-USER> (kt::twice 5)\r\n=> 10\r\n", Evaluate("(kt::twice 5)", "=> 10\r\n"));
}

// A selection from a file is read in the file's package, from its last
// in-package before the selection (not one in a comment or a string): the
// echo names it, and the REPL's own package stays. A package the Lisp does
// not have is said, and the REPL's used.
TEST_F(ListenerLisp, TheSelectionIsReadInTheFilesPackage)
{
    Evaluate("(defpackage :file-pkg (:use :cl) (:nicknames :fp))", "\r\n=> ");
    const std::string file = "(in-package :file-pkg)\r\n; (in-package :cl-user)\r\n(defvar *s* \"(in-package :x)\")\r\n"
                             "(defun here () (package-name *package*))\r\n(here)\r\n";
    size_t from = Transcript(Listener).size();
    size_t defun = file.find("(defun"), call = file.find("(here)\r\n");
    ShowText(file, (unsigned)defun, (unsigned)(file.find("\r\n", defun)));
    EvalCommand();
    EXPECT_EQ("FP> (defun here () (package-name *package*))\r\n=> HERE\r\n", Shown(from, "=> HERE\r\n"));
    from = Transcript(Listener).size();
    ShowText(file, (unsigned)call, (unsigned)call + 6);
    EvalCommand();
    EXPECT_EQ("FP> (here)\r\n=> \"FILE-PKG\"\r\n", Shown(from, "\"FILE-PKG\"\r\n"));
    EXPECT_EQ("CL-USER> (package-name *package*)\r\n=> \"COMMON-LISP-USER\"\r\n",
              Evaluate("(package-name *package*)", "\"COMMON-LISP-USER\"\r\n"));

    const std::string missing = "(in-package :no-such-pkg)\r\n(+ 2 3)";
    from = Transcript(Listener).size();
    ShowText(missing, (unsigned)missing.find("(+"), (unsigned)missing.size());
    EvalCommand();
    EXPECT_EQ("; The Lisp has no package NO-SUCH-PKG; the text is read in CL-USER.\r\nCL-USER> (+ 2 3)\r\n=> 5\r\n",
              Shown(from, "=> 5\r\n"));
}

// Characters outside the ANSI code page show as the Lisp printed them, and
// reach the Lisp as typed on the input line; a megabyte of such output shows
// its last lines unchanged.
TEST_F(ListenerLisp, EveryCharacterShowsAndArrives)
{
    EXPECT_EQ("CL-USER> (princ (code-char 955))\r\n\xce\xbb\r\n=> ", Evaluate("(princ (code-char 955))", "=> "));
    size_t from = Transcript(Listener).size();
    TypeLine("(list (char-code (char \"\xce\xbb\" 0)) \"\xd0\x96\xe6\xbc\xa2\xf0\x9f\x98\x80\")");
    EXPECT_EQ("CL-USER> (list (char-code (char \"\xce\xbb\" 0)) \"\xd0\x96\xe6\xbc\xa2\xf0\x9f\x98\x80\")\r\n"
              "=> (955 \"\xd0\x96\xe6\xbc\xa2\xf0\x9f\x98\x80\")\r\n",
              Shown(from, "=> (955 \"\xd0\x96\xe6\xbc\xa2\xf0\x9f\x98\x80\")\r\n"));
    const std::string last = "line 39999 \xce\xbb\xd0\x96\xe6\xbc\xa2\r\n=> NIL\r\n";
    // The editor's text is ANSI: the Lisp makes the characters.
    // Made in the Lisp first, then written at once: ECL writes to Swank's
    // stream a character at a time, slowly, where FORMAT meets it.
    std::string shown = Evaluate("(let ((s (map 'string #'code-char '(955 1046 28450)))) "
                                 "(write-string (with-output-to-string (o) "
                                 "(dotimes (i 40000) (format o \"line ~d ~a~%\" i s)))) nil)",
                                 last, 60000);
    EXPECT_EQ(last, shown.substr(shown.size() - std::min(shown.size(), last.size())));
    std::string transcript = Transcript(Listener);
    EXPECT_NE(std::string::npos, transcript.find("line 39998 \xce\xbb\xd0\x96\xe6\xbc\xa2\r\nline 39999"));
}

// Every character of a 31000-character selection, quotes, backslashes,
// line breaks and bytes above 127 included, arrives in the Lisp as the
// character the ANSI code page means by it.
TEST_F(ListenerLisp, ALongSelectionReachesTheLispUnchanged)
{
    const std::string chars = "q\"\\\xe9\xff\x80\xa0|;#()\r\n";
    std::string literal;  // the Lisp string's characters, as the editor holds them
    std::string text = "(let ((s \"";
    for (size_t i = 0; text.size() < 30900; i++) {
        char c = chars[i % chars.size()];
        text += c == '"' || c == '\\' ? std::string("\\") + c : std::string(1, c);
        literal += c;
    }
    text += "\")) (list (length s) (reduce #'+ s :key #'char-code)))";
    text.resize(31000, ' ');
    ASSERT_EQ(1252u, GetACP());
    std::wstring wide(literal.size(), L'\0');
    MultiByteToWideChar(1252, 0, literal.data(), (int)literal.size(), &wide[0], (int)wide.size());
    unsigned long sum = 0;
    for (wchar_t c : wide)
        sum += c;
    std::string expected = "=> (" + std::to_string(literal.size()) + " " + std::to_string(sum) + ")\r\n";
    // From an empty transcript: the echo alone is a third of what it keeps,
    // and the lines cut from its start to make room would move the offset
    // the value is looked for after.
    ListenerCommand(Listener, IDM_CLEARTRANSCRIPT);
    ASSERT_TRUE(WaitForEmptyTranscript());
    std::string shown = Evaluate(text, expected);
    EXPECT_EQ(expected, shown.substr(shown.size() - std::min(shown.size(), expected.size())));
}

// A thousand evaluations (10000 with QUILLON_SOAK=full) sent as fast as the
// editor can, in batches of 500 so that each batch's results are still in
// the transcript when they are read. The working set may grow by the
// transcript's text and the heap's slack until the transcript is full (it
// then holds between a million characters and a quarter more), a few
// megabytes; from then on (or from the start, when the run ends before) it
// must stay within 2 MiB, what a leak of 2 KiB per evaluation would add over
// a thousand.
TEST_F(ListenerLisp, AThousandEvaluationsLeaveBothProgramsFlat)
{
    const int batch = 500, count = FullSoak() ? 10000 : 1000;
    Evaluate("(in-package :cl-user) (defparameter *n* 0)", "*N*\r\n");
    for (int i = 0; i < 20; i++)
        Evaluate("(incf *n*)", "=> " + std::to_string(i + 1) + "\r\n");
    Evaluate("(in-package :cl-user)", "\r\n=> ");
    int listenerHandles = KernelHandles(Listener.info.dwProcessId);
    int editorHandles = KernelHandles(GetCurrentProcessId());
    size_t listenerMemory = WorkingSet(Listener.info.hProcess), memoryWhenFull = 0;
    size_t editorMemory = WorkingSet(GetCurrentProcess());
    DWORD start = GetTickCount();
    for (int n = 21; n < 21 + count; n += batch) {
        for (int i = 0; i < batch; i++) {
            ShowText("(incf *n*)", 0, 10);
            EvalCommand();
        }
        const std::string last = "=> " + std::to_string(n + batch - 1) + "\r\n";
        ASSERT_TRUE(WaitForTranscript(Listener, last, 120000)) << "up to " << last;
        std::string transcript = Transcript(Listener);
        size_t at = 0;
        for (int k = n; k < n + batch && at != std::string::npos; k++)
            at = transcript.find("CL-USER> (incf *n*)\r\n=> " + std::to_string(k) + "\r\n", at);
        ASSERT_NE(std::string::npos, at) << "every result from " << n << ", in order";
        if (!memoryWhenFull && transcript.size() >= 1000000)
            memoryWhenFull = WorkingSet(Listener.info.hProcess);
    }
    printf("%d evaluations: all shown after %lu ms\n", count, (unsigned long)(GetTickCount() - start));
    EXPECT_EQ(Texts{}, [] {
        Texts notices;
        for (const SeenDialog &seen : TakeSeenDialogs())
            notices.push_back(seen.text);
        return notices;
    }());
    PumpFor(200);
    int listenerHandlesAfter = KernelHandles(Listener.info.dwProcessId);
    size_t listenerMemoryAfter = WorkingSet(Listener.info.hProcess);
    printf("listener: %d kernel handles before, %d after; working set %zu before, %zu once the transcript was "
           "full, %zu after\n",
           listenerHandles, listenerHandlesAfter, listenerMemory, memoryWhenFull, listenerMemoryAfter);
    size_t editorMemoryAfter = WorkingSet(GetCurrentProcess());
    printf("editor: %d kernel handles before, %d after; working set %zu before, %zu after\n", editorHandles,
           KernelHandles(GetCurrentProcessId()), editorMemory, editorMemoryAfter);
    EXPECT_GT(listenerHandles, 0);
    EXPECT_EQ(listenerHandles, listenerHandlesAfter);
    EXPECT_EQ(editorHandles, KernelHandles(GetCurrentProcessId()));
    EXPECT_LT(listenerMemoryAfter, (memoryWhenFull ? memoryWhenFull : listenerMemory) + (2u << 20))
        << "working set grew by more than 2 MiB";
    EXPECT_LT(editorMemoryAfter, editorMemory + (2u << 20)) << "the editor's working set grew by more than 2 MiB";
}

// An endless recursion exhausts the stack: the Lisp signals it (SBCL
// SB-KERNEL::CONTROL-STACK-EXHAUSTED, ECL EXT:STACK-OVERFLOW) and the
// debugger opens; Esc leaves it, the REPL thread lives on through a second
// one, and what was defined before is still there. (SBCL 2.2.9 survives
// repeated exhaustions in a thread that has had one, but dies of the first
// one in a thread made after that: this runs in the REPL thread, last of
// this listener's tests.)
TEST_F(ListenerLisp, AStackExhaustion)
{
    Evaluate("(defun deeper () (1+ (deeper)))", "=> DEEPER\r\n");
    Evaluate("(defun kept () :kept)", "=> KEPT\r\n");
    const std::string condition = OnEcl() ? "[Condition of type EXT:STACK-OVERFLOW]"
                                          : "[Condition of type SB-KERNEL::CONTROL-STACK-EXHAUSTED]";
    for (int time = 1; time <= 2; time++) {
        size_t from = Transcript(Listener).size();
        ShowText("(deeper)", 0, 8);
        EvalCommand();
        HWND debugger = Debugger("KESTRALUNE Debugger", 30000);
        ASSERT_NE(nullptr, debugger) << "time " << time << ": " << Transcript(Listener).substr(from);
        EXPECT_NE("(not shown)", Shown(from, condition).substr(0, 11)) << "time " << time;
        EXPECT_NE(std::string::npos, DebuggerCondition(debugger).find(condition)) << DebuggerCondition(debugger);
        DebuggerKey(debugger, VK_ESCAPE);
        EXPECT_TRUE(DebuggerHidden(debugger)) << "time " << time;
        EXPECT_NE("(not shown)", Shown(from, "; Evaluation aborted").substr(0, 11)) << "time " << time;
        EXPECT_EQ("CL-USER> (kept)\r\n=> :KEPT\r\n", Evaluate("(kept)", "=> :KEPT\r\n")) << "time " << time;
        std::string record = Transcript(Listener).substr(from);
        EXPECT_EQ(std::string::npos, record.find("; Did not finish")) << record;
        EXPECT_EQ(std::string::npos, record.find("; Connection to the Lisp lost")) << record;
    }
    EXPECT_TRUE(WaitForCaption(Listener, "KESTRALUNE - connected to ", 1000)) << Caption(Listener);
}

// A listener with a wrong secret is refused: it says so once, whatever the
// number of attempts, and the Lisp goes on serving the one that knows it.
TEST(ListenerRefused, AWrongSecretIsSaidOnceAndTheLispServesOn)
{
    const char *port = getenv("KESTRALUNE_TEST_PORT");
    ASSERT_TRUE(port && getenv("KESTRALUNE_TEST_SECRET")) << "run through tests/listener/with_swank.sh";
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    std::string wrong = std::string(folder) + "kestralune-wrong-secret";
    FILE *file = fopen(wrong.c_str(), "wb");
    ASSERT_NE(nullptr, file);
    fputs("not the secret\n", file);
    fclose(file);
    Program refused = StartListener(std::string("-port ") + port + " -secret \"" + wrong + "\"");
    ASSERT_NE(nullptr, refused.main);
    EXPECT_TRUE(WaitForTranscript(refused, "refused the connection", 30000)) << Transcript(refused);
    PumpFor(8000);  // several attempts
    std::string transcript = Transcript(refused);
    size_t first = transcript.find("refused the connection");
    EXPECT_EQ(std::string::npos, transcript.find("refused the connection", first + 1)) << transcript;
    EXPECT_LT(transcript.size(), 400u) << transcript;
    EXPECT_TRUE(WaitForCaption(refused, "KESTRALUNE - ", 1000));
    EXPECT_EQ(std::string::npos, Caption(refused).find("connected to")) << Caption(refused);
    EXPECT_EQ(0u, StopListener(refused));
    DeleteFileA(wrong.c_str());

    Program knows = StartListener(std::string("-port ") + port + SecretOption());
    ASSERT_NE(nullptr, knows.main);
    EXPECT_TRUE(WaitForCaption(knows, "KESTRALUNE - connected to ", 30000)) << Transcript(knows);
    EXPECT_EQ(0u, StopListener(knows));
}

// -lisp starts the Lisp (a Linux program Wine starts by its Unix path),
// connects once it serves, and asks it to quit at the end.
TEST(ListenerStartsItsLisp, StartsConnectsAndEndsIt)
{
    const char *command = getenv("KESTRALUNE_TEST_LISP_COMMAND2"), *port = getenv("KESTRALUNE_TEST_PORT2");
    ASSERT_TRUE(command && port) << "run through tests/listener/with_swank.sh";
    std::string quoted;  // each word quoted within the option's quotes: \"word\"
    for (const char *at = command; *at;) {
        size_t length = strcspn(at, " ");
        if (length)
            quoted += (quoted.empty() ? "\\\"" : " \\\"") + std::string(at, length) + "\\\"";
        at += length + (at[length] == ' ');
    }
    Program own = StartListener(std::string("-port ") + port + SecretOption() + " -lisp \"" + quoted + "\"");
    if (!own.main && own.info.hProcess)
        WaitForExit(own, 0);  // not started as it should: ended here
    ASSERT_NE(nullptr, own.main);
    EXPECT_TRUE(WaitForCaption(own, std::string("KESTRALUNE - connected to ") + (OnEcl() ? "ECL " : "SBCL "), 60000))
        << Caption(own) << Transcript(own);
    EXPECT_TRUE(WaitForTranscript(own, "; Started the Lisp: ")) << Transcript(own);
    EXPECT_EQ(0u, StopListener(own));
    // Nothing answers on the port once the Lisp has ended.
    StartSockets();
    bool answered = true;
    for (int i = 0; i < 100 && answered; i++) {
        SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons((unsigned short)atoi(port));
        answered = connect(probe, (sockaddr *)&address, sizeof address) == 0;
        closesocket(probe);
        if (answered)
            Sleep(100);
    }
    EXPECT_FALSE(answered) << "the Lisp still serves after the listener ended";
}

} // namespace

namespace {

// Evaluating in a frame sees its locals: the value shows under the
// evaluation line and in the transcript. Returning from the frame gives
// the evaluation line's value to its caller, and the evaluation goes on.
TEST_F(ListenerLisp, EvalInAFrameAndReturnFromIt)
{
    Evaluate("(defun frame-local (n) (declare (optimize (debug 3))) (let ((k (* n 10))) (error \"stop ~a\" k) k))",
             "=> FRAME-LOCAL\r\n");
    size_t from = Transcript(Listener).size();
    ShowText("(list (frame-local 4) :after)", 0, 29);
    EvalCommand();
    HWND debugger = Debugger("KESTRALUNE Debugger");
    ASSERT_NE(nullptr, debugger) << Transcript(Listener).substr(from);
    ASSERT_TRUE(SelectFrame(debugger, "FRAME-LOCAL")) << Transcript(Listener).substr(from);
    EvalLine(debugger, "(+ n 1)");
    std::string shown = Shown(from, "=> 5");
    EXPECT_NE("(not shown)", shown.substr(0, 11)) << shown;
    EXPECT_NE(std::string::npos, shown.find("; In frame ")) << shown;
    HWND result = GetDlgItem(debugger, ID_DEBUG_RESULT);
    DWORD start = GetTickCount();
    while (WindowText(result).compare(0, 4, "=> 5") != 0 && GetTickCount() - start < 10000)
        PumpFor(20);
    EXPECT_EQ("=> 5", WindowText(result).substr(0, 4));

    // Return from frame-local with 99: the list gets it. ECL cannot
    // return from a frame, which it says in one line.
    from = Transcript(Listener).size();
    ASSERT_TRUE(SelectFrame(debugger, "FRAME-LOCAL"));
    EvalLine(debugger, "(* n 25)", false);
    FrameKey(debugger, 't');
    if (OnEcl()) {
        shown = Shown(from, "cannot return from frame ");
        EXPECT_NE("(not shown)", shown.substr(0, 11)) << shown;
        DebuggerKey(debugger, VK_ESCAPE);
        EXPECT_TRUE(DebuggerHidden(debugger));
        return;
    }
    EXPECT_NE("(not shown)", Shown(from, "=> (100 :AFTER)\r\n").substr(0, 11)) << Transcript(Listener).substr(from);
    EXPECT_EQ(std::string::npos, Transcript(Listener).find("; Could not", from)) << "it did return";
    EXPECT_TRUE(DebuggerHidden(debugger));
}

// Restart frame runs the frame's function again from its start: the
// second time it does not fail. ECL says in one line that it cannot.
TEST_F(ListenerLisp, RestartFrameRunsItAgain)
{
    Evaluate("(progn (defvar *frame-tries* 0) (setf *frame-tries* 0) (defun fail-once () (declare (optimize (debug 3))) "
             "(if (< (incf *frame-tries*) 2) (error \"first time\") :second-time)))",
             "=> FAIL-ONCE\r\n");
    size_t from = Transcript(Listener).size();
    ShowText("(fail-once)", 0, 11);
    EvalCommand();
    HWND debugger = Debugger("KESTRALUNE Debugger");
    ASSERT_NE(nullptr, debugger) << Transcript(Listener).substr(from);
    ASSERT_TRUE(SelectFrame(debugger, "FAIL-ONCE"));
    FrameKey(debugger, 'r');
    if (OnEcl()) {
        std::string shown = Shown(from, "cannot restart frame ");
        EXPECT_NE("(not shown)", shown.substr(0, 11)) << shown;
        PumpFor(500);
        EXPECT_TRUE(IsWindowVisible(debugger)) << "nothing more happens";
        EXPECT_EQ(std::string::npos, Transcript(Listener).substr(from).find("level 2"));
        DebuggerKey(debugger, VK_ESCAPE);
        EXPECT_TRUE(DebuggerHidden(debugger));
        return;
    }
    EXPECT_NE("(not shown)", Shown(from, "=> :SECOND-TIME\r\n").substr(0, 11)) << Transcript(Listener).substr(from);
    EXPECT_EQ(std::string::npos, Transcript(Listener).find("; Could not", from)) << "it did restart";
    EXPECT_TRUE(DebuggerHidden(debugger));
}

// Disassemble shows the frame's code in the transcript, or where the
// Lisp's Swank cannot (Debian's SBCL backend) says so in one line;
// stepping steps (SBCL's STEP), and a Lisp that cannot step says so in
// one line.
TEST_F(ListenerLisp, DisassembleAndStep)
{
    Evaluate("(defun stepped (x) (declare (optimize (debug 3))) (let ((y (+ x 1))) (* y 2)))", "=> STEPPED\r\n");
    size_t from = Transcript(Listener).size();
    ShowText(OnEcl() ? "(error \"no step\")" : "(step (stepped 20))", 0, OnEcl() ? 17 : 19);
    EvalCommand();
    HWND debugger = Debugger("KESTRALUNE Debugger");
    ASSERT_NE(nullptr, debugger) << Transcript(Listener).substr(from);
    FrameKey(debugger, 'd');
    std::string shown = Shown(from, " frame 0");
    EXPECT_TRUE(shown.find("; Disassembly of frame 0") != std::string::npos ||
                shown.find(" cannot disassemble frame 0") != std::string::npos)
        << shown;
    if (OnEcl()) {
        from = Transcript(Listener).size();
        FrameKey(debugger, VK_F11);
        shown = Shown(from, "cannot step into frame 0");
        EXPECT_NE("(not shown)", shown.substr(0, 11)) << shown;
        DebuggerKey(debugger, VK_ESCAPE);
        EXPECT_TRUE(DebuggerHidden(debugger));
        return;
    }
    // Each step stops in the debugger again, until the form has its value.
    for (int i = 0; i < 30 && Transcript(Listener).find("=> 42\r\n", from) == std::string::npos; i++) {
        HWND window = Debugger("KESTRALUNE Debugger", 2000);
        if (window)
            FrameKey(window, i == 0 ? VK_F11 : VK_F10);
        PumpFor(300);
    }
    EXPECT_NE("(not shown)", Shown(from, "=> 42\r\n").substr(0, 11)) << Transcript(Listener).substr(from);
    EXPECT_EQ(std::string::npos, Transcript(Listener).find("; Could not", from)) << "each step stepped";
    EXPECT_TRUE(DebuggerHidden(debugger));
}

// Starts two threads of the Lisp, named NAME-0 and NAME-1, that each
// evaluate BODY (with i their number) in the listener's connection, with
// an ABORT restart that ends the thread.
std::string TwoThreads(const std::string &name, const std::string &body)
{
    return "(let ((c swank::*emacs-connection*)) (dotimes (n 2) (let ((i n)) (swank/backend:spawn (lambda () "
           "(swank::with-connection (c) (with-simple-restart (abort \"End this thread.\") " + body +
           "))) :name (format nil \"" + name + "-~a\" i)))) (sleep 1) :started)";
}

// Ctrl+Tab as the user types it, to the foreground window.
void PressCtrlTab()
{
    INPUT keys[4] = {};
    WORD vks[4] = {VK_CONTROL, VK_TAB, VK_TAB, VK_CONTROL};
    for (int i = 0; i < 4; i++) {
        keys[i].type = INPUT_KEYBOARD;
        keys[i].ki.wVk = vks[i];
        keys[i].ki.dwFlags = i >= 2 ? KEYEVENTF_KEYUP : 0;
    }
    SendInput(4, keys, sizeof(INPUT));
}

// Two threads in the debugger at once: each keeps its level; the window
// names the thread it shows, the other is said in the transcript and
// named in the window, Ctrl+Tab switches, and each is left in turn.
TEST_F(ListenerLisp, TwoThreadsInTheDebuggerEachLeftInTurn)
{
    size_t from = Transcript(Listener).size();
    Evaluate(TwoThreads("kl-debug", "(error \"failed in ~a\" i)"), "=> :STARTED\r\n");
    HWND debugger = Debugger("KESTRALUNE Debugger - kl-debug-");
    ASSERT_NE(nullptr, debugger) << Transcript(Listener).substr(from);
    std::string shown = Shown(from, " entered the debugger, level 1: failed in ");
    ASSERT_NE("(not shown)", shown.substr(0, 11)) << shown;
    HWND threads = GetDlgItem(debugger, ID_DEBUG_THREADS);
    DWORD start = GetTickCount();
    while (WindowText(threads).find("kl-debug-") == std::string::npos && GetTickCount() - start < 10000)
        PumpFor(20);
    EXPECT_NE(std::string::npos, WindowText(threads).find("(level 1)")) << WindowText(threads);
    std::string first = WindowText(debugger);
    EXPECT_EQ(" - level 1", first.substr(first.size() - 10)) << first;

    SetForegroundWindow(debugger);
    PumpFor(200);
    PressCtrlTab();
    start = GetTickCount();
    while (WindowText(debugger) == first && GetTickCount() - start < 10000)
        PumpFor(20);
    std::string second = WindowText(debugger);
    EXPECT_NE(first, second) << "Ctrl+Tab shows the other thread";
    EXPECT_EQ(0u, second.find("KESTRALUNE Debugger - kl-debug-")) << second;
    // Esc leaves the thread shown (it ends); the window shows the first again.
    DebuggerKey(debugger, VK_ESCAPE);
    start = GetTickCount();
    while (WindowText(debugger) != first && GetTickCount() - start < 10000)
        PumpFor(20);
    EXPECT_EQ(first, WindowText(debugger));
    // The caption changes first, then the window is laid out anew.
    start = GetTickCount();
    while (IsWindowVisible(threads) && GetTickCount() - start < 10000)
        PumpFor(20);
    EXPECT_FALSE(IsWindowVisible(threads)) << "no other thread is left";
    DebuggerKey(debugger, VK_ESCAPE);
    EXPECT_TRUE(DebuggerHidden(debugger));
    EXPECT_NE(std::string::npos, Evaluate("(+ 3 4)", "=> 7\r\n").find("CL-USER> (+ 3 4)\r\n=> 7\r\n"));
}

// A thread asks for a line while the REPL reads one: the second question
// waits behind the first, the caption names who waits, and the two lines
// typed answer them in the order they asked.
TEST_F(ListenerLisp, TwoReadsPendingAreAnsweredInOrder)
{
    size_t from = Transcript(Listener).size();
    std::string text = "(let ((c swank::*emacs-connection*)) (swank/backend:spawn (lambda () (swank::with-connection (c) "
                       "(format t \"thread read ~a~%\" (swank::read-from-minibuffer-in-emacs \"Thread asks: \")) "
                       "(finish-output))) :name \"kl-reader\") (sleep 1) (list :repl (read-line)))";
    ShowText(text, 0, (unsigned)text.size());
    EvalCommand();
    std::string shown = Shown(from, " waits for input too; it is answered after kl-reader.");
    ASSERT_NE("(not shown)", shown.substr(0, 11)) << shown;
    EXPECT_NE(std::string::npos, shown.find("Thread asks: ")) << shown;
    DWORD start = GetTickCount();
    while (Caption(Listener).find("(kl-reader, 1 more)") == std::string::npos && GetTickCount() - start < 10000)
        PumpFor(20);
    EXPECT_NE(std::string::npos, Caption(Listener).find(" - the Lisp waits for input (kl-reader, 1 more)"))
        << Caption(Listener);
    TypeLine("first line");
    shown = Shown(from, "thread read first line");
    EXPECT_NE("(not shown)", shown.substr(0, 11)) << shown;
    TypeLine("second line");
    EXPECT_NE("(not shown)", Shown(from, "=> (:REPL \"second line\")\r\n").substr(0, 11))
        << Transcript(Listener).substr(from);
}

// The Lisp's swank:eval-in-emacs is answered at once: the call signals an
// error the caller can handle, and the transcript says why in one line.
TEST_F(ListenerLisp, EvalInEmacsIsAnsweredAndNeverWaits)
{
    std::string shown = Evaluate("(handler-case (swank:eval-in-emacs '(+ 1 2)) (error (e) (list :refused (princ-to-string e))))",
                                 "\")\r\n", 20000);
    EXPECT_NE(std::string::npos, shown.find("; Evaluating in the editor (eval-in-emacs) is not supported")) << shown;
    // The value, as the Lisp's printer breaks it: the error's message.
    EXPECT_NE(std::string::npos, shown.find("=> (:REFUSED")) << shown;
    EXPECT_NE(std::string::npos, shown.find("\"KESTRALUNE: Evaluating in the editor (eval-in-emacs) is not supported\")"))
        << shown;
}

}  // namespace
