// The listener between the editor's real "Eval Selection" (in this process)
// and a Swank server played by the test: what the user sees when no Lisp
// listens, when the Lisp goes away mid-evaluation, when it sends frames that
// cannot be read, answers that match no request, odd debugger levels and
// control characters; that output of the newer Swank is acknowledged; that
// a form too long for one frame is refused; that the secret goes first, read
// where the Lisp reads it, and that a Lisp refusing it is said to want
// another; that connecting that fails is said once and one that takes long
// is waited for; that the text reaches the wire unchanged; that saving the
// history holds up no evaluation; and that a Windows Lisp started with -lisp
// is the program named and ends with the listener.
#include "tests/listener/listenertest.h"
#include "editor/editor.h"
#include "listener/win32/codepage.h"
#include "listener/win32/resource.h"
#include "tests/evallink/linktest.h"
#include "tests/support/wintest.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include <algorithm>

#include <vector>

namespace {

typedef std::vector<std::string> Texts;

const char ConnectedCaption[] = "KESTRALUNE - connected to FAKE 1.0";
const char NotConnectedCaption[] = "KESTRALUNE - not connected";

std::string Number(long n)
{
    return std::to_string(n);
}

std::string Returned(long id, const std::string &answer = "(:ok nil)")
{
    return "(:return " + answer + " " + Number(id) + ")";
}

// Where two long texts part, so a failure does not print megabytes.
std::string Difference(const std::string &expected, const std::string &got)
{
    size_t at = 0;
    while (at < expected.size() && at < got.size() && expected[at] == got[at])
        at++;
    return "expected " + Number((long)expected.size()) + " bytes, got " + Number((long)got.size()) +
           "; first difference at " + Number((long)at) + ": expected \"" + expected.substr(at, 60) + "\", got \"" +
           got.substr(at, 60) + "\"";
}

std::string Framed(const std::string &payload)
{
    std::string frame;
    EncodeFrame(payload, &frame);
    return frame;
}

std::string Replace(std::string text, const std::string &what, const std::string &with)
{
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
    return text;
}

class ListenerFaults : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        StartEditorWithLink();
        WatchDialogs();
    }
    void SetUp() override
    {
        ASSERT_TRUE(ListenSwank(swank));
        Start("");
    }
    void TearDown() override
    {
        EXPECT_EQ(0u, StopListener(listener)) << "the listener ends cleanly, whatever it met";
        CloseSwank(swank);
    }
    void Start(const std::string &options, const std::vector<std::string> &environment = {})
    {
        listener = StartListener("-port " + Number(swank.port) + options, environment);
        ASSERT_NE(nullptr, listener.main);
        TakeSeenDialogs();
    }
    // A listener of its own on a port of its own, so that no connection of
    // the one before waits to be accepted.
    void Restart(const std::string &options, const std::vector<std::string> &environment = {})
    {
        EXPECT_EQ(0u, StopListener(listener));
        CloseSwank(swank);
        ASSERT_TRUE(ListenSwank(swank));
        Start(options, environment);
    }
    // Evaluates the text from the editor; the notices it raised.
    static Texts Evaluate(const std::string &text)
    {
        ShowText(text, 0, (unsigned)text.size());
        EvalCommand();
        Texts notices;
        for (const SeenDialog &seen : TakeSeenDialogs())
            notices.push_back(seen.text);
        return notices;
    }
    void Connect()
    {
        std::string why;
        ASSERT_TRUE(GreetListener(swank, nullptr, &why)) << why;
        ASSERT_TRUE(WaitForCaption(listener, ConnectedCaption)) << Caption(listener);
    }
    // Evaluates the text from the editor and reads the request for its
    // first form, which must be form; its id, or -1.
    long Begin(const std::string &text, const std::string &form)
    {
        EXPECT_EQ(Texts{}, Evaluate(text));
        std::string request = ReadRequest(swank);
        long id = RequestId(request);
        EXPECT_EQ(ListenerEvalRequest(form, id), request);
        return request == ListenerEvalRequest(form, id) ? id : -1;
    }
    // Reads the request for the name of the thread, which a thread's first
    // debugger level brings, and answers it with name; its id, or -1.
    long NameThread(const std::string &thread, const std::string &name)
    {
        std::string request = ReadRequest(swank);
        long id = RequestId(request);
        EXPECT_EQ("(:emacs-rex (kestralune-listener:thread-name " + thread + ") \"COMMON-LISP-USER\" t " +
                      Number(id) + ")",
                  request);
        EXPECT_TRUE(SendPayload(swank, Returned(id, "(:ok " + LispString(name) + ")")));
        return id;
    }
    // Sends a ping and reads up to its pong: what the listener sent before
    // it, one message a line, "" when nothing. Whatever was sent to the
    // listener before the ping has been handled by then, and shown: the
    // listener answers a message to its window only once it is back in its
    // message loop.
    std::string UntilPong()
    {
        static int tags = 100;
        std::string pong = "(:emacs-pong 1 " + Number(++tags) + ")";
        if (!SendPayload(swank, "(:ping 1 " + Number(tags) + ")"))
            return "(the ping could not be sent)";
        std::string before;
        for (;;) {
            std::string got = ReadRequest(swank);
            if (got.empty())
                return before + "(no pong)";
            if (got == pong)
                break;
            before += got.substr(0, 300) + "\n";
        }
        DWORD_PTR result;
        if (!SendMessageTimeoutW(listener.main, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result))
            before += "(the window did not answer)";
        return before;
    }
    FakeSwank swank;
    Program listener;
};

TEST_F(ListenerFaults, NoLispListening)
{
    CloseSwank(swank);  // the port is free again: nobody answers on it
    ASSERT_TRUE(WaitForCaption(listener, NotConnectedCaption)) << Caption(listener);
    EXPECT_EQ(Texts{"Transaction failed"}, Evaluate("(+ 1 2)"));
    EXPECT_TRUE(WaitForTranscript(listener, "while no Lisp is connected; it was not taken")) << Transcript(listener);
}

TEST_F(ListenerFaults, LispLostMidEvaluationThenBack)
{
    Connect();
    DWORD start = GetTickCount();
    EXPECT_EQ(4, Begin("(first)", "(first)"));
    // The Lisp never answers: the next two wait in the listener, and the
    // editor is never kept waiting for them.
    EXPECT_EQ(Texts{}, Evaluate("(second)\r\n(more)"));
    EXPECT_EQ(Texts{}, Evaluate("(third)"));
    EXPECT_LT(GetTickCount() - start, 5000u);
    EXPECT_EQ("", UntilPong()) << "one form at a time";

    ClosePeer(swank);
    ASSERT_TRUE(WaitForTranscript(listener, "; Did not run: (third)")) << Transcript(listener);
    std::string transcript = Transcript(listener);
    EXPECT_NE(std::string::npos,
              transcript.find("CL-USER> (first)\r\n"
                              "; Connection to the Lisp lost: the Lisp closed the connection.\r\n"
                              "; Did not finish: (first)\r\n"
                              "; Did not run: (second) ...\r\n"
                              "; Did not run: (third)\r\n"))
        << transcript;
    EXPECT_TRUE(WaitForCaption(listener, NotConnectedCaption)) << Caption(listener);

    // The listener tries again every second: the Lisp is back, and what did
    // not run is not sent again.
    Connect();
    EXPECT_EQ(4, Begin("(fourth)", "(fourth)"));
    ASSERT_TRUE(SendPayload(swank, "(:write-string \"4\n\" :repl-result)"));
    ASSERT_TRUE(SendPayload(swank, Returned(4)));
    EXPECT_TRUE(WaitForTranscript(listener, "CL-USER> (fourth)\r\n=> 4\r\n")) << Transcript(listener);
}

TEST_F(ListenerFaults, UnreadableFramesCloseTheConnectionWithAMessage)
{
    const std::string deep = std::string(70, '(') + std::string(70, ')');
    struct {
        const char *what;
        std::string bytes;
        bool thenClose;
        const char *message;
    } cases[] = {
        {"header not hex", "00x010(:write-string \"x\")", false, "did not begin with its length"},
        {"cut off by the close", "000040(:write-string \"half", true,
         "closed the connection in the middle of a message"},
        {"an unclosed list", Framed("(:a (b"), false, "malformed message"},
        {"two s-expressions", Framed("(:a) (:b)"), false, "malformed message"},
        {"an empty payload", Framed(""), false, "malformed message"},
        {"a string, not a list", Framed("\"x\""), false, "malformed message"},
        {"a list that does not begin with a name", Framed("((:return) 1)"), false, "malformed message"},
        {"lists nested 70 deep", Framed(deep), false, "malformed message"},
    };
    for (const auto &c : cases) {
        Connect();
        size_t before = Transcript(listener).size();
        ASSERT_TRUE(SendRaw(swank, c.bytes)) << c.what;
        if (c.thenClose)
            ClosePeer(swank);
        EXPECT_TRUE(WaitForTranscript(listener, c.message, 10000, before))
            << c.what << "\n" << Transcript(listener).substr(before);
        EXPECT_TRUE(WaitForCaption(listener, NotConnectedCaption)) << c.what;
        ClosePeer(swank);
    }
}

TEST_F(ListenerFaults, LongTextWithQuotesBackslashesAndHighBytesReachesTheWireUnchanged)
{
    Connect();
    // One form: a string holding escaped quotes and backslashes, bytes above
    // 127 of the ANSI code page, and line breaks; blanks after it.
    const char *pieces[] = {"q", "\\\"", "b", "\\\\", "\xe9", "\xff", "\x80", "\xa0", "|", ";", "#", "\r\n"};
    std::string form = "(list \"";
    for (int i = 0; form.size() < 30990; i++)
        form += pieces[i % 12];
    form += "\")";
    std::string text = form;
    text.resize(31000, ' ');
    EXPECT_EQ(Texts{}, Evaluate(text));
    // The editor's text is in the ANSI code page (1252 here); Swank's is UTF-8.
    ASSERT_EQ(1252u, GetACP());
    auto utf8 = [](const std::string &ansi) {
        int wide = MultiByteToWideChar(1252, 0, ansi.data(), (int)ansi.size(), NULL, 0);
        std::wstring utf16(wide, L'\0');
        MultiByteToWideChar(1252, 0, ansi.data(), (int)ansi.size(), &utf16[0], wide);
        std::string out(WideCharToMultiByte(CP_UTF8, 0, utf16.data(), wide, NULL, 0, NULL, NULL), '\0');
        WideCharToMultiByte(CP_UTF8, 0, utf16.data(), wide, &out[0], (int)out.size(), NULL, NULL);
        return out;
    };
    std::string request = ReadRequest(swank), expected = ListenerEvalRequest(utf8(form), 4);
    EXPECT_TRUE(expected == request) << Difference(expected, request);
    Sexp read;
    ASSERT_TRUE(ReadSexp(request, &read));
    ASSERT_TRUE(Item(read, 1) && Item(*Item(read, 1), 1));
    std::string got = Item(*Item(read, 1), 1)->text;
    EXPECT_TRUE(utf8(form) == got) << "read back as the Lisp reads it: " << Difference(utf8(form), got);
    // The echo shows the same characters, and says how many there are.
    EXPECT_TRUE(WaitForTranscript(listener, "CL-USER> (list \"q\\\"b\\\\\xc3\xa9\xc3\xbf\xe2\x82\xac\xc2\xa0|;#\r\n"))
        << Transcript(listener).substr(0, 300);
    std::string transcript = Transcript(listener);
    size_t count = transcript.find("; ... (");
    ASSERT_NE(std::string::npos, count) << transcript.substr(0, 300);
    EXPECT_EQ("; ... (31000 characters in all)", transcript.substr(count, 31));
}

TEST_F(ListenerFaults, FloodsOfOutputKeepTheNewestLines)
{
    struct {
        const char *what;
        int lines;
        size_t piece;        // bytes of output a message
        const char *thread;  // the newer Swank's: it waits for (:write-done THREAD) after each
    } cases[] = {
        {"two megabytes in messages of 8000 bytes", 40000, 8000, nullptr},
        {"five megabytes in one message", 100000, 100000 * 53, nullptr},
        {"two megabytes in messages of 8000 bytes, each acknowledged", 40000, 8000, "9"},
    };
    Connect();
    for (const auto &c : cases) {
        long id = Begin("(flood)", "(flood)");
        ASSERT_GT(id, 0) << c.what;
        // Numbered lines of 53 characters, 55 once shown with CR LF.
        std::string output;
        char line[64];
        for (int i = 0; i < c.lines; i++) {
            snprintf(line, sizeof line, "output line %06d ..................................\n", i);
            output += line;
        }
        std::string tail = c.thread ? std::string(" nil ") + c.thread + ")" : ")";
        for (size_t at = 0; at < output.size(); at += c.piece) {
            ASSERT_TRUE(SendPayload(swank, "(:write-string " + LispString(output.substr(at, c.piece)) + tail))
                << c.what;
            if (c.thread) {
                ASSERT_EQ(std::string("(:write-done ") + c.thread + ")", ReadRequest(swank)) << c.what;
            }
        }
        ASSERT_TRUE(SendPayload(swank, "(:write-string \"NIL\n\" :repl-result)"));
        ASSERT_TRUE(SendPayload(swank, Returned(id)));
        snprintf(line, sizeof line, "output line %06d ..................................\r\n=> NIL\r\n",
                 c.lines - 1);
        ASSERT_TRUE(WaitForTranscript(listener, line, 60000)) << c.what << "\n" << Transcript(listener).substr(0, 200);
        std::string transcript = Transcript(listener);
        // The listener keeps at least the newest million characters, and
        // cuts the oldest once it holds a quarter more; line breaks become CR LF.
        EXPECT_LE(transcript.size(), 1250000u) << c.what;
        EXPECT_GE(transcript.size(), 1000000u) << c.what;
        // What is kept starts at a line start and runs without a gap to the end.
        size_t first = transcript.find("output line ");
        ASSERT_NE(std::string::npos, first) << c.what;
        EXPECT_TRUE(first == 0 || transcript[first - 1] == '\n') << c.what;
        int number = atoi(transcript.c_str() + first + 12);
        snprintf(line, sizeof line, "output line %06d", number + 1000);
        EXPECT_EQ(first + 1000 * 55, transcript.find(line)) << c.what << ": 1000 lines on, line " << number + 1000;
        EXPECT_EQ(ConnectedCaption, Caption(listener)) << c.what;
    }
    // Line breaks count twice: empty lines as many as the limit in bytes
    // still end with their value.
    long id = Begin("(blank)", "(blank)");
    ASSERT_GT(id, 0);
    ASSERT_TRUE(SendPayload(swank, "(:write-string " + LispString(std::string(1000000, '\n')) + ")"));
    ASSERT_TRUE(SendPayload(swank, "(:write-string \"NIL\n\" :repl-result)"));
    ASSERT_TRUE(SendPayload(swank, Returned(id)));
    EXPECT_TRUE(WaitForTranscript(listener, "\r\n\r\n=> NIL\r\n", 60000));
    EXPECT_LE(Transcript(listener).size(), 1250000u);
    EXPECT_GE(Transcript(listener).size(), 1000000u);
}

namespace {

// Lines "line N" from first to last, 55 characters each once shown.
std::string NumberedLines(int first, int last)
{
    std::string lines;
    char line[64];
    for (int i = first; i <= last; i++) {
        snprintf(line, sizeof line, "line %06d ..........................................\n", i);
        lines += line;
    }
    return lines;
}

// The text of the transcript's line (ASCII here: characters are bytes).
std::string ShownLine(HWND view, const std::string &text, LRESULT line)
{
    LRESULT start = SendMessageW(view, EM_LINEINDEX, line, 0);
    if (start < 0 || (size_t)start > text.size())
        return "(no line " + std::to_string(line) + ")";
    return text.substr(start, text.find("\r\n", start) - start);
}

}  // namespace

// A user who scrolled up, or selected text to copy, keeps both while output
// comes, also when the oldest lines go to make room; from the end of the
// transcript the view follows the output.
TEST_F(ListenerFaults, OutputKeepsTheUsersViewAndSelectionAndFollowsFromTheEnd)
{
    Connect();
    HWND view = GetDlgItem(listener.main, ID_TRANSCRIPT);
    long id = Begin("(print-lines)", "(print-lines)");
    ASSERT_GT(id, 0);
    auto Print = [&](int first, int last) {
        const std::string lines = NumberedLines(first, last);
        for (size_t at = 0; at < lines.size(); at += 8000)
            if (!SendPayload(swank, "(:write-string " + LispString(lines.substr(at, 8000)) + ")"))
                return false;
        std::string shown = NumberedLines(last, last);
        return WaitForTranscript(listener, shown.substr(0, shown.size() - 1) + "\r\n", 60000);
    };
    ASSERT_TRUE(Print(0, 11999));
    std::string text = Transcript(listener);
    LRESULT lines = SendMessageW(view, EM_GETLINECOUNT, 0, 0);
    LRESULT atEnd = SendMessageW(view, EM_GETFIRSTVISIBLELINE, 0, 0);
    EXPECT_GT(atEnd, lines - 100) << "the view followed the output";

    // Up to line 11090, with line 11100's number selected.
    const size_t selected = text.find("line 011100");
    ASSERT_NE(std::string::npos, selected);
    SendMessageW(view, EM_SETSEL, selected, selected + 11);
    SendMessageW(view, EM_LINESCROLL, 0,
                 SendMessageW(view, EM_LINEFROMCHAR, selected, 0) - 10 - SendMessageW(view, EM_GETFIRSTVISIBLELINE, 0, 0));
    const std::string top = ShownLine(view, text, SendMessageW(view, EM_GETFIRSTVISIBLELINE, 0, 0));
    ASSERT_EQ(0u, top.find("line 011090")) << top;

    // 660000 characters more: the oldest lines go, the view and the selection stay.
    ASSERT_TRUE(Print(12000, 23999));
    text = Transcript(listener);
    EXPECT_EQ(std::string::npos, text.find("line 000000 ")) << "the oldest lines went";
    DWORD start = 0, end = 0;
    SendMessageW(view, EM_GETSEL, (WPARAM)&start, (LPARAM)&end);
    EXPECT_EQ("line 011100", text.substr(start, end - start));
    EXPECT_EQ(top, ShownLine(view, text, SendMessageW(view, EM_GETFIRSTVISIBLELINE, 0, 0)));

    // Back at the end, the view follows again.
    const LRESULT length = SendMessageW(view, WM_GETTEXTLENGTH, 0, 0);
    SendMessageW(view, EM_SETSEL, length, length);
    SendMessageW(view, EM_SCROLLCARET, 0, 0);
    ASSERT_TRUE(Print(24000, 24999));
    lines = SendMessageW(view, EM_GETLINECOUNT, 0, 0);
    EXPECT_GT(SendMessageW(view, EM_GETFIRSTVISIBLELINE, 0, 0), lines - 100);
    ASSERT_TRUE(SendPayload(swank, Returned(id)));
    EXPECT_EQ(id + 1, Begin("(next)", "(next)"));
}

namespace {

// The selection of the transcript of another process, as offsets.
std::pair<DWORD, DWORD> Selection(HWND view)
{
    DWORD start = 0, end = 0;
    SendMessageW(view, EM_GETSEL, (WPARAM)&start, (LPARAM)&end);
    return {start, end};
}

// A mouse message at the character's place, a pixel into it.
void MouseAt(HWND view, UINT message, WPARAM keys, LRESULT place)
{
    SendMessageW(view, message, keys, MAKELPARAM(LOWORD(place) + 1, HIWORD(place) + 1));
}

std::string ClipboardText()
{
    std::string text = "(no text)";
    DWORD start = GetTickCount();
    while (!OpenClipboard(NULL)) {
        if (GetTickCount() - start > 2000)
            return "(clipboard not open)";
        Sleep(10);
    }
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    if (const wchar_t *wide = data ? (const wchar_t *)GlobalLock(data) : NULL) {
        text = WideToUtf8(wide, wcslen(wide));
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

}  // namespace

// The mouse selects in the transcript as in an Edit control: a click and a
// drag, a Shift+click from the click, a double-click a word; Copy takes the
// selection with CR LF line breaks; the wheel and the page keys scroll.
TEST_F(ListenerFaults, TheTranscriptSelectsCopiesAndScrolls)
{
    Connect();
    HWND view = GetDlgItem(listener.main, ID_TRANSCRIPT);
    long id = Begin("(print-lines)", "(print-lines)");
    ASSERT_GT(id, 0);
    ASSERT_TRUE(SendPayload(swank, "(:write-string " + LispString(NumberedLines(0, 299)) + ")"));
    ASSERT_TRUE(WaitForTranscript(listener, NumberedLines(299, 299).substr(0, 11)));
    const std::string text = Transcript(listener);
    const LRESULT top = SendMessageW(view, EM_GETFIRSTVISIBLELINE, 0, 0);
    ASSERT_GT(top, 200) << "the view followed the output";
    // Two lines in sight.
    const LRESULT first = SendMessageW(view, EM_LINEINDEX, top + 2, 0), second = SendMessageW(view, EM_LINEINDEX, top + 3, 0);
    ASSERT_EQ(0u, text.compare(first, 5, "line "));
    const LRESULT a = SendMessageW(view, EM_POSFROMCHAR, first + 5, 0), b = SendMessageW(view, EM_POSFROMCHAR, second + 3, 0);
    ASSERT_NE(-1, a);
    ASSERT_GT(HIWORD(b), HIWORD(a));

    MouseAt(view, WM_LBUTTONDOWN, MK_LBUTTON, a);
    MouseAt(view, WM_MOUSEMOVE, MK_LBUTTON, b);
    MouseAt(view, WM_LBUTTONUP, 0, b);
    EXPECT_EQ(std::make_pair((DWORD)first + 5, (DWORD)second + 3), Selection(view)) << "dragged";
    SendMessageW(view, WM_COPY, 0, 0);
    EXPECT_EQ(text.substr(first + 5, second + 3 - first - 5), ClipboardText());
    EXPECT_EQ("\r\nlin", ClipboardText().substr(second - 2 - first - 5));

    MouseAt(view, WM_LBUTTONDOWN, MK_LBUTTON, b);
    MouseAt(view, WM_LBUTTONUP, 0, b);
    EXPECT_EQ(std::make_pair((DWORD)second + 3, (DWORD)second + 3), Selection(view)) << "a click";
    MouseAt(view, WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, a);
    MouseAt(view, WM_LBUTTONUP, MK_SHIFT, a);
    EXPECT_EQ(std::make_pair((DWORD)first + 5, (DWORD)second + 3), Selection(view)) << "Shift+click";
    MouseAt(view, WM_LBUTTONDBLCLK, MK_LBUTTON, a);
    MouseAt(view, WM_LBUTTONUP, 0, a);
    EXPECT_EQ(std::make_pair((DWORD)first + 5, (DWORD)first + 11), Selection(view)) << "the number double-clicked";

    // A selection holds the view while output comes; the keys and the wheel scroll.
    const LRESULT page = SendMessageW(view, EM_GETFIRSTVISIBLELINE, 0, 0);
    ASSERT_TRUE(SendPayload(swank, "(:write-string " + LispString(NumberedLines(300, 399)) + ")"));
    ASSERT_TRUE(WaitForTranscript(listener, NumberedLines(399, 399).substr(0, 11)));
    EXPECT_EQ(page, SendMessageW(view, EM_GETFIRSTVISIBLELINE, 0, 0));
    struct {
        const char *what;
        UINT message;
        WPARAM wParam;
        long lines;  // how far the first line in sight moves
    } keys[] = {
        {"Up", WM_KEYDOWN, VK_UP, -1},
        {"Down", WM_KEYDOWN, VK_DOWN, 1},
        {"the wheel towards the user", WM_MOUSEWHEEL, MAKEWPARAM(0, (WORD)-WHEEL_DELTA), 3},
        {"the wheel away", WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), -3},
    };
    for (const auto &k : keys) {
        LRESULT before = SendMessageW(view, EM_GETFIRSTVISIBLELINE, 0, 0);
        SendMessageW(view, k.message, k.wParam, 0);
        EXPECT_EQ(before + k.lines, SendMessageW(view, EM_GETFIRSTVISIBLELINE, 0, 0)) << k.what;
    }
    LRESULT before = SendMessageW(view, EM_GETFIRSTVISIBLELINE, 0, 0);
    SendMessageW(view, WM_KEYDOWN, VK_PRIOR, 0);
    LRESULT up = before - SendMessageW(view, EM_GETFIRSTVISIBLELINE, 0, 0);
    EXPECT_GT(up, 3) << "PgUp: a page";
    SendMessageW(view, WM_KEYDOWN, VK_NEXT, 0);
    EXPECT_EQ(before, SendMessageW(view, EM_GETFIRSTVISIBLELINE, 0, 0)) << "PgDn: the page back";
    ASSERT_TRUE(SendPayload(swank, Returned(id)));
}

TEST_F(ListenerFaults, PingsAreAnsweredAndOddOnesIgnored)
{
    Connect();
    ASSERT_TRUE(SendPayload(swank, "(:ping 7 42)"));
    EXPECT_EQ("(:emacs-pong 7 42)", ReadRequest(swank));
    for (const char *odd : {"(:ping)", "(:ping 7)", "(:ping (7) 42)", "(:ping 7 \"42\")"}) {
        ASSERT_TRUE(SendPayload(swank, odd));
        EXPECT_EQ("", UntilPong()) << odd;
    }
    EXPECT_EQ(ConnectedCaption, Caption(listener));
}

// Swank 2.28 and later send output as (:write-string TEXT nil THREAD) and
// write no more until the client answers (:write-done THREAD); the older
// Swank sends (:write-string TEXT) and wants no answer.
TEST_F(ListenerFaults, OutputOfTheNewerSwankIsAcknowledgedEachTime)
{
    struct {
        const char *what;
        std::vector<std::string> texts;  // each TEXT as it goes on the wire
        const char *thread;              // null: the older form, without target and thread
        const char *shown;
    } cases[] = {
        {"two lines", {"\"one\n\"", "\"two\n\""}, "12", "one\r\ntwo\r\n=> 3\r\n"},
        {"an empty text first", {"\"\"", "\"x\n\""}, "12", "x\r\n=> 3\r\n"},
        {"a line left open before the value", {"\"abc\""}, "7", "abc\r\n=> 3\r\n"},
        {"a thread of many digits", {"\"big\n\""}, "123456789012", "big\r\n=> 3\r\n"},
        {"a text that is not a string", {"42", "\"after\n\""}, "12", "after\r\n=> 3\r\n"},
        {"the older form", {"\"old\n\"", "\"er\n\""}, nullptr, "old\r\ner\r\n=> 3\r\n"},
    };
    Connect();
    for (const auto &c : cases) {
        size_t from = Transcript(listener).size();
        long id = Begin("(out) (next)", "(out)");
        ASSERT_GT(id, 0) << c.what;
        for (const std::string &text : c.texts) {
            ASSERT_TRUE(SendPayload(swank, "(:write-string " + text +
                                               (c.thread ? std::string(" nil ") + c.thread + ")" : ")")))
                << c.what;
            if (c.thread) {
                EXPECT_EQ(std::string("(:write-done ") + c.thread + ")", ReadRequest(swank)) << c.what << ": " << text;
            }
        }
        ASSERT_TRUE(SendPayload(swank, "(:write-string \"3\n\" :repl-result)"));
        ASSERT_TRUE(SendPayload(swank, Returned(id)));
        // The next form goes once the first has returned, and nothing else
        // was sent in between.
        EXPECT_EQ(ListenerEvalRequest("(next)", id + 1), ReadRequest(swank)) << c.what;
        ASSERT_TRUE(SendPayload(swank, Returned(id + 1)));
        EXPECT_TRUE(WaitForTranscript(listener, std::string("CL-USER> (out) (next)\r\n") + c.shown, 10000, from))
            << c.what << "\n" << Transcript(listener).substr(from);
    }
}

// (:debug THREAD LEVEL (MESSAGE TYPE EXTRAS) RESTARTS FRAMES CONTINUATIONS)
// with parts missing or of the wrong kind opens no debugger and harms nothing.
TEST_F(ListenerFaults, DebugMessagesThatCannotBeShownAreIgnored)
{
    const char *payloads[] = {
        "(:debug)",
        "(:debug 7)",
        "(:debug 7 1)",
        "(:debug 7 0 (\"level zero\" \"T\" nil) ((\"ABORT\" \"a\")) ((0 \"f\")) (4))",
        "(:debug 7 -1 (\"level below zero\" \"T\" nil) ((\"ABORT\" \"a\")) ((0 \"f\")) (4))",
        "(:debug 7 \"1\" (\"level a string\" \"T\" nil) ((\"ABORT\" \"a\")) ((0 \"f\")) (4))",
        "(:debug 7 one (\"level a symbol\" \"T\" nil) ((\"ABORT\" \"a\")) ((0 \"f\")) (4))",
        "(:debug (7) 1 (\"thread a list\" \"T\" nil) ((\"ABORT\" \"a\")) ((0 \"f\")) (4))",
        "(:debug 7 1 \"condition a string\" ((\"ABORT\" \"a\")) ((0 \"f\")) (4))",
        "(:debug 7 1 (42 \"T\" nil) ((\"ABORT\" \"a\")) ((0 \"f\")) (4))",
        "(:debug 7 1 () ((\"ABORT\" \"a\")) ((0 \"f\")) (4))",
        "(:debug-activate 7 1 nil)",
        "(:debug-return 7 1 nil)",
        "(:debug-return)",
        "(:debug-condition 7)",
    };
    Connect();
    long id = Begin("(fails)", "(fails)");
    ASSERT_GT(id, 0);
    size_t from = Transcript(listener).size();
    for (const char *payload : payloads) {
        ASSERT_TRUE(SendPayload(swank, payload));
        EXPECT_EQ("", UntilPong()) << payload;
        EXPECT_TRUE(ListenerAnswers(listener)) << payload;
        EXPECT_EQ(nullptr, DebuggerWindowOf(listener, 0)) << payload;
    }
    EXPECT_EQ(std::string::npos, Transcript(listener).find("; Debugger", from)) << Transcript(listener).substr(from);
    EXPECT_EQ(ConnectedCaption, Caption(listener));
    // The evaluation goes on, and ends as usual.
    ASSERT_TRUE(SendPayload(swank, Returned(id)));
    EXPECT_EQ(id + 1, Begin("(next)", "(next)"));
}

// Each level that can be shown opens the debugger window with its restarts
// and frames; a digit asks for that restart of that level on that thread
// (Esc for the abort when there is none), and the level's return closes it.
TEST_F(ListenerFaults, DebuggerLevelsOpenTakeARestartAndClose)
{
    std::string lines;
    for (int i = 0; lines.size() < 1000000; i++)
        lines += "line " + Number(i) + " of a long message .......................................\n";
    // As in "The value 1234... is not of type LIST" for a large integer.
    std::string digits = "The value ";
    for (int i = 0; i < 100000; i++)
        digits += (char)('0' + (i * 7 + 3) % 10);
    digits += " is not of type LIST";
    struct {
        const char *what;
        std::string thread, message, rest;  // rest: RESTARTS FRAMES CONTINUATIONS
        Texts restarts, frames;
        std::string shown;      // the transcript's line
        std::string condition;  // how the condition's text begins
    } cases[] = {
        {"a whole level",
         "7",
         "Division by zero",
         "((\"RETRY\" \"Retry the evaluation.\") (\"ABORT\" \"Return to top level.\")) "
         "((0 \"(/ 1 0)\") (1 \"(EVAL (/ 1 0))\")) (4)",
         {"0: [RETRY] Retry the evaluation.", "1: [ABORT] Return to top level."},
         {"0: (/ 1 0)", "1: (EVAL (/ 1 0))"},
         "; Debugger, level 1: Division by zero\r\n",
         "Division by zero\r\n   [Condition of type T]"},
        {"no restarts, no frames", "8", "bare", "nil nil nil", {}, {}, "; Debugger, level 1: bare\r\n",
         "bare\r\n"},
        {"restarts and frames not lists", "8", "odd", "\"restarts\" 42", {}, {}, "; Debugger, level 1: odd\r\n",
         "odd\r\n"},
        {"odd items among good ones",
         "12",
         "odd items",
         "((1 2) (\"ABORT\") (\"X\" \"y\" \"extra\") \"z\" nil) ((a b) (0) (3 \"three\") 5 nil) nil",
         {"0: [X] y"},
         {"3: three"},
         "; Debugger, level 1: odd items\r\n",
         "odd items\r\n"},
        {"control characters and characters outside the code page",
         "7",
         std::string("a\0b\x1b[1m \xce\xbb\n\xe2\x9c\x93", 14),
         "((\"AB\x01\" \"Zur\xc3\xbc" "ck \xce\xbb \xf0\x9f\x98\x80\")) ((0 \"(f #\\\\\x07)\")) nil",
         {"0: [AB^A] Zur\xc3\xbc" "ck \xce\xbb \xf0\x9f\x98\x80"},
         {"0: (f #\\^G)"},
         "; Debugger, level 1: a^@b^[[1m \xce\xbb\r\n",
         "a^@b^[[1m \xce\xbb\r\n\xe2\x9c\x93\r\n"},
        {"a megabyte of message in lines", "7", lines, "((\"ABORT\" \"a\")) ((0 \"f\")) nil", {"0: [ABORT] a"},
         {"0: f"}, "; Debugger, level 1: line 0 of a long message", "line 0 of a long message ...."},
        {"a message with a word of 100000 characters", "7", digits, "((\"ABORT\" \"a\")) ((0 \"f\")) nil",
         {"0: [ABORT] a"}, {"0: f"}, "; Debugger, level 1: The value 3074185296", "The value 3074185296"},
    };
    Connect();
    long id = Begin("(fails)", "(fails)");
    ASSERT_GT(id, 0);
    long next = id + 1;
    std::vector<std::string> named;  // the threads whose names were asked for
    for (const auto &c : cases) {
        DWORD start = GetTickCount();
        ASSERT_TRUE(SendPayload(swank, "(:debug " + c.thread + " 1 (" + LispString(c.message) +
                                           " \"   [Condition of type T]\" nil) " + c.rest + ")"));
        ASSERT_TRUE(SendPayload(swank, "(:debug-activate " + c.thread + " 1 nil)"));
        if (std::find(named.begin(), named.end(), c.thread) == named.end()) {
            named.push_back(c.thread);
            next = NameThread(c.thread, "worker " + c.thread) + 1;
        }
        HWND debugger = DebuggerWindowOf(listener, 10000);
        ASSERT_NE(nullptr, debugger) << c.what;
        EXPECT_EQ("", UntilPong()) << c.what;
        // A long message does not hold the listener up.
        EXPECT_LT(GetTickCount() - start, 5000u) << c.what;
        EXPECT_EQ("KESTRALUNE Debugger - worker " + c.thread + " - level 1", WindowText(debugger)) << c.what;
        EXPECT_EQ(c.condition, DebuggerCondition(debugger).substr(0, c.condition.size())) << c.what;
        EXPECT_EQ(c.restarts, DebuggerRestarts(debugger)) << c.what;
        EXPECT_EQ(c.frames, DebuggerFrames(debugger)) << c.what;
        EXPECT_TRUE(WaitForTranscript(listener, c.shown, 10000)) << c.what;
        EXPECT_EQ(std::string(ConnectedCaption) + " - in the debugger", Caption(listener)) << c.what;

        // A digit past the restarts asks for nothing.
        TypeInDebugger(debugger, L'9');
        EXPECT_EQ("", UntilPong()) << c.what;
        std::string request = c.restarts.empty() ? "(swank:sldb-abort)" : "(swank:invoke-nth-restart-for-emacs 1 0)";
        TypeInDebugger(debugger, c.restarts.empty() ? L'\x1b' : L'0');
        EXPECT_EQ("(:emacs-rex " + request + " \"COMMON-LISP-USER\" " + c.thread + " " + Number(next) + ")",
                  ReadRequest(swank))
            << c.what;
        ASSERT_TRUE(SendPayload(swank, "(:debug-return " + c.thread + " 1 nil)"));
        ASSERT_TRUE(SendPayload(swank, Returned(next++, "(:abort nil)")));
        EXPECT_TRUE(WaitForNoDebugger(listener)) << c.what;
        EXPECT_TRUE(WaitForCaption(listener, ConnectedCaption)) << c.what;
        EXPECT_EQ(ConnectedCaption, Caption(listener)) << c.what;
    }
    ASSERT_TRUE(SendPayload(swank, Returned(id, "(:abort \"Debugger left\")")));
    EXPECT_TRUE(WaitForTranscript(listener, "; Evaluation aborted: Debugger left\r\n"));
    EXPECT_EQ(next, Begin("(next)", "(next)"));
}

TEST_F(ListenerFaults, NestedDebuggerLevelsEachTakeTheirOwnRestarts)
{
    Connect();
    long id = Begin("(fails)", "(fails)");
    ASSERT_GT(id, 0);
    ASSERT_TRUE(SendPayload(swank, "(:debug 7 1 (\"outer\" \"T\" nil) ((\"ABORT\" \"Return to top level.\")) "
                                   "((0 \"(outer)\")) (4))"));
    ASSERT_TRUE(SendPayload(swank, "(:debug-activate 7 1 nil)"));
    EXPECT_EQ(id + 1, NameThread("7", "repl-thread"));
    HWND debugger = DebuggerWindowOf(listener);
    ASSERT_NE(nullptr, debugger);
    ASSERT_TRUE(SendPayload(swank, "(:debug 7 2 (\"inner\" \"T\" nil) ((\"USE-VALUE\" \"Use a value.\") (\"ABORT\" "
                                   "\"Return to debug level 1.\") (\"ABORT\" \"Return to top level.\")) "
                                   "((0 \"(inner)\") (1 \"(outer)\")) (4))"));
    ASSERT_TRUE(SendPayload(swank, "(:debug-activate 7 2 nil)"));
    EXPECT_EQ("", UntilPong());
    debugger = DebuggerWindowOf(listener);
    ASSERT_NE(nullptr, debugger);
    EXPECT_EQ("KESTRALUNE Debugger - repl-thread - level 2", WindowText(debugger));
    EXPECT_EQ((Texts{"0: [USE-VALUE] Use a value.", "1: [ABORT] Return to debug level 1.",
                     "2: [ABORT] Return to top level."}),
              DebuggerRestarts(debugger));

    TypeInDebugger(debugger, L'1');
    EXPECT_EQ("(:emacs-rex (swank:invoke-nth-restart-for-emacs 2 1) \"COMMON-LISP-USER\" 7 " + Number(id + 2) + ")",
              ReadRequest(swank));
    ASSERT_TRUE(SendPayload(swank, "(:debug-return 7 2 nil)"));
    ASSERT_TRUE(SendPayload(swank, Returned(id + 2, "(:abort nil)")));
    EXPECT_EQ("", UntilPong());
    // Back at level 1: its own restarts, and Esc aborts it.
    debugger = DebuggerWindowOf(listener);
    ASSERT_NE(nullptr, debugger);
    EXPECT_EQ("KESTRALUNE Debugger - repl-thread - level 1", WindowText(debugger));
    EXPECT_EQ(Texts{"0: [ABORT] Return to top level."}, DebuggerRestarts(debugger));
    EXPECT_EQ(Texts{"0: (outer)"}, DebuggerFrames(debugger));
    TypeInDebugger(debugger, L'\x1b');
    EXPECT_EQ("(:emacs-rex (swank:sldb-abort) \"COMMON-LISP-USER\" 7 " + Number(id + 3) + ")", ReadRequest(swank));
    ASSERT_TRUE(SendPayload(swank, "(:debug-return 7 1 nil)"));
    ASSERT_TRUE(SendPayload(swank, Returned(id + 3, "(:abort nil)")));
    EXPECT_TRUE(WaitForNoDebugger(listener));
    ASSERT_TRUE(SendPayload(swank, Returned(id, "(:abort nil)")));
    EXPECT_TRUE(WaitForTranscript(listener, "; Restart 1 [ABORT]: Return to debug level 1.\r\n"))
        << Transcript(listener);
    EXPECT_TRUE(WaitForTranscript(listener, "; Restart 0 [ABORT]: Return to top level.\r\n")) << Transcript(listener);
    EXPECT_TRUE(WaitForTranscript(listener, "; Evaluation aborted.\r\n")) << Transcript(listener);
    EXPECT_EQ(id + 4, Begin("(next)", "(next)"));
}

// A request Swank could not read is said; the connection stays, the
// evaluation it was ends, and the next one runs.
TEST_F(ListenerFaults, ARequestTheLispCouldNotReadKeepsTheConnection)
{
    Connect();
    long id = Begin("(unreadable)", "(unreadable)");
    ASSERT_GT(id, 0);
    ASSERT_TRUE(SendPayload(swank, "(:reader-error " + LispString(ListenerEvalRequest("(unreadable)", id)) +
                                       " \"Symbol X not found.\")"));
    EXPECT_TRUE(WaitForTranscript(listener, "; The Lisp could not read a request: Symbol X not found.\r\n"
                                            "; Evaluation aborted: Symbol X not found.\r\n"))
        << Transcript(listener);
    EXPECT_EQ("", UntilPong()) << "the connection stays";
    EXPECT_EQ(ConnectedCaption, Caption(listener));
    EXPECT_EQ(id + 1, Begin("(next)", "(next)"));
}

// Answers that belong to no request in flight change nothing; a refusal or
// an abort of the running form ends its text, and the next text runs.
TEST_F(ListenerFaults, AnswersMeetOnlyTheRequestTheyBelongTo)
{
    struct {
        const char *what;
        Texts sent;  // %ID%: the running form's id; %PREV%: an id answered before
        bool ends;
        const char *shown;
    } cases[] = {
        {"an answer for an id never used", {"(:return (:ok nil) 999)", "(:return (:abort \"x\") 0)"}, false, ""},
        {"ids that are not numbers", {"(:return (:ok nil) abc)", "(:return (:ok nil) \"%ID%\")"}, false, ""},
        {"malformed answers",
         {"(:return)", "(:return (:ok nil))", "(:return nil %ID%)", "(:return () %ID%)"},
         false,
         ""},
        {"a second answer for an id already answered",
         {"(:return (:abort \"late\") %PREV%)", "(:return (:ok nil) %PREV%)"},
         false,
         ""},
        {"a refusal of an id never used", {"(:invalid-rpc 999 \"no such\")"}, false,
         "; The Lisp refused a request: no such\r\n"},
        {"a refusal of an id already answered", {"(:invalid-rpc %PREV% \"stale\")"}, false,
         "; The Lisp refused a request: stale\r\n"},
        {"a refusal of the running form", {"(:invalid-rpc %ID% \"bad rpc\")"}, true,
         "; The Lisp refused a request: bad rpc\r\n; Evaluation aborted: bad rpc\r\n"},
        {"an abort of the running form", {"(:return (:abort \"gone\") %ID%)"}, true, "; Evaluation aborted: gone\r\n"},
    };
    Connect();
    for (const auto &c : cases) {
        size_t from = Transcript(listener).size();
        long id = Begin("(case) (rest)", "(case)");
        ASSERT_GT(id, 0) << c.what;
        EXPECT_EQ(Texts{}, Evaluate("(after)"));
        for (const std::string &message : c.sent)
            ASSERT_TRUE(SendPayload(swank, Replace(Replace(message, "%ID%", Number(id)), "%PREV%", Number(id - 1))));
        if (c.ends) {
            EXPECT_EQ(ListenerEvalRequest("(after)", id + 1), ReadRequest(swank)) << c.what;
            ASSERT_TRUE(SendPayload(swank, Returned(id + 1)));
            EXPECT_TRUE(WaitForTranscript(
                listener, std::string(c.shown) + "; Not evaluated: the form after it.\r\nCL-USER> (after)\r\n", 10000,
                from))
                << c.what << "\n" << Transcript(listener).substr(from);
            continue;
        }
        EXPECT_EQ("", UntilPong()) << c.what << ": the running form goes on";
        ASSERT_TRUE(SendPayload(swank, Returned(id)));
        EXPECT_EQ(ListenerEvalRequest("(rest)", id + 1), ReadRequest(swank)) << c.what;
        ASSERT_TRUE(SendPayload(swank, Returned(id + 1)));
        EXPECT_EQ(ListenerEvalRequest("(after)", id + 2), ReadRequest(swank)) << c.what;
        ASSERT_TRUE(SendPayload(swank, Returned(id + 2)));
        EXPECT_TRUE(WaitForTranscript(listener, std::string("CL-USER> (case) (rest)\r\n") + c.shown + "CL-USER> (after)\r\n",
                                      10000, from))
            << c.what << "\n" << Transcript(listener).substr(from);
        EXPECT_EQ(std::string::npos, Transcript(listener).find("aborted", from)) << c.what;
    }
}

// A request over the 16 MB a frame can carry would never be answered: it is
// never sent, the user is told, and the next text runs. Under Wine no text
// of that size can be typed in (the input line of another process takes
// about a million characters), so the request is made too long by the
// package it is read in: a package name the Lisp announces, 50 bytes short
// of the largest frame.
TEST_F(ListenerFaults, ARequestTooLongForOneFrameIsNeverSent)
{
    const std::string huge = "(:new-package " + LispString(std::string(MaxFramePayload - 50, 'P')) + " \"CL-USER\")";
    const std::string usual = "(:new-package \"COMMON-LISP-USER\" \"CL-USER\")";
    const char refused[] = "; Not evaluated: a form is too long for one message to the Lisp (";
    Connect();

    // Typed while the package is that long: the text is refused whole.
    size_t from = Transcript(listener).size();
    ASSERT_TRUE(SendPayload(swank, huge));
    EXPECT_EQ("", UntilPong());
    ASSERT_TRUE(EnterInput(listener, "(one) (two)"));
    EXPECT_TRUE(WaitForTranscript(listener, std::string(refused) + "5 bytes): (one) (two)\r\n", 10000, from))
        << Transcript(listener).substr(from);
    EXPECT_EQ("", UntilPong()) << "not a form of the text was sent";
    ASSERT_TRUE(SendPayload(swank, usual));
    EXPECT_EQ(4, Begin("(next)", "(next)"));
    ASSERT_TRUE(SendPayload(swank, Returned(4)));

    // The package grows while a text runs: its next form is not sent, the
    // text ends there, and the next text runs once the package is usual again.
    from = Transcript(listener).size();
    EXPECT_EQ(5, Begin("(grow) (then)", "(grow)"));
    ASSERT_TRUE(SendPayload(swank, huge));
    ASSERT_TRUE(SendPayload(swank, Returned(5)));
    EXPECT_EQ("", UntilPong()) << "(then) is not sent";
    EXPECT_TRUE(WaitForTranscript(listener, "CL-USER> (grow) (then)\r\n" + std::string(refused) + "6 bytes).\r\n",
                                  10000, from))
        << Transcript(listener).substr(from);
    ASSERT_TRUE(SendPayload(swank, usual));
    ASSERT_TRUE(EnterInput(listener, "(after)"));
    EXPECT_EQ(ListenerEvalRequest("(after)", 6), ReadRequest(swank));
    EXPECT_EQ(ConnectedCaption, Caption(listener));
}

// Output is shown with control characters in caret notation (a NUL would
// end the text in the Edit control), and what follows still shows.
TEST_F(ListenerFaults, ControlCharactersInOutputAreShownVisibly)
{
    struct {
        const char *what;
        std::string text;
        bool value;  // a :repl-result
        const char *shown;
    } cases[] = {
        {"a NUL", std::string("a\0b\n", 4), false, "a^@b\r\n"},
        {"a NUL in a value", std::string("#\\\0x\n", 5), true, "=> #\\^@x\r\n"},
        {"other control characters", "\x01\x07\x08\x0b\x0c\x1b[0m\x1f\x7f!\n", false,
         "^A^G^H^K^L^[[0m^_^?!\r\n"},
        {"a tab", "a\tb\n", false, "a\tb\r\n"},
        {"a carriage return alone", "50%\r100%\n", false, "50%\r\n100%\r\n"},
        {"characters outside the code page", "\xce\xbb \xe2\x86\x92 \xe2\x9c\x93 \xf0\x9f\x98\x80\n", false,
         "\xce\xbb \xe2\x86\x92 \xe2\x9c\x93 \xf0\x9f\x98\x80\r\n"},
        {"bytes that are not UTF-8", "\xff\xfe ok\n", false, "\xef\xbf\xbd\xef\xbf\xbd ok\r\n"},
    };
    Connect();
    long id = Begin("(noise)", "(noise)");
    ASSERT_GT(id, 0);
    for (const auto &c : cases) {
        size_t from = Transcript(listener).size();
        ASSERT_TRUE(SendPayload(swank, "(:write-string " + LispString(c.text) + (c.value ? " :repl-result)" : ")")));
        ASSERT_TRUE(SendPayload(swank, "(:write-string \"after\n\")"));
        EXPECT_TRUE(WaitForTranscript(listener, std::string(c.shown) + "after\r\n", 10000, from))
            << c.what << "\n" << Transcript(listener).substr(from);
    }
    ASSERT_TRUE(SendPayload(swank, Returned(id)));
    EXPECT_EQ(id + 1, Begin("(next)", "(next)"));
}

// Connecting that fails in the Lisp (the helper's request answering an
// error, or aborted): said once however often the attempts that follow
// fail the same way, each connection closed by the listener; a Lisp that
// works is then connected to.
TEST_F(ListenerFaults, AFailureWhileConnectingIsSaidOnce)
{
    const char *helperAnswers[] = {"(:ok (:failed \"Don't know how to REQUIRE SWANK-REPL.\"))",
                                   "(:ok (:failed \"Don't know how to REQUIRE SWANK-REPL.\"))",
                                   "(:abort \"#<FILE-ERROR>\")", nullptr};
    for (const char *failure : helperAnswers) {
        // Each refused attempt doubles the pause before the next, up to 8 s.
        ASSERT_TRUE(AcceptSwank(swank, 20000)) << (failure ? failure : "the working Lisp");
        for (int step = 0; step < (failure ? 2 : 3); step++) {
            std::string request = ReadRequest(swank);
            ASSERT_EQ(ConnectSteps[step].request, request.substr(0, strlen(ConnectSteps[step].request))) << request;
            ASSERT_TRUE(SendPayload(swank, Returned(RequestId(request), step == 1 && failure
                                                                            ? std::string(failure)
                                                                            : "(:ok " + std::string(ConnectSteps[step].value) + ")")));
        }
        if (!failure)
            break;
        EXPECT_EQ("", ReadRequest(swank)) << failure << ": the listener closes the connection, and asks nothing more";
        ClosePeer(swank);
    }
    EXPECT_TRUE(WaitForCaption(listener, ConnectedCaption)) << Caption(listener);
    std::string transcript = Transcript(listener);
    for (const char *line : {"; The Lisp did not take Swank's REPL or the listener's helper: Don't know how to "
                             "REQUIRE SWANK-REPL.\r\n",
                             "; The Lisp did not take Swank's REPL or the listener's helper: #<FILE-ERROR>\r\n"}) {
        size_t first = transcript.find(line);
        EXPECT_NE(std::string::npos, first) << line << transcript;
        EXPECT_EQ(std::string::npos, transcript.find(line, first + 1)) << "said once: " << line << transcript;
    }
    EXPECT_EQ(4, Begin("(+ 1 2)", "(+ 1 2)"));
}

// Past the first answer, connecting takes what it takes (ECL may compile
// swank-repl for more than ten seconds): the listener waits for the answer
// rather than closing the connection after its 10 s for a Lisp to answer.
TEST_F(ListenerFaults, ASlowLispIsWaitedForOnceItHasAnswered)
{
    ASSERT_TRUE(AcceptSwank(swank));
    for (int step = 0; step < 3; step++) {
        std::string request = ReadRequest(swank);
        ASSERT_EQ(ConnectSteps[step].request, request.substr(0, strlen(ConnectSteps[step].request))) << request;
        if (step == 1)
            PumpFor(12000);
        ASSERT_TRUE(SendPayload(swank, Returned(RequestId(request), "(:ok " + std::string(ConnectSteps[step].value) + ")")));
    }
    EXPECT_TRUE(WaitForCaption(listener, ConnectedCaption)) << Caption(listener) << "\n" << Transcript(listener);
    EXPECT_EQ(std::string::npos, Transcript(listener).find("did not answer")) << Transcript(listener);
    EXPECT_EQ(4, Begin("(+ 1 2)", "(+ 1 2)"));
}

// Swank with a secret reads the client's first frame as the secret.
TEST_F(ListenerFaults, TheSecretIsTheFirstFrame)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string folder = std::string(temp) + "kestralune-fault-test-" + Number((long)GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), NULL);
    std::string file = folder + "\\secret";
    // The Lisp's home, where the listener looks for a secret without
    // -secret: a folder of the test's own, with no .slime-secret in it.
    const std::vector<std::string> home = {"HOME=" + folder};
    struct {
        const char *what;
        const char *content;  // null: no -secret option
        const char *secret;   // the first frame expected; null: none before the requests
    } cases[] = {
        {"no option and no .slime-secret", nullptr, nullptr},
        {"a line", "s3cret\n", "s3cret"},
        {"the first of two lines ended by CR LF", "line one\r\nline two\r\n", "line one"},
        {"a line without its end", "no end", "no end"},
        {"blanks, quotes and backslashes", " a \"b\" \\c ", " a \"b\" \\c "},
    };
    for (const auto &c : cases) {
        // A listener of its own on a port of its own, so no earlier
        // connection waits to be accepted.
        EXPECT_EQ(0u, StopListener(listener)) << c.what;
        CloseSwank(swank);
        ASSERT_TRUE(ListenSwank(swank));
        if (c.content) {
            FILE *out = fopen(file.c_str(), "wb");
            ASSERT_NE(nullptr, out);
            fputs(c.content, out);
            fclose(out);
        }
        Start(c.content ? " -secret \"" + file + "\"" : "", home);
        std::string why;
        EXPECT_TRUE(GreetListener(swank, c.secret, &why)) << c.what << ": " << why;
        EXPECT_TRUE(WaitForCaption(listener, ConnectedCaption)) << c.what << ": " << Caption(listener);
        ClosePeer(swank);
    }
    DeleteFileA(file.c_str());

    // A secret file that cannot be read: nothing is sent, and the user is
    // told once, not again at each attempt to connect that follows.
    EXPECT_EQ(0u, StopListener(listener));
    CloseSwank(swank);
    ASSERT_TRUE(ListenSwank(swank));
    Start(" -secret \"" + file + "\"");
    for (int attempt = 0; attempt < 3; attempt++) {
        ASSERT_TRUE(AcceptSwank(swank, 20000)) << "attempt " << attempt;
        EXPECT_EQ("", ReadRequest(swank, 5000)) << "attempt " << attempt << ": closed without a byte";
        ClosePeer(swank);
    }
    ASSERT_TRUE(ListenerAnswers(listener));
    std::string transcript = Transcript(listener), told = "refused the connection (the secret file " + file + " cannot be read)";
    size_t first = transcript.find(told);
    EXPECT_NE(std::string::npos, first) << transcript;
    EXPECT_EQ(std::string::npos, transcript.find(told, first + 1)) << transcript;
    EXPECT_TRUE(WaitForCaption(listener, NotConnectedCaption)) << Caption(listener);
    RemoveDirectoryA(folder.c_str());
}

// Swank reads its secret from .slime-secret in the Lisp's home: HOME, else
// USERPROFILE (as SBCL finds it on Windows). The listener looks for the same
// file, anew at each attempt to connect; -secret's file may be in a folder
// of any script.
TEST_F(ListenerFaults, TheSecretIsTheLispsOwnReadAtEachAttempt)
{
    // HOME in a folder named in Cyrillic and Greek: "секрет λ".
    const std::string base = OwnFolder("kestralune-secret"),
                      home = base + "\\\xd1\x81\xd0\xb5\xd0\xba\xd1\x80\xd0\xb5\xd1\x82 \xce\xbb",
                      profile = base + "\\profile", bare = base + "\\bare";
    for (const std::string &folder : {home, profile, bare})
        ASSERT_TRUE(MakeFolder(folder)) << folder;
    ASSERT_TRUE(WriteText(home + "\\.slime-secret", "home secret\r\n"));
    ASSERT_TRUE(WriteText(profile + "\\.slime-secret", "profile secret\n"));
    struct {
        const char *what;
        std::vector<std::string> environment;
        std::string options;
        const char *secret;  // the first frame expected; null: none before the requests
    } cases[] = {
        {"HOME before USERPROFILE", {"HOME=" + home, "USERPROFILE=" + profile}, "", "home secret"},
        {"USERPROFILE without HOME", {"HOME=", "USERPROFILE=" + profile}, "", "profile secret"},
        {"-secret in a folder of any script", {"HOME=" + bare, "USERPROFILE=" + profile},
         " -secret \"" + home + "\\.slime-secret\"", "home secret"},
        {"HOME without a secret: the Lisp wants none", {"HOME=" + bare, "USERPROFILE=" + profile}, "", nullptr},
    };
    for (const auto &c : cases) {
        Restart(c.options, c.environment);
        std::string why;
        EXPECT_TRUE(GreetListener(swank, c.secret, &why)) << c.what << ": " << why;
        EXPECT_TRUE(WaitForCaption(listener, ConnectedCaption)) << c.what << ": " << Caption(listener);
    }

    // A secret file made after that listener started, then changed: each
    // next connection sends the file's line as it is then.
    for (const char *secret : {"made later", "changed since"}) {
        ASSERT_TRUE(WriteText(bare + "\\.slime-secret", std::string(secret) + "\n"));
        ClosePeer(swank);
        std::string why;
        EXPECT_TRUE(GreetListener(swank, secret, &why)) << secret << ": " << why;
        EXPECT_TRUE(WaitForCaption(listener, ConnectedCaption)) << secret << ": " << Caption(listener);
    }
    RemoveFolder(base);
}

// A Lisp that closes the connection once it has the secret, before any
// answer, is taken to want another: the transcript says which file the
// secret came from. One that answers first is not.
TEST_F(ListenerFaults, ALispThatClosesOnTheSecretIsSaidToWantAnother)
{
    const std::string base = OwnFolder("kestralune-wrong-secret"), home = base + "\\\xce\xbb home",
                      file = home + "\\.slime-secret";
    ASSERT_TRUE(MakeFolder(home));
    ASSERT_TRUE(WriteText(file, "not this one\n"));
    Restart("", {"HOME=" + home});
    struct {
        const char *what;
        bool answerFirst;
        std::string told;
    } cases[] = {
        {"closed at once", false,
         "refused the connection (the Lisp closed the connection before answering the secret from " + file +
             ", which may not be the one it expects)"},
        {"closed after an answer", true, "refused the connection (the Lisp closed the connection); trying again"},
    };
    for (const auto &c : cases) {
        size_t from = Transcript(listener).size();
        ASSERT_TRUE(AcceptSwank(swank, 20000)) << c.what;
        EXPECT_EQ("not this one", ReadRequest(swank)) << c.what;
        if (c.answerFirst) {
            EXPECT_NE(std::string::npos, ReadRequest(swank).find("(swank:connection-info)")) << c.what;
            ASSERT_TRUE(SendPayload(swank, "(:ping 1 1)"));
            EXPECT_EQ("(:emacs-pong 1 1)", ReadRequest(swank)) << c.what;
        }
        ClosePeer(swank);
        EXPECT_TRUE(WaitForTranscript(listener, c.told, 10000, from))
            << c.what << "\n" << Transcript(listener).substr(from);
    }
    RemoveFolder(base);
}

// The history file is saved on a thread of its own: a save that waits for
// the history's lock (held here, as another listener's save holds it) holds
// up neither the listener's window nor the editor's Eval Selection, whose
// DDE conversation begins with a message to every top-level window. What
// went wrong comes back to the transcript; a listener asked to exit lets the
// save under way finish.
TEST_F(ListenerFaults, ASaveThatWaitsForTheDiskHoldsUpNoEvaluation)
{
    const std::string appData = OwnFolder("kestralune-history"), folder = appData + "\\KESTRALUNE";
    ASSERT_TRUE(MakeFolder(folder));
    auto holdLock = [&] {
        return CreateFileW(Utf8ToWide(folder + "\\history.lock").c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    };
    Restart("", {"APPDATA=" + appData});
    Connect();
    HANDLE lock = holdLock();
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);

    ASSERT_TRUE(EnterInput(listener, "(typed)"));
    // The listener has taken the Enter: its save now waits for the lock.
    EXPECT_EQ(ListenerEvalRequest("(typed)", 4), ReadRequest(swank));
    DWORD start = GetTickCount();
    EXPECT_EQ(Texts{}, Evaluate("(from-editor)"));
    EXPECT_LT(GetTickCount() - start, 1000u) << "the editor waited for the listener's save";
    ASSERT_TRUE(SendPayload(swank, Returned(4)));
    EXPECT_EQ(ListenerEvalRequest("(from-editor)", 5), ReadRequest(swank));
    ASSERT_TRUE(SendPayload(swank, Returned(5)));
    // The save gives up waiting after two seconds, and says so.
    EXPECT_TRUE(WaitForTranscript(listener, "; The input history is busy: cannot open " + folder + "\\history.lock"))
        << Transcript(listener);
    std::string history;
    EXPECT_FALSE(ReadText(folder + "\\history.txt", &history)) << history;

    // Exit while a save waits for the lock: the listener's window goes, and
    // the process ends once the lock is free and the input saved.
    ASSERT_TRUE(EnterInput(listener, "(pending)"));
    EXPECT_EQ(ListenerEvalRequest("(pending)", 6), ReadRequest(swank));
    ListenerCommand(listener, IDM_EXIT);
    DWORD waited = GetTickCount();
    while (IsWindow(listener.main) && GetTickCount() - waited < 10000)
        PumpFor(5);
    EXPECT_FALSE(IsWindow(listener.main));
    CloseHandle(lock);
    EXPECT_EQ(0u, WaitForExit(listener));
    ASSERT_TRUE(ReadText(folder + "\\history.txt", &history));
    EXPECT_NE(std::string::npos, history.find("\r\n(pending)\r\n")) << history;

    RemoveFolder(appData);
    Start("");  // for TearDown
}

// The folder of this test's program, where lisp_stand_in.exe is built.
std::string TestProgramFolder()
{
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(NULL, path, MAX_PATH);
    std::string folder = WideToUtf8(path, length);
    return folder.substr(0, folder.find_last_of('\\'));
}

// What lisp_stand_in wrote to its file: its process id and its path; 0 and
// "" when it wrote nothing within ms.
DWORD ReadStandIn(const std::string &file, std::string *path, DWORD ms = 20000)
{
    DWORD start = GetTickCount();
    std::string text;
    while (GetTickCount() - start < ms) {
        size_t end;
        if (ReadText(file, &text) && (end = text.find('\n')) != std::string::npos &&
            text.find('\n', end + 1) != std::string::npos) {
            *path = text.substr(end + 1, text.find('\n', end + 1) - end - 1);
            return strtoul(text.c_str(), NULL, 10);
        }
        PumpFor(10);
    }
    path->clear();
    return 0;
}

// A Windows Lisp that -lisp starts, named without quotes in a folder with a
// blank (and beside a program that the blank's first half names, which
// Windows' own guess would start) or started by a .cmd wrapper, ends with
// the listener, whether the listener exits or is killed.
TEST(ListenerStartsAWindowsLisp, TheOneNamedAndEndsWithTheListener)
{
    const std::string base = OwnFolder("kestralune-lisp"), standIn = TestProgramFolder() + "\\lisp_stand_in.exe";
    const std::string program = base + "\\lisp folder \xce\xbb\\lisp_stand_in.exe";
    const std::string wrapped = base + "\\lisp wrapper\\lisp_stand_in.exe",
                      wrapper = base + "\\lisp wrapper\\start.cmd";
    const std::string output = base + "\\started.txt";
    ASSERT_TRUE(MakeFolder(base + "\\lisp folder \xce\xbb"));
    ASSERT_TRUE(MakeFolder(base + "\\lisp wrapper"));
    for (const std::string &copy : {program, wrapped, base + "\\lisp.exe"})
        ASSERT_TRUE(CopyFileW(Utf8ToWide(standIn).c_str(), Utf8ToWide(copy).c_str(), FALSE)) << copy;
    ASSERT_TRUE(WriteText(wrapper, "@\"%~dp0lisp_stand_in.exe\" \"" + output + "\"\r\n"));
    // A port nobody serves: the listener keeps trying meanwhile.
    FakeSwank free;
    ASSERT_TRUE(ListenSwank(free));
    unsigned short port = free.port;
    CloseSwank(free);
    struct {
        const char *what;
        std::string command;  // -lisp's value, unquoted
        std::string started;  // the stand-in's path
        bool killed;          // else asked to exit
    } cases[] = {
        {"a program in a folder with a blank, the listener killed", program + " " + output, program, true},
        {"a .cmd wrapper, the listener killed", wrapper, wrapped, true},
        {"a .cmd wrapper, the listener asked to exit", wrapper, wrapped, false},
    };
    for (const auto &c : cases) {
        DeleteFileW(Utf8ToWide(output).c_str());
        Program listener = StartListener("-port " + Number(port) + " -lisp \"" + c.command + "\"");
        ASSERT_NE(nullptr, listener.main) << c.what;
        std::string path;
        DWORD id = ReadStandIn(output, &path);
        EXPECT_EQ(c.started, path) << c.what;
        EXPECT_TRUE(WaitForTranscript(listener, "; Started the Lisp: " + c.command + "\r\n"))
            << c.what << "\n" << Transcript(listener);
        EXPECT_EQ(std::string::npos, Transcript(listener).find("; It may go on running")) << c.what;
        HANDLE lisp = id ? OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, id) : NULL;
        EXPECT_NE(nullptr, lisp) << c.what << ": no Lisp started";
        if (c.killed) {
            TerminateProcess(listener.info.hProcess, 9);
            EXPECT_EQ(9u, WaitForExit(listener)) << c.what;
        } else {
            EXPECT_EQ(0u, StopListener(listener)) << c.what;
        }
        if (!lisp)
            continue;
        bool ended = WaitForSingleObject(lisp, 10000) == WAIT_OBJECT_0;
        EXPECT_TRUE(ended) << c.what << ": the Lisp runs on after the listener";
        if (!ended)
            TerminateProcess(lisp, 1);
        CloseHandle(lisp);
    }
    RemoveFolder(base);
}

}  // namespace
