// The listener's conversation with the Lisp, as decisions over text: what to
// send, and what each message from Swank means for the transcript, the
// debugger and the input line. Evaluations go to Swank's own REPL
// (swank-repl:listener-eval on the REPL thread), one form at a time, one text
// after another in the order they came. Every request's continuation is kept
// by its id, so an answer, a refusal or an abort meets the request it
// belongs to.
//
// No windows.h here: the host compiler tests and fuzzes it. Texts are UTF-8,
// as on the wire; line breaks in what it writes to the transcript are "\n".
#ifndef KESTRALUNE_SESSION_H
#define KESTRALUNE_SESSION_H

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "listener/debug_info.h"

struct Sexp;
struct Session;
struct SessionOutput;

// A longer text is echoed shortened: a long line costs the Edit control
// much time to show, and the Lisp has the whole text anyway.
const size_t EchoLimit = 2000;

// What to do with the answer to a request: ok is false for an abort or a
// refusal, value is the answer's value (or the reason), null when none.
struct Request;
typedef void (*AnswerProc)(Session &, const Request &, bool ok, const Sexp *value, SessionOutput &);
struct Request {
    AnswerProc answer = nullptr;
    std::string thread;  // the debugger's thread the request is about
    long level = 0;      // and its level
    long index = 0;      // the frame it is about
    long tag = 0;        // the input area's tag of a request it made
    std::string text;    // and the symbol it is about
};

// The text being evaluated: its forms go to the REPL one after another.
struct Evaluation {
    std::string text;
    std::vector<std::string> forms;
    size_t next = 0;         // the form to send next
    std::string unfinished;  // an unfinished form at the end, not sent
    long requestId = 0;      // the form in the Lisp, 0 when none
};

// The Lisp waiting for the user: a line (read-line, read) or a yes or no.
struct Question {
    bool open = false;
    bool yesOrNo = false;
    std::string thread, tag;
};

struct Session {
    bool connected = false;    // the connection stands
    bool ready = false;        // Swank's REPL is made; evaluations may go
    std::string lispName;      // implementation and version, once known
    long lispPid = 0;          // the Lisp's process, once known
    long earlierPid = 0;       // the Lisp of the connection before, if any
    std::string package = "COMMON-LISP-USER";  // the REPL reads in it
    std::string prompt = "CL-USER";
    std::deque<std::string> waiting;  // texts not yet begun, oldest first
    bool evaluating = false;
    Evaluation running;
    Question question;
    std::vector<DebugLevel> debugger;  // levels open, innermost last
    std::map<long, Request> requests;  // requests sent, by id, not yet answered
    bool lineOpen = false;     // the transcript's last line has no line break yet
    long nextId = 1;
    std::string helper;        // the Lisp the listener loads once the REPL is there
};

// What one step asks of the window and the connection.
struct SessionOutput {
    std::string transcript;             // to append
    std::vector<std::string> messages;  // payloads to send, in order
    bool captionChanged = false;
    bool debuggerChanged = false;       // the innermost level changed, opened or closed
    bool questionChanged = false;       // the Lisp began or ended waiting for input
    bool closeConnection = false;       // the connection cannot go on
    // Answers to the input area's requests, each with the tag it was asked
    // with, so that an answer about an older text can be dropped.
    bool completionReady = false;
    long completionTag = 0;
    std::vector<std::string> completions;  // the symbols the typed part begins
    bool arglistReady = false;
    long arglistTag = 0;
    std::string arglistName;  // the operator asked about
    std::string arglist;      // "(NAME PARAMETER ...)", empty when the Lisp knows none
};

// A new connection: asks who the Lisp is, then makes Swank's REPL, loading
// helperSource (Lisp) on the way.
void SessionConnected(Session &s, const std::string &helperSource, SessionOutput &out);
// Queues a text to evaluate; false when no Lisp is connected.
bool SessionSubmit(Session &s, const std::string &text, SessionOutput &out);
// A line the user typed while the Lisp waits for input; false when it does not.
bool SessionAnswer(Session &s, const std::string &line, SessionOutput &out);
// One payload received from the Lisp.
void SessionMessage(Session &s, const std::string &payload, SessionOutput &out);
// The connection ended (why: a short reason); says what did not finish or
// run, and that the connection was lost when it had been ready.
void SessionLost(Session &s, const std::string &why, SessionOutput &out);
// Interrupts the running evaluation: it enters the debugger.
void SessionInterrupt(Session &s, SessionOutput &out);
// Asks the Lisp to end (one the listener started itself).
void SessionQuit(Session &s, SessionOutput &out);

// The innermost debugger level, null when none is open.
const DebugLevel *SessionDebugLevel(const Session &s);
// What the user asks of the innermost debugger level.
void SessionInvokeRestart(Session &s, size_t restart, SessionOutput &out);
void SessionAbortDebugger(Session &s, SessionOutput &out);
void SessionMoreFrames(Session &s, SessionOutput &out);
void SessionFrameLocals(Session &s, long frame, SessionOutput &out);

// What the input area asks of the Lisp (session_input.cpp), each on a
// thread of its own (t), never the REPL's, and read in the REPL's package;
// false when no Lisp is connected. The symbols that begin with prefix (a
// package prefix such as "cl-user::" or "alexandria:" included): answered
// in completions.
bool SessionComplete(Session &s, const std::string &prefix, long tag, SessionOutput &out);
// The argument list of the operator name: answered in arglist.
bool SessionArglist(Session &s, const std::string &name, long tag, SessionOutput &out);
// The Lisp's description of the symbol name, shown in the transcript.
bool SessionDescribe(Session &s, const std::string &name, SessionOutput &out);

// The first line of a text, shortened, to name an evaluation in a notice.
std::string EvaluationLabel(const std::string &text);

#endif
