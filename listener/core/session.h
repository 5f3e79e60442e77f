// The listener's conversation with the Lisp, as decisions over text: when to
// connect, what to send, and what each message from Swank means for the
// transcript, the debugger and the input area. The session is the one
// writer of the transcript and keeps the connection's one state; the
// window owns it, steps it with what the socket, the user and the editor
// bring, and does what each step asks. Evaluations go to Swank's own REPL
// (swank-repl:listener-eval on the REPL thread), one form at a time, one text
// after another in the order they came. Every request's continuation is kept
// by its id, so a reply, a refusal or an abort meets the request it
// belongs to. An answer is the user's, to a question of the Lisp.
//
// No windows.h here: the host compiler tests and fuzzes it. Texts are UTF-8,
// as on the wire; line breaks in what it writes to the transcript are "\n".
#ifndef KESTRALUNE_SESSION_H
#define KESTRALUNE_SESSION_H

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "listener/core/debug_level.h"
#include "listener/core/inspector.h"
#include "listener/core/places.h"
#include "listener/core/swank_wire.h"

struct Sexp;
struct Session;

// A longer text is echoed shortened: a long line costs the Edit control
// much time to show, and the Lisp has the whole text anyway.
const size_t EchoLimit = 2000;

// What one step of the session asks of the window and the connection: a
// sequence of effects, which the window applies in order, each kind by its
// one handler. A kind without data is recorded once a step.
enum class EffectKind {
    Text,             // text: to append to the transcript, as it is
    ClearTranscript,  // the transcript's text is removed
    Send,             // text: a payload for the Lisp
    CloseConnection,  // text: why, for the transcript; the connection cannot go on
    CaptionChanged,   // the connection's state or the Lisp's name changed
    // The level on screen changed, opened or closed; tag 1 when the
    // debugger is to come to the front (a level of the thread on screen, or
    // of the user's evaluation), 0 when it is to stay behind the user's typing.
    DebuggerChanged,
    QuestionChanged,  // the Lisp began or ended waiting for input, or another question came first
    // Replies to the input area's requests, each with the tag it was asked
    // with (tag), so that a reply about an older text can be dropped.
    CompletionReady,  // items: the symbols the typed part begins
    ArglistReady,     // name: the operator asked about; text: "(NAME PARAMETER ...)", empty when none is known
    // name: the symbol; items: what each definition is ("(DEFUN FOO)");
    // places: where each is, one at least.
    DefinitionsReady,
    // name: the symbol; text: "callers of NAME" or "references to NAME";
    // items and places: each caller or referrer and where it is (known
    // false when the Lisp gave no place in a file).
    ReferencesReady,
    // name: the compiled text's buffer name; notes: the compiler's notes
    // on it, one at least, in the order of their places.
    NotesReady,
    // places: the one file the Lisp's ED asks to edit, with the place in it
    // when it gave one (known false otherwise); none when it named no file.
    // text: what is there, as in "the place to edit is".
    EditReady,
    // The inspector's object, its lines, or whether it is open changed.
    InspectorChanged,
};
struct Effect {
    EffectKind kind;
    std::string text;
    std::string name;
    std::vector<std::string> items;
    std::vector<SourcePlace> places;
    std::vector<CompilerNote> notes;
    long tag = 0;
};
typedef std::vector<Effect> Effects;

// What to do with the Lisp's reply to a request: ok is false for an abort
// or a refusal, value is the reply's value (or the reason), null when none.
struct Request;
typedef void (*ReplyProc)(Session &, const Request &, bool ok, const Sexp *value, Effects &);
struct Request {
    ReplyProc reply = nullptr;
    std::string thread;  // the debugger's thread the request is about
    long level = 0;      // and its level
    long index = 0;      // the frame it is about
    long tag = 0;        // the input area's tag of a request it made
    std::string text;    // and the symbol it is about
};

// What the inspector shows: the object Swank's inspector has, its lines so
// far, and what it waits for. Its requests go one at a time, in the order
// they were made, as each moves Swank's one inspector.
struct InspectorAsk {
    std::string form, thread;
    Request request;
};
struct InspectorState {
    bool open = false;
    long opening = 0;    // counts the times the window was closed: answers asked before are dropped
    long shown = 0;      // counts the answers shown; pieces fetched later keep it
    bool sameObject = false;  // the last answer shows the object shown before (a refresh)
    std::string title;
    std::vector<InspectorLine> lines;
    bool lineOpen = false;  // the last line goes on with the next pieces
    long end = 0;           // where the next range of the content starts
    bool more = false;      // content may follow from end on
    bool moreAsked = false;
    std::string status;  // a one-line text under the lines: why the last request showed nothing
    bool busy = false;   // a request is out
    std::deque<InspectorAsk> waiting;
};

// The text being evaluated: its forms go to the REPL one after another.
struct Evaluation {
    std::string text;
    std::vector<std::string> forms;
    size_t next = 0;         // the form to send next
    std::string unfinished;  // an unfinished form at the end, not sent
    long requestId = 0;      // the form in the Lisp, 0 when none
    // The package of the file the text came from, when it names one: its
    // forms are read in it, and the echo's prompt names it.
    std::string package, prompt;
};

// The Lisp waiting for the user: a line (read-line, read), a yes or no, or
// a line for a prompt (Swank's read-from-minibuffer-in-emacs).
enum class QuestionKind { Line, YesOrNo, Prompted };
struct Question {
    QuestionKind kind = QuestionKind::Line;
    std::string thread, tag;
    std::string prompt;  // written when the question comes to be answered; "" for a line
};

// A text not yet begun. A line typed on the input area while an evaluation
// runs (with no debugger open) is typed ahead: should that evaluation ask
// for input, the line is its answer, as a terminal's type-ahead would be;
// otherwise it is evaluated in its turn.
struct WaitingText {
    std::string text;
    bool typedAhead = false;
    std::string package;  // of the file it came from; empty for the REPL's
};

// Where the connection to the Lisp stands.
enum class LinkState {
    NotConnected,  // none yet, or nobody answered the last attempt: tried again after the pause
    Connecting,    // the host is looked up or the socket connects
    Greeting,      // connected: the session learns who the Lisp is and makes Swank's REPL
    Ready,         // Swank's REPL is made: texts are evaluated
    Refused,       // the last connection could not become one with a Lisp: the pause grows
    Lost,          // the connection ended: tried again after the pause
};

struct Session {
    LinkState state = LinkState::NotConnected;
    // Kept from one connection to the next: where the Lisp is, the Lisp the
    // listener loads into it, and the pause before the next attempt (timer
    // ticks), which grows after each refusal.
    std::string host;
    unsigned short port = 0;
    std::string helper;
    int pauseTicks = 1, waitedTicks = 0;
    std::string lastRefusal;  // said once until another reason comes
    // This connection's.
    FrameReader frames;    // bytes not yet taken as messages
    int greetingTicks = 0;  // ticks spent in LinkState::Greeting
    // An interrupt asked for and not yet answered by a debugger level: Swank
    // 2.27 keeps one that comes while the REPL thread writes output for its
    // next check, which a loop may never make, so it is sent again every
    // InterruptAgainTicks, InterruptsAgain times at most.
    int interruptsAgain = 0, interruptTicks = 0;
    bool answered = false;  // the Lisp answered as Swank does (connection-info)
    std::string secretFrom;  // the file of the secret sent, until the Lisp answers
    std::string setupFailure;  // the line that said why connecting last failed, kept
                               // across attempts so that it is said once
    std::string lispName;      // implementation and version, once known
    long lispPid = 0;          // the Lisp's process, once known
    long earlierPid = 0;       // the Lisp of the connection before, if any
    std::string package = "COMMON-LISP-USER";  // the REPL reads in it
    std::string prompt = "CL-USER";
    std::deque<WaitingText> waiting;  // texts not yet begun, oldest first
    bool evaluating = false;
    Evaluation running;
    // The questions of the Lisp's threads, in the order they came: the
    // user's line answers the first.
    std::deque<Question> questions;
    // The levels open, of all threads, each thread's innermost after its
    // others; the window shows the innermost of debugThread.
    std::vector<DebugLevel> debugger;
    std::string debugThread;
    std::map<std::string, std::string> threadNames;  // by Swank's id; "" while asked for
    InspectorState inspector;
    std::map<long, Request> requests;  // requests sent, by id, not yet answered
    bool lineOpen = false;     // the transcript's last line has no line break yet
    long nextId = 1;
};

// Whether a connection stands (greeting the Lisp or ready).
bool HasConnection(const Session &s);

// A new connection: asks who the Lisp is, then makes Swank's REPL, loading
// the session's helper (Lisp) on the way.
void SessionConnected(Session &s, Effects &out);
// Queues a text to evaluate; false when no Lisp is connected.
bool SessionSubmit(Session &s, const std::string &text, Effects &out);
// The same for a text of a file whose forms are read in package (a name
// as the reader makes it; empty for the REPL's package). A package the Lisp
// does not have is said, and the REPL's is used.
bool SessionSubmitInPackage(Session &s, const std::string &text, const std::string &package, Effects &out);
// A line the user typed while the Lisp waits for input; false when it does not.
bool SessionAnswer(Session &s, const std::string &line, Effects &out);
// What the user sent from the input area: the answer while the Lisp waits
// for input, else a text to evaluate (typed ahead while an evaluation runs).
enum Typed { TypedNotTaken, TypedAnswer, TypedEvaluation };
Typed SessionType(Session &s, const std::string &text, Effects &out);
// One payload received from the Lisp.
void SessionMessage(Session &s, const std::string &payload, Effects &out);
// The connection ended (why: a short reason); says what did not finish or
// run, and that the connection was lost when it had been ready.
void SessionLost(Session &s, const std::string &why, Effects &out);
// Interrupts the running evaluation: it enters the debugger.
void SessionInterrupt(Session &s, Effects &out);
// Asks the Lisp to end (one the listener started itself).
void SessionQuit(Session &s, Effects &out);
// A line of the window's own for the transcript (UTF-8, "\n" line breaks),
// begun on a fresh line; and the transcript emptied.
void SessionNote(Session &s, const std::string &text, Effects &out);
void SessionClearTranscript(Session &s, Effects &out);

// The connection (session_link.cpp). The socket moves the bytes; the
// session decides when it connects and what is said of it.
// Where the Lisp is and the Lisp to load into it, before the first attempt.
void SessionStart(Session &s, const std::string &host, unsigned short port, const std::string &helperSource);
// Whether the socket is to begin an attempt now, at the start and then on
// each tick of the window's second timer, after the pause; true puts the
// state at LinkState::Connecting. A tick also gives up on a peer that does
// not answer as Swank does within ReadyWithinTicks.
const int ReadyWithinTicks = 10;
const int InterruptAgainTicks = 2, InterruptsAgain = 3;
bool SessionConnectNow(Session &s);
bool SessionTick(Session &s, Effects &out);
// Ends the connection there is (its socket closed already): the socket is
// to begin an attempt now.
void SessionReconnect(Session &s, Effects &out);
// What the socket reports. The attempt connected: secret, when given, is
// sent first, as Swank wants it (read from secretFile), then the Lisp is
// greeted; when the Lisp closes the connection before it answers, the
// transcript says that the secret may not be the one it expects. It could not
// connect (nobody listens), or the host has no address.
void SessionOpened(Session &s, const std::string *secret, const std::string &secretFile, Effects &out);
void SessionNotOpened(Session &s);
void SessionHostNotFound(Session &s, Effects &out);
// Bytes from the Lisp; closed: the Lisp closed the connection after them.
void SessionBytes(Session &s, const std::string &bytes, bool closed, Effects &out);
// The socket was closed (why: a short reason): said as the connection
// lost, or, when it never became ready, as the Lisp refusing it.
void SessionClosed(Session &s, const std::string &why, Effects &out);
// A connection that cannot become one with a Lisp (why: a short reason):
// said once for each reason, and the next attempt waits longer.
void SessionRefused(Session &s, const std::string &why, Effects &out);

// The level on screen: the innermost of the thread shown; null when no
// level is open.
const DebugLevel *SessionDebugLevel(const Session &s);
// Whether the Lisp waits for the user's input, and the first question.
bool SessionAsks(const Session &s);
const Question *SessionQuestion(const Session &s);
// A thread as the transcript and the captions name it: its name once the
// Lisp has said it, else "thread ID".
std::string ThreadName(const Session &s, const std::string &thread);
// What the user asks of the debugger, each at the thread and level where
// it was asked (at); dropped when that level is no longer its thread's
// innermost, or is being left.
void SessionInvokeRestart(Session &s, const DebugPlace &at, size_t restart, Effects &out);
void SessionAbortDebugger(Session &s, const DebugPlace &at, Effects &out);
void SessionMoreFrames(Session &s, const DebugPlace &at, Effects &out);
void SessionFrameLocals(Session &s, const DebugPlace &at, long frame, Effects &out);
// The next thread in the debugger (in the order they entered it) is shown.
void SessionNextDebugThread(Session &s, const DebugPlace &at, Effects &out);
// The tools on one frame of the level. Evaluates text in the frame's
// lexical environment: the value shows in the level (evalResult) and in the
// transcript. Its source is shown in the editor (an EffectKind::EditReady).
// Restarts it, returns from it with the value of text (read and evaluated
// there), shows its disassembly in the transcript, or steps from it. What
// the Lisp cannot do is said in one line.
enum class FrameTool { Source, Restart, Disassemble, StepInto, StepNext, StepOut };
void SessionEvalInFrame(Session &s, const DebugPlace &at, long frame, const std::string &text, Effects &out);
void SessionReturnFromFrame(Session &s, const DebugPlace &at, long frame, const std::string &text, Effects &out);
void SessionFrameTool(Session &s, const DebugPlace &at, long frame, FrameTool tool, Effects &out);

// What the input area asks of the Lisp (session_input.cpp), each on a
// thread of its own (t), never the REPL's, and read in the REPL's package;
// false when no Lisp is connected. The symbols that begin with prefix (a
// package prefix such as "cl-user::" or "alexandria:" included): the reply
// is an EffectKind::CompletionReady.
bool SessionComplete(Session &s, const std::string &prefix, long tag, Effects &out);
// The argument list of the operator name: an EffectKind::ArglistReady.
bool SessionArglist(Session &s, const std::string &name, long tag, Effects &out);
// The Lisp's description of the symbol name, shown in the transcript.
bool SessionDescribe(Session &s, const std::string &name, Effects &out);

// The Lisp menu's requests, on thread t like those of the input area and
// read in the REPL's package; what the Lisp answers shows in the
// transcript, and an error in the Lisp is said in one line, never in the
// debugger. The form's expansion, once (all false) or all of it, as the
// Lisp pretty-prints it.
bool SessionMacroexpand(Session &s, const std::string &form, bool all, Effects &out);
// Traces the function name, or untraces it when it is traced.
bool SessionToggleTrace(Session &s, const std::string &name, Effects &out);
bool SessionUntraceAll(Session &s, Effects &out);
// The definitions of the symbol name with a place in source: an
// EffectKind::DefinitionsReady; none is said in one line.
bool SessionFindDefinitions(Session &s, const std::string &name, Effects &out);
// Who calls the function name (calls true), or who refers to the variable
// name: an EffectKind::ReferencesReady; none, or a Lisp that keeps no such
// record, is said in one line.
bool SessionWhoCalls(Session &s, const std::string &name, bool calls, Effects &out);
// Compiles and loads the text (UTF-8) of the editor's buffer name, read in
// package (empty: the REPL's): the summary shows in the transcript, and
// the notes, when there are any, come as an EffectKind::NotesReady.
bool SessionCompileText(Session &s, const std::string &text, const std::string &buffer, const std::string &package,
                        Effects &out);

// Compiles the file (its path as the Lisp names files; name: how the
// transcript names it) and loads what the compilation wrote when it
// succeeded: the summary shows in the transcript once loaded, and the notes
// come as an EffectKind::NotesReady, their places in the file.
bool SessionCompileFile(Session &s, const std::string &lispPath, const std::string &name, Effects &out);

// The inspector (session_inspect.cpp): each request on thread t and read
// in the REPL's package, its errors answered so that they never open the
// debugger; what it shows comes as an EffectKind::InspectorChanged. False
// when no Lisp is ready. The value of the form (a text to read, evaluated)
// inspected anew.
bool SessionInspect(Session &s, const std::string &form, Effects &out);
// The piece (:value TEXT N) or the action (:action TEXT N) of the object
// shown, by N: the piece is inspected, the action run and the object shown
// anew.
bool SessionInspectPiece(Session &s, long piece, Effects &out);
bool SessionInspectorAction(Session &s, long action, Effects &out);
// Back to the object inspected before, forward again, and the object
// inspected anew as it is now.
bool SessionInspectorBack(Session &s, Effects &out);
bool SessionInspectorForward(Session &s, Effects &out);
bool SessionInspectorReinspect(Session &s, Effects &out);
// The next range of the object's content, when it has more and none is asked for.
bool SessionInspectorMore(Session &s, Effects &out);
// The inspector closed: Swank lets go of its objects.
void SessionInspectorClose(Session &s, Effects &out);
// From the debugger level at (while it is its thread's innermost), on its
// thread: the local (its number in the frame's locals) of the frame, the
// value of text evaluated in the frame, and the condition.
bool SessionInspectFrameLocal(Session &s, const DebugPlace &at, long frame, long local, Effects &out);
bool SessionInspectInFrame(Session &s, const DebugPlace &at, long frame, const std::string &text, Effects &out);
bool SessionInspectCondition(Session &s, const DebugPlace &at, Effects &out);

// The first line of a text, shortened, to name an evaluation in a notice.
std::string EvaluationLabel(const std::string &text);

#endif
