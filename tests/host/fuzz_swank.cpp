// libFuzzer target over everything the listener does with bytes from the
// Lisp: the frame reader, the s-expression reader and the session's handling
// of each message, with what the user does meanwhile.
//
// Input: byte 0 sets how the stream is cut into reads; byte 1 says how many
// of the bytes after it are the user's actions; the rest is the byte stream
// from the Lisp. After each message one action is taken, if any are left:
// the debugger's verbs (so their continuations meet every kind of answer), an
// answer to a question, another text, an interrupt, a quit, a reconnect.
//
// The session starts connected with its REPL made and two texts submitted,
// so every kind of answer meets a state it can act on.
#include "listener/core/session.h"
#include "listener/core/swank_wire.h"
#include "tests/host/effects_of.h"

#include <stdint.h>
#include <stdlib.h>

#include <string>

namespace {

const char *const Texts[] = {"(c)", "(d) (e", "(in-package :x) 1 2", "\"open", "  ", "#| x", "'(1 . 2) #'car"};
const char *const Answers[] = {"y", "n", "maybe", "", "a \"b\" \\ c"};

// A new connection to the Lisp of process pid, answered up to the REPL.
void Connect(Session &s, long pid, Effects &out)
{
    s.helper = "(helper \"x\")";
    SessionConnected(s, out);
    SessionMessage(s,
                   "(:return (:ok (:pid " + std::to_string(pid) +
                       " :lisp-implementation (:type \"SBCL\" :version \"2.2.9\"))) 1)",
                   out);
    SessionMessage(s, "(:return (:ok t) 2)", out);
    SessionMessage(s, "(:return (:ok (\"COMMON-LISP-USER\" \"CL-USER\")) 3)", out);
}

bool HasControls(const std::string &text)
{
    for (char c : text)
        if (((unsigned char)c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F)
            return true;
    return false;
}

// What must hold after every step, whatever came in.
void Check(const Session &s, const Effects &out)
{
    for (const std::string &message : MessagesOf(out)) {
        Sexp sent;
        if (!ReadSexp(message, &sent))
            abort();  // what goes out is well formed
    }
    // Every text the listener submits here is free of control characters, so
    // any in the transcript came from the Lisp and was not made visible.
    if (HasControls(TranscriptOf(out)) || HasControls(s.lispName) || HasControls(s.prompt))
        abort();
    for (const auto &request : s.requests)
        if (request.first <= 0 || request.first >= s.nextId)
            abort();
    for (const DebugLevel &level : s.debugger) {
        if (level.level <= 0 || HasControls(level.message) || HasControls(level.type))
            abort();
        for (const DebugRestart &restart : level.restarts)
            if (HasControls(restart.name) || HasControls(restart.description))
                abort();
        for (const DebugFrame &frame : level.frames) {
            if (HasControls(frame.text))
                abort();
            for (const std::string &local : frame.locals)
                if (HasControls(local))
                    abort();
        }
    }
    const InspectorState &in = s.inspector;
    if (HasControls(in.title) || HasControls(in.status) || (in.busy && s.requests.empty()))
        abort();
    for (const InspectorLine &line : in.lines)
        for (const InspectorPiece &piece : line.pieces)
            if (HasControls(piece.text) || piece.text.find('\n') != std::string::npos)
                abort();
    // The form in the Lisp is a request still waiting for its answer.
    if (s.running.requestId && (!s.evaluating || !s.requests.count(s.running.requestId)))
        abort();
    if (!HasConnection(s) && (s.evaluating || !s.requests.empty() || !s.waiting.empty() ||
                         !s.debugger.empty() || SessionAsks(s) || in.open || in.busy || !in.waiting.empty()))
        abort();
    // A level is on screen whenever one is open.
    if (s.debugger.empty() != !SessionDebugLevel(s))
        abort();
}

// Where the window's actions are made: the level on screen, or, for odd
// arguments, a level one deeper than it (an action come too late).
DebugPlace Here(const Session &s, unsigned argument)
{
    const DebugLevel *level = SessionDebugLevel(s);
    if (!level)
        return DebugPlace();
    return DebugPlace{level->thread, level->level + (long)(argument & 1)};
}

// The user's action chosen by one byte: its low three bits the verb, the
// rest its argument.
void Act(Session &s, uint8_t action, Effects &out)
{
    unsigned argument = action >> 3;
    switch (action & 7) {
    case 0:
        // Nothing (argument 0), or one of the inspector's verbs.
        switch (argument % 10) {
        case 1:
            SessionInspect(s, Texts[argument % (sizeof Texts / sizeof *Texts)], out);
            break;
        case 2:
            SessionInspectPiece(s, (long)(argument / 10), out);
            break;
        case 3:
            SessionInspectorAction(s, (long)(argument / 10), out);
            break;
        case 4:
            SessionInspectorBack(s, out);
            break;
        case 5:
            SessionInspectorForward(s, out);
            break;
        case 6:
            SessionInspectorMore(s, out);
            break;
        case 7:
            SessionInspectorClose(s, out);
            break;
        case 8:
            SessionInspectFrameLocal(s, Here(s, argument), (long)(argument / 10) & 1, 0, out);
            break;
        case 9:
            if (argument & 1)
                SessionInspectInFrame(s, Here(s, argument), 0, Texts[argument % (sizeof Texts / sizeof *Texts)], out);
            else
                SessionInspectCondition(s, Here(s, argument), out);
            break;
        }
        break;
    case 1:
        SessionInvokeRestart(s, Here(s, argument), argument >> 1, out);
        break;
    case 2:
        SessionAbortDebugger(s, Here(s, argument), out);
        break;
    case 3:
        if (argument & 2)
            SessionNextDebugThread(s, Here(s, argument), out);
        else
            SessionMoreFrames(s, Here(s, argument), out);
        break;
    case 4:
        // The locals, an evaluation, a return or another tool on frame 0 or 1.
        if ((argument & 6) == 0)
            SessionFrameLocals(s, Here(s, argument), (long)(argument >> 3) - 1, out);
        else if ((argument & 6) == 2)
            SessionEvalInFrame(s, Here(s, argument), (argument >> 3) & 1, Texts[argument % (sizeof Texts / sizeof *Texts)], out);
        else if ((argument & 6) == 4)
            SessionReturnFromFrame(s, Here(s, argument), (argument >> 3) & 1, "42", out);
        else
            SessionFrameTool(s, Here(s, argument), (argument >> 3) & 1, (FrameTool)((argument >> 4) % 6), out);
        break;
    case 5:
        SessionAnswer(s, Answers[argument % (sizeof Answers / sizeof *Answers)], out);
        break;
    case 6:
        SessionSubmit(s, Texts[argument % (sizeof Texts / sizeof *Texts)], out);
        break;
    case 7:
        switch (argument & 3) {
        case 0:
            SessionInterrupt(s, out);
            break;
        case 1:
            SessionQuit(s, out);
            break;
        default:  // the same Lisp, or one started again; the stream goes on as the new connection's
            SessionLost(s, "reconnecting", out);
            Check(s, out);
            Connect(s, (argument & 3) == 2 ? 1 : 2 + (argument >> 2), out);
            break;
        }
        break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    size_t piece = data[0] + 1;
    size_t actionCount = data[1] < size - 2 ? data[1] : size - 2;
    const uint8_t *actions = data + 2, *actionsEnd = actions + actionCount;
    data += 2 + actionCount;
    size -= 2 + actionCount;

    Session s;
    Effects out;
    Connect(s, 1, out);
    SessionSubmit(s, "(a)", out);
    SessionSubmit(s, "(b) (c)", out);
    Check(s, out);

    FrameReader reader;
    for (size_t at = 0; at < size && HasConnection(s); at += piece) {
        size_t count = size - at < piece ? size - at : piece;
        FeedBytes(reader, (const char *)data + at, count);
        std::string payload;
        FrameResult result = FrameIncomplete;
        while (HasConnection(s) && (result = NextFrame(reader, &payload)) == FrameReady) {
            if (payload.size() > MaxFramePayload)
                abort();
            out = Effects();
            SessionMessage(s, payload, out);
            Check(s, out);
            if (Has(out, EffectKind::CloseConnection)) {
                SessionLost(s, "closed", out);
                Check(s, out);
                break;
            }
            if (actions < actionsEnd) {
                out = Effects();
                Act(s, *actions++, out);
                Check(s, out);
            }
        }
        if (HasConnection(s) && result == FrameMalformed) {
            out = Effects();
            SessionLost(s, "bad frame", out);
            Check(s, out);
        }
    }
    return 0;
}
