// The top-level forms of a text as the Common Lisp reader with the standard
// syntax delimits them, so that the listener sends each form as an
// evaluation of its own. No windows.h here: tested and fuzzed on the host.
#ifndef KESTRALUNE_FORMS_H
#define KESTRALUNE_FORMS_H

#include <stddef.h>

#include <string>
#include <vector>

// One item of the standard syntax, as the reader takes it from a text: the
// split into forms below and the input area's rules (input_rules.h)
// both walk a text with it.
enum class ReaderKind {
    Blank,         // a run of whitespace
    LineComment,   // ; to the end of its line, the line break left out
    BlockComment,  // #| ... |#, nested ones inside
    Open,          // ( or #(
    Close,         // )
    String,        // "..."
    Token,         // a symbol or a number, and # syntax read as one item (#1# #x1F #*101 #:g)
    Character,     // #\x, #\Space
    Prefix         // ' ` , ,@ ,. #' #. #1= #+ #- ...: reads the forms after it
};

struct ReaderItem {
    ReaderKind kind;
    size_t start, end;     // end: just past it, or the text's end when it is unfinished
    int formsAfter = 0;    // a Prefix: how many forms it takes (2 for #+ and #-)
    // False when the text ends inside the item: an unclosed string or #|
    // comment, a \ or |...| escape left open, a # or #\ with nothing after it.
    bool finished = true;
};

// The item starting at at (< text.size()).
ReaderItem NextReaderItem(const std::string &text, size_t at);
// The rest of a token from at: constituents, \ single escapes and |...|
// multiple escapes; at itself when a delimiter stands there. npos when the
// text ends inside an escape.
size_t ReaderTokenEnd(const std::string &text, size_t at);

struct TextForms {
    // Each complete top-level form's text, in order, exactly as written: its
    // reader prefixes (' ` , ,@ #' #. #1= #+feature ...) included, the blanks
    // and comments around it left out.
    std::vector<std::string> forms;
    // Where each of them starts in the text.
    std::vector<size_t> starts;
    // From the start of an unfinished last form (or of an unclosed #| comment)
    // to the end of the text; empty when there is none.
    std::string unfinished;
};

TextForms SplitForms(const std::string &text);

// The complete top-level form that holds position at, or touches it (at
// stands at its start or just past its end): [start, end). False when at
// is between forms or in an unfinished one.
bool TopLevelFormAt(const std::string &text, size_t at, size_t *start, size_t *end);

// True when the text holds at least one complete form and nothing unfinished:
// only blanks and comments after the last form.
bool HoldsCompleteForms(const std::string &text);

// The package a text read from its start is in at position before: the name
// of the last top-level (in-package NAME) form that ends by then, as the
// reader makes it (a symbol's name upcased, a string's as written); empty
// when there is none. Forms in strings, comments or behind reader prefixes
// (#+feature, ') do not count.
std::string PackageAt(const std::string &text, size_t before);

#endif
