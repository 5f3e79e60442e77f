// Swank's inspector answers read into pieces and lines (inspector.h).
#include "listener/core/inspector.h"
#include "listener/core/text_rules.h"

namespace {

// A list, or nil (the empty list as Swank writes it).
bool IsList(const Sexp *e)
{
    return e && (e->kind == Sexp::List || IsAtom(*e, "nil"));
}

// The text of a value, an action or a label on one line: a line break in
// it would break the window's line in the middle of the piece.
std::string OneLine(const std::string &text)
{
    std::string line = VisibleText(text);
    for (char &c : line)
        if (IsLineBreak(c))
            c = ' ';
    return line;
}

// One piece: a string, or (:value TEXT N), (:action TEXT N), (:label TEXT).
// A list of another kind (a newer Swank's) is left out, in *known.
bool ReadPiece(const Sexp &e, InspectorPiece *piece, bool *known)
{
    *known = true;
    if (e.kind == Sexp::String) {
        piece->kind = PieceKind::Text;
        piece->text = VisibleText(e.text);
        return true;
    }
    const Sexp *head = Item(e, 0), *text = Item(e, 1);
    if (!head || head->kind != Sexp::Atom)
        return false;
    if (IsAtom(*head, ":label")) {
        piece->kind = PieceKind::Label;
    } else if (IsAtom(*head, ":value")) {
        piece->kind = PieceKind::Value;
    } else if (IsAtom(*head, ":action")) {
        piece->kind = PieceKind::Action;
    } else {
        *known = false;
        return true;
    }
    if (!IsString(text))
        return false;
    piece->text = OneLine(text->text);
    if (piece->kind != PieceKind::Label && (!ReadNumber(Item(e, 2), &piece->index) || piece->index < 0))
        return false;
    return true;
}

}  // namespace

bool ReadInspectorContent(const Sexp &content, Inspection *out)
{
    const Sexp *pieces = Item(content, 0);
    long length, start, end;
    if (!IsList(pieces) || !ReadNumber(Item(content, 1), &length) || !ReadNumber(Item(content, 2), &start) ||
        !ReadNumber(Item(content, 3), &end) || start < 0 || end < start)
        return false;
    std::vector<InspectorPiece> read;
    for (const Sexp &e : pieces->items) {
        InspectorPiece piece;
        bool known;
        if (!ReadPiece(e, &piece, &known))
            return false;
        if (known)
            read.push_back(piece);
    }
    out->pieces = read;
    out->end = end;
    // Swank guesses the length when the range was full; an empty range
    // ends the content whatever it guessed.
    out->more = length > end && !pieces->items.empty();
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

void AppendInspectorLines(std::vector<InspectorLine> &lines, bool &open, const std::vector<InspectorPiece> &pieces)
{
    auto add = [&](const InspectorPiece &piece) {
        if (!open)
            lines.push_back(InspectorLine());
        open = true;
        lines.back().pieces.push_back(piece);
    };
    for (const InspectorPiece &piece : pieces) {
        if (piece.kind != PieceKind::Text) {
            add(piece);
            continue;
        }
        size_t at = 0;
        while (at <= piece.text.size()) {
            size_t brk = piece.text.find('\n', at);
            std::string run = piece.text.substr(at, brk == std::string::npos ? std::string::npos : brk - at);
            if (!run.empty() && run.back() == '\r')
                run.pop_back();
            if (!run.empty()) {
                InspectorPiece text = piece;
                text.text = run;
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
    for (const InspectorPiece &piece : line.pieces)
        text += piece.text;
    return text;
}
