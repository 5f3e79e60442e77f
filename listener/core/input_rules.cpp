// The input area's decisions. One forward scan over the reader's items (the
// standard syntax, read by NextReaderItem of forms.h, as the split
// into forms reads it) serves them all: it hides what is no structure from
// the editor's indentation rules, and it follows the lists open at the
// caret, so the caret's form, argument and symbol are known. Lists are
// followed with a stack of frames, never by recursion.
#include "listener/core/input_rules.h"
#include "editor/lisp_scan.h"
#include "listener/core/forms.h"
#include "listener/core/text_rules.h"

#include <algorithm>

namespace {

typedef ReaderItem Item;
typedef ReaderKind Kind;

void Hide(std::string &b, size_t i)
{
    if (i < b.size() && !IsLineBreak(b[i]))
        b[i] = 'x';
}

// The escaped characters of a token, and what is between its bars.
void HideEscapes(std::string &b, size_t from, size_t to)
{
    for (size_t i = from; i < to;) {
        if (b[i] == '\\') {
            Hide(b, i + 1);
            i += 2;
        } else if (b[i] == '|') {
            for (i++; i < to && b[i] != '|'; i++) {
                if (b[i] == '\\') {
                    Hide(b, i);
                    i++;
                }
                Hide(b, i);
            }
            i++;
        } else {
            i++;
        }
    }
}

void HideNonStructure(std::string &b)
{
    for (size_t at = 0; at < b.size();) {
        Item item = NextReaderItem(b, at);
        switch (item.kind) {
        case Kind::LineComment:
            for (size_t i = item.start + 1; i < item.end; i++)
                Hide(b, i);
            break;
        case Kind::BlockComment: {
            // Its #| and |# stay, so that the copy still reads as a comment.
            size_t body = b.find('|', item.start) + 1;
            for (size_t i = body; i < (item.finished ? item.end - 2 : item.end); i++)
                Hide(b, i);
            break;
        }
        case Kind::Character: {
            // After the backslash: digits may stand between it and the #.
            size_t i = b.find('\\', item.start);
            for (i++; i < item.end; i++)
                Hide(b, i);
            break;
        }
        case Kind::String:
            for (size_t i = item.start + 1; i < item.end; i++)
                if (b[i] == '\\')
                    Hide(b, ++i);
            break;
        case Kind::Token:
            HideEscapes(b, item.start, item.end);
            break;
        default:
            break;
        }
        at = item.end;
    }
}

// One list open at the caret, or the top level.
struct Frame {
    bool list = false;   // a list, not the top level nor a vector #(
    size_t elements = 0;  // elements begun
    int pending = 0;      // forms the element being read still needs
    bool symbolHead = false;
    size_t headStart = 0, headEnd = 0;
    // Each element's span; the end is npos while it is being read.
    std::vector<std::pair<size_t, size_t>> spans;
};

void BeginElement(Frame &f, size_t start)
{
    if (f.pending > 0)
        return;
    f.elements++;
    f.pending = 1;
    f.spans.push_back(std::make_pair(start, std::string::npos));
}

void EndForm(Frame &f, size_t end)
{
    if (f.pending > 0 && --f.pending == 0)
        f.spans.back().second = end;
}

enum Where { AtBlank, InToken, InString, InComment, InCharacter };

// What the reader has seen up to the caret.
struct CaretScan {
    std::vector<Frame> frames;  // frames[0] is the top level
    Where where = AtBlank;
    size_t tokenStart = 0, tokenEnd = 0;  // InToken: the token holding or ending at the caret
    bool tokenAtCaret = false;             // a token begins right at the caret
    size_t nextEnd = 0;                    // and ends there
};

CaretScan ScanTo(const std::string &b, size_t caret)
{
    CaretScan scan;
    scan.frames.push_back(Frame());
    for (size_t at = 0; at < b.size();) {
        Item item = NextReaderItem(b, at);
        if (item.start >= caret) {
            if (item.start == caret && item.kind == Kind::Token) {
                scan.tokenAtCaret = true;
                scan.nextEnd = item.end;
            }
            break;
        }
        // Whether the caret is inside the item; a token, a character or a
        // line comment also holds the caret at its end.
        bool inside = caret < item.end ||
                      (caret == item.end && (item.kind == Kind::Token || item.kind == Kind::Character ||
                                             item.kind == Kind::LineComment || !item.finished));
        Frame &f = scan.frames.back();
        switch (item.kind) {
        case Kind::Blank:
            if (inside)
                scan.where = AtBlank;
            break;
        case Kind::LineComment:
        case Kind::BlockComment:
            if (inside)
                scan.where = InComment;
            break;
        case Kind::Open: {
            BeginElement(f, item.start);
            Frame inner;
            inner.list = b[item.start] == '(';
            scan.frames.push_back(inner);
            break;
        }
        case Kind::Close:
            if (scan.frames.size() > 1) {
                scan.frames.pop_back();
                EndForm(scan.frames.back(), item.end);
            }
            break;
        case Kind::Prefix:
            BeginElement(f, item.start);
            f.pending += item.formsAfter - 1;
            break;
        case Kind::String:
        case Kind::Token:
        case Kind::Character:
            if (f.pending == 0 && f.elements == 0 && item.kind == Kind::Token && b[item.start] != '#') {
                f.symbolHead = true;
                f.headStart = item.start;
                f.headEnd = item.end;
            }
            BeginElement(f, item.start);
            EndForm(f, item.end);
            if (inside) {
                scan.where = item.kind == Kind::Token ? InToken : item.kind == Kind::String ? InString : InCharacter;
                scan.tokenStart = item.start;
                scan.tokenEnd = item.end;
            }
            break;
        }
        at = item.end;
    }
    return scan;
}

// The text between two copy positions, from the original.
std::string Original(const std::u16string &text, const ScanCopy &copy, size_t from, size_t to)
{
    return Utf16ToUtf8(text, copy.units[from], copy.units[to]);
}

bool SameLetters(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); i++) {
        char x = a[i] >= 'a' && a[i] <= 'z' ? (char)(a[i] - 32) : a[i];
        char y = b[i] >= 'a' && b[i] <= 'z' ? (char)(b[i] - 32) : b[i];
        if (x != y)
            return false;
    }
    return true;
}

typedef std::vector<std::pair<size_t, size_t>> Spans;

// The top-level elements of the list that the printed text s is; false
// when s is not one whole list.
bool ListElements(const std::string &s, size_t from, Spans *elements)
{
    size_t n = s.size(), i = from;
    while (i < n && IsBlank(s[i]))
        i++;
    if (i >= n || s[i] != '(')
        return false;
    i++;
    for (;;) {
        while (i < n && IsBlank(s[i]))
            i++;
        if (i >= n)
            return false;
        if (s[i] == ')')
            return true;
        size_t start = i;
        if (s[i] == '(') {
            int depth = 0;
            for (; i < n; i++) {
                if (s[i] == '"') {
                    for (i++; i < n && s[i] != '"'; i++)
                        if (s[i] == '\\')
                            i++;
                } else if (s[i] == '(') {
                    depth++;
                } else if (s[i] == ')' && --depth == 0) {
                    break;
                }
            }
            if (i >= n)
                return false;
            i++;
        } else if (s[i] == '"') {
            for (i++; i < n && s[i] != '"'; i++)
                if (s[i] == '\\')
                    i++;
            if (i >= n)
                return false;
            i++;
        } else {
            i = std::min(ReaderTokenEnd(s, i), n);  // npos: the text ends inside an escape
            if (i == start)
                i++;  // a ' or ` or , standing alone
        }
        elements->push_back(std::make_pair(start, i));
    }
}

// The keyword a keyword parameter is passed by: VAR, (VAR DEFAULT ...) or
// ((KEYWORD VAR) DEFAULT ...), without its colon.
std::string KeyName(const std::string &arglist, std::pair<size_t, size_t> span)
{
    std::string name = arglist.substr(span.first, span.second - span.first);
    for (int level = 0; level < 2 && !name.empty() && name[0] == '('; level++) {
        Spans inner;
        if (!ListElements(name, 0, &inner) || inner.empty())
            return std::string();
        name = name.substr(inner[0].first, inner[0].second - inner[0].first);
    }
    size_t colon = name.rfind(':');
    return colon == std::string::npos ? name : name.substr(colon + 1);
}

}  // namespace

ScanCopy MakeScanCopy(const std::u16string &text)
{
    ScanCopy copy;
    copy.bytes.reserve(text.size());
    copy.units.reserve(text.size() + 1);
    for (size_t i = 0; i < text.size(); i++) {
        char16_t u = text[i];
        copy.units.push_back(i);
        copy.bytes += u < 0x80 ? (char)u : 'x';
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
            i++;
    }
    copy.units.push_back(text.size());
    HideNonStructure(copy.bytes);
    return copy;
}

size_t CopyIndex(const ScanCopy &copy, size_t unit)
{
    return (size_t)(std::lower_bound(copy.units.begin(), copy.units.end(), unit) - copy.units.begin());
}

std::string Utf16ToUtf8(const std::u16string &text, size_t from, size_t to)
{
    std::string out;
    to = std::min(to, text.size());
    for (size_t i = from; i < to; i++) {
        unsigned long c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < to && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            i++;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;  // a surrogate without its pair
        }
        if (c < 0x80) {
            out += (char)c;
        } else if (c < 0x800) {
            out += (char)(0xC0 | (c >> 6));
            out += (char)(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += (char)(0xE0 | (c >> 12));
            out += (char)(0x80 | ((c >> 6) & 0x3F));
            out += (char)(0x80 | (c & 0x3F));
        } else {
            out += (char)(0xF0 | (c >> 18));
            out += (char)(0x80 | ((c >> 12) & 0x3F));
            out += (char)(0x80 | ((c >> 6) & 0x3F));
            out += (char)(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string Utf8ToUtf16(const std::string &text)
{
    std::u16string out;
    size_t n = text.size();
    for (size_t i = 0; i < n;) {
        unsigned char b = (unsigned char)text[i];
        int more = b < 0x80 ? 0 : b >= 0xC2 && b < 0xE0 ? 1 : b >= 0xE0 && b < 0xF0 ? 2 : b >= 0xF0 && b < 0xF5 ? 3 : -1;
        unsigned long c = more == 0 ? b : more == 1 ? b & 0x1F : more == 2 ? b & 0x0F : b & 0x07;
        size_t j = i + 1;
        for (int k = 0; more > 0 && k < more; k++, j++) {
            if (j >= n || ((unsigned char)text[j] & 0xC0) != 0x80) {
                more = -1;
                break;
            }
            c = (c << 6) | ((unsigned char)text[j] & 0x3F);
        }
        bool bad = more < 0 || (more == 2 && (c < 0x800 || (c >= 0xD800 && c < 0xE000))) ||
                   (more == 3 && (c < 0x10000 || c > 0x10FFFF));
        if (bad) {
            out += (char16_t)0xFFFD;
            i++;
            continue;
        }
        if (c >= 0x10000) {
            out += (char16_t)(0xD800 + ((c - 0x10000) >> 10));
            out += (char16_t)(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += (char16_t)c;
        }
        i = j;
    }
    return out;
}

bool DecideInputIndent(const std::u16string &text, size_t caret, IndentChange *indent)
{
    ScanCopy copy = MakeScanCopy(text);
    unsigned length = (unsigned)copy.bytes.size();
    ReindentPlan plan;
    if (DecideReindent(copy.bytes.data(), length, length, (unsigned)CopyIndex(copy, caret), 0, &plan) != ScanFound)
        return false;
    indent->lineStart = copy.units[plan.lineStart];
    indent->change = plan.change;
    indent->blanks = LeadingBlanks(copy.bytes.data(), length, plan.lineStart);
    return true;
}

bool InLeadingBlanks(const std::u16string &text, size_t caret)
{
    caret = std::min(caret, text.size());
    while (caret > 0 && (text[caret - 1] == u' ' || text[caret - 1] == u'\t'))
        caret--;
    return caret == 0 || text[caret - 1] == u'\n' || text[caret - 1] == u'\r';
}

bool CompletionStart(const std::u16string &text, size_t caret, size_t *start)
{
    ScanCopy copy = MakeScanCopy(text);
    size_t at = CopyIndex(copy, caret);
    CaretScan scan = ScanTo(copy.bytes, at);
    if (scan.where != InToken || copy.bytes[scan.tokenStart] == '#')
        return false;
    for (size_t i = scan.tokenStart; i < at; i++)
        if (copy.bytes[i] == '|' || copy.bytes[i] == '\\')
            return false;
    *start = copy.units[scan.tokenStart];
    return true;
}

bool SymbolAt(const std::u16string &text, size_t caret, size_t *start, size_t *end)
{
    ScanCopy copy = MakeScanCopy(text);
    size_t at = CopyIndex(copy, caret);
    CaretScan scan = ScanTo(copy.bytes, at);
    size_t from, to;
    if (scan.where == InToken) {
        from = scan.tokenStart;
        to = scan.tokenEnd;
    } else if (scan.where == AtBlank && scan.tokenAtCaret) {
        from = at;
        to = scan.nextEnd;
    } else {
        return false;
    }
    if (copy.bytes[from] == '#')
        return false;
    *start = copy.units[from];
    *end = copy.units[to];
    return true;
}

bool FormAt(const std::u16string &text, size_t caret, FormAtCaret *form)
{
    ScanCopy copy = MakeScanCopy(text);
    size_t at = CopyIndex(copy, caret);
    CaretScan scan = ScanTo(copy.bytes, at);
    const Frame &f = scan.frames.back();
    if (!f.list || !f.symbolHead)
        return false;
    // The caret is at an element while one is being read, or when it is in
    // or right after the last one; else at the next.
    bool atLast = f.pending > 0 || (!f.spans.empty() && f.spans.back().second >= at);
    long element = (long)f.elements - (atLast ? 1 : 0);
    form->op = Original(text, copy, f.headStart, f.headEnd);
    form->argument = element - 1;
    form->before.clear();
    for (long i = 1; i < element && (size_t)i < f.spans.size(); i++)
        form->before.push_back(Original(text, copy, f.spans[i].first, f.spans[i].second));
    return true;
}

std::string MarkArgument(const std::string &arglist, long argument, const std::vector<std::string> &before)
{
    Spans elements;
    if (argument < 0 || !ListElements(arglist, 0, &elements) || elements.empty())
        return arglist;
    enum Mode { Required, Optional, Rest, AfterRest, Key, Aux } mode = Required, skipFrom = Required;
    bool skipNext = false;
    std::vector<size_t> positional, keys;
    size_t rest = 0;  // 0: none
    for (size_t i = 1; i < elements.size(); i++) {
        std::string word = arglist.substr(elements[i].first, elements[i].second - elements[i].first);
        if (skipNext) {
            skipNext = false;  // the variable of &whole or &environment
            mode = skipFrom;
            continue;
        }
        if (!word.empty() && word[0] == '&') {
            if (SameLetters(word, "&optional"))
                mode = Optional;
            else if (SameLetters(word, "&rest") || SameLetters(word, "&body"))
                mode = Rest;
            else if (SameLetters(word, "&key"))
                mode = Key;
            else if (SameLetters(word, "&aux"))
                mode = Aux;
            else if (SameLetters(word, "&whole") || SameLetters(word, "&environment")) {
                skipFrom = mode;
                skipNext = true;
            }
            continue;
        }
        switch (mode) {
        case Required:
        case Optional:
            positional.push_back(i);
            break;
        case Rest:
            rest = i;
            mode = AfterRest;
            break;
        case Key:
            keys.push_back(i);
            break;
        case AfterRest:
        case Aux:
            break;
        }
    }
    size_t marked = 0;
    if ((size_t)argument < positional.size()) {
        marked = positional[argument];
    } else {
        size_t past = (size_t)argument - positional.size();
        // A keyword argument's value: the parameter the keyword before it names.
        if (!keys.empty() && past % 2 == 1 && (size_t)argument <= before.size()) {
            const std::string &keyword = before[argument - 1];
            if (keyword.size() > 1 && keyword[0] == ':')
                for (size_t k : keys)
                    if (SameLetters(KeyName(arglist, elements[k]), keyword.substr(1)))
                        marked = k;
        }
        if (!marked)
            marked = rest;
    }
    if (!marked)
        return arglist;
    const std::pair<size_t, size_t> &span = elements[marked];
    return arglist.substr(0, span.first) + "===> " + arglist.substr(span.first, span.second - span.first) + " <===" +
           arglist.substr(span.second);
}

std::string CommonPrefix(const std::vector<std::string> &matches)
{
    if (matches.empty())
        return std::string();
    size_t length = matches[0].size();
    for (const std::string &m : matches) {
        size_t i = 0;
        while (i < length && i < m.size() && m[i] == matches[0][i])
            i++;
        length = i;
    }
    return matches[0].substr(0, CharacterStart(matches[0], length));
}

bool CompletionText(const std::string &typed, const std::vector<std::string> &matches, std::string *text)
{
    if (matches.empty())
        return false;
    if (matches.size() == 1) {
        *text = matches[0];
        return *text != typed;
    }
    std::string common = CommonPrefix(matches);
    if (CharacterCount(common) <= CharacterCount(typed))
        return false;
    *text = common;
    return true;
}

std::string CompletionListing(const std::vector<std::string> &matches, size_t width)
{
    size_t shown = std::min(matches.size(), ShownMatches);
    std::string listing = "; " + std::to_string(matches.size()) + " completions" +
                          (shown < matches.size() ? ", the first " + std::to_string(shown) : std::string()) + ":\n";
    // Lined up in columns, row by row, as a shell lists them.
    size_t column = 0;
    for (size_t i = 0; i < shown; i++)
        column = std::max(column, CharacterCount(matches[i]) + 2);
    size_t perLine = std::max<size_t>(1, width / std::max<size_t>(column, 1));
    std::string line;
    for (size_t i = 0; i < shown; i++) {
        line += matches[i];
        if ((i + 1) % perLine == 0 || i + 1 == shown) {
            listing += line + "\n";
            line.clear();
        } else {
            line.append(column - CharacterCount(matches[i]), ' ');
        }
    }
    if (shown < matches.size())
        listing += "; ... and " + std::to_string(matches.size() - shown) + " more.\n";
    return listing;
}
