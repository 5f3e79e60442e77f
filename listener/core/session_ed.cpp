// (:ed TARGET), sent by swank:ed-in-emacs, which the listener's helper makes
// the Lisp's ED call where the Lisp has a hook for it. TARGET is nil (no
// file: the editor comes to the front), (:filename FILE [:line L] [:column
// C] [:position P]), with P 1-based characters as in a compiler note, or
// (:function-name NAME), whose definition is found as Find Definition does.
#include "listener/core/session_ed.h"
#include "listener/core/session_effects.h"
#include "listener/core/text_rules.h"

void OnEd(Session &s, const Sexp &m, Effects &out)
{
    const Sexp *target = Item(m, 1);
    Effect edit;
    edit.kind = EffectKind::EditReady;
    edit.text = "the place to edit is";
    if (!target || IsAtom(*target, "nil")) {
        out.push_back(edit);
        return;
    }
    const Sexp *file = Property(target, ":filename"), *name = Property(target, ":function-name");
    if (IsString(name)) {
        if (!SessionFindDefinitions(s, name->text, out))
            Line(s, out, "; ED of " + VisibleText(FirstLine(name->text)) + ": the Lisp is not ready.");
        return;
    }
    if (!IsString(file) || file->text.empty())
        return Line(s, out, "; ED: the Lisp named nothing the listener can edit.");
    SourcePlace place;
    place.file = file->text;
    long number;
    if (ReadNumber(Property(target, ":position"), &number) && number > 0) {
        place.position = number - 1;
    } else if (ReadNumber(Property(target, ":line"), &number) && number > 0) {
        place.line = number;
        if (!ReadNumber(Property(target, ":column"), &place.column) || place.column < 0)
            place.column = 0;
    }
    place.known = place.position >= 0 || place.line > 0;
    edit.places.push_back(place);
    out.push_back(edit);
}
