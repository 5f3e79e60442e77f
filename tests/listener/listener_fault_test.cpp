// The listener between the editor's real "Eval Selection" (in this process)
// and a Swank server played by the test: what the user sees when no Lisp
// listens, when the Lisp goes away mid-evaluation, and when it sends frames
// that cannot be read; and that the text reaches the wire unchanged.
#include "tests/listener/listenertest.h"
#include "editor/editor.h"
#include "listener/resource.h"
#include "tests/evallink/linktest.h"
#include "tests/support/wintest.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

typedef std::vector<std::string> Texts;

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
        listener = StartListener("-port " + std::to_string(swank.port));
        ASSERT_NE(nullptr, listener.main);
        TakeSeenDialogs();
    }
    void TearDown() override
    {
        EXPECT_EQ(0u, StopListener(listener)) << "the listener ends cleanly, whatever it met";
        CloseSwank(swank);
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
        ASSERT_TRUE(GreetListener(swank));
        ASSERT_TRUE(WaitForCaption(listener, "KESTRALUNE - connected to FAKE 1.0")) << Caption(listener);
    }
    FakeSwank swank;
    Program listener;
};

std::string EvaluateRequest(const std::string &utf8, long id)
{
    return "(:emacs-rex (kestralune-listener:evaluate " + LispString(utf8) + ") \"COMMON-LISP-USER\" t " +
           std::to_string(id) + ")";
}

TEST_F(ListenerFaults, NoLispListening)
{
    CloseSwank(swank);  // the port is free again: nobody answers on it
    ASSERT_TRUE(WaitForCaption(listener, "KESTRALUNE - not connected")) << Caption(listener);
    EXPECT_EQ(Texts{"Transaction failed"}, Evaluate("(+ 1 2)"));
    EXPECT_TRUE(WaitForTranscript(listener, "while no Lisp is connected; it was not taken")) << Transcript(listener);
}

TEST_F(ListenerFaults, LispLostMidEvaluationThenBack)
{
    Connect();
    DWORD start = GetTickCount();
    EXPECT_EQ(Texts{}, Evaluate("(first)"));
    EXPECT_EQ(EvaluateRequest("(first)", 2), ReadRequest(swank));
    // The Lisp never answers: the next two wait in the listener, and the
    // editor is never kept waiting for them.
    EXPECT_EQ(Texts{}, Evaluate("(second)\r\n(more)"));
    EXPECT_EQ(Texts{}, Evaluate("(third)"));
    EXPECT_LT(GetTickCount() - start, 5000u);
    EXPECT_EQ("", ReadRequest(swank, 300)) << "one evaluation at a time";

    ClosePeer(swank);
    ASSERT_TRUE(WaitForTranscript(listener, "; Did not run: (third)")) << Transcript(listener);
    std::string transcript = Transcript(listener);
    EXPECT_NE(std::string::npos,
              transcript.find("; Connection to the Lisp lost: the Lisp closed the connection.\r\n"
                              "; Did not finish: (first)\r\n"
                              "; Did not run: (second) ...\r\n"
                              "; Did not run: (third)\r\n"))
        << transcript;
    EXPECT_TRUE(WaitForCaption(listener, "KESTRALUNE - not connected")) << Caption(listener);

    // The listener tries again every second: the Lisp is back.
    Connect();
    EXPECT_EQ(Texts{}, Evaluate("(fourth)"));
    EXPECT_EQ(EvaluateRequest("(fourth)", 2), ReadRequest(swank));
    ASSERT_TRUE(SendPayload(swank, "(:return (:ok (:values \"CL-USER\" ((\"4\")))) 2)"));
    EXPECT_TRUE(WaitForTranscript(listener, "CL-USER> (fourth)\r\n=> 4\r\n")) << Transcript(listener);
}

TEST_F(ListenerFaults, UnreadableFramesCloseTheConnectionWithAMessage)
{
    struct {
        const char *what;
        std::string bytes;
        bool thenClose;
        const char *message;
    } cases[] = {
        {"header not hex", "00x010(:write-string \"x\")", false, "did not begin with its length"},
        {"oversized", "ffffff(:write-string \"", false, "longer than the listener takes"},
        {"cut off", "000040(:write-string \"half", true, "closed the connection in the middle of a message"},
        {"not an s-expression", "000006(:a (b", false, "malformed message"},
    };
    for (const auto &c : cases) {
        Connect();
        size_t before = Transcript(listener).size();
        ASSERT_TRUE(SendRaw(swank, c.bytes)) << c.what;
        if (c.thenClose)
            ClosePeer(swank);
        EXPECT_TRUE(WaitForTranscript(listener, c.message, 10000, before)) << c.what << "\n" << Transcript(listener);
        EXPECT_TRUE(WaitForCaption(listener, "KESTRALUNE - not connected")) << c.what;
        ClosePeer(swank);
    }
}

TEST_F(ListenerFaults, LongTextWithQuotesBackslashesAndHighBytesReachesTheWireUnchanged)
{
    Connect();
    std::string text = "(list \"";
    for (int i = 0; text.size() < 30990; i++)
        text += "q\"b\\\xe9\xff\x80\xa0|;#\r\n"[i % 12];
    text += "\")";
    text.resize(31000, ' ');
    EXPECT_EQ(Texts{}, Evaluate(text));
    // The editor's text is in the ANSI code page (1252 here); Swank's is UTF-8.
    int wide = MultiByteToWideChar(1252, 0, text.data(), (int)text.size(), NULL, 0);
    std::wstring utf16(wide, L'\0');
    MultiByteToWideChar(1252, 0, text.data(), (int)text.size(), &utf16[0], wide);
    std::string utf8(WideCharToMultiByte(CP_UTF8, 0, utf16.data(), wide, NULL, 0, NULL, NULL), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), wide, &utf8[0], (int)utf8.size(), NULL, NULL);
    ASSERT_EQ(1252u, GetACP());
    std::string request = ReadRequest(swank);
    EXPECT_EQ(EvaluateRequest(utf8, 2), request);
    Sexp read;
    ASSERT_TRUE(ReadSexp(request, &read));
    EXPECT_EQ(utf8, Item(*Item(read, 1), 1)->text) << "read back as the Lisp reads it";
}

TEST_F(ListenerFaults, AMegabyteOfOutputKeepsTheNewestLines)
{
    Connect();
    EXPECT_EQ(Texts{}, Evaluate("(flood)"));
    ASSERT_EQ(2, RequestId(ReadRequest(swank)));
    // 20000 numbered lines of 53 characters, 55 once shown with CR LF, in pieces
    // of 8000 as Swank sends them.
    std::string output, piece;
    char line[64];
    for (int i = 0; i < 20000; i++) {
        snprintf(line, sizeof line, "output line %05d ...................................\n", i);
        output += line;
    }
    for (size_t at = 0; at < output.size(); at += 8000)
        ASSERT_TRUE(SendPayload(swank, "(:write-string " + LispString(output.substr(at, 8000)) + ")"));
    ASSERT_TRUE(SendPayload(swank, "(:return (:ok (:values \"CL-USER\" ((\"NIL\")))) 2)"));
    ASSERT_TRUE(WaitForTranscript(listener, "output line 19999 ...................................\r\n=> NIL\r\n",
                                  60000))
        << Transcript(listener).substr(0, 200);
    std::string transcript = Transcript(listener);
    EXPECT_LE(transcript.size(), 100000u);
    EXPECT_GE(transcript.size(), 50000u);
    // What is kept starts at a line start and runs without a gap to the end.
    size_t first = transcript.find("output line ");
    ASSERT_NE(std::string::npos, first);
    EXPECT_TRUE(first == 0 || transcript[first - 1] == '\n');
    int number = atoi(transcript.c_str() + first + 12);
    snprintf(line, sizeof line, "output line %05d", number + 1000);
    EXPECT_EQ(first + 1000 * 55, transcript.find(line)) << "1000 lines on, line " << number + 1000;
}

TEST_F(ListenerFaults, PingsAreAnswered)
{
    Connect();
    ASSERT_TRUE(SendPayload(swank, "(:ping 7 42)"));
    EXPECT_EQ("(:emacs-pong 7 42)", ReadRequest(swank));
}

} // namespace
