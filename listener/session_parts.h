// What the session's two halves (the REPL in session.cpp, the debugger in
// session_debug.cpp) share: sending a request with its continuation, and
// writing to the transcript.
#ifndef KESTRALUNE_SESSION_PARTS_H
#define KESTRALUNE_SESSION_PARTS_H

#include "listener/session.h"
#include "listener/swank_wire.h"

// Sends (:emacs-rex FORM PACKAGE THREAD ID), keeping request by the new id;
// package "nil" for requests that read nothing of the user's. The id.
long SendRequest(Session &s, const std::string &form, const std::string &package, const std::string &thread,
                 const Request &request, SessionOutput &out);
// Text as it came from the Lisp (control characters made visible).
void Write(Session &s, SessionOutput &out, const std::string &text);
// A whole line of the listener's own, begun on a fresh line.
void Line(Session &s, SessionOutput &out, const std::string &text);
bool IsString(const Sexp *e);
// The first line of a text, cut at 200 bytes: the transcript's record.
std::string FirstLine(const std::string &text);

// The debugger's messages: (:debug ...), (:debug-activate ...),
// (:debug-return ...) and (:debug-condition ...).
void OnDebug(Session &s, const Sexp &m, SessionOutput &out);
void OnDebugActivate(Session &s, const Sexp &m, SessionOutput &out);
void OnDebugReturn(Session &s, const Sexp &m, SessionOutput &out);
void OnDebugCondition(Session &s, const Sexp &m, SessionOutput &out);

#endif
