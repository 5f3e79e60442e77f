// The editor's real "Eval Selection" (in this process), the listener and
// SBCL running swank, as three processes: values, output, errors, the
// package and definitions carried over, interrupts, a long text with every
// kind of character, and a thousand evaluations. The Lisp's port comes in
// KESTRALUNE_TEST_PORT (tests/listener/with_swank.sh starts it).
#include "tests/listener/listenertest.h"
#include "editor/editor.h"
#include "listener/resource.h"
#include "tests/evallink/linktest.h"
#include "tests/support/wintest.h"

#include <gtest/gtest.h>

#include <stdlib.h>

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
        Listener = StartListener(std::string("-port ") + port);
        ASSERT_NE(nullptr, Listener.main);
        ASSERT_TRUE(WaitForCaption(Listener, "KESTRALUNE - connected to SBCL ")) << Caption(Listener);
        ASSERT_TRUE(WaitForTranscript(Listener, "; Connected to SBCL ")) << Transcript(Listener);
    }
    static void TearDownTestSuite() { EXPECT_EQ(0u, StopListener(Listener)); }
    void SetUp() override
    {
        ASSERT_NE(nullptr, Listener.main);
        TakeSeenDialogs();
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
        if (!WaitForTranscript(Listener, expected, ms, from))
            return "(not shown) " + Transcript(Listener).substr(from);
        std::string shown = Transcript(Listener).substr(from);
        return shown.substr(0, shown.find(expected) + expected.size());
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
        {"(/ 1 0)", "; Error: arithmetic error DIVISION-BY-ZERO signalled\r\n; Operation was (/ 1 0).\r\n"
                    "; [Condition of type DIVISION-BY-ZERO]\r\n"},
        {"(car (list 1", "; Error: The text ends inside a form: a \")\" or a closing \" is missing.\r\n"
                         "; [Condition of type END-OF-FILE]\r\n"},
        {"(print 1) (error \"custom ~a\" 42) (print 2)",
         "\r\n1 \r\n=> 1\r\n; Error: custom 42\r\n; [Condition of type SIMPLE-ERROR]\r\n"},
        {"(read-line)", "; Error: end of file on #<"},  // the stream's address varies
        {"(break \"stop here\")",
         "; Debugger entered: stop here\r\n;   [Condition of type SIMPLE-CONDITION]\r\n; Evaluation aborted"},
        {"(* 6 7)", "=> 42\r\n"},
    };
    for (const auto &c : cases) {
        std::string echo = std::string("CL-USER> ") + c.text + "\r\n";
        EXPECT_EQ(echo + c.shown, Evaluate(c.text, c.shown)) << c.text;
    }
}

TEST_F(ListenerLisp, PackageAndDefinitionsCarryOver)
{
    EXPECT_EQ("CL-USER> (defpackage :kt (:use :cl)) (in-package :kt) (defun twice (x) (* 2 x))\r\n"
              "=> #<PACKAGE \"KT\">\r\n=> #<PACKAGE \"KT\">\r\n=> TWICE\r\n",
              Evaluate("(defpackage :kt (:use :cl)) (in-package :kt) (defun twice (x) (* 2 x))", "=> TWICE\r\n"));
    EXPECT_EQ("KT> (twice 21)\r\n=> 42\r\n", Evaluate("(twice 21)", "=> 42\r\n"));
    EXPECT_EQ("KT> (in-package :cl-user)\r\n=> #<PACKAGE \"COMMON-LISP-USER\">\r\n",
              Evaluate("(in-package :cl-user)", "\"COMMON-LISP-USER\">\r\n"));
    EXPECT_EQ("CL-USER> (kt::twice 5)\r\n=> 10\r\n", Evaluate("(kt::twice 5)", "=> 10\r\n"));
}

TEST_F(ListenerLisp, AnEndlessLoopIsInterrupted)
{
    EXPECT_EQ("CL-USER> (loop)\r\n", Evaluate("(loop)", "(loop)\r\n"));
    size_t from = Transcript(Listener).size();
    ShowText("(+ 2 2)", 0, 7);
    EvalCommand();
    PumpFor(300);
    EXPECT_EQ(std::string::npos, Transcript(Listener).find("=> 4", from)) << "waits behind the loop";
    ListenerCommand(Listener, IDM_INTERRUPT);
    EXPECT_TRUE(WaitForTranscript(Listener, "; Interrupted.\r\nCL-USER> (+ 2 2)\r\n=> 4\r\n", 10000, from))
        << Transcript(Listener).substr(from);
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
    std::string shown = Evaluate(text, expected);
    EXPECT_EQ(expected, shown.substr(shown.size() - std::min(shown.size(), expected.size())));
}

// A thousand evaluations (10000 with QUILLON_SOAK=full) sent as fast as the
// editor can, in batches of 500 so that each batch's results are still in
// the transcript (which keeps its last 100000 characters) when they are read.
// The working set may grow by the transcript's text and the heap's slack
// until the transcript is full (it then holds between 75000 and 100000
// characters), about half a megabyte; from then on (or from the start, when
// the run ends before) it must stay within 2 MiB, what a leak of 2 KiB per
// evaluation would add over a thousand.
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
        if (!memoryWhenFull && transcript.size() >= 75000)
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

// -lisp starts the Lisp (here SBCL, a Linux program Wine starts by its Unix
// path), connects once it serves, and asks it to quit at the end.
TEST(ListenerStartsItsLisp, StartsConnectsAndEndsIt)
{
    const char *core = getenv("KESTRALUNE_TEST_CORE"), *port = getenv("KESTRALUNE_TEST_PORT2");
    ASSERT_TRUE(core && port) << "run through tests/listener/with_swank.sh";
    std::string command = std::string("/usr/bin/sbcl --core ") + core +
                          " --noinform --no-sysinit --no-userinit --eval \\\"(kestralune-lisp:serve " + port + ")\\\"";
    Program own = StartListener(std::string("-port ") + port + " -lisp \"" + command + "\"");
    if (!own.main && own.info.hProcess)
        WaitForExit(own, 0);  // not started as it should: ended here
    ASSERT_NE(nullptr, own.main);
    EXPECT_TRUE(WaitForCaption(own, "KESTRALUNE - connected to SBCL ", 30000)) << Caption(own);
    EXPECT_TRUE(WaitForTranscript(own, "; Started the Lisp: /usr/bin/sbcl")) << Transcript(own);
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
