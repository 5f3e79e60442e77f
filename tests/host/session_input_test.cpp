// What the input area asks of the Lisp through the session: completions,
// argument lists and descriptions go to a worker thread (t) in the REPL's
// package, never to the REPL thread, and their answers come back with the
// tag they were asked with. The answers are as SBCL's Swank 2.27 gives them,
// and completions as 2.32 gives them too.
#include "listener/core/session.h"
#include "listener/core/swank_wire.h"
#include "tests/host/effects_of.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

typedef std::vector<std::string> Texts;

TEST(SessionInput, CompletionsGoToAWorkerThreadAndComeBackWithTheirTag)
{
    Connected c;
    Effects out;
    ASSERT_TRUE(SessionComplete(c.s, "with-", 17, out));
    EXPECT_EQ(Texts{"(:emacs-rex (cl:handler-case (swank:simple-completions \"with-\" \"COMMON-LISP-USER\") "
                    "(cl:error () nil)) \"COMMON-LISP-USER\" t 4)"},
              MessagesOf(out));
    EXPECT_FALSE(Has(out, EffectKind::CompletionReady));
    Effects &answer =
        c.Receive("(:return (:ok ((\"with-accessors\" \"with-compilation-unit\") \"with-\")) 4)");
    EXPECT_TRUE(Has(answer, EffectKind::CompletionReady));
    EXPECT_EQ(17, FirstOf(answer, EffectKind::CompletionReady).tag);
    EXPECT_EQ((Texts{"with-accessors", "with-compilation-unit"}), FirstOf(answer, EffectKind::CompletionReady).items);
    EXPECT_EQ("", TranscriptOf(answer));

    // No match (either Swank's way), an error caught in the Lisp (nil) and
    // an abort all answer with no completions.
    const char *answers[] = {"(:return (:ok (nil \"\")) 5)", "(:return (:ok nil) 5)",
                             "(:return (:abort \"no\") 5)"};
    for (const char *none : answers) {
        out = Effects();
        ASSERT_TRUE(SessionComplete(c.s, "zzz", 18, out));
        ASSERT_EQ(1u, c.s.requests.count(5)) << none;
        Effects &empty = c.Receive(none);
        EXPECT_TRUE(Has(empty, EffectKind::CompletionReady)) << none;
        EXPECT_EQ(18, FirstOf(empty, EffectKind::CompletionReady).tag) << none;
        EXPECT_TRUE(FirstOf(empty, EffectKind::CompletionReady).items.empty()) << none;
        c.s.nextId = 5;
    }
}

// Up to Swank 2.31 simple-completions answers ((NAME ...) COMMON-PREFIX);
// since 2.32, ((NAME FLAGS DESIGNATOR) ...) with no common prefix.
TEST(SessionInput, CompletionsOfEitherSwankAreTheirNames)
{
    struct {
        const char *swank, *value;
        Texts names;
    } cases[] = {
        {"2.27, one", "((\"destructuring-bind\") \"destructuring-bind\")", {"destructuring-bind"}},
        {"2.27, two", "((\"with-open-file\" \"with-open-stream\") \"with-open-\")",
         {"with-open-file", "with-open-stream"}},
        {"2.32, one", "((\"destructuring-bind\" \"-f---m---\" \"COMMON-LISP:DESTRUCTURING-BIND\"))",
         {"destructuring-bind"}},
        {"2.32, two",
         "((\"with-open-file\" \"-f---m---\" \"COMMON-LISP:WITH-OPEN-FILE\") "
         "(\"with-open-stream\" \"-f---m---\" \"COMMON-LISP:WITH-OPEN-STREAM\"))",
         {"with-open-file", "with-open-stream"}},
        {"2.32, three",
         "((\"cl:mapc\" \"-f-------\" \"COMMON-LISP:MAPC\") (\"cl:mapcan\" \"-f-------\" \"COMMON-LISP:MAPCAN\") "
         "(\"cl:mapcar\" \"-f-------\" \"COMMON-LISP:MAPCAR\"))",
         {"cl:mapc", "cl:mapcan", "cl:mapcar"}},
        {"2.32, a name alone", "((\"car\"))", {"car"}},
    };
    for (const auto &c : cases) {
        Connected k;
        Effects out;
        ASSERT_TRUE(SessionComplete(k.s, "x", 3, out));
        Effects &answer = k.Receive(std::string("(:return (:ok ") + c.value + ") 4)");
        ASSERT_TRUE(Has(answer, EffectKind::CompletionReady)) << c.swank;
        EXPECT_EQ(c.names, FirstOf(answer, EffectKind::CompletionReady).items) << c.swank;
    }
}

TEST(SessionInput, RequestsReadInTheReplsPackageAndLeaveARunningEvaluationAlone)
{
    Connected c;
    c.Receive("(:new-package \"MY-PACKAGE\" \"MY\")");
    Effects out;
    ASSERT_TRUE(SessionSubmit(c.s, "(sleep 10)", out));
    long evaluation = c.s.running.requestId;
    ASSERT_EQ(4, evaluation);
    out = Effects();
    ASSERT_TRUE(SessionArglist(c.s, "mapcar", 3, out));
    ASSERT_TRUE(SessionDescribe(c.s, "mapcar", out));
    EXPECT_EQ((Texts{"(:emacs-rex (cl:handler-case (swank:operator-arglist \"mapcar\" \"MY-PACKAGE\") "
                     "(cl:error () nil)) \"MY-PACKAGE\" t 5)",
                     "(:emacs-rex (cl:handler-case (swank:describe-symbol \"mapcar\") (cl:error (condition) "
                     "(cl:list :error (cl:ignore-errors (cl:princ-to-string condition))))) \"MY-PACKAGE\" t 6)"}),
              MessagesOf(out));
    EXPECT_EQ(evaluation, c.s.running.requestId);
    EXPECT_TRUE(c.s.evaluating);
    Effects &answer = c.Receive("(:return (:ok \"(mapcar FUNCTION LIST &REST MORE-LISTS)\") 5)");
    EXPECT_TRUE(Has(answer, EffectKind::ArglistReady));
    EXPECT_EQ(3, FirstOf(answer, EffectKind::ArglistReady).tag);
    EXPECT_EQ("mapcar", FirstOf(answer, EffectKind::ArglistReady).name);
    EXPECT_EQ("(mapcar FUNCTION LIST &REST MORE-LISTS)", FirstOf(answer, EffectKind::ArglistReady).text);
    EXPECT_EQ(evaluation, c.s.running.requestId);
}

TEST(SessionInput, AnOperatorWithoutAnArgumentListAnswersAnEmptyOne)
{
    Connected c;
    // A long list the Lisp's printer broke into lines comes as one line.
    Effects first;
    ASSERT_TRUE(SessionArglist(c.s, "find", 8, first));
    EXPECT_EQ("(find ITEM SEQUENCE &KEY (TEST '#'EQL) (START 0))",
              FirstOf(c.Receive("(:return (:ok \"(find ITEM SEQUENCE &KEY (TEST '#'EQL)\n (START 0))\n\") 4)"), EffectKind::ArglistReady).text);
    const char *answers[] = {"(:return (:ok nil) 4)", "(:return (:abort \"x\") 4)"};
    for (const char *answer : answers) {
        Effects out;
        c.s.nextId = 4;
        ASSERT_TRUE(SessionArglist(c.s, "no-such", 9, out));
        Effects &got = c.Receive(answer);
        EXPECT_TRUE(Has(got, EffectKind::ArglistReady)) << answer;
        EXPECT_EQ("no-such", FirstOf(got, EffectKind::ArglistReady).name) << answer;
        EXPECT_EQ("", FirstOf(got, EffectKind::ArglistReady).text) << answer;
    }
}

TEST(SessionInput, ADescriptionIsShownOnItsOwnLines)
{
    Connected c;
    struct {
        const char *answer;
        std::string shown;
    } cases[] = {
        {"(:return (:ok \"COMMON-LISP:CAR\n  [symbol]\n\n\") 4)", "COMMON-LISP:CAR\n  [symbol]\n"},
        {"(:return (:ok (:error \"Unknown symbol: nope [in #<PACKAGE \\\"COMMON-LISP-USER\\\">]\")) 4)",
         "; No description of nope: Unknown symbol: nope [in #<PACKAGE \"COMMON-LISP-USER\">]\n"},
        {"(:return (:ok (:error nil)) 4)", "; No description of nope.\n"},
        {"(:return (:abort \"x\") 4)", "; No description of nope: the request was aborted.\n"},
        {"(:return (:ok \"a\x01" "b\") 4)", "a^Ab\n"},
    };
    for (const auto &k : cases) {
        Effects out;
        c.s.nextId = 4;
        // Output without its line break is ended first.
        c.Receive("(:write-string \"partial\")");
        ASSERT_TRUE(SessionDescribe(c.s, "nope", out));
        EXPECT_EQ("\n" + k.shown, TranscriptOf(c.Receive(k.answer))) << k.answer;
    }
    std::string big = "(:return (:ok \"" + std::string(20000, 'd') + "\") 5)";
    Effects out;
    ASSERT_TRUE(SessionDescribe(c.s, "big", out));
    std::string shown = TranscriptOf(c.Receive(big));
    EXPECT_EQ(std::string(16384, 'd') + " ...\n[cut: the description is longer than 16384 bytes]\n", shown);
}

// The Lisp menu's requests go to a worker thread with their errors caught,
// and their answers show as the Lisp wrote them, or as one line.
TEST(SessionInput, TheLispMenusRequestsShowTheirAnswersOrOneLine)
{
    Connected c;
    Effects out;
    ASSERT_TRUE(SessionMacroexpand(c.s, "(when a b)", false, out));
    ASSERT_EQ(1u, MessagesOf(out).size());
    EXPECT_EQ("(:emacs-rex (cl:handler-case (swank:swank-macroexpand-1 \"(when a b)\") (cl:error (condition) "
              "(cl:list :error (cl:ignore-errors (cl:princ-to-string condition))))) \"COMMON-LISP-USER\" t 4)",
              MessagesOf(out)[0]);
    out.clear();
    ASSERT_TRUE(SessionMacroexpand(c.s, "(when a b)", true, out));
    EXPECT_NE(std::string::npos, MessagesOf(out)[0].find("(swank:swank-macroexpand-all \"(when a b)\")"));
    out.clear();
    ASSERT_TRUE(SessionToggleTrace(c.s, "foo", out));
    EXPECT_NE(std::string::npos, MessagesOf(out)[0].find("(swank:swank-toggle-trace \"foo\")"));
    out.clear();
    ASSERT_TRUE(SessionUntraceAll(c.s, out));
    EXPECT_NE(std::string::npos, MessagesOf(out)[0].find("(swank:untrace-all)"));
    EXPECT_EQ("(IF A\n    B)\n", TranscriptOf(c.Receive("(:return (:ok \"(IF A\n    B)\n\") 4)")));
    EXPECT_EQ("; Macroexpansion of (when a b): end of file\n",
              TranscriptOf(c.Receive("(:return (:ok (:error \"end of file\nmore\")) 5)")));
    EXPECT_EQ("; Toggle Trace of foo: the request was aborted.\n", TranscriptOf(c.Receive("(:return (:abort \"x\") 6)")));
    EXPECT_EQ("; Untrace All: the Lisp's answer was not understood.\n", TranscriptOf(c.Receive("(:return (:ok 42) 7)")));
    Session none;
    EXPECT_FALSE(SessionMacroexpand(none, "(a)", false, out));
    EXPECT_FALSE(SessionToggleTrace(none, "a", out));
    EXPECT_FALSE(SessionUntraceAll(none, out));
}

// Find Definition's answer: the definitions with a place in a file, or one
// line saying why there is none to go to.
TEST(SessionInput, DefinitionsWithAPlaceInAFileOrOneLine)
{
    Connected c;
    Effects out;
    ASSERT_TRUE(SessionFindDefinitions(c.s, "foo", out));
    EXPECT_NE(std::string::npos, MessagesOf(out)[0].find("(swank:find-definitions-for-emacs \"foo\")"));
    Effects got = c.Receive("(:return (:ok ((\"(DEFUN FOO)\" (:location (:file \"/tmp/a.lsp\") (:position 12) nil)) "
                            "(\"(DEFVAR FOO)\" (:error \"No source\")))) 4)");
    const Effect &ready = FirstOf(got, EffectKind::DefinitionsReady);
    EXPECT_EQ("foo", ready.name);
    EXPECT_EQ(Texts{"(DEFUN FOO)"}, ready.items);
    ASSERT_EQ(1u, ready.places.size());
    EXPECT_EQ("/tmp/a.lsp", ready.places[0].file);
    EXPECT_EQ(11, ready.places[0].position);
    struct {
        const char *answer;
        const char *shown;
    } cases[] = {
        {"(:return (:ok nil) 4)", "; No definition of foo is known\n"},
        {"(:return (:ok ((\"(DEFUN FOO)\" (:error \"No source\nat all\")))) 4)",
         "; The source of foo is not known: (DEFUN FOO): No source\n"},
        {"(:return (:ok ((\"(DEFUN FOO)\" (:location (:buffer \"x\") (:offset 1 0) nil)))) 4)",
         "; The source of foo is not known: (DEFUN FOO): it was compiled from a text, not a file\n"},
        {"(:return (:ok (:error \"Bad name\")) 4)", "; Find Definition of foo: Bad name\n"},
        {"(:return (:ok 7) 4)", "; Find Definition of foo: the Lisp's answer was not understood.\n"},
        {"(:return (:ok (7 (1 2))) 4)", "; Find Definition of foo: the Lisp's answer was not understood.\n"},
        {"(:return (:abort \"x\") 4)", "; Find Definition of foo: the request was aborted.\n"},
    };
    for (const auto &k : cases) {
        c.s.nextId = 4;
        ASSERT_TRUE(SessionFindDefinitions(c.s, "foo", out));
        Effects answer = c.Receive(k.answer);
        EXPECT_EQ(k.shown, TranscriptOf(answer)) << k.answer;
        EXPECT_FALSE(Has(answer, EffectKind::DefinitionsReady)) << k.answer;
    }
}

// Who Calls and Who References list every caller, a place or not; none,
// or a Lisp without the record (ECL), is one line.
TEST(SessionInput, CallersAndReferencesAreListedOrSaidInOneLine)
{
    Connected c;
    Effects out;
    ASSERT_TRUE(SessionWhoCalls(c.s, "foo", true, out));
    EXPECT_NE(std::string::npos, MessagesOf(out)[0].find("(swank:xref :calls \"foo\")"));
    Effects got = c.Receive("(:return (:ok ((\"(DEFUN BAR)\" (:location (:file \"/tmp/b.lsp\") (:position 3) nil)) "
                            "(\"(DEFUN BAZ)\" (:error \"No source\")))) 4)");
    const Effect &ready = FirstOf(got, EffectKind::ReferencesReady);
    EXPECT_EQ("callers of foo", ready.text);
    EXPECT_EQ((Texts{"(DEFUN BAR)", "(DEFUN BAZ)"}), ready.items);
    ASSERT_EQ(2u, ready.places.size());
    EXPECT_TRUE(ready.places[0].known);
    EXPECT_FALSE(ready.places[1].known);
    out.clear();
    ASSERT_TRUE(SessionWhoCalls(c.s, "*v*", false, out));
    EXPECT_NE(std::string::npos, MessagesOf(out)[0].find("(swank:xref :references \"*v*\")"));
    EXPECT_EQ("references to *v*",
              FirstOf(c.Receive("(:return (:ok ((\"(DEFUN BAR)\" (:error \"x\")))) 5)"), EffectKind::ReferencesReady).text);
    struct {
        bool calls;
        const char *answer;
        const char *shown;
    } cases[] = {
        {true, "(:return (:ok :not-implemented) 4)", "; Who Calls is not implemented by SBCL 2.2.9.\n"},
        {false, "(:return (:ok :not-implemented) 4)", "; Who References is not implemented by SBCL 2.2.9.\n"},
        {true, "(:return (:ok nil) 4)", "; No callers of foo are known\n"},
        {false, "(:return (:ok nil) 4)", "; No references to foo are known\n"},
        {true, "(:return (:ok (:error \"bad\")) 4)", "; Who Calls foo: bad\n"},
        {true, "(:return (:ok (1 2)) 4)", "; Who Calls foo: the Lisp's answer was not understood.\n"},
        {false, "(:return (:abort nil) 4)", "; Who References foo: the request was aborted.\n"},
    };
    for (const auto &k : cases) {
        c.s.nextId = 4;
        ASSERT_TRUE(SessionWhoCalls(c.s, "foo", k.calls, out));
        Effects answer = c.Receive(k.answer);
        EXPECT_EQ(k.shown, TranscriptOf(answer)) << k.answer;
        EXPECT_FALSE(Has(answer, EffectKind::ReferencesReady)) << k.answer;
    }
}

// Compile Editor Text: the editor's text goes to compile-string-for-emacs
// in the file's package, the summary shows, and the notes come for their
// window; an error or an odd answer is one line.
TEST(SessionInput, ACompiledTextShowsItsSummaryAndBringsItsNotes)
{
    Connected c;
    Effects out;
    ASSERT_TRUE(SessionCompileText(c.s, "(defun f () y)", "doc.lsp", "MY-APP", out));
    EXPECT_EQ(Texts{"(:emacs-rex (cl:handler-case (swank:compile-string-for-emacs \"(defun f () y)\" \"doc.lsp\" "
                    "(cl:quote ((:position 1) (:line 1 1))) nil nil) (cl:error (condition) (cl:list :error "
                    "(cl:ignore-errors (cl:princ-to-string condition))))) \"MY-APP\" t 4)"},
              MessagesOf(out));
    Effects got = c.Receive("(:return (:ok (:compilation-result ((:message \"undefined variable: Y\" :severity :warning "
                            ":location (:location (:buffer \"doc.lsp\") (:offset 1 12) nil))) t 0.25 t nil)) 4)");
    EXPECT_EQ("; Compiled doc.lsp: 1 warning (0.25 s); loaded\n", TranscriptOf(got));
    const Effect &notes = FirstOf(got, EffectKind::NotesReady);
    EXPECT_EQ("doc.lsp", notes.name);
    ASSERT_EQ(1u, notes.notes.size());
    EXPECT_EQ(12, notes.notes[0].place.position);
    out.clear();
    ASSERT_TRUE(SessionCompileText(c.s, "(f)", "doc.lsp", "", out));
    EXPECT_NE(std::string::npos, MessagesOf(out)[0].find("\"COMMON-LISP-USER\" t 5)")) << "the REPL's package";
    got = c.Receive("(:return (:ok (:compilation-result nil nil 0.5 nil nil)) 5)");
    EXPECT_EQ("; Compiled doc.lsp: no notes (0.50 s); failed: not loaded\n", TranscriptOf(got));
    EXPECT_FALSE(Has(got, EffectKind::NotesReady));
    struct {
        const char *answer;
        const char *shown;
    } cases[] = {
        {"(:return (:ok (:error \"no swank\")) 6)", "; Compile doc.lsp: no swank\n"},
        {"(:return (:ok (1 2)) 6)", "; Compile doc.lsp: the Lisp's answer was not understood.\n"},
        {"(:return (:ok nil) 6)", "; Compile doc.lsp: the Lisp's answer was not understood.\n"},
        {"(:return (:abort nil) 6)", "; Compile doc.lsp: the request was aborted.\n"},
    };
    for (const auto &k : cases) {
        c.s.nextId = 6;
        ASSERT_TRUE(SessionCompileText(c.s, "(f)", "doc.lsp", "", out));
        EXPECT_EQ(k.shown, TranscriptOf(c.Receive(k.answer))) << k.answer;
    }
    Session none;
    EXPECT_FALSE(SessionCompileText(none, "(f)", "doc.lsp", "", out));
}

// Compile and Load File: the file goes to compile-file-for-emacs, which
// loads nothing itself; what it wrote is loaded with load-file when the
// compilation succeeded, and the summary waits for the load. A failed
// compilation is not loaded; a load that fails says why in the same line.
TEST(SessionInput, ACompiledFileIsLoadedWhenItSucceeded)
{
    Connected c;
    Effects out;
    ASSERT_TRUE(SessionCompileFile(c.s, "/tmp/a b/foo.lsp", "foo.lsp", out));
    EXPECT_EQ(Texts{"(:emacs-rex (cl:handler-case (swank:compile-file-for-emacs \"/tmp/a b/foo.lsp\" t) "
                    "(cl:error (condition) (cl:list :error (cl:ignore-errors (cl:princ-to-string condition))))) "
                    "\"COMMON-LISP-USER\" t 4)"},
              MessagesOf(out));
    Effects got = c.Receive("(:return (:ok (:compilation-result ((:message \"undefined function: G\" :severity "
                            ":style-warning :location (:location (:file \"/tmp/a b/foo.lsp\") (:position 20) nil))) "
                            "t 0.12 t \"/tmp/a b/foo.fasl\")) 4)");
    EXPECT_EQ("", TranscriptOf(got)) << "the summary waits for the load";
    const Effect &notes = FirstOf(got, EffectKind::NotesReady);
    EXPECT_EQ("foo.lsp", notes.name);
    ASSERT_EQ(1u, notes.notes.size());
    EXPECT_EQ("/tmp/a b/foo.lsp", notes.notes[0].place.file);
    EXPECT_EQ(19, notes.notes[0].place.position);
    ASSERT_EQ(1u, MessagesOf(got).size());
    EXPECT_NE(std::string::npos, MessagesOf(got)[0].find("(swank:load-file \"/tmp/a b/foo.fasl\")")) << MessagesOf(got)[0];
    EXPECT_EQ("; Compiled foo.lsp: 1 style warning (0.12 s); loaded\n",
              TranscriptOf(c.Receive("(:return (:ok \"T\") 5)")));
    struct {
        const char *compiled, *loaded, *shown;
    } cases[] = {
        {"(:compilation-result nil nil 0.5 t \"/tmp/f.fasl\")", nullptr,
         "; Compiled foo.lsp: no notes (0.50 s); failed: not loaded\n"},
        {"(:compilation-result nil t 0.5 t nil)", nullptr,
         "; Compiled foo.lsp: no notes (0.50 s); not loaded: the Lisp wrote no compiled file\n"},
        {"(:compilation-result nil t 0.5 t \"/tmp/f.fasl\")", "(:ok (:error \"boom\nmore\"))",
         "; Compiled foo.lsp: no notes (0.50 s); not loaded: boom\n"},
        {"(:compilation-result nil t 0.5 t \"/tmp/f.fasl\")", "(:abort nil)",
         "; Compiled foo.lsp: no notes (0.50 s); not loaded: the load was aborted.\n"},
        {"(:compilation-result nil t 0.5 t \"/tmp/f.fasl\")", "(:ok 42)",
         "; Compiled foo.lsp: no notes (0.50 s); not loaded: the Lisp's answer was not understood.\n"},
        {"(:error \"file does not exist\")", nullptr, "; Compile foo.lsp: file does not exist\n"},
        {"(1 2 3)", nullptr, "; Compile foo.lsp: the Lisp's answer was not understood.\n"},
    };
    for (const auto &k : cases) {
        c.s.nextId = 6;
        out.clear();
        ASSERT_TRUE(SessionCompileFile(c.s, "/tmp/f.lsp", "foo.lsp", out));
        got = c.Receive(std::string("(:return (:ok ") + k.compiled + ") 6)");
        if (k.loaded) {
            EXPECT_EQ(1u, MessagesOf(got).size()) << k.compiled;
            got = c.Receive(std::string("(:return ") + k.loaded + " 7)");
        } else {
            EXPECT_TRUE(MessagesOf(got).empty()) << k.compiled;
        }
        EXPECT_EQ(k.shown, TranscriptOf(got)) << k.compiled;
    }
}

// The Lisp's ED: a file, with its place when given, is for the editor; a
// function name is found as Find Definition finds it; nil brings the
// editor; a target of another shape is said in one line.
TEST(SessionInput, TheLispsEdShowsAFileOrFindsTheDefinition)
{
    Connected c;
    Effects got = c.Receive("(:ed (:filename \"/tmp/x.lsp\"))");
    const Effect &edit = FirstOf(got, EffectKind::EditReady);
    ASSERT_EQ(1u, edit.places.size());
    EXPECT_EQ("/tmp/x.lsp", edit.places[0].file);
    EXPECT_FALSE(edit.places[0].known);
    got = c.Receive("(:ed (:filename \"/tmp/x.lsp\" :line 3 :column 2))");
    ASSERT_EQ(1u, FirstOf(got, EffectKind::EditReady).places.size());
    EXPECT_EQ(3, FirstOf(got, EffectKind::EditReady).places[0].line);
    EXPECT_EQ(2, FirstOf(got, EffectKind::EditReady).places[0].column);
    got = c.Receive("(:ed (:filename \"/tmp/x.lsp\" :position 7))");
    EXPECT_EQ(6, FirstOf(got, EffectKind::EditReady).places[0].position);
    got = c.Receive("(:ed nil)");
    EXPECT_TRUE(Has(got, EffectKind::EditReady));
    EXPECT_TRUE(FirstOf(got, EffectKind::EditReady).places.empty());
    got = c.Receive("(:ed (:function-name \"FOO\"))");
    ASSERT_EQ(1u, MessagesOf(got).size());
    EXPECT_NE(std::string::npos, MessagesOf(got)[0].find("(swank:find-definitions-for-emacs \"FOO\")"));
    for (const char *odd : {"(:ed (:something 1))", "(:ed 42)", "(:ed (:filename 3))"}) {
        got = c.Receive(odd);
        EXPECT_FALSE(Has(got, EffectKind::EditReady)) << odd;
        EXPECT_EQ("; ED: the Lisp named nothing the listener can edit.\n", TranscriptOf(got)) << odd;
    }
}

TEST(SessionInput, NothingIsAskedWithoutAReadyLisp)
{
    Session s;
    Effects out;
    EXPECT_FALSE(SessionComplete(s, "a", 1, out));
    EXPECT_FALSE(SessionArglist(s, "a", 1, out));
    EXPECT_FALSE(SessionDescribe(s, "a", out));
    s.state = LinkState::Greeting;  // connected, the REPL not made yet
    EXPECT_FALSE(SessionComplete(s, "a", 1, out));
    EXPECT_TRUE(MessagesOf(out).empty());
    EXPECT_TRUE(s.requests.empty());
}

}  // namespace
