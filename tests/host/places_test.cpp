// Places as Swank gives them, and where they fall in the editor's text: a
// file with CR LF or LF line breaks, with characters of several bytes before
// the place, and a compiled string's offsets.
#include "listener/core/places.h"
#include "listener/core/swank_wire.h"

#include <gtest/gtest.h>

namespace {

SourcePlace Place(const std::string &location)
{
    Sexp e;
    EXPECT_TRUE(ReadSexp(location, &e)) << location;
    SourcePlace place;
    EXPECT_TRUE(ReadPlace(e, &place)) << location;
    return place;
}

// The text the place selects, or "(none)".
std::string Selected(const std::string &text, const std::string &location)
{
    size_t start, end;
    if (!PlaceInText(text, Place(location), &start, &end))
        return "(none)";
    return text.substr(start, end - start);
}

TEST(Places, APositionSelectsTheFormThereWhateverTheLineBreaksAndCharacters)
{
    // (:position N) counts the Lisp's characters from 1: λ is one
    // character of two bytes, a CR LF two characters.
    struct {
        const char *name;
        std::string text;
    } files[] = {
        {"LF", "(defun a () 1)\n(defun b (x) (car x))\n"},
        {"CR LF", "(defun a () 1)\r\n(defun b (x) (car x))\r\n"},
        {"UTF-8 before", "(defun a () \"\xce\xbb\xce\xbb\")\n(defun b (x) (car x))\n"},
    };
    for (const auto &f : files) {
        std::string text = f.text;
        // The character position of "(defun b" as the Lisp counts it.
        size_t bytes = text.find("(defun b");
        long characters = f.name == std::string("UTF-8 before") ? (long)bytes - 2 : (long)bytes;
        EXPECT_EQ("(defun b (x) (car x))",
                  Selected(text, "(:location (:file \"/tmp/f.lsp\") (:position " + std::to_string(characters + 1) +
                                     ") nil)"))
            << f.name;
        EXPECT_EQ("(car x)", Selected(text, "(:location (:file \"f\") (:line 2 13) nil)")) << f.name;
        EXPECT_EQ("(none)", Selected(text, "(:location (:file \"f\") (:line 9 0) nil)")) << f.name << ": past the end";
    }
    EXPECT_EQ("x", Selected("(a x)", "(:location (:file \"f\") (:position 4) nil)")) << "an atom";
    EXPECT_EQ("'(b c)", Selected("(a '(b c))", "(:location (:file \"f\") (:position 4) nil)")) << "a quoted form";
    EXPECT_EQ("(unclosed", Selected("(unclosed", "(:location (:file \"f\") (:position 1) nil)"));
}

// A compiled string's offsets count the editor's own characters.
TEST(Places, AnOffsetCountsTheCompiledStringsCharacters)
{
    std::string text = "(a \"\xe9\")\r\n(b)";
    SourcePlace place = Place("(:location (:buffer \"doc.lsp\") (:offset 1 9) nil)");
    EXPECT_TRUE(place.inString);
    EXPECT_EQ("doc.lsp", place.buffer);
    EXPECT_EQ("(b)", Selected(text, "(:location (:buffer \"doc.lsp\") (:offset 1 9) nil)"));
    EXPECT_EQ("(none)", Selected(text, "(:location (:buffer \"doc.lsp\") (:offset 1 99) nil)"));
}

TEST(Places, WhatIsNoPlaceSaysWhy)
{
    SourcePlace place = Place("(:error \"No source for FOO\")");
    EXPECT_FALSE(place.known);
    EXPECT_EQ("No source for FOO", place.why);
    place = Place("(:location (:file \"f\") (:function-name \"FOO\") nil)");
    EXPECT_FALSE(place.known);
    EXPECT_EQ("f", place.file);
    Sexp odd;
    ASSERT_TRUE(ReadSexp("(:something 1)", &odd));
    EXPECT_FALSE(ReadPlace(odd, &place));
    EXPECT_FALSE(place.why.empty());
}

TEST(Compilation, NotesInTheOrderOfTheirPlacesAndTheSummary)
{
    Sexp e;
    ASSERT_TRUE(ReadSexp("(:compilation-result ("
                         "(:message \"undefined variable: Y\" :severity :warning "
                         " :location (:location (:buffer \"doc.lsp\") (:offset 1 40) nil))"
                         "(:message \"X is unused\" :severity :style-warning "
                         " :location (:location (:buffer \"doc.lsp\") (:offset 1 5) nil))"
                         "(:message \"redefining F\" :severity :redefinition :location (:error \"none\"))"
                         "(:message \"unused Z\" :severity :style-warning "
                         " :location (:location (:buffer \"doc.lsp\") (:offset 1 20) nil)))"
                         " t 0.25 t \"/tmp/doc.fasl\")",
                         &e));
    Compilation c;
    ASSERT_TRUE(ReadCompilation(e, &c));
    ASSERT_EQ(4u, c.notes.size());
    EXPECT_EQ("X is unused", c.notes[0].message);
    EXPECT_EQ("style warning", c.notes[0].severity);
    EXPECT_EQ("unused Z", c.notes[1].message);
    EXPECT_EQ("warning", c.notes[2].severity);
    EXPECT_EQ("redefinition", c.notes[3].severity) << "no place: last";
    EXPECT_TRUE(c.success);
    EXPECT_EQ("/tmp/doc.fasl", c.fasl);
    EXPECT_EQ("; Compiled doc.lsp: 2 style warnings, 1 warning, 1 redefinition (0.25 s); loaded",
              CompilationSummary("doc.lsp", c, "loaded"));
    ASSERT_TRUE(ReadSexp("(:compilation-result nil nil 0.5 nil nil)", &e));
    ASSERT_TRUE(ReadCompilation(e, &c));
    EXPECT_EQ("; Compiled f.lsp: no notes (0.50 s); failed: not loaded", CompilationSummary("f.lsp", c, "failed: not loaded"));
    ASSERT_TRUE(ReadSexp("(:ok 1)", &e));
    EXPECT_FALSE(ReadCompilation(e, &c));
}

// The lines of the definitions, references and notes windows.
TEST(Places, ListLines)
{
    EXPECT_EQ("(DEFUN F)  f.lsp",
              DefinitionLine("(DEFUN F)", Place("(:location (:file \"/tmp/x/f.lsp\") (:position 1) nil)")));
    EXPECT_EQ("(DEFUN G)  g.lsp",
              DefinitionLine("(DEFUN G)", Place("(:location (:file \"C:\\\\x\\\\g.lsp\") (:position 1) nil)")));
    const std::string text = "(a)\r\n(b x)\r\n";
    CompilerNote note;
    note.severity = "warning";
    note.message = "undefined variable: X\nmore";
    note.place = Place("(:location (:buffer \"t\") (:offset 1 5) nil)");
    EXPECT_EQ("warning 2:1 undefined variable: X", NoteLine(text, note));
    note.place = Place("(:error \"none\")");
    EXPECT_EQ("warning - undefined variable: X", NoteLine(text, note));
}

TEST(Places, LineAndColumn)
{
    std::string text = "(a)\r\n  (b)\n";
    EXPECT_EQ("1:1", LineAndColumn(text, 0));
    EXPECT_EQ("2:3", LineAndColumn(text, text.find("(b)")));
}

}  // namespace
