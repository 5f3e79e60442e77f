// Swank's inspector answers read into parts and lines (inspector.h).
#include "listener/core/inspector.h"
#include "listener/core/text_rules.h"

namespace {

// A list, or nil (the empty list as Swank writes it).
bool IsList(const Sexp *e)
{
    return e && (e->kind == Sexp::List || IsAtom(*e, "nil"));
}

// The text of a value, an action or a label on one line: a line break in
// it would break the window's line in the middle of the part.
std::string OneLine(const std::string &text)
{
    std::string line = VisibleText(text);
    for (char &c : line)
        if (IsLineBreak(c))
            c = ' ';
    return line;
}

// One part: a string, or (:value TEXT N), (:action TEXT N), (:label TEXT).
// A list of another kind (a newer Swank's) is left out, in *known.
bool ReadPart(const Sexp &e, InspectorPart *part, bool *known)
{
    *known = true;
    if (e.kind == Sexp::String) {
        part->kind = PartKind::Text;
        part->text = VisibleText(e.text);
        return true;
    }
    const Sexp *head = Item(e, 0), *text = Item(e, 1);
    if (!head || head->kind != Sexp::Atom)
        return false;
    if (IsAtom(*head, ":label")) {
        part->kind = PartKind::Label;
    } else if (IsAtom(*head, ":value")) {
        part->kind = PartKind::Value;
    } else if (IsAtom(*head, ":action")) {
        part->kind = PartKind::Action;
    } else {
        *known = false;
        return true;
    }
    if (!IsString(text))
        return false;
    part->text = OneLine(text->text);
    if (part->kind != PartKind::Label && (!ReadNumber(Item(e, 2), &part->index) || part->index < 0))
        return false;
    return true;
}

}  // namespace

bool ReadInspectorContent(const Sexp &content, Inspection *out)
{
    const Sexp *parts = Item(content, 0);
    long length, start, end;
    if (!IsList(parts) || !ReadNumber(Item(content, 1), &length) || !ReadNumber(Item(content, 2), &start) ||
        !ReadNumber(Item(content, 3), &end) || start < 0 || end < start)
        return false;
    std::vector<InspectorPart> read;
    for (const Sexp &e : parts->items) {
        InspectorPart part;
        bool known;
        if (!ReadPart(e, &part, &known))
            return false;
        if (known)
            read.push_back(part);
    }
    out->parts = read;
    out->end = end;
    // Swank guesses the length when the range was full; an empty range
    // ends the content whatever it guessed.
    out->more = length > end && !parts->items.empty();
    return true;
}

bool ReadInspection(const Sexp &answer, Inspection *out)
{
    const Sexp *title = Property(&answer, ":title"), *content = Property(&answer, ":content");
    if (answer.kind != Sexp::List || !IsString(title) || !content)
        return false;
    Inspection read;
    if (!ReadInspectorContent(*content, &read))
        return false;
    read.title = OneLine(title->text);
    *out = read;
    return true;
}

void AppendInspectorLines(std::vector<InspectorLine> &lines, bool &open, const std::vector<InspectorPart> &parts)
{
    auto add = [&](const InspectorPart &part) {
        if (!open)
            lines.push_back(InspectorLine());
        open = true;
        lines.back().parts.push_back(part);
    };
    for (const InspectorPart &part : parts) {
        if (part.kind != PartKind::Text) {
            add(part);
            continue;
        }
        size_t at = 0;
        while (at <= part.text.size()) {
            size_t brk = part.text.find('\n', at);
            std::string piece = part.text.substr(at, brk == std::string::npos ? std::string::npos : brk - at);
            if (!piece.empty() && piece.back() == '\r')
                piece.pop_back();
            if (!piece.empty()) {
                InspectorPart text = part;
                text.text = piece;
                add(text);
            }
            if (brk == std::string::npos)
                break;
            if (!open)
                lines.push_back(InspectorLine());  // a blank line
            open = false;
            at = brk + 1;
        }
    }
}

std::string InspectorLineText(const InspectorLine &line)
{
    std::string text;
    for (const InspectorPart &part : line.parts)
        text += part.text;
    return text;
}
