// The Lisp's debugger as Swank shows it: each (:debug THREAD LEVEL ...)
// opens a level, (:debug-return THREAD LEVEL ...) closes it and those inside
// it. What the user asks of the innermost level goes to that level's thread.
#include "listener/core/session_debug.h"
#include "listener/core/session_effects.h"
#include "listener/core/text_rules.h"

namespace {

// Frames asked for at a time, as Swank sends the first ones.
const long FramesAtATime = 20;
// A condition's message is shown cut at this many bytes: Swank sends up to
// 64K characters, and an Edit control takes seconds to lay out so long a line.
const size_t MessageLimit = 8192;

// Lines longer than this are broken for the window: the Edit control's
// word wrap takes seconds over one long word (a number of many digits).
const size_t LongestLine = 160;

std::string ShownMessage(const std::string &message)
{
    std::string shown = CutWithNote(message, MessageLimit, "message");
    std::string broken;
    size_t column = 0;
    for (size_t i = 0; i < shown.size(); i++) {
        char c = shown[i];
        bool starts = ((unsigned char)c & 0xC0) != 0x80;  // a character begins here
        if (starts && column == LongestLine && c != '\n') {
            broken += '\n';
            column = 0;
        }
        broken += c;
        column = c == '\n' ? 0 : column + starts;
    }
    return broken;
}

bool IsThread(const Sexp *e)
{
    return e && e->kind == Sexp::Atom && !e->text.empty();
}

// The level of the thread, or null once it has returned.
DebugLevel *FindLevel(Session &s, const std::string &thread, long level)
{
    for (DebugLevel &l : s.debugger)
        if (l.thread == thread && l.level == level)
            return &l;
    return nullptr;
}

// ((0 "(CAR 1)" (:restartable nil)) ...) appended to the level's frames.
size_t AddFrames(DebugLevel &level, const Sexp *frames)
{
    size_t added = 0;
    if (!frames || frames->kind != Sexp::List)
        return 0;
    for (const Sexp &f : frames->items) {
        if (!IsString(Item(f, 1)))
            continue;
        DebugFrame frame;
        frame.index = Number(Item(f, 0));
        frame.text = VisibleText(Item(f, 1)->text);
        level.frames.push_back(frame);
        added++;
    }
    return added;
}

void OnFrames(Session &s, const Request &r, bool ok, const Sexp *value, Effects &out)
{
    DebugLevel *level = FindLevel(s, r.thread, r.level);
    if (!level)
        return;
    level->framesAsked = false;
    level->moreFrames = ok && (long)AddFrames(*level, value) == FramesAtATime;
    Record(out, EffectKind::DebuggerChanged);
}

// (((:name "X" :id 0 :value "5") ...) CATCH-TAGS)
void OnLocals(Session &s, const Request &r, bool ok, const Sexp *value, Effects &out)
{
    DebugLevel *level = FindLevel(s, r.thread, r.level);
    if (!level)
        return;
    for (DebugFrame &frame : level->frames) {
        if (frame.index != r.index)
            continue;
        frame.localsKnown = true;
        frame.locals.clear();
        const Sexp *locals = ok && value ? Item(*value, 0) : nullptr;
        if (!ok)
            frame.locals.push_back("(the locals could not be read)");
        for (size_t i = 0; locals && i < locals->items.size(); i++) {
            const Sexp *name = Property(&locals->items[i], ":name"), *shown = Property(&locals->items[i], ":value");
            frame.locals.push_back(VisibleText(StringText(name) + " = " + StringText(shown)));
        }
    }
    Record(out, EffectKind::DebuggerChanged);
}

// A restart's own reply needs nothing: the level's return says the rest.
void OnRestartReply(Session &, const Request &, bool, const Sexp *, Effects &)
{
}

void Ask(Session &s, const DebugLevel &level, const std::string &form, ReplyProc reply, long index,
         Effects &out)
{
    Request r = Then(reply);
    r.thread = level.thread;
    r.level = level.level;
    r.index = index;
    SendRequest(s, form, LispString(s.package), level.thread, r, out);
}

void RecordRestart(Session &s, const DebugLevel &level, size_t n, Effects &out)
{
    const DebugRestart &r = level.restarts[n];
    Line(s, out, "; Restart " + std::to_string(n) + " [" + r.name + "]: " + FirstLine(r.description));
}

}  // namespace

// (:debug THREAD LEVEL (MESSAGE TYPE EXTRAS) RESTARTS FRAMES CONTINUATIONS)
void OnDebug(Session &s, const Sexp &m, Effects &out)
{
    s.interruptsAgain = 0;  // the Lisp stopped, for an interrupt or for another reason
    const Sexp *thread = Item(m, 1), *condition = Item(m, 3), *restarts = Item(m, 4);
    DebugLevel level;
    level.level = Number(Item(m, 2));
    if (!IsThread(thread) || level.level <= 0 || !condition || !IsString(Item(*condition, 0)))
        return;
    level.thread = thread->text;
    level.message = VisibleText(ShownMessage(Item(*condition, 0)->text));
    if (IsString(Item(*condition, 1)))
        level.type = VisibleText(Item(*condition, 1)->text);
    for (size_t i = 0; restarts && restarts->kind == Sexp::List && i < restarts->items.size(); i++) {
        const Sexp &r = restarts->items[i];
        if (IsString(Item(r, 0)) && IsString(Item(r, 1)))
            level.restarts.push_back({VisibleText(Item(r, 0)->text), VisibleText(Item(r, 1)->text)});
    }
    level.moreFrames = (long)AddFrames(level, Item(m, 5)) == FramesAtATime;
    // A level shown again (Swank sends it anew when a level inside it
    // returns) replaces it and those inside it; the transcript noted it once.
    bool again = false;
    for (size_t i = s.debugger.size(); i-- > 0;) {
        if (s.debugger[i].thread == level.thread && s.debugger[i].level >= level.level) {
            again = again || s.debugger[i].level == level.level;
            s.debugger.erase(s.debugger.begin() + i);
        }
    }
    if (!again) {
        Line(s, out, "; Debugger, level " + std::to_string(level.level) + ": " + FirstLine(level.message));
        if (!level.type.empty())
            Line(s, out, ";" + level.type);
    }
    s.debugger.push_back(level);
    Record(out, EffectKind::DebuggerChanged);
}

// (:debug-activate THREAD LEVEL SELECT): the level wants the user's eyes.
void OnDebugActivate(Session &, const Sexp &, Effects &out)
{
    Record(out, EffectKind::DebuggerChanged);
}

// (:debug-return THREAD LEVEL STEPPING)
void OnDebugReturn(Session &s, const Sexp &m, Effects &out)
{
    const Sexp *thread = Item(m, 1);
    long level = Number(Item(m, 2));
    if (!IsThread(thread))
        return;
    for (size_t i = s.debugger.size(); i-- > 0;)
        if (s.debugger[i].thread == thread->text && s.debugger[i].level >= level)
            s.debugger.erase(s.debugger.begin() + i);
    Record(out, EffectKind::DebuggerChanged);
}

// (:debug-condition THREAD MESSAGE): the debugger itself met a problem.
void OnDebugCondition(Session &s, const Sexp &m, Effects &out)
{
    if (IsString(Item(m, 2)))
        Line(s, out, "; " + VisibleText(Item(m, 2)->text));
}

const DebugLevel *SessionDebugLevel(const Session &s)
{
    return s.debugger.empty() ? nullptr : &s.debugger.back();
}

void SessionInvokeRestart(Session &s, size_t restart, Effects &out)
{
    if (s.debugger.empty() || restart >= s.debugger.back().restarts.size())
        return;
    const DebugLevel &level = s.debugger.back();
    RecordRestart(s, level, restart, out);
    Ask(s, level,
        "(swank:invoke-nth-restart-for-emacs " + std::to_string(level.level) + " " + std::to_string(restart) + ")",
        OnRestartReply, 0, out);
}

// The innermost ABORT restart: back to the prompt, or to the level below.
void SessionAbortDebugger(Session &s, Effects &out)
{
    if (s.debugger.empty())
        return;
    const DebugLevel &level = s.debugger.back();
    for (size_t n = 0; n < level.restarts.size(); n++) {
        const std::string &name = level.restarts[n].name;
        if (name == "ABORT" || name == "*ABORT") {
            RecordRestart(s, level, n, out);
            break;
        }
    }
    Ask(s, level, "(swank:sldb-abort)", OnRestartReply, 0, out);
}

void SessionMoreFrames(Session &s, Effects &out)
{
    if (s.debugger.empty() || !s.debugger.back().moreFrames || s.debugger.back().framesAsked)
        return;
    DebugLevel &level = s.debugger.back();
    long start = level.frames.empty() ? 0 : level.frames.back().index + 1;
    level.framesAsked = true;
    Record(out, EffectKind::DebuggerChanged);
    Ask(s, level, "(swank:backtrace " + std::to_string(start) + " " + std::to_string(start + FramesAtATime) + ")",
        OnFrames, 0, out);
}

void SessionFrameLocals(Session &s, long frame, Effects &out)
{
    if (s.debugger.empty())
        return;
    DebugLevel &level = s.debugger.back();
    for (DebugFrame &f : level.frames) {
        if (f.index != frame || f.localsAsked)
            continue;
        f.localsAsked = true;
        Record(out, EffectKind::DebuggerChanged);
        Ask(s, level, "(swank:frame-locals-and-catch-tags " + std::to_string(frame) + ")", OnLocals, frame, out);
    }
}
