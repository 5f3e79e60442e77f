// A place in Lisp source shown in the editor: the editor showing its file
// comes to the front with the place's form selected; a file no editor
// shows is opened in a new one first.
#ifndef KESTRALUNE_SOURCEPLACE_H
#define KESTRALUNE_SOURCEPLACE_H

#include <string>

#include "listener/core/places.h"

// Shows the place (a file's place, as the Lisp names the file; a place
// not known shows the file alone); what says what is there, as in "FOO is
// defined" or "the note is". Empty when it is shown, else the transcript's
// line saying why not.
std::string ShowSourcePlace(const std::string &what, const SourcePlace &place);

#endif
