// The transcript's text as lines of UTF-16, the newest kept. Offsets count
// what a reader of the whole text gets: UTF-16 units, each line break as
// CR LF (two). Appends cost what they add: the oldest lines go in chunks,
// once the text is a quarter over its limit. No windows.h here: tested on
// the host.
#ifndef KESTRALUNE_LINE_STORE_H
#define KESTRALUNE_LINE_STORE_H

#include <stddef.h>

#include <string>
#include <vector>

struct LineStore {
    size_t limit = 1000000;       // characters always kept once there were so many
    std::u16string text;          // the lines, each but the last ended by one '\n'
    std::vector<size_t> starts;   // where each line starts in text; never empty
    bool endsInCr = false;        // the last text ended in a CR: a LF next is its line break
    // Characters and lines removed from the start since the store was
    // emptied: positions counted from there stay put while the oldest go.
    size_t droppedCharacters = 0, droppedLines = 0;
};

// Empties the store (it then holds one empty line).
void ClearLines(LineStore &store);
// Adds UTF-8 text at the end: LF, CR LF and a lone CR break lines; bytes
// that are not UTF-8 become U+FFFD. Then, once the text is longer than a
// quarter over the limit, removes the oldest lines while the limit is still
// kept; a single line longer than that loses its start.
void AppendUtf8(LineStore &store, const std::string &utf8);

size_t LineCount(const LineStore &store);
// The whole text's length, CR LF counted as two.
size_t TextLength(const LineStore &store);
// The line's characters, without its line break.
const char16_t *LineText(const LineStore &store, size_t line);
size_t LineLength(const LineStore &store, size_t line);
// The offset of the line's first character; TextLength past the last line.
size_t LineOffset(const LineStore &store, size_t line);
// The line an offset falls in (the last line for one past the end); an
// offset between a line's CR and LF falls in that line.
size_t LineOfOffset(const LineStore &store, size_t offset);
// Offsets past the end, or between a CR and its LF, moved back to the
// nearest place a selection can end.
size_t ValidOffset(const LineStore &store, size_t offset);
// The text from..to (offsets, to past from) with CR LF line breaks.
std::u16string RangeText(const LineStore &store, size_t from, size_t to);
// Copies at most room units of the text from the offset on; how many.
size_t CopyText(const LineStore &store, size_t from, char16_t *out, size_t room);
// The word around the offset: a run of characters other than blanks and
// ( ) ' " ` , ; — a Lisp symbol or number; an empty range between two
// such characters.
void WordAt(const LineStore &store, size_t offset, size_t *from, size_t *to);

#endif
