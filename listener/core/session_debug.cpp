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

// A disassembly and a value evaluated in a frame are shown cut at so many bytes.
const size_t DisassemblyLimit = 65536, EvalResultLimit = 4096;

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

// The thread's innermost level, null when it has none.
DebugLevel *Innermost(Session &s, const std::string &thread)
{
    for (size_t i = s.debugger.size(); i-- > 0;)
        if (s.debugger[i].thread == thread)
            return &s.debugger[i];
    return nullptr;
}


// The threads in the debugger, in the order they entered it.
std::vector<std::string> DebugThreads(const Session &s)
{
    std::vector<std::string> threads;
    for (const DebugLevel &l : s.debugger) {
        bool known = false;
        for (const std::string &t : threads)
            known = known || t == l.thread;
        if (!known)
            threads.push_back(l.thread);
    }
    return threads;
}

// The window is to show what the levels are now: the thread on screen
// stays while it has a level, else the first thread left is shown. Each
// level is given its thread's name and those of the others.
void ShowLevels(Session &s, bool raise, Effects &out)
{
    std::vector<std::string> threads = DebugThreads(s);
    if (!Innermost(s, s.debugThread))
        s.debugThread = threads.empty() ? std::string() : threads[0];
    for (DebugLevel &l : s.debugger) {
        l.threadName = ThreadName(s, l.thread);
        l.otherThreads.clear();
        for (const std::string &t : threads)
            if (t != l.thread)
                l.otherThreads += (l.otherThreads.empty() ? "" : ", ") + ThreadName(s, t) + " (level " +
                                  std::to_string(Innermost(s, t)->level) + ")";
    }
    Record(out, EffectKind::DebuggerChanged);
    if (raise)
        for (Effect &e : out)
            if (e.kind == EffectKind::DebuggerChanged)
                e.tag = 1;
}

// The helper answers the name as a string, nil for a thread gone.
void OnThreadName(Session &s, const Request &r, bool ok, const Sexp *value, Effects &out)
{
    if (!ok || !IsString(value) || value->text.empty())
        return;
    s.threadNames[r.thread] = VisibleText(FirstLine(value->text));
    Record(out, EffectKind::CaptionChanged);
    if (!s.debugger.empty())
        ShowLevels(s, false, out);
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

// A request that leaves the level (a restart, an abort, a return from a
// frame) answers only when it did not: an abort when it left, and the
// level's return says the rest. One that answers left nothing, and the
// level takes actions again.
void StayedIn(Session &s, const Request &r, Effects &out)
{
    DebugLevel *level = FindLevel(s, r.thread, r.level);
    if (level && level->leaving) {
        level->leaving = false;
        Record(out, EffectKind::DebuggerChanged);
    }
}

void OnRestartReply(Session &s, const Request &r, bool ok, const Sexp *, Effects &out)
{
    if (ok)
        StayedIn(s, r, out);
}

void Ask(Session &s, const DebugLevel &level, const std::string &form, ReplyProc reply, long index,
         Effects &out, const std::string &text = std::string())
{
    Request r = Then(reply);
    r.thread = level.thread;
    r.level = level.level;
    r.index = index;
    r.text = text;
    SendRequest(s, form, LispString(s.package), level.thread, r, out);
}

void RecordRestart(Session &s, const DebugLevel &level, size_t n, Effects &out)
{
    const DebugRestart &r = level.restarts[n];
    Line(s, out, "; Restart " + std::to_string(n) + " [" + r.name + "]: " + FirstLine(r.description));
}

// What each tool is called in the transcript, and the Swank function it calls.
struct Tool {
    FrameTool tool;
    const char *what, *function;
    bool leaves;  // it leaves the level when it can do what it is asked
};
const Tool Tools[] = {
    {FrameTool::Source, "show the source of", "swank/backend:frame-source-location", false},
    {FrameTool::Restart, "restart", "swank/backend:restart-frame", true},
    {FrameTool::Disassemble, "disassemble", "swank:sldb-disassemble", false},
    {FrameTool::StepInto, "step into", "swank:sldb-step", true},
    {FrameTool::StepNext, "step over", "swank:sldb-next", true},
    {FrameTool::StepOut, "step out of", "swank:sldb-out", true},
};

const Tool &ToolOf(FrameTool tool)
{
    for (const Tool &t : Tools)
        if (t.tool == tool)
            return t;
    return Tools[0];
}

std::string FrameName(long frame)
{
    return "frame " + std::to_string(frame);
}

std::string LispName(const Session &s)
{
    return s.lispName.empty() ? std::string("The Lisp") : s.lispName;
}

std::string Reason(const Sexp *value)
{
    return IsString(value) ? ": " + VisibleText(FirstLine(value->text)) : std::string(".");
}

// The helper's frame-tool answers (:ok VALUE), or (:refused MESSAGE) when
// the Lisp could not do it; true with the value for (:ok VALUE), else the
// one line that says why not. A tool that leaves the level when it can
// (leaves) is aborted when it did: the level's return says the rest.
bool ToolDone(Session &s, const Request &r, const std::string &what, bool leaves, bool ok, const Sexp *value,
              const Sexp **result, Effects &out)
{
    const Sexp *head = ok && value ? Item(*value, 0) : nullptr;
    if (head && IsAtom(*head, ":ok")) {
        *result = Item(*value, 1);
        return true;
    }
    if (!ok && leaves)
        return false;
    StayedIn(s, r, out);
    const Sexp *why = head && IsAtom(*head, ":refused") ? Item(*value, 1) : nullptr;
    if (!ok)
        Line(s, out, "; Could not " + what + " " + FrameName(r.index) + Reason(value));
    else
        Line(s, out, "; " + LispName(s) + " cannot " + what + " " + FrameName(r.index) + Reason(why));
    return false;
}

void OnFrameTool(Session &s, const Request &r, bool ok, const Sexp *value, Effects &out)
{
    const Tool &tool = ToolOf((FrameTool)r.tag);
    const Sexp *result = nullptr;
    if (!ToolDone(s, r, tool.what, tool.leaves, ok, value, &result, out))
        return;
    if (tool.tool == FrameTool::Disassemble) {
        std::string text = CutWithNote(StringText(result), DisassemblyLimit, "disassembly");
        while (!text.empty() && text.back() == '\n')
            text.pop_back();
        Line(s, out, "; Disassembly of " + FrameName(r.index) + ":");
        Line(s, out, VisibleText(text));
    } else if (tool.tool == FrameTool::Source) {
        Effect ready;
        ready.kind = EffectKind::EditReady;
        ready.text = "the source of " + FrameName(r.index) + " is";
        SourcePlace place;
        if (!result || !ReadPlace(*result, &place))
            return Line(s, out, "; The source of " + FrameName(r.index) + " is not known.");
        // A file without a position in it is shown as a whole.
        if (place.file.empty())
            return Line(s, out, "; The source of " + FrameName(r.index) + " is not known: " +
                                    VisibleText(FirstLine(place.known ? std::string("it was compiled from a text, not a file")
                                                                      : place.why)));
        ready.places.push_back(place);
        out.push_back(ready);
    }
}

// The value of a return from a frame comes back only when the Lisp could
// not return: then it is the reason.
void OnReturnFromFrame(Session &s, const Request &r, bool ok, const Sexp *value, Effects &out)
{
    const Sexp *result = nullptr;
    if (ToolDone(s, r, "return from", true, ok, value, &result, out)) {
        StayedIn(s, r, out);
        Line(s, out, "; Could not return from " + FrameName(r.index) + ": " + VisibleText(FirstLine(StringText(result))));
    }
}

// The values as Swank prints them for the echo area ("=> 5 (3 bits, ...)").
void OnEvalInFrame(Session &s, const Request &r, bool ok, const Sexp *value, Effects &out)
{
    DebugLevel *level = FindLevel(s, r.thread, r.level);
    const Sexp *head = ok && value ? Item(*value, 0) : nullptr;
    std::string shown;
    if (head && IsAtom(*head, ":ok"))
        shown = VisibleText(CutWithNote(StringText(Item(*value, 1)), EvalResultLimit, "value"));
    else if (head && IsAtom(*head, ":refused"))
        shown = "; Error" + Reason(Item(*value, 1));
    else
        shown = "; The evaluation was aborted" + Reason(value);
    Line(s, out, shown);
    if (level) {
        level->evalResult = shown;
        Record(out, EffectKind::DebuggerChanged);
    }
}

}  // namespace

DebugLevel *ActionLevel(Session &s, const DebugPlace &at)
{
    DebugLevel *level = Innermost(s, at.thread);
    return level && level->level == at.level && !level->leaving ? level : nullptr;
}

std::string ThreadName(const Session &s, const std::string &thread)
{
    auto found = s.threadNames.find(thread);
    return found != s.threadNames.end() && !found->second.empty() ? found->second : "thread " + thread;
}

void AskThreadName(Session &s, const std::string &thread, Effects &out)
{
    if (s.threadNames.count(thread) || thread.empty() || thread[0] == ':')
        return;
    s.threadNames[thread];
    Request r = Then(OnThreadName);
    r.thread = thread;
    SendRequest(s, "(kestralune-listener:thread-name " + thread + ")", "\"COMMON-LISP-USER\"", "t", r, out);
}

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
    // What was sent to a level below led into this one, not out of it (a
    // restart that erred): the level below takes actions again once this
    // one returns, even before that request's answer comes.
    for (DebugLevel &below : s.debugger)
        if (below.thread == level.thread)
            below.leaving = false;
    AskThreadName(s, level.thread, out);
    // A thread with no level on screen is shown when no other is; it comes
    // to the front while the user's evaluation runs, as the level is most
    // likely its own. Another thread's level, while one is on screen, is
    // said and waits behind it.
    bool none = !Innermost(s, s.debugThread), shown = s.debugThread == level.thread;
    if (!again && (none || shown)) {
        Line(s, out, "; Debugger, level " + std::to_string(level.level) + ": " + FirstLine(level.message));
        if (!level.type.empty())
            Line(s, out, ";" + level.type);
    } else if (!again) {
        Line(s, out, "; " + ThreadName(s, level.thread) + " entered the debugger, level " +
                         std::to_string(level.level) + ": " + FirstLine(level.message) +
                         " (Ctrl+Tab in the debugger shows it)");
    }
    s.debugger.push_back(level);
    if (none)
        s.debugThread = level.thread;
    ShowLevels(s, shown || (none && s.evaluating), out);
}

// (:debug-activate THREAD LEVEL SELECT): the level wants the user's eyes,
// which it has when its thread is on screen.
void OnDebugActivate(Session &s, const Sexp &m, Effects &out)
{
    const Sexp *thread = Item(m, 1);
    if (IsThread(thread) && thread->text == s.debugThread && Innermost(s, s.debugThread))
        ShowLevels(s, true, out);
}

// (:debug-return THREAD LEVEL STEPPING)
void OnDebugReturn(Session &s, const Sexp &m, Effects &out)
{
    const Sexp *thread = Item(m, 1);
    long level = Number(Item(m, 2));
    if (!IsThread(thread))
        return;
    bool shown = thread->text == s.debugThread;
    for (size_t i = s.debugger.size(); i-- > 0;)
        if (s.debugger[i].thread == thread->text && s.debugger[i].level >= level)
            s.debugger.erase(s.debugger.begin() + i);
    ShowLevels(s, false, out);
    if (shown && s.debugThread != thread->text && !s.debugThread.empty())
        Line(s, out, "; The debugger shows " + ThreadName(s, s.debugThread) + ", level " +
                         std::to_string(Innermost(s, s.debugThread)->level) + ".");
}

// (:debug-condition THREAD MESSAGE): the debugger itself met a problem.
void OnDebugCondition(Session &s, const Sexp &m, Effects &out)
{
    if (IsString(Item(m, 2)))
        Line(s, out, "; " + VisibleText(Item(m, 2)->text));
}

const DebugLevel *SessionDebugLevel(const Session &s)
{
    for (size_t i = s.debugger.size(); i-- > 0;)
        if (s.debugger[i].thread == s.debugThread)
            return &s.debugger[i];
    return nullptr;
}

void SessionInvokeRestart(Session &s, const DebugPlace &at, size_t restart, Effects &out)
{
    DebugLevel *level = ActionLevel(s, at);
    if (!level || restart >= level->restarts.size())
        return;
    RecordRestart(s, *level, restart, out);
    level->leaving = true;
    Ask(s, *level,
        "(swank:invoke-nth-restart-for-emacs " + std::to_string(level->level) + " " + std::to_string(restart) + ")",
        OnRestartReply, 0, out);
}

// The innermost ABORT restart: back to the prompt, or to the level below.
void SessionAbortDebugger(Session &s, const DebugPlace &at, Effects &out)
{
    DebugLevel *level = ActionLevel(s, at);
    if (!level)
        return;
    for (size_t n = 0; n < level->restarts.size(); n++) {
        const std::string &name = level->restarts[n].name;
        if (name == "ABORT" || name == "*ABORT") {
            RecordRestart(s, *level, n, out);
            break;
        }
    }
    level->leaving = true;
    Ask(s, *level, "(swank:sldb-abort)", OnRestartReply, 0, out);
}

void SessionMoreFrames(Session &s, const DebugPlace &at, Effects &out)
{
    DebugLevel *level = ActionLevel(s, at);
    if (!level || !level->moreFrames || level->framesAsked)
        return;
    long start = level->frames.empty() ? 0 : level->frames.back().index + 1;
    level->framesAsked = true;
    Record(out, EffectKind::DebuggerChanged);
    Ask(s, *level, "(swank:backtrace " + std::to_string(start) + " " + std::to_string(start + FramesAtATime) + ")",
        OnFrames, 0, out);
}

void SessionFrameLocals(Session &s, const DebugPlace &at, long frame, Effects &out)
{
    DebugLevel *level = ActionLevel(s, at);
    if (!level)
        return;
    for (DebugFrame &f : level->frames) {
        if (f.index != frame || f.localsAsked)
            continue;
        f.localsAsked = true;
        Record(out, EffectKind::DebuggerChanged);
        Ask(s, *level, "(swank:frame-locals-and-catch-tags " + std::to_string(frame) + ")", OnLocals, frame, out);
    }
}

void SessionNextDebugThread(Session &s, const DebugPlace &at, Effects &out)
{
    if (at.thread != s.debugThread || !Innermost(s, at.thread))
        return;
    std::vector<std::string> threads = DebugThreads(s);
    if (threads.size() < 2)
        return;
    size_t n = 0;
    while (threads[n] != at.thread)
        n++;
    s.debugThread = threads[(n + 1) % threads.size()];
    ShowLevels(s, true, out);
}

namespace {

// Whether frame is one of the level's frames.
bool HasFrame(const DebugLevel &level, long frame)
{
    for (const DebugFrame &f : level.frames)
        if (f.index == frame)
            return true;
    return false;
}

DebugLevel *FrameLevel(Session &s, const DebugPlace &at, long frame)
{
    DebugLevel *level = ActionLevel(s, at);
    return level && HasFrame(*level, frame) ? level : nullptr;
}

// The request that calls a debugger tool through the helper.
std::string ToolForm(const std::string &function, long frame, const std::string &rest = std::string())
{
    return "(kestralune-listener:frame-tool (quote " + function + ") " + std::to_string(frame) + rest + ")";
}

}  // namespace

void SessionEvalInFrame(Session &s, const DebugPlace &at, long frame, const std::string &text, Effects &out)
{
    DebugLevel *level = FrameLevel(s, at, frame);
    if (!level || IsBlankText(text))
        return;
    Line(s, out, "; In " + FrameName(frame) + ": " + VisibleText(FirstLine(text)));
    Ask(s, *level,
        "(kestralune-listener:eval-in-frame " + LispString(text) + " " + std::to_string(frame) + " " +
            LispString(s.package) + ")",
        OnEvalInFrame, frame, out, text);
}

void SessionReturnFromFrame(Session &s, const DebugPlace &at, long frame, const std::string &text, Effects &out)
{
    DebugLevel *level = FrameLevel(s, at, frame);
    if (!level)
        return;
    std::string form = IsBlankText(text) ? std::string("nil") : text;
    Line(s, out, "; Return from " + FrameName(frame) + " with " + VisibleText(FirstLine(form)));
    level->leaving = true;
    Ask(s, *level, ToolForm("swank:sldb-return-from-frame", frame, " " + LispString(form)), OnReturnFromFrame,
        frame, out);
}

void SessionFrameTool(Session &s, const DebugPlace &at, long frame, FrameTool which, Effects &out)
{
    DebugLevel *level = FrameLevel(s, at, frame);
    if (!level)
        return;
    const Tool &tool = ToolOf(which);
    if (tool.leaves)
        level->leaving = true;
    Request r = Then(OnFrameTool);
    r.thread = level->thread;
    r.level = level->level;
    r.index = frame;
    r.tag = (long)which;
    SendRequest(s, ToolForm(tool.function, frame), LispString(s.package), level->thread, r, out);
}
