// Swank's inspector answers read and laid out as lines, and the session's
// inspector requests: one at a time, on a worker thread (or the debugger's),
// their errors caught, stale answers dropped. The answers are as Swank 2.27
// gives them.
#include "listener/core/inspector.h"
#include "listener/core/session.h"
#include "listener/core/swank_wire.h"
#include "tests/host/effects_of.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

typedef std::vector<std::string> Texts;

// The lines as text, each piece's kind marked: [value#N], <action#N>, {label}.
Texts Marked(const std::vector<InspectorLine> &lines)
{
    Texts texts;
    for (const InspectorLine &line : lines) {
        std::string text;
        for (const InspectorPiece &p : line.pieces) {
            switch (p.kind) {
            case PieceKind::Text:
                text += p.text;
                break;
            case PieceKind::Value:
                text += "[" + p.text + "#" + std::to_string(p.index) + "]";
                break;
            case PieceKind::Action:
                text += "<" + p.text + "#" + std::to_string(p.index) + ">";
                break;
            case PieceKind::Label:
                text += "{" + p.text + "}";
                break;
            }
        }
        texts.push_back(text);
    }
    return texts;
}

struct ReadCase {
    const char *answer;
    bool read;
    const char *title;
    Texts lines;
    long end;
    bool more;
};

TEST(Inspector, AnswersAreReadIntoLinesOrRefused)
{
    const ReadCase cases[] = {
        // A hash table as Swank's inspector lists it.
        {"(:title \"#<HASH-TABLE :TEST EQL :COUNT 1 {10}>\" :id 0 :content ((\"Count\" \": \" (:value \"1\" 1) "
         "\"\n\" (:action \"[clear hashtable]\" 0) \"\n\" \"Contents: \" \"\n\" (:value \"A\" 2) \" = \" "
         "(:value \"1\" 3) \" \" (:action \"[remove entry]\" 1) \"\n\") 10 0 500))",
         true, "#<HASH-TABLE :TEST EQL :COUNT 1 {10}>",
         {"Count: [1#1]", "<[clear hashtable]#0>", "Contents: ", "[A#2] = [1#3] <[remove entry]#1>"}, 500, false},
        // A full range: Swank guesses more.
        {"(:title \"L\" :id 0 :content ((\"A proper list:\" \"\n\" \"0\" \": \" (:value \"1\" 1) \"\n\") 1500 0 500))",
         true, "L", {"A proper list:", "0: [1#1]"}, 500, true},
        // Blank lines, a label, CR LF, a text that ends open.
        {"(:title \"T\" :id 0 :content ((\"a\r\n\nb\" (:label \"Slots\") \"\n\" \"c\") 6 0 500))", true, "T",
         {"a", "", "b{Slots}", "c"}, 500, false},
        // Nothing to list (nil), and a piece of a kind this listener does not know, left out.
        {"(:title \"X\" :id 3 :content (nil 0 0 500))", true, "X", {}, 500, false},
        {"(:title \"X\" :id 3 :content ((\"a\" (:newfangled 1 2) (:value \"v\" 0)) 3 0 500))", true, "X",
         {"a[v#0]"}, 500, false},
        // A value's text on one line, its control characters shown.
        {"(:title \"X\nY\" :id 0 :content (((:value \"two\nlines\x01\" 0)) 1 0 500))", true, "X Y",
         {"[two lines^A#0]"}, 500, false},
        // Malformed answers.
        {"nil", false, "", {}, 0, false},
        {"(:id 0 :content (nil 0 0 500))", false, "", {}, 0, false},
        {"(:title 5 :id 0 :content (nil 0 0 500))", false, "", {}, 0, false},
        {"(:title \"T\" :id 0)", false, "", {}, 0, false},
        {"(:title \"T\" :id 0 :content \"x\")", false, "", {}, 0, false},
        {"(:title \"T\" :id 0 :content (nil 0 0))", false, "", {}, 0, false},
        {"(:title \"T\" :id 0 :content (nil 0 500 0))", false, "", {}, 0, false},
        {"(:title \"T\" :id 0 :content (((:value \"v\")) 1 0 500))", false, "", {}, 0, false},
        {"(:title \"T\" :id 0 :content (((:action \"a\" -1)) 1 0 500))", false, "", {}, 0, false},
        {"(:title \"T\" :id 0 :content (((:value 5 0)) 1 0 500))", false, "", {}, 0, false},
        {"(:title \"T\" :id 0 :content ((42) 1 0 500))", false, "", {}, 0, false},
    };
    for (const ReadCase &c : cases) {
        SCOPED_TRACE(c.answer);
        Sexp answer;
        ASSERT_TRUE(ReadSexp(c.answer, &answer));
        Inspection inspection;
        ASSERT_EQ(c.read, ReadInspection(answer, &inspection));
        if (!c.read)
            continue;
        EXPECT_EQ(c.title, inspection.title);
        std::vector<InspectorLine> lines;
        bool open = false;
        AppendInspectorLines(lines, open, inspection.pieces);
        EXPECT_EQ(c.lines, Marked(lines));
        EXPECT_EQ(c.end, inspection.end);
        EXPECT_EQ(c.more, inspection.more);
    }
}

TEST(Inspector, ALineGoesOnAcrossRanges)
{
    std::vector<InspectorLine> lines;
    bool open = false;
    std::vector<InspectorPiece> first(2), second(2);
    first[0].text = "1\n2: ";
    first[1].kind = PieceKind::Value;
    first[1].text = "x";
    first[1].index = 7;
    second[0].text = " and\n";
    second[1].text = "3";
    AppendInspectorLines(lines, open, first);
    EXPECT_TRUE(open);
    AppendInspectorLines(lines, open, second);
    EXPECT_EQ((Texts{"1", "2: [x#7] and", "3"}), Marked(lines));
    EXPECT_EQ("2: x and", InspectorLineText(lines[1]));
}

// The request for the Swank call "(swank:NAME ARGUMENTS...)", as the
// helper's call-caught makes it.
std::string Rex(const std::string &call, const std::string &thread, long id)
{
    size_t name = call.find(' ');
    std::string function = call.substr(1, (name == std::string::npos ? call.size() - 1 : name) - 1);
    std::string arguments = name == std::string::npos ? ")" : call.substr(name);
    return "(:emacs-rex (kestralune-listener:call-caught (quote " + function + ")" + arguments +
           " \"COMMON-LISP-USER\" " + thread + " " + std::to_string(id) + ")";
}

std::string Object(const std::string &title, const std::string &pieces, long length = 3)
{
    return "(:title \"" + title + "\" :id 0 :content ((" + pieces + ") " + std::to_string(length) + " 0 500))";
}

std::string Ok(const std::string &value, long id)
{
    return "(:return (:ok " + value + ") " + std::to_string(id) + ")";
}

TEST(SessionInspect, RequestsGoOneAtATimeAndTheAnswersShow)
{
    Connected c;
    Effects out;
    ASSERT_TRUE(SessionInspect(c.s, "(list 1 2)", out));
    EXPECT_EQ(Texts{Rex("(swank:init-inspector \"(list 1 2)\")", "t", 4)}, MessagesOf(out));
    // Asked before the answer: it waits, as both move Swank's one inspector.
    out = Effects();
    ASSERT_FALSE(SessionInspectPiece(c.s, 1, out));  // nothing is shown yet
    EXPECT_TRUE(SessionInspect(c.s, "*h*", out));
    EXPECT_EQ(Texts{}, MessagesOf(out));

    Effects &shown = c.Receive(Ok(Object("(1 2)", "\"A proper list:\" \"\n\" \"0: \" (:value \"1\" 1)"), 4));
    EXPECT_TRUE(Has(shown, EffectKind::InspectorChanged));
    EXPECT_EQ(Texts{Rex("(swank:init-inspector \"*h*\")", "t", 5)}, MessagesOf(shown));
    EXPECT_TRUE(c.s.inspector.open);
    EXPECT_EQ("(1 2)", c.s.inspector.title);
    EXPECT_EQ((Texts{"A proper list:", "0: [1#1]"}), Marked(c.s.inspector.lines));
    EXPECT_EQ("", TranscriptOf(shown));

    c.Receive(Ok(Object("H", "(:value \"A\" 0) \" \" (:action \"[remove entry]\" 0)"), 5));
    const char *calls[][2] = {
        {"(swank:inspect-nth-part 0)", "piece"},
        {"(swank:inspector-call-nth-action 0)", "action"},
        {"(swank:inspector-pop)", "back"},
        {"(swank:inspector-next)", "forward"},
        {"(swank:inspector-reinspect)", "reinspect"},
    };
    long id = 6;
    for (auto &call : calls) {
        SCOPED_TRACE(call[1]);
        out = Effects();
        std::string which = call[1];
        if (which == "piece")
            SessionInspectPiece(c.s, 0, out);
        else if (which == "action")
            SessionInspectorAction(c.s, 0, out);
        else if (which == "back")
            SessionInspectorBack(c.s, out);
        else if (which == "forward")
            SessionInspectorForward(c.s, out);
        else
            SessionInspectorReinspect(c.s, out);
        EXPECT_EQ(Texts{Rex(call[0], "t", id)}, MessagesOf(out));
        long before = c.s.inspector.shown;
        c.Receive(Ok(Object("O" + std::to_string(id), "\"x\""), id));
        EXPECT_EQ(before + 1, c.s.inspector.shown);
        EXPECT_EQ("O" + std::to_string(id), c.s.inspector.title);
        // An action and a refresh show the same object again: the window keeps its place.
        EXPECT_EQ(which == "action" || which == "reinspect", c.s.inspector.sameObject);
        id++;
    }
}

TEST(SessionInspect, FailuresShowInTheWindowNeverInTheDebugger)
{
    Connected c;
    Effects out;
    SessionInspect(c.s, "(car nil nil)", out);
    c.Receive("(:return (:ok (:error \"invalid number of arguments: 2\")) 4)");
    EXPECT_TRUE(c.s.inspector.open);
    EXPECT_EQ("(car nil nil) could not be inspected", c.s.inspector.title);
    EXPECT_EQ(Texts{"The Lisp said: invalid number of arguments: 2"}, Marked(c.s.inspector.lines));
    // The answer freed the inspector: the next request goes.
    out = Effects();
    SessionInspect(c.s, "5", out);
    EXPECT_EQ(1u, MessagesOf(out).size());
    c.Receive("(:return (:abort \"killed\") 5)");
    EXPECT_EQ(Texts{"The Lisp said: the request was aborted"}, Marked(c.s.inspector.lines));

    c.Receive(Ok(Object("5", "\"Value: \" (:value \"5\" 0)"), (SessionInspect(c.s, "5", out), 6)));
    // Back with nothing before, and a refresh that fails: the object stays
    // and the status says why.
    const std::string answers[][2] = {
        {"nil", "Nothing was inspected before this object."},
        {"(:error \"no istate\")", "Not done: no istate"},
    };
    long id = 7;
    for (auto &a : answers) {
        out = Effects();
        SessionInspectorBack(c.s, out);
        Effects &step = c.Receive(Ok(a[0], id++));
        EXPECT_TRUE(Has(step, EffectKind::InspectorChanged));
        EXPECT_EQ("5", c.s.inspector.title);
        EXPECT_EQ(a[1], c.s.inspector.status);
    }
    SessionInspectorReinspect(c.s, out);
    c.Receive(Ok("(:error \"broken\")", id++));
    EXPECT_EQ("5", c.s.inspector.title);
    EXPECT_EQ("Not done: broken", c.s.inspector.status);
    // An action that asks for no refresh answers nil: nothing changes.
    SessionInspectorAction(c.s, 0, out);
    Effects &none = c.Receive(Ok("nil", id++));
    EXPECT_FALSE(Has(none, EffectKind::InspectorChanged));
}

TEST(SessionInspect, MoreIsFetchedOnceARangeAtATimeForTheObjectShown)
{
    Connected c;
    Effects out;
    SessionInspect(c.s, "(make-list 1000)", out);
    c.Receive(Ok(Object("L", "\"0: \" (:value \"NIL\" 0) \"\n\" \"1: \"", 1500), 4));
    ASSERT_TRUE(c.s.inspector.more);
    out = Effects();
    ASSERT_TRUE(SessionInspectorMore(c.s, out));
    EXPECT_EQ(Texts{Rex("(swank:inspector-range 500 1000)", "t", 5)}, MessagesOf(out));
    out = Effects();
    EXPECT_FALSE(SessionInspectorMore(c.s, out));  // asked already
    EXPECT_EQ(Texts{}, MessagesOf(out));
    // The range goes on with the open line; a short range ends the content.
    c.Receive(Ok("(((:value \"NIL\" 1) \"\n\") 502 500 1000)", 5));
    EXPECT_EQ((Texts{"0: [NIL#0]", "1: [NIL#1]"}), Marked(c.s.inspector.lines));
    EXPECT_FALSE(c.s.inspector.more);
    EXPECT_FALSE(SessionInspectorMore(c.s, out));

    // A range that comes after another object was shown is dropped.
    SessionInspect(c.s, "(make-list 1000)", out);
    c.Receive(Ok(Object("L", "\"0: \"", 1500), 6));
    out = Effects();
    SessionInspectorMore(c.s, out);
    SessionInspectPiece(c.s, 0, out);
    c.Receive(Ok("((\"stale\") 1500 500 1000)", 7));
    c.Receive(Ok(Object("P", "\"piece\""), 8));
    EXPECT_EQ(Texts{"piece"}, Marked(c.s.inspector.lines));
    EXPECT_FALSE(c.s.inspector.moreAsked);
}

TEST(SessionInspect, ClosingLetsSwankGoAndDropsWhatWasAskedBefore)
{
    Connected c;
    Effects out;
    SessionInspect(c.s, "1", out);
    c.Receive(Ok(Object("1", "\"x\""), 4));
    out = Effects();
    SessionInspectPiece(c.s, 0, out);  // id 5, out
    SessionInspectorBack(c.s, out);   // waits
    SessionInspectorClose(c.s, out);
    EXPECT_TRUE(Has(out, EffectKind::InspectorChanged));
    EXPECT_FALSE(c.s.inspector.open);
    Effects &late = c.Receive(Ok(Object("piece", "\"x\""), 5));
    EXPECT_FALSE(c.s.inspector.open);
    // Back was dropped; quit-inspector went once the piece's answer came.
    EXPECT_EQ(Texts{Rex("(swank:quit-inspector)", "t", 6)}, MessagesOf(late));
    c.Receive(Ok("nil", 6));
    out = Effects();
    EXPECT_TRUE(SessionInspect(c.s, "2", out));
    EXPECT_EQ(1u, MessagesOf(out).size());
    // The connection lost closes the window.
    c.Receive(Ok(Object("2", "\"x\""), 7));
    out = Effects();
    SessionLost(c.s, "reset", out);
    EXPECT_TRUE(Has(out, EffectKind::InspectorChanged));
    EXPECT_FALSE(c.s.inspector.open);
    EXPECT_FALSE(SessionInspect(c.s, "3", out));
}

TEST(SessionInspect, TheLispsInspectShowsAndItsThreadGoesOn)
{
    Connected c;
    Effects &waits = c.Receive("(:inspect " + Object("#<FOO {1}>", "\"a: \" (:value \"1\" 0)") + " 12 3)");
    EXPECT_EQ(Texts{"(:emacs-return 12 3 nil)"}, MessagesOf(waits));
    EXPECT_TRUE(Has(waits, EffectKind::InspectorChanged));
    EXPECT_EQ("#<FOO {1}>", c.s.inspector.title);
    Effects &plain = c.Receive("(:inspect " + Object("2", "\"b\"") + " nil nil)");
    EXPECT_EQ(Texts{}, MessagesOf(plain));
    EXPECT_EQ("2", c.s.inspector.title);
    // A malformed one still lets its thread go.
    Effects &bad = c.Receive("(:inspect (:title 1) 12 4)");
    EXPECT_EQ(Texts{"(:emacs-return 12 4 nil)"}, MessagesOf(bad));
    EXPECT_EQ("2", c.s.inspector.title);
}

// A local, a value in a frame and the condition are asked on the level's
// thread, and only while the level the window showed is still open.
TEST(SessionInspect, ALocalAValueInAFrameAndTheConditionAreAskedOnTheDebuggersThread)
{
    Connected c;
    Effects out;
    const DebugPlace level1{"9", 1}, stale{"9", 2};
    EXPECT_FALSE(SessionInspectCondition(c.s, level1, out));
    c.Receive("(:debug 9 1 (\"boom\" \"[Condition of type ERROR]\" nil) ((\"ABORT\" \"Return.\")) "
              "((0 \"(FOO 1)\")) (nil))");
    out = Effects();
    EXPECT_FALSE(SessionInspectCondition(c.s, stale, out));
    EXPECT_FALSE(SessionInspectFrameLocal(c.s, stale, 0, 2, out));
    EXPECT_EQ(Texts{}, MessagesOf(out));
    long id = c.s.nextId;
    ASSERT_TRUE(SessionInspectFrameLocal(c.s, level1, 0, 2, out));
    EXPECT_EQ(Texts{Rex("(swank:inspect-frame-var 0 2)", "9", id)}, MessagesOf(out));
    c.Receive(Ok(Object("1", "\"x\""), id));
    out = Effects();
    ASSERT_TRUE(SessionInspectInFrame(c.s, level1, 0, "(list x)", out));
    EXPECT_EQ(Texts{Rex("(swank:inspect-in-frame \"(list x)\" 0)", "9", id + 1)}, MessagesOf(out));
    c.Receive(Ok(Object("(1)", "\"y\""), id + 1));
    out = Effects();
    ASSERT_TRUE(SessionInspectCondition(c.s, level1, out));
    EXPECT_EQ(Texts{Rex("(swank:inspect-current-condition)", "9", id + 2)}, MessagesOf(out));
}

}  // namespace
