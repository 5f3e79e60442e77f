// The input area's rules: the indentation of a new or Tab-ed line, the
// symbol and the form at the caret, the argument marked in an argument
// list, and what a completion puts in and lists. In each text, ^ stands
// for the caret.
#include "listener/core/input_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

typedef std::vector<std::string> Texts;

// The text without its ^, and the caret's UTF-16 index.
std::u16string WithCaret(const std::string &marked, size_t *caret)
{
    size_t at = marked.find('^');
    EXPECT_NE(std::string::npos, at) << marked;
    std::u16string before = Utf8ToUtf16(marked.substr(0, at));
    *caret = before.size();
    return before + Utf8ToUtf16(marked.substr(at + 1));
}

std::string Utf8(const std::u16string &text)
{
    return Utf16ToUtf8(text, 0, text.size());
}

// The text after the line at the caret was re-indented.
std::string Indented(const std::string &marked)
{
    size_t caret;
    std::u16string text = WithCaret(marked, &caret);
    IndentChange indent;
    if (!DecideInputIndent(text, caret, &indent))
        return Utf8(text);
    if (indent.change > 0)
        text.insert(indent.lineStart, (size_t)indent.change, u' ');
    else
        text.erase(indent.lineStart, (size_t)-indent.change);
    return Utf8(text);
}

TEST(InputRules, LinesAreIndentedByTheEditorsRulesOverWhatTheReaderSees)
{
    struct {
        const char *marked, *indented;
    } cases[] = {
        {"(defun f (x)\n^", "(defun f (x)\n  "},
        {"(mapcar #'f\n^", "(mapcar #'f\n        "},
        {"(let ((x 1))\n^      (foo))", "(let ((x 1))\n  (foo))"},
        {"(foo\n^  bar)", "(foo\n bar)"},
        // The editor knows strings...
        {"(foo \"a (b\"\n^", "(foo \"a (b\"\n     "},
        // ... and the copy it reads hides what is no structure to the reader.
        {"(list #\\(\n^", "(list #\\(\n      "},
        {"(list #\\) #\\\"\n^", "(list #\\) #\\\"\n      "},
        {"(foo ; don't \"quote (\n^", "(foo ; don't \"quote (\n     "},
        {"#| ( \" |#\n(a b\n^", "#| ( \" |#\n(a b\n   "},
        {"(a |b(| \"c\\\"(\"\n^", "(a |b(| \"c\\\"(\"\n   "},
        // Columns count characters, whatever their UTF-8 or UTF-16 length.
        {"(list \"\xce\xbb\xce\xbb\" (car\n^", "(list \"\xce\xbb\xce\xbb\" (car\n            "},
        {"(list \"\xf0\x9f\x98\x80\" (car\n^", "(list \"\xf0\x9f\x98\x80\" (car\n           "},
        // Nothing encloses these lines, or it is the first.
        {"(a)\n^b", "(a)\nb"},
        {"^  (a", "  (a"},
        {"(a\n ^b)", "(a\n b)"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.indented, Indented(c.marked)) << c.marked;
}

TEST(InputRules, TheIndentationChangeIsGivenInUtf16Units)
{
    size_t caret;
    std::u16string text = WithCaret("\xf0\x9f\x98\x80(f\n   ^x)", &caret);
    IndentChange indent;
    ASSERT_TRUE(DecideInputIndent(text, caret, &indent));
    EXPECT_EQ(5u, indent.lineStart);  // the emoji is two units
    EXPECT_EQ(-1, indent.change);     // under the "f" at column 2
    EXPECT_EQ(3u, indent.blanks);
}

TEST(InputRules, LeadingBlanks)
{
    struct {
        const char *marked;
        bool blanks;
    } cases[] = {
        {"^", true}, {"  ^", true}, {"(a\n \t^  b", true}, {"(a\r\n^b", true}, {"(a ^", false}, {"(a\n b^", false},
    };
    for (const auto &c : cases) {
        size_t caret;
        std::u16string text = WithCaret(c.marked, &caret);
        EXPECT_EQ(c.blanks, InLeadingBlanks(text, caret)) << c.marked;
    }
}

TEST(InputRules, TheTypedPartOfASymbolIsWhatTabCompletes)
{
    struct {
        const char *marked;
        const char *typed;  // null: nothing to complete
    } cases[] = {
        {"(mapca^", "mapca"},
        {"mapca^", "mapca"},
        {"(mapca^r x)", "mapca"},
        {"(cl-user::mapc^", "cl-user::mapc"},
        {"(alexandria:^", "alexandria:"},
        {"(foo :ke^", ":ke"},
        {"(funcall #'mapc^", "mapc"},
        {"'(a `(b ,mapc^", "mapc"},
        {"(list ,@mapc^", "mapc"},
        {"(\xce\xbbx^", "\xce\xbbx"},
        {"(foo ^", nullptr},
        {"(foo)^", nullptr},
        {"^", nullptr},
        {"(foo \"mapc^", nullptr},
        {"(foo \"a\" \"mapc^\")", nullptr},
        {"; mapc^", nullptr},
        {"#| mapc^", nullptr},
        {"#\\a^", nullptr},
        {"#:foo^", nullptr},
        {"#xff^", nullptr},
        {"(|foo ba^", nullptr},
        {"(a\\ b^", nullptr},
    };
    for (const auto &c : cases) {
        size_t caret, start;
        std::u16string text = WithCaret(c.marked, &caret);
        bool found = CompletionStart(text, caret, &start);
        EXPECT_EQ(c.typed != nullptr, found) << c.marked;
        if (found && c.typed)
            EXPECT_EQ(c.typed, Utf16ToUtf8(text, start, caret)) << c.marked;
    }
}

TEST(InputRules, TheSymbolAtTheCaret)
{
    struct {
        const char *marked;
        const char *symbol;  // null: none
    } cases[] = {
        {"(map^car x)", "mapcar"}, {"(mapcar^ x)", "mapcar"}, {"(^mapcar x)", "mapcar"},
        {"(mapcar ^x)", "x"},      {"(cl:car^)", "cl:car"},   {"(\xce\xbb^)", "\xce\xbb"},
        {"(mapcar  ^ x)", nullptr}, {"\"abc^\"", nullptr},    {"; word^", nullptr},
        {"#\\a^", nullptr},         {"(^", nullptr},          {"^", nullptr},
    };
    for (const auto &c : cases) {
        size_t caret, start, end;
        std::u16string text = WithCaret(c.marked, &caret);
        bool found = SymbolAt(text, caret, &start, &end);
        EXPECT_EQ(c.symbol != nullptr, found) << c.marked;
        if (found && c.symbol)
            EXPECT_EQ(c.symbol, Utf16ToUtf8(text, start, end)) << c.marked;
    }
}

TEST(InputRules, TheFormAndTheArgumentAtTheCaret)
{
    struct {
        const char *marked;
        const char *op;  // null: no form with a symbol for its operator
        long argument;
        Texts before;
    } cases[] = {
        {"(mapcar ^", "mapcar", 0, {}},
        {"(mapcar^", "mapcar", -1, {}},
        {"(map^car", "mapcar", -1, {}},
        {"(mapcar #'1+ ^", "mapcar", 1, {"#'1+"}},
        {"(mapcar #'1+^", "mapcar", 0, {}},
        {"(mapcar #'1+ ^x)", "mapcar", 1, {"#'1+"}},
        {"(mapcar (lambda (x) x) '(1 2) ^", "mapcar", 2, {"(lambda (x) x)", "'(1 2)"}},
        {"(mapcar (lambda (x) x)^", "mapcar", 0, {}},
        {"(mapcar (lambda (x) ^", "lambda", 1, {"(x)"}},
        {"(mapcar (car ^) x)", "car", 0, {}},
        {"(foo \"a b\" ^", "foo", 1, {"\"a b\""}},
        {"(foo \"a b^", "foo", 0, {}},
        {"(foo ; c (\n ^", "foo", 0, {}},
        {"(foo #| ) |# ^", "foo", 0, {}},
        {"(foo #+sbcl x ^", "foo", 1, {"#+sbcl x"}},
        {"(foo ' ^", "foo", 0, {}},
        {"(foo #\\( ^", "foo", 1, {"#\\("}},
        {"(make-instance 'point :x ^", "make-instance", 2, {"'point", ":x"}},
        {"(\xce\xbb 1 ^", "\xce\xbb", 1, {"1"}},
        {"((lambda (x) x) ^", nullptr, 0, {}},
        {"#(a b ^", nullptr, 0, {}},
        {"(\"str\" ^", nullptr, 0, {}},
        {"(#:foo ^", nullptr, 0, {}},
        {"(^", nullptr, 0, {}},
        {"(a) ^", nullptr, 0, {}},
        {"a ^", nullptr, 0, {}},
    };
    for (const auto &c : cases) {
        size_t caret;
        std::u16string text = WithCaret(c.marked, &caret);
        FormAtCaret form;
        bool found = FormAt(text, caret, &form);
        EXPECT_EQ(c.op != nullptr, found) << c.marked;
        if (!found || !c.op)
            continue;
        EXPECT_EQ(c.op, form.op) << c.marked;
        EXPECT_EQ(c.argument, form.argument) << c.marked;
        EXPECT_EQ(c.before, form.before) << c.marked;
    }
}

TEST(InputRules, TheParameterThatTakesTheArgumentIsMarked)
{
    const std::string mapcar = "(mapcar FUNCTION LIST &REST MORE-LISTS)";
    const std::string find = "(find ITEM SEQUENCE &REST ARGS &KEY FROM-END (START 0) END KEY TEST TEST-NOT)";
    const std::string defun = "(defun &ENVIRONMENT ENV NAME LAMBDA-LIST &BODY BODY)";
    struct {
        std::string arglist;
        long argument;
        Texts before;
        std::string marked;
    } cases[] = {
        {mapcar, 0, {}, "(mapcar ===> FUNCTION <=== LIST &REST MORE-LISTS)"},
        {mapcar, 1, {"f"}, "(mapcar FUNCTION ===> LIST <=== &REST MORE-LISTS)"},
        {mapcar, 2, {"f", "a"}, "(mapcar FUNCTION LIST &REST ===> MORE-LISTS <===)"},
        {mapcar, 7, {}, "(mapcar FUNCTION LIST &REST ===> MORE-LISTS <===)"},
        {mapcar, -1, {}, mapcar},
        {"(subseq SEQUENCE START &OPTIONAL END)", 2, {"s", "0"}, "(subseq SEQUENCE START &OPTIONAL ===> END <===)"},
        {"(subseq SEQUENCE START &OPTIONAL END)", 3, {"s", "0", "1"}, "(subseq SEQUENCE START &OPTIONAL END)"},
        // A keyword argument's value by its keyword; elsewhere past the
        // positional ones, the &rest parameter.
        {find, 3, {"x", "l", ":start"}, "(find ITEM SEQUENCE &REST ARGS &KEY FROM-END ===> (START 0) <=== END KEY TEST "
                                        "TEST-NOT)"},
        {find, 3, {"x", "l", ":Test"}, "(find ITEM SEQUENCE &REST ARGS &KEY FROM-END (START 0) END KEY ===> TEST <=== "
                                       "TEST-NOT)"},
        {find, 3, {"x", "l", ":bogus"}, "(find ITEM SEQUENCE &REST ===> ARGS <=== &KEY FROM-END (START 0) END KEY "
                                        "TEST TEST-NOT)"},
        {find, 2, {"x", "l"}, "(find ITEM SEQUENCE &REST ===> ARGS <=== &KEY FROM-END (START 0) END KEY TEST "
                              "TEST-NOT)"},
        {"(f A &KEY ((:BAR B) 1) C)", 2, {"a", ":bar"}, "(f A &KEY ===> ((:BAR B) 1) <=== C)"},
        {"(f A &KEY C)", 2, {"a", ":bar"}, "(f A &KEY C)"},
        // &environment and &whole take no argument of the form.
        {defun, 0, {}, "(defun &ENVIRONMENT ENV ===> NAME <=== LAMBDA-LIST &BODY BODY)"},
        {defun, 2, {"f", "()"}, "(defun &ENVIRONMENT ENV NAME LAMBDA-LIST &BODY ===> BODY <===)"},
        {"(m &WHOLE W A B)", 0, {}, "(m &WHOLE W ===> A <=== B)"},
        {"(with-open-file (STREAM FILESPEC &REST OPTIONS) &BODY BODY)", 0, {},
         "(with-open-file ===> (STREAM FILESPEC &REST OPTIONS) <=== &BODY BODY)"},
        {"(f A &AUX B)", 1, {"a"}, "(f A &AUX B)"},
        {"(f \"a (\" B)", 1, {"x"}, "(f \"a (\" ===> B <===)"},
        // Not a whole list: shown as it came.
        {"(f A", 0, {}, "(f A"},
        {"NIL", 0, {}, "NIL"},
        {"", 0, {}, ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.marked, MarkArgument(c.arglist, c.argument, c.before)) << c.arglist << " " << c.argument;
}

TEST(InputRules, WhatACompletionPutsIn)
{
    struct {
        const char *typed;
        Texts matches;
        const char *text;  // null: nothing changes
    } cases[] = {
        {"mapca", {"mapcar"}, "mapcar"},
        {"MAPCA", {"mapcar"}, "mapcar"},
        {"mapcar", {"mapcar"}, nullptr},
        {"with-op", {"with-open-file", "with-open-stream"}, "with-open-"},
        {"mapc", {"mapc", "mapcan", "mapcar"}, nullptr},
        {"foo", {"FOO-A", "foo-b"}, nullptr},
        {"cl-user::mapc", {"cl-user::mapc", "cl-user::mapcan"}, nullptr},
        {"cl:ma", {"cl:make-array", "cl:make-hash-table"}, "cl:make-"},
        {"", {"\xce\xbb" "a", "\xce\xbb" "b"}, "\xce\xbb"},
        {"x", {}, nullptr},
    };
    for (const auto &c : cases) {
        std::string text;
        bool changes = CompletionText(c.typed, c.matches, &text);
        EXPECT_EQ(c.text != nullptr, changes) << c.typed;
        if (changes && c.text)
            EXPECT_EQ(c.text, text) << c.typed;
    }
    // Characters that share their first byte only are not cut in half.
    EXPECT_EQ("", CommonPrefix({"\xce\xbb", "\xce\xbc"}));
    EXPECT_EQ("a", CommonPrefix({"a\xce\xbb", "a\xce\xbc"}));
}

TEST(InputRules, SeveralMatchesAreListedInColumnsTheFirstFortyOnly)
{
    EXPECT_EQ("; 3 completions:\n"
              "with-open-file" + std::string(9, ' ') + "with-open-stream" + std::string(7, ' ') +
                  "with-output-to-string\n",
              CompletionListing({"with-open-file", "with-open-stream", "with-output-to-string"}));
    EXPECT_EQ("; 3 completions:\n"
              "with-open-file\n"
              "with-open-stream\n"
              "with-output-to-string\n",
              CompletionListing({"with-open-file", "with-open-stream", "with-output-to-string"}, 30));

    Texts many;
    for (int i = 0; i < 45; i++)
        many.push_back("name-" + std::to_string(100 + i));
    std::string listing = CompletionListing(many);
    EXPECT_EQ(0u, listing.find("; 45 completions, the first 40:\n")) << listing;
    EXPECT_NE(std::string::npos, listing.find("name-139")) << listing;
    EXPECT_EQ(std::string::npos, listing.find("name-140")) << listing;
    std::string last = "; ... and 5 more.\n";
    EXPECT_EQ(listing.size() - last.size(), listing.rfind(last)) << listing;
    // Seven columns of ten characters to a line of 78: six lines of names.
    EXPECT_EQ(8, std::count(listing.begin(), listing.end(), '\n')) << listing;
    EXPECT_EQ(0u, listing.find("; 45 completions, the first 40:\nname-100  name-101  name-102  name-103  name-104  "
                               "name-105  name-106\nname-107"))
        << listing;
}

TEST(InputRules, Utf16AndUtf8)
{
    const std::string text = "a\xce\xbb\xe2\x86\x92\xf0\x9f\x98\x80";
    std::u16string wide = Utf8ToUtf16(text);
    EXPECT_EQ(u"a\u03bb\u2192\U0001F600", wide);
    EXPECT_EQ(text, Utf16ToUtf8(wide, 0, wide.size()));
    // Bytes that are not UTF-8, and a surrogate without its pair.
    EXPECT_EQ(u"\ufffd\ufffdok", Utf8ToUtf16("\xff\xc3ok"));
    EXPECT_EQ("\xef\xbf\xbd", Utf16ToUtf8(std::u16string(1, (char16_t)0xD800), 0, 1));
}

}  // namespace
