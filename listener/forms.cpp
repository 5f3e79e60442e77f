// A one-pass scan over the text's reader items. Lists are followed with a
// depth counter, never by recursion, so deep nesting costs no stack; each
// character is looked at a bounded number of times.
#include "listener/forms.h"

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool IsLineBreak(char c)
{
    return c == '\r' || c == '\n';
}

// Whitespace and the terminating macro characters end a token.
bool EndsToken(char c)
{
    return IsBlank(c) || c == '(' || c == ')' || c == '"' || c == '\'' || c == '`' || c == ',' || c == ';';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// An item from start to end; end npos stands for the text's end, the item
// unfinished.
ReaderItem Made(const std::string &text, ReaderKind kind, size_t start, size_t end, int formsAfter = 0)
{
    if (end == std::string::npos)
        return ReaderItem{kind, start, text.size(), formsAfter, false};
    return ReaderItem{kind, start, end, formsAfter, true};
}

// Just past the closing quote of the string opening at at; npos if unclosed.
size_t StringEnd(const std::string &text, size_t at)
{
    size_t n = text.size();
    for (at++; at < n && text[at] != '"'; at++) {
        if (text[at] == '\\' && ++at >= n)
            return std::string::npos;
    }
    return at < n ? at + 1 : std::string::npos;
}

// Just past the |# that closes the block comment whose text starts at at
// (after its #|); these comments nest. npos if unclosed.
size_t BlockCommentEnd(const std::string &text, size_t at)
{
    size_t n = text.size(), level = 1;
    while (at < n) {
        if (text[at] == '|' && at + 1 < n && text[at + 1] == '#') {
            at += 2;
            if (--level == 0)
                return at;
        } else if (text[at] == '#' && at + 1 < n && text[at + 1] == '|') {
            at += 2;
            level++;
        } else {
            at++;
        }
    }
    return std::string::npos;
}

// The item of the # at at.
ReaderItem DispatchItem(const std::string &text, size_t at)
{
    size_t n = text.size(), sub = at + 1;
    while (sub < n && IsDigit(text[sub]))
        sub++;
    if (sub >= n)
        return Made(text, ReaderKind::Token, at, std::string::npos);
    switch (text[sub]) {
    case '|':
        return Made(text, ReaderKind::BlockComment, at, BlockCommentEnd(text, sub + 1));
    case '\\':
        // The character after #\ is always taken, even a delimiter; then
        // constituents make up a name such as Space.
        if (sub + 1 >= n)
            return Made(text, ReaderKind::Character, at, std::string::npos);
        return Made(text, ReaderKind::Character, at, ReaderTokenEnd(text, sub + 2));
    case '(':
        return Made(text, ReaderKind::Open, at, sub + 1);
    case '+':
    case '-':
        return Made(text, ReaderKind::Prefix, at, sub + 1, 2);  // a feature expression, then the form
    case '#':
        return Made(text, ReaderKind::Token, at, sub + 1);  // #1#
    case ')':
    case ' ':
    case '\t':
    case '\n':
    case '\r':
    case '\f':
        // Sub-characters the standard syntax refuses: read as one item so
        // that the Lisp's reader reports them.
        return Made(text, ReaderKind::Token, at, sub + 1);
    case '*':
    case ':':
    case 'x':
    case 'X':
    case 'b':
    case 'B':
    case 'o':
    case 'O':
    case 'r':
    case 'R':
        return Made(text, ReaderKind::Token, at, ReaderTokenEnd(text, sub + 1));
    default:
        // #' #. #1= #p #c #s #2a, and sub-characters a readtable may define
        // (or the unreadable #<...>): each reads the form that follows.
        return Made(text, ReaderKind::Prefix, at, sub + 1, 1);
    }
}

}  // namespace

size_t ReaderTokenEnd(const std::string &text, size_t at)
{
    size_t n = text.size();
    while (at < n && !EndsToken(text[at])) {
        if (text[at] == '\\') {
            if (at + 1 >= n)
                return std::string::npos;
            at += 2;
        } else if (text[at] == '|') {
            for (at++; at < n && text[at] != '|'; at++) {
                if (text[at] == '\\' && ++at >= n)
                    return std::string::npos;
            }
            if (at >= n)
                return std::string::npos;
            at++;
        } else {
            at++;
        }
    }
    return at;
}

ReaderItem NextReaderItem(const std::string &text, size_t at)
{
    size_t n = text.size(), end = at;
    char c = text[at];
    if (IsBlank(c)) {
        while (end < n && IsBlank(text[end]))
            end++;
        return Made(text, ReaderKind::Blank, at, end);
    }
    switch (c) {
    case ';':
        while (end < n && !IsLineBreak(text[end]))
            end++;
        return Made(text, ReaderKind::LineComment, at, end);
    case '(':
        return Made(text, ReaderKind::Open, at, at + 1);
    case ')':
        return Made(text, ReaderKind::Close, at, at + 1);
    case '"':
        return Made(text, ReaderKind::String, at, StringEnd(text, at));
    case '\'':
    case '`':
        return Made(text, ReaderKind::Prefix, at, at + 1, 1);
    case ',':
        if (at + 1 < n && (text[at + 1] == '@' || text[at + 1] == '.'))
            return Made(text, ReaderKind::Prefix, at, at + 2, 1);
        return Made(text, ReaderKind::Prefix, at, at + 1, 1);
    case '#':
        return DispatchItem(text, at);
    default: {
        // Never empty: the cases above took every character that ends a token.
        size_t end = ReaderTokenEnd(text, at);
        return Made(text, ReaderKind::Token, at, end == at ? at + 1 : end);
    }
    }
}

TextForms SplitForms(const std::string &text)
{
    TextForms result;
    // wanted: the forms the top-level form begun at start still needs (more
    // than one after a #+ or #-); 0 between forms. depth: its open lists.
    size_t n = text.size(), at = 0, start = 0, depth = 0, wanted = 0;
    while (at < n) {
        ReaderItem item = NextReaderItem(text, at);
        if (!item.finished) {
            // The form begun so far, or an unclosed #| comment between forms.
            result.unfinished = text.substr(wanted > 0 ? start : at);
            return result;
        }
        at = item.end;
        if (item.kind == ReaderKind::Blank || item.kind == ReaderKind::LineComment ||
            item.kind == ReaderKind::BlockComment)
            continue;
        if (wanted == 0) {
            start = item.start;
            wanted = 1;
        }
        if (item.kind == ReaderKind::Open) {
            depth++;
        } else if (depth > 0) {
            // Inside a list only its parentheses matter.
            if (item.kind == ReaderKind::Close && --depth == 0)
                wanted--;
        } else if (item.kind == ReaderKind::Prefix) {
            wanted += item.formsAfter - 1;
        } else {
            // An atom, or a stray ) that the Lisp's reader will report.
            wanted--;
        }
        if (wanted == 0)
            result.forms.push_back(text.substr(start, at - start));
    }
    if (wanted > 0)
        result.unfinished = text.substr(start);
    return result;
}

bool HoldsCompleteForms(const std::string &text)
{
    TextForms split = SplitForms(text);
    return !split.forms.empty() && split.unfinished.empty();
}
