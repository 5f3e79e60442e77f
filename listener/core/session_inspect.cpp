// Swank's own inspector (swank:init-inspector and the functions beside it)
// behind the inspector's window. Swank keeps one inspector, its object and
// the way back and forward: the listener's requests move it one at a time,
// each sent once the one before has answered. Each goes to a worker thread
// (t), or for a frame's local and the condition to the debugger's thread,
// through the helper's call-caught, which answers (:error MESSAGE) for an
// error: a form that fails to
// evaluate, or an object whose inspection fails, is said in the window and
// never opens the debugger. A piece that fails to print Swank shows as such
// in its place.
#include "listener/core/session_inspect.h"
#include "listener/core/session_debug.h"
#include "listener/core/session_effects.h"
#include "listener/core/text_rules.h"

namespace {

// Pieces asked for at a time, as many as Swank sends first.
const long PiecesAtATime = 500;

// The Swank function called with the arguments (as they are written), its
// errors answered as (:error MESSAGE) by the helper's call-caught.
std::string Caught(const std::string &function, const std::string &arguments = std::string())
{
    return "(kestralune-listener:call-caught (quote swank:" + function + ")" +
           (arguments.empty() ? std::string() : " " + arguments) + ")";
}

// The Lisp's error in an answer, or why there was none.
std::string Failure(bool ok, const Sexp *value)
{
    if (!ok)
        return "the request was aborted";
    const Sexp *why = value && Item(*value, 0) && IsAtom(*Item(*value, 0), ":error") ? Item(*value, 1) : nullptr;
    if (why)
        return IsString(why) ? VisibleText(FirstLine(why->text)) : std::string("an error that cannot be printed");
    return "the Lisp's answer was not understood";
}

void SendNextAsk(Session &s, Effects &out);

// Every answer ends the request out; the next waiting one goes.
void Answered(Session &s, Effects &out)
{
    s.inspector.busy = false;
    SendNextAsk(s, out);
}

void Show(Session &s, const Inspection &inspection, bool sameObject, Effects &out)
{
    InspectorState &in = s.inspector;
    in.open = true;
    in.shown++;
    in.sameObject = sameObject;
    in.title = inspection.title;
    in.lines.clear();
    in.lineOpen = false;
    AppendInspectorLines(in.lines, in.lineOpen, inspection.pieces);
    in.end = inspection.end;
    in.more = inspection.more;
    in.moreAsked = false;
    in.status.clear();
    Record(out, EffectKind::InspectorChanged);
}

// Whether the answer is for the inspector as it is (r.index its
// opening): one that comes after the window was closed is not shown.
bool Current(const Session &s, const Request &r)
{
    return r.index == s.inspector.opening;
}

// An answer that shows an object: a new one (r.tag 0), or after an action
// or a refresh the same one anew (r.tag 1). A new object that could not be
// inspected is shown as the failure, in its place; a refresh that failed
// leaves the object as it was and says why under it. What was asked is r.text.
void OnObject(Session &s, const Request &r, bool ok, const Sexp *value, Effects &out)
{
    Inspection inspection;
    bool refresh = r.tag != 0;
    if (!Current(s, r)) {
    } else if (ok && value && ReadInspection(*value, &inspection)) {
        Show(s, inspection, refresh, out);
    } else if (refresh && ok && value && IsAtom(*value, "nil")) {
        // An action that asks for no refresh.
    } else if (refresh) {
        s.inspector.status = "Not done: " + Failure(ok, value);
        Record(out, EffectKind::InspectorChanged);
    } else {
        inspection.title = r.text + " could not be inspected";
        InspectorPiece why;
        why.text = "The Lisp said: " + Failure(ok, value);
        inspection.pieces.push_back(why);
        Show(s, inspection, false, out);
    }
    Answered(s, out);
}

// Back and forward answer nil when there is nothing more that way; the
// object shown stays, and a failure is said under it.
void OnStep(Session &s, const Request &r, bool ok, const Sexp *value, Effects &out)
{
    Inspection inspection;
    if (!Current(s, r)) {
    } else if (ok && value && ReadInspection(*value, &inspection)) {
        Show(s, inspection, false, out);
    } else {
        s.inspector.status = ok && value && IsAtom(*value, "nil") ? r.text : "Not done: " + Failure(ok, value);
        Record(out, EffectKind::InspectorChanged);
    }
    Answered(s, out);
}

// The next range, for the object shown when it was asked (r.level).
void OnRange(Session &s, const Request &r, bool ok, const Sexp *value, Effects &out)
{
    InspectorState &in = s.inspector;
    if (Current(s, r) && r.level == in.shown && in.open) {
        in.moreAsked = false;
        Inspection range;
        if (ok && value && ReadInspectorContent(*value, &range)) {
            AppendInspectorLines(in.lines, in.lineOpen, range.pieces);
            in.end = range.end;
            in.more = range.more;
        } else {
            in.more = false;
            in.status = "The rest could not be fetched: " + Failure(ok, value);
        }
        Record(out, EffectKind::InspectorChanged);
    }
    Answered(s, out);
}

void OnClosed(Session &s, const Request &, bool, const Sexp *, Effects &out)
{
    Answered(s, out);
}

void SendNextAsk(Session &s, Effects &out)
{
    InspectorState &in = s.inspector;
    if (in.busy || in.waiting.empty() || s.state != LinkState::Ready)
        return;
    InspectorAsk ask = in.waiting.front();
    in.waiting.pop_front();
    in.busy = true;
    SendRequest(s, ask.form, LispString(s.package), ask.thread, ask.request, out);
}

// Queues the call (its answer to reply) on the thread; false without a
// ready Lisp.
bool Ask(Session &s, const std::string &call, const std::string &thread, ReplyProc reply, const std::string &what,
         long tag, Effects &out)
{
    if (s.state != LinkState::Ready)
        return false;
    InspectorAsk ask;
    ask.form = call;
    ask.thread = thread;
    ask.request = Then(reply);
    ask.request.text = what;
    ask.request.tag = tag;
    ask.request.level = s.inspector.shown;
    ask.request.index = s.inspector.opening;
    s.inspector.waiting.push_back(ask);
    SendNextAsk(s, out);
    return true;
}

// The calls about the object shown, which only an open inspector has.
bool AskShown(Session &s, const std::string &call, ReplyProc reply, const std::string &what, long tag, Effects &out)
{
    return s.inspector.open && Ask(s, call, "t", reply, what, tag, out);
}

}  // namespace

bool SessionInspect(Session &s, const std::string &form, Effects &out)
{
    return Ask(s, Caught("init-inspector", LispString(form)), "t", OnObject,
               EvaluationLabel(form), 0, out);
}

bool SessionInspectPiece(Session &s, long piece, Effects &out)
{
    return AskShown(s, Caught("inspect-nth-part", std::to_string(piece)), OnObject, "The piece", 0, out);
}

bool SessionInspectorAction(Session &s, long action, Effects &out)
{
    return AskShown(s, Caught("inspector-call-nth-action", std::to_string(action)), OnObject, "The object",
                    1, out);
}

bool SessionInspectorBack(Session &s, Effects &out)
{
    return AskShown(s, Caught("inspector-pop"), OnStep, "Nothing was inspected before this object.", 0, out);
}

bool SessionInspectorForward(Session &s, Effects &out)
{
    return AskShown(s, Caught("inspector-next"), OnStep, "Nothing was inspected after this object.", 0, out);
}

bool SessionInspectorReinspect(Session &s, Effects &out)
{
    return AskShown(s, Caught("inspector-reinspect"), OnObject, "The object", 1, out);
}

bool SessionInspectorMore(Session &s, Effects &out)
{
    InspectorState &in = s.inspector;
    if (!in.open || !in.more || in.moreAsked)
        return false;
    in.moreAsked = true;
    return AskShown(s, Caught("inspector-range", std::to_string(in.end) + " " + std::to_string(in.end + PiecesAtATime)),
                    OnRange, "", 0, out);
}

void SessionInspectorClose(Session &s, Effects &out)
{
    InspectorState &in = s.inspector;
    // A window left showing is hidden all the same.
    Record(out, EffectKind::InspectorChanged);
    if (!in.open)
        return;
    InspectorState closed;
    closed.busy = in.busy;
    closed.shown = in.shown;
    closed.opening = in.opening + 1;
    in = closed;
    Ask(s, Caught("quit-inspector"), "t", OnClosed, "", 0, out);
}

bool SessionInspectFrameLocal(Session &s, const DebugPlace &at, long frame, long local, Effects &out)
{
    if (!ActionLevel(s, at))
        return false;
    return Ask(s, Caught("inspect-frame-var", std::to_string(frame) + " " + std::to_string(local)), at.thread,
               OnObject, "The local", 0, out);
}

bool SessionInspectInFrame(Session &s, const DebugPlace &at, long frame, const std::string &text, Effects &out)
{
    if (!ActionLevel(s, at))
        return false;
    return Ask(s, Caught("inspect-in-frame", LispString(text) + " " + std::to_string(frame)), at.thread, OnObject,
               FirstLine(text), 0, out);
}

bool SessionInspectCondition(Session &s, const DebugPlace &at, Effects &out)
{
    if (!ActionLevel(s, at))
        return false;
    return Ask(s, Caught("inspect-current-condition"), at.thread, OnObject, "The condition", 0, out);
}

// (:inspect WHAT THREAD TAG): the Lisp's code asked to inspect an object
// (swank:inspect-in-emacs, which CL's INSPECT calls where the listener's
// helper could hook it). With a tag, the Lisp's thread waits until the
// inspector is done with it: it is told at once, so that it goes on.
void OnInspect(Session &s, const Sexp &m, Effects &out)
{
    const Sexp *thread = Item(m, 2), *tag = Item(m, 3);
    if (thread && tag && thread->kind == Sexp::Atom && tag->kind == Sexp::Atom && !IsAtom(*tag, "nil"))
        Send(out, "(:emacs-return " + thread->text + " " + tag->text + " nil)");
    Inspection inspection;
    if (Item(m, 1) && ReadInspection(*Item(m, 1), &inspection))
        Show(s, inspection, false, out);
}
