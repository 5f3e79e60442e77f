#include "editor/lisp_scan.h"

#include <string.h>

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool IsLineBreak(char c)
{
    return c == '\r' || c == '\n';
}

// Only '"' (0x22) to ')' (0x29) can change the state of a backward scan; one
// comparison lets every other character pass.
bool MayChangeScan(char c)
{
    return (unsigned char)(c - '"') <= ')' - '"';
}

// One step of a backward scan: a double quote opens or closes a string;
// outside strings "(" lowers the depth and ")" raises it.
void ScanBack(char c, int *depth, bool *inString)
{
    if (c == '"')
        *inString = !*inString;
    else if (!*inString && c == '(')
        --*depth;
    else if (!*inString && c == ')')
        ++*depth;
}

// The "(" left open before lineStart, scanning down to lowest.
bool FindEnclosingParen(const char *text, unsigned lineStart, unsigned lowest, unsigned *open)
{
    int depth = 0;
    bool inString = false;
    for (unsigned i = lineStart; i > lowest;) {
        char c = text[--i];
        if (!MayChangeScan(c))
            continue;
        ScanBack(c, &depth, &inString);
        if (depth < 0) {
            *open = i;
            return true;
        }
    }
    return false;
}

const char *const Keywords[] = {
    "DEFUN", "DEFMACRO", "DEFMETH", "DEFPROTO", "LET",
    "FLET", "COND", "CASE", "LABELS", "LAMBDA",
};
const unsigned KeywordCopyLength = 9;

} // namespace

unsigned LineStart(const char *text, unsigned pos, unsigned lowest)
{
    while (pos > lowest && !IsLineBreak(text[pos - 1]))
        pos--;
    return pos;
}

bool IsSpecialForm(const char *text, unsigned remaining)
{
    char word[KeywordCopyLength];
    unsigned n = remaining < KeywordCopyLength ? remaining : KeywordCopyLength;
    for (unsigned i = 0; i < n; i++) {
        char c = text[i];
        word[i] = c >= 'a' && c <= 'z' ? (char)(c - 'a' + 'A') : c;
    }
    for (const char *keyword : Keywords) {
        unsigned length = (unsigned)strlen(keyword);
        if (length <= n && memcmp(word, keyword, length) == 0)
            return true;
    }
    return false;
}

int IndentColumn(const char *form, unsigned length)
{
    unsigned i = 1;
    int column = 1;
    while (i < length && IsBlank(form[i])) {
        i++;
        column++;
    }
    if (i >= length || IsLineBreak(form[i]) || form[i] == ';' || form[i] == '(')
        return column;
    if (IsSpecialForm(form + i, length - i))
        return 2;

    // The head word runs to the next blank or line break; whatever follows
    // it on the same line is its first argument, and the body lines up there.
    int wordColumn = column;
    while (i < length && !IsBlank(form[i]) && !IsLineBreak(form[i])) {
        i++;
        column++;
    }
    while (i < length && IsBlank(form[i])) {
        i++;
        column++;
    }
    if (i < length && !IsLineBreak(form[i]))
        return column;
    return wordColumn;
}

unsigned LeadingBlanks(const char *text, unsigned held, unsigned pos)
{
    unsigned end = pos;
    while (end < held && IsBlank(text[end]))
        end++;
    return end - pos;
}

int CappedChange(int change)
{
    return change > MaxIndentInsert ? MaxIndentInsert : change;
}

unsigned CaretAfter(unsigned caret, unsigned lineStart, int change)
{
    if (change >= 0)
        return caret + (unsigned)change;
    // A caret inside the deleted blanks goes to the line start, never onto
    // the line above.
    unsigned deleted = (unsigned)-change;
    return caret - lineStart > deleted ? caret - deleted : lineStart;
}

ScanResult DecideReindent(const char *text, unsigned held, unsigned total,
                          unsigned caret, unsigned lowest, ReindentPlan *plan)
{
    if (caret > held)
        return ScanUnknown;
    unsigned lineStart = LineStart(text, caret, lowest);
    if (lineStart <= lowest)
        return ScanNothing;  // the first line is never re-indented
    unsigned open;
    if (!FindEnclosingParen(text, lineStart, lowest, &open))
        return ScanNothing;

    int target = (int)(open - LineStart(text, open, lowest)) + IndentColumn(text + open, lineStart - open);
    unsigned blanks = LeadingBlanks(text, held, lineStart);
    // Blanks running up to the end of the copy may go on in the real text.
    if (lineStart + blanks == held && held < total)
        return ScanUnknown;
    int change = CappedChange(target - (int)blanks);
    if (change == 0)
        return ScanNothing;

    plan->lineStart = lineStart;
    plan->change = change;
    return ScanFound;
}

ScanResult FindMatchingParen(const char *text, unsigned held, unsigned caret,
                             unsigned lowest, unsigned *open)
{
    if (caret > held)
        return ScanUnknown;
    int depth = 0;
    bool inString = false;
    for (unsigned i = caret; i > lowest;) {
        char c = text[--i];
        // Any other character ends the scan only as the first one read: past
        // the first, the depth here is never 0.
        if (!MayChangeScan(c)) {
            if (depth == 0)
                return ScanNothing;
            continue;
        }
        ScanBack(c, &depth, &inString);
        if (depth == 0) {
            if (c != '(')
                return ScanNothing;
            *open = i;
            return ScanFound;
        }
    }
    return ScanNothing;
}
