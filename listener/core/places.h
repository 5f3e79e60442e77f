// Places in Lisp source as Swank gives them (a compiler note's, a
// definition's) and where such a place falls in the text the editor shows.
// No windows.h here: tested on the host.
//
// The editor shows a file byte for byte, one character a byte, a CR LF as
// two. The Lisp reads the same file as UTF-8 characters, so a position it
// gives is counted in those; a compiled string's offsets count characters
// of the text as the editor showed it.
#ifndef KESTRALUNE_PLACES_H
#define KESTRALUNE_PLACES_H

#include <stddef.h>

#include <string>
#include <vector>

struct Sexp;

struct SourcePlace {
    bool known = false;  // false: why says what the Lisp said instead
    std::string why;
    std::string file;    // the file as the Lisp names it; empty for a compiled string
    std::string buffer;  // the compiled string's name
    bool inString = false;  // counted in the compiled string's characters
    long position = -1;     // 0-based characters from the start, when given
    long line = 0, column = 0;  // 1-based line and 0-based column, when no position is
};

// Reads (:location (:file F) (:position N) ...), (:location (:buffer B)
// (:offset START REL) ...), (:location ... (:line L C) ...) or (:error TEXT).
// False when the expression is none of these (place->why says so).
bool ReadPlace(const Sexp &location, SourcePlace *place);

struct CompilerNote {
    std::string severity;  // "error", "read error", "warning", "style warning", "note", "redefinition"
    std::string message;
    SourcePlace place;
};

struct Compilation {
    std::vector<CompilerNote> notes;
    bool success = false;
    double seconds = 0;
    std::string fasl;  // the compiled file, when one was written
};

// (:compilation-result NOTES SUCCESS DURATION LOADP FASL); false for
// anything else. Notes come in the order of their places.
bool ReadCompilation(const Sexp &result, Compilation *compilation);
// The transcript's line for it: "; Compiled NAME: 1 warning, 2 style
// warnings (0.12 s)", then "; loaded" or "failed: not loaded" as told.
std::string CompilationSummary(const std::string &name, const Compilation &compilation, const char *ending);

// Where the place falls in text (the bytes the editor shows): the start of
// the form there and just past its end. False when the place has no
// position in a text, or lies past its end.
bool PlaceInText(const std::string &text, const SourcePlace &place, size_t *start, size_t *end);
// Its 1-based line and column in text, for a list of notes: "12:5".
std::string LineAndColumn(const std::string &text, size_t at);

// A list's line for a definition or reference (item, as the Lisp names
// it): "ITEM  file.lsp", the file without its folder.
std::string DefinitionLine(const std::string &item, const SourcePlace &place);
// A list's line for a note of a compiled text: its severity, line:column
// in text ("-" when it has no place there) and its message's first line.
std::string NoteLine(const std::string &text, const CompilerNote &note);

#endif
