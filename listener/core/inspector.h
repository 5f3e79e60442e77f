// Swank's inspector as the listener shows it: an answer
// (:title TITLE :id N :content (PIECES LENGTH START END)) read into pieces, and
// the pieces laid out as the lines of the inspector's window. A piece is a
// text, (:value TEXT N) (the object's Nth piece, which can be inspected in
// turn), (:action TEXT N) (its Nth action, such as "[remove entry]") or
// (:label TEXT). Swank sends the content in ranges of what the object's
// inspection lists; LENGTH past END says that more may follow from END on.
// No windows.h here: tested on the host.
#ifndef KESTRALUNE_INSPECTOR_H
#define KESTRALUNE_INSPECTOR_H

#include <string>
#include <vector>

#include "listener/core/swank_wire.h"

enum class PieceKind { Text, Value, Action, Label };

struct InspectorPiece {
    PieceKind kind = PieceKind::Text;
    std::string text;  // UTF-8; none but a text piece holds line breaks
    long index = -1;   // the value's or the action's number, for Swank
};

// Pieces of one line of the window, none holding a line break.
struct InspectorLine {
    std::vector<InspectorPiece> pieces;
};

// One answer of Swank's: the object's title and a range of its content.
struct Inspection {
    std::string title;
    std::vector<InspectorPiece> pieces;
    long end = 0;       // the content's index after the range
    bool more = false;  // content may follow from end on
};

// (:title TITLE :id N :content CONTENT); false when it is of another shape.
bool ReadInspection(const Sexp &answer, Inspection *out);
// CONTENT alone, (PIECES LENGTH START END), as swank:inspector-range answers:
// the title is left as it was.
bool ReadInspectorContent(const Sexp &content, Inspection *out);

// The lines the pieces make: each line break of a text ends a line, and the
// pieces after it begin the next. Lines are appended to lines; open says
// whether its last line goes on with the next pieces, and is kept for the
// pieces of the next range.
void AppendInspectorLines(std::vector<InspectorLine> &lines, bool &open, const std::vector<InspectorPiece> &pieces);

// The line's whole text, as one string.
std::string InspectorLineText(const InspectorLine &line);

#endif
