// How the session's files (the REPL in session.cpp, the debugger in
// session_debug.cpp, the input area's requests in session_input.cpp)
// record what a step does: a request sent with its continuation, and text
// written to the transcript.
#ifndef KESTRALUNE_SESSION_EFFECTS_H
#define KESTRALUNE_SESSION_EFFECTS_H

#include "listener/core/session.h"
#include "listener/core/swank_wire.h"

// An effect of the step: one of a kind without data is recorded once.
void Record(Effects &out, EffectKind kind, const std::string &text);
void Record(Effects &out, EffectKind kind);
// A payload to send to the Lisp.
void Send(Effects &out, const std::string &payload);
// Whether the step asked to close the connection.
bool Closing(const Effects &out);
// A request whose reply goes to reply.
Request Then(ReplyProc reply);
// Sends (:emacs-rex FORM PACKAGE THREAD ID), keeping request by the new id;
// package "nil" for requests that read nothing of the user's. The id.
long SendRequest(Session &s, const std::string &form, const std::string &package, const std::string &thread,
                 const Request &request, Effects &out);
// Text as it came from the Lisp (control characters made visible).
void Write(Session &s, Effects &out, const std::string &text);
// A whole line of the listener's own, begun on a fresh line.
void Line(Session &s, Effects &out, const std::string &text);
// The first line of a text, cut at 200 bytes: the transcript's record.
std::string FirstLine(const std::string &text);
// Asks to close the connection (why: a short reason for the transcript).
void CloseConnection(Effects &out, const std::string &why);
// Asks the Lisp for the name of the thread (Swank's id) unless it was
// asked already on this connection.
void AskThreadName(Session &s, const std::string &thread, Effects &out);
// The session for the next connection: the connection's state, where the
// Lisp is and the pause carry over, and of the Lisp what the REPL read in
// and which process it was; the transcript's line stays as it is.
Session NextSession(const Session &s);

#endif
