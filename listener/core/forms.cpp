// A one-pass scan over the text's reader items. Lists are followed with a
// depth counter, never by recursion, so deep nesting costs no stack; each
// character is looked at a bounded number of times.
#include "listener/core/forms.h"
#include "listener/core/text_rules.h"

namespace {

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
        if (wanted == 0) {
            result.forms.push_back(text.substr(start, at - start));
            result.starts.push_back(start);
        }
    }
    if (wanted > 0)
        result.unfinished = text.substr(start);
    return result;
}

bool TopLevelFormAt(const std::string &text, size_t at, size_t *start, size_t *end)
{
    TextForms split = SplitForms(text);
    for (size_t i = 0; i < split.forms.size(); i++) {
        if (split.starts[i] <= at && at <= split.starts[i] + split.forms[i].size()) {
            *start = split.starts[i];
            *end = split.starts[i] + split.forms[i].size();
            return true;
        }
    }
    return false;
}

bool HoldsCompleteForms(const std::string &text)
{
    TextForms split = SplitForms(text);
    return !split.forms.empty() && split.unfinished.empty();
}

namespace {

// The name a token reads as with the standard readtable: unescaped
// characters upcased, escaped ones kept.
std::string TokenName(const std::string &text, size_t start, size_t end)
{
    std::string name;
    bool escaped = false;
    for (size_t at = start; at < end; at++) {
        char c = text[at];
        if (c == '|') {
            escaped = !escaped;
        } else if (c == '\\' && at + 1 < end) {
            name += text[++at];
        } else {
            name += escaped || c < 'a' || c > 'z' ? c : (char)(c - 'a' + 'A');
        }
    }
    return name;
}

// A string item's contents, its escapes taken.
std::string StringContents(const std::string &text, size_t start, size_t end)
{
    std::string contents;
    for (size_t at = start + 1; at + 1 < end; at++)
        contents += text[at] == '\\' ? text[++at] : text[at];
    return contents;
}

// The next item from at that is neither blank nor a comment.
ReaderItem NextSignificant(const std::string &text, size_t at)
{
    for (;;) {
        ReaderItem item = at < text.size() ? NextReaderItem(text, at)
                                           : ReaderItem{ReaderKind::Blank, at, at, 0, false};
        if (!item.finished || (item.kind != ReaderKind::Blank && item.kind != ReaderKind::LineComment &&
                               item.kind != ReaderKind::BlockComment))
            return item;
        at = item.end;
    }
}

// The package the list opening at at names when it is (in-package NAME);
// empty when it is some other form.
std::string InPackageName(const std::string &text, size_t at)
{
    ReaderItem op = NextSignificant(text, at + 1);
    if (!op.finished || op.kind != ReaderKind::Token)
        return std::string();
    std::string name = TokenName(text, op.start, op.end);
    if (name != "IN-PACKAGE" && name != "CL:IN-PACKAGE" && name != "COMMON-LISP:IN-PACKAGE")
        return std::string();
    ReaderItem designator = NextSignificant(text, op.end);
    ReaderItem close = NextSignificant(text, designator.end);
    if (!designator.finished || !close.finished || close.kind != ReaderKind::Close)
        return std::string();
    if (designator.kind == ReaderKind::String)
        return StringContents(text, designator.start, designator.end);
    if (designator.kind != ReaderKind::Token)
        return std::string();
    size_t start = designator.start;
    if (text.compare(start, 2, "#:") == 0)
        start += 2;
    else if (text[start] == ':')
        start++;
    name = TokenName(text, start, designator.end);
    // A symbol of another package, or no name at all: not a package's name.
    return text.find(':', start) < designator.end ? std::string() : name;
}

}  // namespace

std::string PackageAt(const std::string &text, size_t before)
{
    std::string package, head = text.substr(0, before);
    // Only a list with no reader prefix before it can be an in-package.
    for (size_t start : SplitForms(head).starts) {
        std::string named = head[start] == '(' ? InPackageName(head, start) : std::string();
        if (!named.empty())
            package = named;
    }
    return package;
}
