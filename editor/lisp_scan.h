// The Lisp rules of the editor, over a copy of its text: where a line starts,
// which "(" encloses a line and at what column its body lines up, and which
// "(" a typed ")" closes. They know parentheses, double-quoted strings and a
// few keyword forms; comments, character literals and backslashes are plain
// text to them.
//
// Every function is given how many characters of the text it may read
// ("held") and the lowest position it may reach; it never reads outside
// [lowest, held), whatever the caret. No windows.h here: the host compiler
// tests, fuzzes and benchmarks these.
#ifndef QUILLON_LISP_SCAN_H
#define QUILLON_LISP_SCAN_H

// At most this many spaces are inserted by one re-indentation.
const int MaxIndentInsert = 252;

enum ScanResult {
    ScanNothing,         // nothing to do, silently
    ScanFound,           // the out-parameters hold the answer
    ScanUnknown,         // the answer depends on text the copy does not hold;
                         // callers treat it like having no copy at all
};

// What a Tab does to a line: the change in its leading whitespace (positive:
// spaces to insert at lineStart, at most MaxIndentInsert; negative: blanks to
// delete from lineStart on).
struct ReindentPlan {
    unsigned lineStart;
    int change;
};

// The start of the line holding pos: just after the nearest CR or LF before
// pos, or lowest. pos must not exceed held.
unsigned LineStart(const char *text, unsigned pos, unsigned lowest);

// The indentation column of a line inside a form, counted from the form's "("
// (1 is the column just right of it). form begins with that "("; length
// counts the characters from it up to the start of the line being indented.
int IndentColumn(const char *form, unsigned length);

// True when the word at text begins with one of the keywords whose bodies are
// indented two columns, in any letter case; remaining bounds what is read.
bool IsSpecialForm(const char *text, unsigned remaining);

// The spaces and tabs at pos, up to the first other character or held.
unsigned LeadingBlanks(const char *text, unsigned held, unsigned pos);

// MaxIndentInsert for larger changes; other changes unchanged.
int CappedChange(int change);

// Where a caret on the line at lineStart goes when the line's text moved by
// change characters: with it, but never before the line start.
unsigned CaretAfter(unsigned caret, unsigned lineStart, int change);

// The re-indentation of the line holding caret. text holds the first held
// characters of a text of total characters. ScanFound fills plan with a
// non-zero change; ScanNothing means the line already sits right, is the
// first line, or has no unclosed "(" before it.
ScanResult DecideReindent(const char *text, unsigned held, unsigned total,
                          unsigned caret, unsigned lowest, ReindentPlan *plan);

// The "(" that the ")" just before caret closes. ScanFound stores its
// position in open.
ScanResult FindMatchingParen(const char *text, unsigned held, unsigned caret,
                             unsigned lowest, unsigned *open);

#endif
