// The decisions of the listener's input area, over its UTF-16 text with the
// caret given as the Edit control gives it (UTF-16 units): where a new or a
// Tab-ed line is indented (by the editor's rules, editor/lisp_scan.h), which
// symbol the caret is at, which form it is in and at which argument, and
// what a completion puts in and lists. No windows.h here: tested on the host.
#ifndef KESTRALUNE_INPUT_RULES_H
#define KESTRALUNE_INPUT_RULES_H

#include <stddef.h>

#include <string>
#include <vector>

// The input as the editor's rules read it (they see bytes and know no
// comments, character literals nor escapes): one byte for each character,
// ASCII as it is and any other character (a surrogate pair too) as the
// letter x, so that columns count characters; and what the reader never
// takes as structure (a comment's text, the character of #\x, an escaped
// character, the inside of |...|) as x too, so that "#\(" or a ";" comment
// holding a quote does not move the indentation. Line breaks always stay.
struct ScanCopy {
    std::string bytes;
    // The UTF-16 index of each byte's character, then the text's length.
    std::vector<size_t> units;
};
ScanCopy MakeScanCopy(const std::u16string &text);
// The copy's index of the character at a UTF-16 index.
size_t CopyIndex(const ScanCopy &copy, size_t unit);

std::string Utf16ToUtf8(const std::u16string &text, size_t from, size_t to);
std::u16string Utf8ToUtf16(const std::string &text);

// A change of a line's leading blanks, in UTF-16 units.
struct IndentChange {
    size_t lineStart;
    int change;     // spaces to insert at lineStart, or (negative) blanks to delete from it
    size_t blanks;  // the blanks the line began with
};
// What the editor's Tab does to the line holding caret; false when the line
// sits right, is the first line, or no open "(" encloses it.
bool DecideInputIndent(const std::u16string &text, size_t caret, IndentChange *indent);
// True when only blanks stand between the caret and the start of its line.
bool InLeadingBlanks(const std::u16string &text, size_t caret);

// The start of the part of a symbol that ends at the caret, for Tab to
// complete: false when the caret is not right after a symbol's characters
// (after a blank or a delimiter, in a string, a comment or a character
// literal, after #), or the part holds escapes (| or \).
bool CompletionStart(const std::u16string &text, size_t caret, size_t *start);
// The symbol the caret is in, touches, or stands right before: [start, end).
bool SymbolAt(const std::u16string &text, size_t caret, size_t *start, size_t *end);

// The innermost list the caret is in, when it begins with a symbol.
struct FormAtCaret {
    std::string op;  // that symbol (UTF-8)
    // The argument the caret is at, 0 for the first; -1 on the operator itself.
    long argument = -1;
    // The arguments before it, as written (UTF-8).
    std::vector<std::string> before;
};
bool FormAt(const std::u16string &text, size_t caret, FormAtCaret *form);

// A printed argument list "(NAME PARAMETER ...)" with the parameter that
// takes the argument at index argument marked "===> P <===": required and
// optional parameters by position, a keyword argument's value by the
// keyword before it (in before), the &rest or &body parameter for what is
// past the others. Unchanged when no parameter takes it.
std::string MarkArgument(const std::string &arglist, long argument, const std::vector<std::string> &before);

// Matches are shown at most this many at a time.
const size_t ShownMatches = 40;
// The longest common prefix of the matches, cut at a UTF-8 character's start.
std::string CommonPrefix(const std::vector<std::string> &matches);
// What replaces the typed part of a symbol once the Lisp named its matches:
// the one match, or the matches' common prefix when it is longer than what
// was typed. False when nothing changes.
bool CompletionText(const std::string &typed, const std::vector<std::string> &matches, std::string *text);
// The transcript's lines for several matches: how many, the first
// ShownMatches of them in lines of at most width characters, and how many
// more there are. "\n" ends each line.
std::string CompletionListing(const std::vector<std::string> &matches, size_t width = 78);

#endif
