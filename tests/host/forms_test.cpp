// The top-level forms of an input text: where the reader's syntax puts each
// form's start and end, what is left unfinished, and when Enter sends.
#include "listener/core/forms.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

struct Case {
    const char *text;
    std::vector<std::string> forms;
    const char *unfinished;
};

void ExpectSplit(const std::vector<Case> &cases)
{
    for (const Case &c : cases) {
        TextForms split = SplitForms(c.text);
        EXPECT_EQ(c.forms, split.forms) << "text: " << c.text;
        EXPECT_EQ(c.unfinished, split.unfinished) << "text: " << c.text;
    }
}

TEST(SplitForms, SeparatesFormsAndLeavesOutBlanksAndComments)
{
    ExpectSplit({
        {"", {}, ""},
        {" \t\r\n\f", {}, ""},
        {"; only a comment", {}, ""},
        {"#| a block |# ; and a line\r\n", {}, ""},
        {"(+ 1 2)", {"(+ 1 2)"}, ""},
        {"  (a)\r\n(b) c\n\"d\"  ", {"(a)", "(b)", "c", "\"d\""}, ""},
        {"(a) ; comment (b)\r\n(c)", {"(a)", "(c)"}, ""},
        {"1 2 3", {"1", "2", "3"}, ""},
        {"(a (b (c)) d)(e)", {"(a (b (c)) d)", "(e)"}, ""},
        {"(a ; a ) in a comment\n b)", {"(a ; a ) in a comment\n b)"}, ""},
        {"(a #| ) #| nested ) |# ) |# b)", {"(a #| ) #| nested ) |# ) |# b)"}, ""},
        {"#| outer #| inner |# still comment |# x", {"x"}, ""},
        {"#||# x #|||# y", {"x", "y"}, ""},
    });
}

TEST(SplitForms, TokensEndAtWhitespaceAndTerminatingMacroCharacters)
{
    ExpectSplit({
        {"a(b)", {"a", "(b)"}, ""},
        {"\"s\"t", {"\"s\"", "t"}, ""},
        {"a'b", {"a", "'b"}, ""},
        {"a;c\nb", {"a", "b"}, ""},
        {"a`b,c", {"a", "`b", ",c"}, ""},
        {"a#b c", {"a#b", "c"}, ""},
        {"a#|b|c", {"a#|b|c"}, ""},
        {"pkg::sym :key 1.5e3", {"pkg::sym", ":key", "1.5e3"}, ""},
        {"caf\xc3\xa9 \xce\xbb", {"caf\xc3\xa9", "\xce\xbb"}, ""},
    });
}

TEST(SplitForms, StringsAndEscapesHideDelimiters)
{
    ExpectSplit({
        {"\"a ) b\" c", {"\"a ) b\"", "c"}, ""},
        {"\"a \\\" ) b\"", {"\"a \\\" ) b\""}, ""},
        {"\"back\\\\\" x", {"\"back\\\\\"", "x"}, ""},
        {"(f \"(\" \";\")", {"(f \"(\" \";\")"}, ""},
        {"|a ) b| c", {"|a ) b|", "c"}, ""},
        {"foo|)|bar baz", {"foo|)|bar", "baz"}, ""},
        {"|a \\| ; b|", {"|a \\| ; b|"}, ""},
        {"a\\)b c", {"a\\)b", "c"}, ""},
        {"a\\ b", {"a\\ b"}, ""},
        {"(x |(| \\( y)", {"(x |(| \\( y)"}, ""},
    });
}

TEST(SplitForms, CharacterNamesTakeTheNextCharacterWhateverItIs)
{
    ExpectSplit({
        {"#\\( #\\)", {"#\\(", "#\\)"}, ""},
        {"(list #\\( #\\) #\\\" #\\; #\\|)", {"(list #\\( #\\) #\\\" #\\; #\\|)"}, ""},
        {"#\\Space #\\a #\\\\ x", {"#\\Space", "#\\a", "#\\\\", "x"}, ""},
        {"(char= c #\\))", {"(char= c #\\))"}, ""},
        {"#\\  x", {"#\\ ", "x"}, ""},
        {"#\\Newline)", {"#\\Newline", ")"}, ""},
        {"#\\\xce\xbb y", {"#\\\xce\xbb", "y"}, ""},
    });
}

TEST(SplitForms, PrefixesStayWithTheFormTheyApplyTo)
{
    ExpectSplit({
        {"'a 'b", {"'a", "'b"}, ""},
        {"'(1 2) `(a ,b ,@c ,.d)", {"'(1 2)", "`(a ,b ,@c ,.d)"}, ""},
        {"' ; why not\n  x y", {"' ; why not\n  x", "y"}, ""},
        {"#'car #'(lambda (x) x)", {"#'car", "#'(lambda (x) x)"}, ""},
        {"#.(+ 1 2) z", {"#.(+ 1 2)", "z"}, ""},
        {"#1=(a . #1#) #1#", {"#1=(a . #1#)", "#1#"}, ""},
        {"''''a", {"''''a"}, ""},
        {",@x", {",@x"}, ""},
    });
}

TEST(SplitForms, FeatureExpressionsTakeTheirFeatureAndThenAForm)
{
    ExpectSplit({
        {"#+sbcl (f) (g)", {"#+sbcl (f)", "(g)"}, ""},
        {"#-(or ccl ecl) 1 2", {"#-(or ccl ecl) 1", "2"}, ""},
        {"#+a #+b x y", {"#+a #+b x", "y"}, ""},
        {"#+#.(cl:if t '(and) '(or)) q r", {"#+#.(cl:if t '(and) '(or)) q", "r"}, ""},
        {"#+sbcl ; comment\n 'x", {"#+sbcl ; comment\n 'x"}, ""},
        {"#+sbcl", {}, "#+sbcl"},
        {"(a) #+sbcl (f)\n#-sbcl", {"(a)", "#+sbcl (f)"}, "#-sbcl"},
    });
}

TEST(SplitForms, SharpSyntaxFormsAreWhole)
{
    ExpectSplit({
        {"#(1 2) #*1011 #* x", {"#(1 2)", "#*1011", "#*", "x"}, ""},
        {"#:g12 #x1F #b101 #o7 #36rZZ #XfF", {"#:g12", "#x1F", "#b101", "#o7", "#36rZZ", "#XfF"}, ""},
        {"#p\"/tmp/a b\" #P\"c\"", {"#p\"/tmp/a b\"", "#P\"c\""}, ""},
        {"#c(1 2) #s(point :x 1) #2a((1 2) (3 4)) #0A5", {"#c(1 2)", "#s(point :x 1)", "#2a((1 2) (3 4))", "#0A5"},
         ""},
        {"(#(a #(b)) #\\()", {"(#(a #(b)) #\\()"}, ""},
        {"#12# #3#", {"#12#", "#3#"}, ""},
        {"#?\"interpolated ${x}\" y", {"#?\"interpolated ${x}\"", "y"}, ""},
        {"#<foo> #) # x", {"#<foo>", "#)", "# ", "x"}, ""},
    });
}

TEST(SplitForms, AStrayCloseIsAFormOfItsOwn)
{
    ExpectSplit({
        {")", {")"}, ""},
        {"(a)) (b)", {"(a)", ")", "(b)"}, ""},
        {"')", {"')"}, ""},
        {"a)b", {"a", ")", "b"}, ""},
    });
}

TEST(SplitForms, AnUnfinishedLastFormRunsToTheEnd)
{
    ExpectSplit({
        {"(a) (b", {"(a)"}, "(b"},
        {"(defun f (x)\r\n  (g x", {}, "(defun f (x)\r\n  (g x"},
        {"(a) \"open ) string", {"(a)"}, "\"open ) string"},
        {"\"ends in an escape\\", {}, "\"ends in an escape\\"},
        {"x |open bar", {"x"}, "|open bar"},
        {"a\\", {}, "a\\"},
        {"(f #\\", {}, "(f #\\"},
        {"#\\", {}, "#\\"},
        {"'", {}, "'"},
        {"x ,@", {"x"}, ",@"},
        {"#", {}, "#"},
        {"#12", {}, "#12"},
        {"(a) #| not closed", {"(a)"}, "#| not closed"},
        {"(a) #| one |# #| two #| three |#", {"(a)"}, "#| two #| three |#"},
        {"(a #| ) |# ", {}, "(a #| ) |# "},
        {"(a ; )\n", {}, "(a ; )\n"},
        {"'  ; nothing quoted yet\n", {}, "'  ; nothing quoted yet\n"},
        {"(a) ((((", {"(a)"}, "(((("},
    });
}

TEST(HoldsCompleteForms, SendsOnlyWhenEveryFormIsFinished)
{
    for (const char *complete : {"(+ 1 2)", "x", "(a) (b)", "(a) ; done\r\n", "(a) #| c |#", ")", "#\\("})
        EXPECT_TRUE(HoldsCompleteForms(complete)) << complete;
    for (const char *not_yet : {"", "  \r\n", "; comment", "#| c |#", "(a", "(a) (b", "\"x", "'", "#+sbcl",
                                "(a) #| open", "#\\", "(list #\\)"})
        EXPECT_FALSE(HoldsCompleteForms(not_yet)) << not_yet;
}

// The form Macroexpand takes from the input: the top-level one the caret is
// in or touches; none between forms or in an unfinished one.
TEST(TopLevelFormAt, TheFormTheCaretIsInOrTouches)
{
    struct {
        const char *text;
        size_t at;
        const char *form;  // null: none
    } cases[] = {
        {"(when a b)", 0, "(when a b)"},
        {"(when a b)", 5, "(when a b)"},
        {"(when a b)", 10, "(when a b)"},
        {"(a)  (b c)", 4, nullptr},
        {"(a)  (b c)", 7, "(b c)"},
        {"(a) '(b)", 5, "'(b)"},
        {"#+sbcl (x) y", 8, "#+sbcl (x)"},
        {"(a) ; (b)\n", 7, nullptr},
        {"(a (b", 4, nullptr},
        {"", 0, nullptr},
    };
    for (const auto &c : cases) {
        size_t start = 0, end = 0;
        bool found = TopLevelFormAt(c.text, c.at, &start, &end);
        std::string got = found ? std::string(c.text).substr(start, end - start) : "(none)";
        EXPECT_EQ(c.form ? c.form : "(none)", got) << c.text << " at " << c.at;
    }
}

// The package a position of a file is read in: its last top-level
// in-package before it, as the reader sees the file.
TEST(PackageAt, TheLastInPackageBeforeThePosition)
{
    struct {
        const char *text;
        const char *package;
    } cases[] = {
        {"(in-package :my-app) (defun f ())", "MY-APP"},
        {"(IN-PACKAGE #:My-App)\r\n(defun f ())", "MY-APP"},
        {"(cl:in-package \"mixed-Case\") (f)", "mixed-Case"},
        {"(in-package |lower|) (f)", "lower"},
        {"(in-package my\\-app) (f)", "MY-APP"},
        {"(in-package :a) (f) (in-package :b) (g)", "B"},
        {"(defpackage :p (:use :cl))\n(in-package :p) ; the file's package\n", "P"},
        {"(in-package :a) \"(in-package :b)\" (f)", "A"},
        {"(in-package :a) ; (in-package :b)\n(f)", "A"},
        {"(in-package :a) #| (in-package :b) |# (f)", "A"},
        {"(in-package :a) #+nil (in-package :b) (f)", "A"},
        {"(in-package :a) '(in-package :b) (f)", "A"},
        {"(in-package :a) (progn (in-package :b)) (f)", "A"},
        {"(in-package :a) (in-package other:b) (f)", "A"},
        {"(in-package :a) (in-package) (f)", "A"},
        {"(in-package :a :b) (f)", ""},
        {"(defun f ())", ""},
        {"(in-package :a", ""},
        {"", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.package, PackageAt(c.text, std::string(c.text).size())) << c.text;
    // Only the forms that end by the position count.
    const std::string file = "(in-package :a)\n(f)\n(in-package :b)\n(g)\n";
    EXPECT_EQ("", PackageAt(file, 0));
    EXPECT_EQ("", PackageAt(file, 14)) << "inside the first in-package";
    EXPECT_EQ("A", PackageAt(file, file.find("(f)")));
    EXPECT_EQ("A", PackageAt(file, file.find("(in-package :b)") + 5));
    EXPECT_EQ("B", PackageAt(file, file.find("(g)")));
}

// A megabyte of nesting, opened then closed and opened only: scanned in one
// pass with a counter, so neither the stack nor the time grows with depth.
TEST(SplitForms, DeepNestingIsFastAndSafe)
{
    const size_t depth = 512 * 1024;
    std::string closed = std::string(depth, '(') + std::string(depth, ')');
    std::string open(2 * depth, '(');
    auto started = std::chrono::steady_clock::now();
    TextForms a = SplitForms(closed);
    TextForms b = SplitForms(open + "\"");
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    ASSERT_EQ(1u, a.forms.size());
    EXPECT_EQ(closed.size(), a.forms[0].size());
    EXPECT_TRUE(b.forms.empty());
    EXPECT_EQ(open.size() + 1, b.unfinished.size());
    EXPECT_LT(seconds, 2.0);
}

}  // namespace
