// A one-pass scan over the text's reader items. Lists are followed with a
// depth counter, never by recursion, so deep nesting costs no stack; each
// character is looked at a bounded number of times.
#include "listener/forms.h"

namespace {

enum ItemKind { Open, Close, Atom, Prefix, Unfinished };

struct Item {
    ItemKind kind;
    size_t end;        // just past the item
    int formsAfter;    // for a Prefix: how many forms it takes (2 for #+ and #-)
};

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
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

size_t SkipDigits(const std::string &text, size_t at)
{
    while (at < text.size() && IsDigit(text[at]))
        at++;
    return at;
}

// The rest of a token from at: constituents, \ single escapes and |...|
// multiple escapes. npos when the text ends inside an escape.
size_t TokenEnd(const std::string &text, size_t at)
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

// Past the blanks and comments from at. On an unclosed #| comment, returns
// npos and sets *comment to where it starts.
size_t SkipBlanks(const std::string &text, size_t at, size_t *comment)
{
    size_t n = text.size();
    while (at < n) {
        char c = text[at];
        if (IsBlank(c)) {
            at++;
        } else if (c == ';') {
            while (at < n && text[at] != '\n' && text[at] != '\r')
                at++;
        } else if (c == '#') {
            size_t sub = SkipDigits(text, at + 1);
            if (sub >= n || text[sub] != '|')
                return at;
            size_t end = BlockCommentEnd(text, sub + 1);
            if (end == std::string::npos) {
                *comment = at;
                return std::string::npos;
            }
            at = end;
        } else {
            return at;
        }
    }
    return at;
}

Item Made(ItemKind kind, size_t end, int formsAfter = 0)
{
    if (end == std::string::npos)
        return Item{Unfinished, end, 0};
    return Item{kind, end, formsAfter};
}

// The item after # and its digits; sub is the position of the sub-character.
Item DispatchItem(const std::string &text, size_t sub)
{
    if (sub >= text.size())
        return Made(Unfinished, std::string::npos);
    switch (text[sub]) {
    case '\\':
        // The character after #\ is always taken, even a delimiter; then
        // constituents make up a name such as Space.
        if (sub + 1 >= text.size())
            return Made(Unfinished, std::string::npos);
        return Made(Atom, TokenEnd(text, sub + 2));
    case '(':
        return Made(Open, sub + 1);
    case '+':
    case '-':
        return Made(Prefix, sub + 1, 2);  // a feature expression, then the form
    case '#':
        return Made(Atom, sub + 1);  // #1#
    case ')':
    case ' ':
    case '\t':
    case '\n':
    case '\r':
    case '\f':
        // Sub-characters the standard syntax refuses: read as one item so
        // that the Lisp's reader reports them.
        return Made(Atom, sub + 1);
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
        return Made(Atom, TokenEnd(text, sub + 1));
    default:
        // #' #. #1= #p #c #s #2a, and sub-characters a readtable may define
        // (or the unreadable #<...>): each reads the form that follows.
        return Made(Prefix, sub + 1, 1);
    }
}

// The item starting at at, which is neither a blank nor a comment.
Item NextItem(const std::string &text, size_t at)
{
    switch (text[at]) {
    case '(':
        return Made(Open, at + 1);
    case ')':
        return Made(Close, at + 1);
    case '"':
        return Made(Atom, StringEnd(text, at));
    case '\'':
    case '`':
        return Made(Prefix, at + 1, 1);
    case ',':
        if (at + 1 < text.size() && (text[at + 1] == '@' || text[at + 1] == '.'))
            return Made(Prefix, at + 2, 1);
        return Made(Prefix, at + 1, 1);
    case '#':
        return DispatchItem(text, SkipDigits(text, at + 1));
    default: {
        // Never empty: blanks and comments were skipped before this item.
        size_t end = TokenEnd(text, at);
        return Made(Atom, end == at ? at + 1 : end);
    }
    }
}

}  // namespace

TextForms SplitForms(const std::string &text)
{
    TextForms result;
    size_t n = text.size(), comment = 0;
    size_t at = SkipBlanks(text, 0, &comment);
    while (at != std::string::npos && at < n) {
        size_t start = at, depth = 0, wanted = 1;
        bool finished = false;
        while (!finished) {
            if (at != start)
                at = SkipBlanks(text, at, &comment);
            if (at == std::string::npos || at >= n)
                break;
            Item item = NextItem(text, at);
            if (item.kind == Unfinished)
                break;
            at = item.end;
            if (item.kind == Open) {
                depth++;
            } else if (depth > 0) {
                // Inside a list only its parentheses matter.
                if (item.kind == Close && --depth == 0)
                    finished = --wanted == 0;
            } else if (item.kind == Prefix) {
                wanted += item.formsAfter - 1;
            } else {
                // An atom, or a stray ) that the Lisp's reader will report.
                finished = --wanted == 0;
            }
        }
        if (!finished) {
            result.unfinished = text.substr(start);
            return result;
        }
        result.forms.push_back(text.substr(start, at - start));
        at = SkipBlanks(text, at, &comment);
    }
    if (at == std::string::npos)
        result.unfinished = text.substr(comment);
    return result;
}

bool HoldsCompleteForms(const std::string &text)
{
    TextForms split = SplitForms(text);
    return !split.forms.empty() && split.unfinished.empty();
}
