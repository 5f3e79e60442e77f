#include "listener/core/line_store.h"

#include <algorithm>

void ClearLines(LineStore &store)
{
    store.text.clear();
    store.starts.assign(1, 0);
    store.endsInCr = false;
    store.droppedCharacters = store.droppedLines = 0;
}

// The code point of the UTF-8 sequence at text[*i], which *i then passes;
// U+FFFD for a byte that starts no valid sequence (and *i passes that byte).
static char32_t NextCodePoint(const std::string &text, size_t *i)
{
    unsigned char lead = (unsigned char)text[*i];
    (*i)++;
    if (lead < 0x80)
        return lead;
    size_t more = lead >= 0xF0 && lead <= 0xF4 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 && lead < 0xE0 ? 1 : 0;
    if (more == 0 || lead > 0xF4 || *i + more > text.size())
        return 0xFFFD;
    char32_t c = lead & (0x3F >> more);
    for (size_t k = 0; k < more; k++) {
        unsigned char next = (unsigned char)text[*i + k];
        if ((next & 0xC0) != 0x80)
            return 0xFFFD;
        c = c << 6 | (next & 0x3F);
    }
    static const char32_t least[] = {0, 0x80, 0x800, 0x10000};
    if (c < least[more] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0xFFFD;
    *i += more;
    return c;
}

// Removes the oldest lines while at least the limit is left, then, when a
// single line still makes the text a quarter too long, the start of that
// line (never half of a surrogate pair).
static void DropOldest(LineStore &store)
{
    size_t total = TextLength(store);
    if (total <= store.limit + store.limit / 4)
        return;
    size_t lines = LineOfOffset(store, total - store.limit);
    size_t cut = store.starts[lines];
    if (lines > 0) {
        store.droppedCharacters += LineOffset(store, lines);
        store.droppedLines += lines;
        store.starts.erase(store.starts.begin(), store.starts.begin() + lines);
    }
    total = TextLength(store) - cut;
    if (total > store.limit + store.limit / 4) {
        size_t head = total - store.limit;
        if (head > 0 && store.text[cut + head] >= 0xDC00 && store.text[cut + head] <= 0xDFFF)
            head--;
        cut += head;
        store.droppedCharacters += head;
    }
    store.text.erase(0, cut);
    for (size_t &start : store.starts)
        start = start > cut ? start - cut : 0;
}

void AppendUtf8(LineStore &store, const std::string &utf8)
{
    if (store.starts.empty())
        ClearLines(store);
    bool afterCr = store.endsInCr;
    for (size_t i = 0; i < utf8.size();) {
        char32_t c = NextCodePoint(utf8, &i);
        if (c == '\n' && afterCr) {
            afterCr = false;
            continue;
        }
        afterCr = c == '\r';
        if (c == '\n' || c == '\r') {
            store.text += u'\n';
            store.starts.push_back(store.text.size());
        } else if (c >= 0x10000) {
            store.text += (char16_t)(0xD800 + ((c - 0x10000) >> 10));
            store.text += (char16_t)(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            store.text += (char16_t)c;
        }
    }
    store.endsInCr = afterCr;
    DropOldest(store);
}

size_t LineCount(const LineStore &store)
{
    return store.starts.empty() ? 1 : store.starts.size();
}

size_t TextLength(const LineStore &store)
{
    return store.text.size() + LineCount(store) - 1;
}

const char16_t *LineText(const LineStore &store, size_t line)
{
    return store.starts.empty() ? u"" : store.text.data() + store.starts[line];
}

size_t LineLength(const LineStore &store, size_t line)
{
    if (store.starts.empty())
        return 0;
    size_t end = line + 1 < store.starts.size() ? store.starts[line + 1] - 1 : store.text.size();
    return end - store.starts[line];
}

size_t LineOffset(const LineStore &store, size_t line)
{
    if (line >= LineCount(store))
        return TextLength(store);
    return store.starts.empty() ? 0 : store.starts[line] + line;
}

size_t LineOfOffset(const LineStore &store, size_t offset)
{
    // The last line whose offset is at or before this one.
    size_t low = 0, high = LineCount(store);
    while (high - low > 1) {
        size_t middle = low + (high - low) / 2;
        if (LineOffset(store, middle) <= offset)
            low = middle;
        else
            high = middle;
    }
    return low;
}

size_t ValidOffset(const LineStore &store, size_t offset)
{
    offset = std::min(offset, TextLength(store));
    size_t line = LineOfOffset(store, offset);
    return std::min(offset, LineOffset(store, line) + LineLength(store, line));
}

size_t CopyText(const LineStore &store, size_t from, char16_t *out, size_t room)
{
    if (from >= TextLength(store) || room == 0)
        return 0;
    // From the stored text, each '\n' as CR LF; a start between the two
    // gives the LF alone.
    size_t line = LineOfOffset(store, from);
    size_t at = store.starts[line] + (from - LineOffset(store, line)), copied = 0;
    if (from != LineOffset(store, line) && store.text[at - 1] == u'\n') {
        out[copied++] = u'\n';
        at = store.starts[line + 1];
    }
    const char16_t *text = store.text.data();
    for (size_t end = store.text.size(); at < end && copied < room; at++) {
        if (text[at] == u'\n') {
            out[copied++] = u'\r';
            if (copied == room)
                break;
        }
        out[copied++] = text[at];
    }
    return copied;
}

std::u16string RangeText(const LineStore &store, size_t from, size_t to)
{
    from = std::min(from, TextLength(store));
    to = std::max(from, std::min(to, TextLength(store)));
    std::u16string text(to - from, u'\0');
    text.resize(CopyText(store, from, &text[0], text.size()));
    return text;
}

static bool InWord(char16_t c)
{
    return !(c == ' ' || c == '\t' || c == '\f' || c == 0xA0 || c == '(' || c == ')' || c == '\'' || c == '"' ||
             c == '`' || c == ',' || c == ';');
}

void WordAt(const LineStore &store, size_t offset, size_t *from, size_t *to)
{
    offset = ValidOffset(store, offset);
    size_t line = LineOfOffset(store, offset), start = LineOffset(store, line);
    const char16_t *text = LineText(store, line);
    size_t length = LineLength(store, line), column = offset - start;
    size_t begin = column, end = column;
    if (column < length && !InWord(text[column])) {
        end = column + 1;
    } else if (column < length || (column > 0 && InWord(text[column - 1]))) {
        while (begin > 0 && InWord(text[begin - 1]))
            begin--;
        while (end < length && InWord(text[end]))
            end++;
    }
    *from = start + begin;
    *to = start + end;
}
