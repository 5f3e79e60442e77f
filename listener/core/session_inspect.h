// The inspector's event, which the session's table (session.cpp) hands to
// session_inspect.cpp: (:inspect WHAT THREAD TAG), sent by Swank's
// inspect-in-emacs.
#ifndef KESTRALUNE_SESSION_INSPECT_H
#define KESTRALUNE_SESSION_INSPECT_H

#include "listener/core/session.h"
#include "listener/core/swank_wire.h"

void OnInspect(Session &s, const Sexp &m, Effects &out);

#endif
