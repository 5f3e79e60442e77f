// The Lisp's ED (Swank's ed-in-emacs), which the session's table
// (session.cpp) hands to session_ed.cpp: (:ed TARGET).
#ifndef KESTRALUNE_SESSION_ED_H
#define KESTRALUNE_SESSION_ED_H

#include "listener/core/session.h"
#include "listener/core/swank_wire.h"

void OnEd(Session &s, const Sexp &m, Effects &out);

#endif
