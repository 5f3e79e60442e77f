// The debugger's messages, which the session's table (session.cpp) hands to
// session_debug.cpp: (:debug ...), (:debug-activate ...), (:debug-return ...)
// and (:debug-condition ...).
#ifndef KESTRALUNE_SESSION_DEBUG_H
#define KESTRALUNE_SESSION_DEBUG_H

#include "listener/core/session.h"
#include "listener/core/swank_wire.h"

void OnDebug(Session &s, const Sexp &m, Effects &out);
void OnDebugActivate(Session &s, const Sexp &m, Effects &out);
void OnDebugReturn(Session &s, const Sexp &m, Effects &out);
void OnDebugCondition(Session &s, const Sexp &m, Effects &out);
// The level an action was made on, while it is still its thread's
// innermost and is not being left; null for an action come too late.
DebugLevel *ActionLevel(Session &s, const DebugPlace &at);

#endif
