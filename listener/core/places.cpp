#include "listener/core/places.h"
#include "listener/core/forms.h"
#include "listener/core/swank_wire.h"
#include "listener/core/text_rules.h"

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <climits>

namespace {

const Sexp *Keyed(const Sexp &list, const char *key)
{
    for (const Sexp &item : list.items)
        if (item.kind == Sexp::List && !item.items.empty() && IsAtom(item.items[0], key))
            return &item;
    return nullptr;
}

// The keyword's words: :style-warning is "style warning".
std::string Severity(const Sexp *keyword)
{
    std::string name = keyword && keyword->kind == Sexp::Atom ? keyword->text : "note";
    if (!name.empty() && name[0] == ':')
        name.erase(0, 1);
    for (char &c : name)
        c = c == '-' ? ' ' : (char)(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return name;
}

// The byte at which the characters-th UTF-8 character of text starts (a
// byte that begins no character counts as one).
size_t ByteOfCharacter(const std::string &text, long characters, size_t from = 0)
{
    size_t at = from;
    for (long n = 0; n < characters && at < text.size(); n++) {
        at++;
        while (at < text.size() && ((unsigned char)text[at] & 0xC0) == 0x80 && ((unsigned char)text[at - 1] & 0x80))
            at++;
    }
    return at;
}

// Just past the form that begins at or after at: a list to its closing
// parenthesis, else the one item there.
size_t FormEnd(const std::string &text, size_t at)
{
    size_t depth = 0;
    while (at < text.size()) {
        ReaderItem item = NextReaderItem(text, at);
        at = item.end;
        if (item.kind == ReaderKind::Blank || item.kind == ReaderKind::LineComment ||
            item.kind == ReaderKind::BlockComment || item.kind == ReaderKind::Prefix)
            continue;
        if (item.kind == ReaderKind::Open)
            depth++;
        else if (item.kind == ReaderKind::Close && depth > 0)
            depth--;
        if (depth == 0 || !item.finished)
            return at;
    }
    return text.size();
}

size_t SkipBlanks(const std::string &text, size_t at)
{
    while (at < text.size() && IsBlank(text[at]))
        at++;
    return at;
}

}  // namespace

bool ReadPlace(const Sexp &location, SourcePlace *place)
{
    *place = SourcePlace();
    const Sexp *head = Item(location, 0);
    if (head && IsAtom(*head, ":error")) {
        place->why = StringText(Item(location, 1));
        return true;
    }
    if (!head || !IsAtom(*head, ":location")) {
        place->why = "the Lisp gave no place it could be found";
        return false;
    }
    const Sexp *file = Keyed(location, ":file"), *buffer = Keyed(location, ":buffer"),
               *both = Keyed(location, ":buffer-and-file");
    const Sexp *position = Keyed(location, ":position"), *offset = Keyed(location, ":offset"),
               *line = Keyed(location, ":line");
    if (file)
        place->file = StringText(Item(*file, 1));
    if (buffer)
        place->buffer = StringText(Item(*buffer, 1));
    if (both) {
        place->buffer = StringText(Item(*both, 1));
        place->file = StringText(Item(*both, 2));
    }
    long start, relative;
    if (position && ReadNumber(Item(*position, 1), &start)) {
        place->position = std::max(0L, start - 1);  // counted from 1
    } else if (offset && ReadNumber(Item(*offset, 1), &start) && ReadNumber(Item(*offset, 2), &relative)) {
        place->position = std::max(0L, start - 1 + relative);  // from the string's start, given from 1
        place->inString = true;
    } else if (line && ReadNumber(Item(*line, 1), &place->line)) {
        if (!ReadNumber(Item(*line, 2), &place->column))
            place->column = 0;
    }
    place->known = place->position >= 0 || place->line > 0;
    if (!place->known)
        place->why = "the Lisp gave no position in its source";
    return true;
}

bool ReadCompilation(const Sexp &result, Compilation *compilation)
{
    *compilation = Compilation();
    const Sexp *head = Item(result, 0), *notes = Item(result, 1), *success = Item(result, 2),
               *duration = Item(result, 3), *fasl = Item(result, 5);
    if (!head || !IsAtom(*head, ":compilation-result") || !notes || !success)
        return false;
    compilation->success = !IsAtom(*success, "nil");
    if (duration && duration->kind == Sexp::Atom)
        compilation->seconds = strtod(duration->text.c_str(), nullptr);
    compilation->fasl = StringText(fasl);
    for (const Sexp &n : notes->items) {
        CompilerNote note;
        const Sexp *severity = Property(&n, ":severity"), *message = Property(&n, ":message"),
                   *location = Property(&n, ":location");
        note.severity = Severity(severity);
        note.message = StringText(message);
        if (!location || !ReadPlace(*location, &note.place))
            note.place.known = false;
        compilation->notes.push_back(note);
    }
    auto order = [](const CompilerNote &n) {
        return n.place.position >= 0 ? n.place.position : n.place.line > 0 ? LONG_MAX / 2 + n.place.line : LONG_MAX;
    };
    std::stable_sort(compilation->notes.begin(), compilation->notes.end(),
                     [&](const CompilerNote &a, const CompilerNote &b) { return order(a) < order(b); });
    return true;
}

std::string CompilationSummary(const std::string &name, const Compilation &compilation, const char *ending)
{
    // Counted by severity, in the order the severities first come.
    std::vector<std::pair<std::string, int>> counts;
    for (const CompilerNote &note : compilation.notes) {
        auto found = std::find_if(counts.begin(), counts.end(),
                                  [&](const std::pair<std::string, int> &c) { return c.first == note.severity; });
        if (found == counts.end())
            counts.push_back({note.severity, 1});
        else
            found->second++;
    }
    std::string summary = "; Compiled " + name + ": ";
    if (counts.empty())
        summary += "no notes";
    for (size_t i = 0; i < counts.size(); i++)
        summary += (i ? ", " : "") + std::to_string(counts[i].second) + " " + counts[i].first +
                   (counts[i].second == 1 ? "" : "s");
    char seconds[32];
    snprintf(seconds, sizeof seconds, " (%.2f s)", compilation.seconds);
    return summary + seconds + "; " + ending;
}

bool PlaceInText(const std::string &text, const SourcePlace &place, size_t *start, size_t *end)
{
    size_t at;
    if (place.position >= 0) {
        // A compiled string's characters are the editor's; a file's are
        // the Lisp's UTF-8 characters.
        at = place.inString ? (size_t)place.position : ByteOfCharacter(text, place.position);
    } else if (place.line > 0) {
        at = 0;
        for (long line = 1; line < place.line && at != std::string::npos; line++) {
            at = text.find('\n', at);
            at = at == std::string::npos ? at : at + 1;
        }
        if (at == std::string::npos)
            return false;
        at = ByteOfCharacter(text, place.column, at);
    } else {
        return false;
    }
    if (at > text.size())
        return false;
    *start = SkipBlanks(text, at);
    if (*start >= text.size())
        *start = at;
    *end = std::max(*start, FormEnd(text, *start));
    return true;
}

std::string LineAndColumn(const std::string &text, size_t at)
{
    size_t line = 1, lineStart = 0;
    for (size_t i = 0; i < at && i < text.size(); i++)
        if (text[i] == '\n') {
            line++;
            lineStart = i + 1;
        }
    return std::to_string(line) + ":" + std::to_string(at - lineStart + 1);
}

std::string DefinitionLine(const std::string &item, const SourcePlace &place)
{
    return item + "  " + place.file.substr(place.file.find_last_of("/\\") + 1);
}

std::string NoteLine(const std::string &text, const CompilerNote &note)
{
    size_t start, end;
    std::string at = note.place.known && PlaceInText(text, note.place, &start, &end) ? LineAndColumn(text, start) : "-";
    return note.severity + " " + at + " " + note.message.substr(0, note.message.find('\n'));
}
