// The listener's conversation with the Lisp, as decisions over text: what to
// send for an evaluation, and what each message from the Lisp means for the
// transcript. Evaluations run one at a time, in the order they came.
//
// No windows.h here: the host compiler tests and fuzzes it. Texts are UTF-8,
// as on the wire; line breaks in what it writes to the transcript are "\n".
#ifndef KESTRALUNE_SESSION_H
#define KESTRALUNE_SESSION_H

#include <deque>
#include <string>
#include <vector>

// A longer text is echoed shortened: a long line costs the Edit control
// much time to show, and the Lisp has the whole text anyway.
const size_t EchoLimit = 2000;

struct Session {
    bool connected = false;    // the connection stands
    bool ready = false;        // the Lisp has taken the helper and named itself
    std::string lispName;      // implementation and version, once ready
    std::string prompt = "CL-USER";  // the package the next evaluation reads in
    std::deque<std::string> waiting;  // texts not yet sent, oldest first
    long startId = 0;          // the request that loads the helper
    long runningId = 0;        // the evaluation in the Lisp, 0 when none
    std::string runningText;
    long interruptId = 0;      // the request that interrupts it
    bool lineOpen = false;     // the transcript's last line has no line break yet
    long nextId = 1;
};

// What one step asks of the window and the connection.
struct SessionOutput {
    std::string transcript;             // to append
    std::vector<std::string> messages;  // payloads to send, in order
    bool captionChanged = false;
    bool closeConnection = false;       // the connection cannot go on
};

// A new connection: loads helperSource (Lisp) and asks for the Lisp's name.
void SessionConnected(Session &s, const std::string &helperSource, SessionOutput &out);
// Queues a text to evaluate; false when no Lisp is connected.
bool SessionSubmit(Session &s, const std::string &text, SessionOutput &out);
// One payload received from the Lisp.
void SessionMessage(Session &s, const std::string &payload, SessionOutput &out);
// The connection ended (why: a short reason); says which evaluations did not run.
void SessionLost(Session &s, const std::string &why, SessionOutput &out);
// Asks the Lisp to stop the running evaluation.
void SessionInterrupt(Session &s, SessionOutput &out);
// Asks the Lisp to end (one the listener started itself).
void SessionQuit(Session &s, SessionOutput &out);

// The first line of a text, shortened, to name an evaluation in a notice.
std::string EvaluationLabel(const std::string &text);

#endif
