// The listener's side of the Swank conversation. On a new connection it asks
// who the Lisp is, loads Swank's REPL and the listener's helper, and makes
// the REPL, each request guarded so that an error answers as a failure. Each
// text is cut into its top-level forms, and each form is one listener-eval
// (Swank's own) on the REPL thread, so every form's values show
// and the REPL variables step as when typed one by one. Output, values,
// questions and the debugger arrive as events meanwhile; a reply
// (:return (:ok VALUE) ID) or (:return (:abort REASON) ID) goes to the
// continuation kept by its id.
#include "listener/core/forms.h"
#include "listener/core/session_debug.h"
#include "listener/core/session_ed.h"
#include "listener/core/session_inspect.h"
#include "listener/core/session_effects.h"
#include "listener/core/text_rules.h"

// Requests the listener makes of the Lisp as a whole are read in this package.
static const char SystemPackage[] = "\"COMMON-LISP-USER\"";

Request Then(ReplyProc reply)
{
    Request r;
    r.reply = reply;
    return r;
}

// The request (:emacs-rex FORM PACKAGE THREAD ID) as it goes on the wire.
static std::string Rex(const std::string &form, const std::string &package, const std::string &thread, long id)
{
    return "(:emacs-rex " + form + " " + package + " " + thread + " " + std::to_string(id) + ")";
}

long SendRequest(Session &s, const std::string &form, const std::string &package, const std::string &thread,
                 const Request &request, Effects &out)
{
    long id = s.nextId++;
    Send(out, Rex(form, package, thread, id));
    s.requests[id] = request;
    return id;
}

void Record(Effects &out, EffectKind kind, const std::string &text)
{
    Effect effect;
    effect.kind = kind;
    effect.text = text;
    out.push_back(effect);
}

void Record(Effects &out, EffectKind kind)
{
    for (const Effect &e : out)
        if (e.kind == kind)
            return;
    Record(out, kind, std::string());
}

bool Closing(const Effects &out)
{
    for (const Effect &e : out)
        if (e.kind == EffectKind::CloseConnection)
            return true;
    return false;
}

void Send(Effects &out, const std::string &payload)
{
    Record(out, EffectKind::Send, payload);
}

// Texts written one after another are one change of the transcript.
static void AddText(Effects &out, const std::string &text)
{
    if (!out.empty() && out.back().kind == EffectKind::Text)
        out.back().text += text;
    else
        Record(out, EffectKind::Text, text);
}

void Write(Session &s, Effects &out, const std::string &text)
{
    if (text.empty())
        return;
    AddText(out, VisibleText(text));
    s.lineOpen = text.back() != '\n';
}

void Line(Session &s, Effects &out, const std::string &text)
{
    AddText(out, (s.lineOpen ? "\n" : "") + text + "\n");
    s.lineOpen = false;
}

void CloseConnection(Effects &out, const std::string &why)
{
    Record(out, EffectKind::CloseConnection, why);
}

bool HasConnection(const Session &s)
{
    return s.state == LinkState::Greeting || s.state == LinkState::Ready;
}

Session NextSession(const Session &s)
{
    Session next;
    next.state = s.state;
    next.host = s.host;
    next.port = s.port;
    next.helper = s.helper;
    next.pauseTicks = s.pauseTicks;
    next.waitedTicks = s.waitedTicks;
    next.lastRefusal = s.lastRefusal;
    next.package = s.package;
    next.prompt = s.prompt;
    next.earlierPid = s.lispPid ? s.lispPid : s.earlierPid;
    next.lineOpen = s.lineOpen;
    next.setupFailure = s.setupFailure;
    return next;
}

std::string FirstLine(const std::string &text)
{
    return Shortened(text.substr(0, text.find('\n')), 200, " ...");
}

namespace {

std::string Reason(const Sexp *value)
{
    return IsString(value) ? ": " + EvaluationLabel(value->text) : std::string(".");
}

// The text as the transcript echoes it: whole up to EchoLimit bytes;
// beyond, its first lines up to that many, and how long it is.
std::string Echo(const std::string &text)
{
    if (text.size() <= EchoLimit)
        return text;
    size_t cut = text.rfind('\n', EchoLimit);
    cut = cut == std::string::npos ? EchoLimit : cut + 1;
    std::string echo = text.substr(0, CharacterStart(text, cut));
    if (echo.empty() || echo.back() != '\n')
        echo += '\n';
    return echo + "; ... (" + std::to_string(CharacterCount(text)) + " characters in all)";
}

// The request that evaluates one form, as it goes on the wire: the helper's
// listener-eval is Swank's own swank-repl:listener-eval, its values printed
// by the helper for this request only.
std::string EvalForm(const std::string &form)
{
    return "(kestralune-listener:listener-eval " + LispString(form) + ")";
}

// Whether the request for the form, read in package with that id, fits one
// frame: one that does not is never sent, so it would never be answered.
bool FormFits(const std::string &form, const std::string &package, long id)
{
    std::string frame;
    return EncodeFrame(Rex(EvalForm(form), LispString(package), ":repl-thread", id), &frame);
}

void StartNext(Session &s, Effects &out);
void OnFormDone(Session &s, const Request &, bool ok, const Sexp *value, Effects &out);

void FinishText(Session &s, Effects &out)
{
    s.evaluating = false;
    s.interruptsAgain = 0;
    s.running = Evaluation();
    // What was typed ahead of this evaluation is evaluated in its turn.
    for (WaitingText &w : s.waiting)
        w.typedAhead = false;
    StartNext(s, out);
}

// Ends the running text early: why, and how many of its forms were left.
void StopText(Session &s, Effects &out, const std::string &why)
{
    Line(s, out, why);
    size_t left = s.running.forms.size() - s.running.next;
    if (left)
        Line(s, out, "; Not evaluated: the " + (left == 1 ? std::string("form") : std::to_string(left) + " forms") +
                         " after it.");
    FinishText(s, out);
}

// The package the running text's forms are read in, and its prompt.
const std::string &TextPackage(const Session &s)
{
    return s.running.package.empty() ? s.package : s.running.package;
}

void SendNextForm(Session &s, Effects &out)
{
    Evaluation &e = s.running;
    if (e.next < e.forms.size()) {
        const std::string &form = e.forms[e.next++];
        // It fitted when the text came, but the package (an earlier form's
        // in-package) or the id may have grown longer since.
        if (!FormFits(form, TextPackage(s), s.nextId))
            return StopText(s, out,
                            "; Not evaluated: a form is too long for one message to the Lisp (" +
                                std::to_string(form.size()) + " bytes).");
        e.requestId =
            SendRequest(s, EvalForm(form), LispString(TextPackage(s)), ":repl-thread", Then(OnFormDone), out);
        return;
    }
    if (!e.unfinished.empty())
        Line(s, out, "; Not evaluated: the text ends inside a form (a \")\" or a closing \" is missing): " +
                         EvaluationLabel(e.unfinished));
    FinishText(s, out);
}

void OnFormDone(Session &s, const Request &, bool ok, const Sexp *value, Effects &out)
{
    s.running.requestId = 0;
    if (ok) {
        SendNextForm(s, out);
        return;
    }
    StopText(s, out, "; Evaluation aborted" + Reason(value));
}

// Echoes the running text after its prompt, then sends its first form.
void BeginText(Session &s, Effects &out)
{
    Evaluation &e = s.running;
    std::string echo = VisibleText(Echo(e.text));
    if (!echo.empty() && echo.back() == '\n')
        echo.pop_back();  // the text ends its own last line
    Line(s, out, (e.prompt.empty() ? s.prompt : e.prompt) + "> " + echo);
    SendNextForm(s, out);
}

// The file's package, looked up: (NAME PROMPT), or nil when the Lisp has none.
void OnTextPackage(Session &s, const Request &, bool ok, const Sexp *value, Effects &out)
{
    Evaluation &e = s.running;
    if (ok && value && IsString(Item(*value, 0)) && IsString(Item(*value, 1))) {
        e.package = Item(*value, 0)->text;
        e.prompt = VisibleText(Item(*value, 1)->text);
    } else {
        Line(s, out, "; The Lisp has no package " + VisibleText(FirstLine(e.package)) + "; the text is read in " +
                         s.prompt + ".");
        e.package.clear();
    }
    BeginText(s, out);
}

// Begins the oldest waiting text when the REPL is free. A text of a file
// with a package of its own waits for the Lisp to find that package first.
void StartNext(Session &s, Effects &out)
{
    if (s.state != LinkState::Ready || s.evaluating || s.waiting.empty())
        return;
    s.evaluating = true;
    Evaluation &e = s.running;
    e.text = s.waiting.front().text;
    e.package = s.waiting.front().package;
    s.waiting.pop_front();
    TextForms split = SplitForms(e.text);
    e.forms = split.forms;
    e.unfinished = split.unfinished;
    if (e.package.empty())
        return BeginText(s, out);
    std::string name = LispString(e.package);
    SendRequest(s,
                "(cl:ignore-errors (cl:let ((p (cl:find-package " + name +
                    "))) (cl:and p (cl:list (cl:package-name p) (swank::package-string-for-prompt p)))))",
                SystemPackage, "t", Then(OnTextPackage), out);
}

// A request made while connecting: an error in the Lisp answers
// (:failed MESSAGE), so that it never opens Swank's debugger on a worker
// thread of a connection the listener then closes (the thread would wait
// there for ever, one more at each attempt).
std::string Guarded(const std::string &form)
{
    return "(cl:handler-case " + form +
           " (cl:serious-condition (condition) (cl:list :failed (cl:ignore-errors (cl:princ-to-string condition)))))";
}

// Whether the answer to a request made while connecting is a failure: an
// abort, or (:failed MESSAGE); why is then its reason, null when none.
bool SetupFailed(bool ok, const Sexp *value, const Sexp **why)
{
    *why = nullptr;
    if (!ok) {
        *why = value;
        return true;
    }
    if (!value || !Item(*value, 0) || !IsAtom(*Item(*value, 0), ":failed"))
        return false;
    *why = Item(*value, 1);
    return true;
}

// Connecting failed: said once, not again at each attempt that fails the
// same way, and the connection is closed.
void Refuse(Session &s, const std::string &what, const Sexp *value, Effects &out)
{
    std::string line = "; " + what + Reason(value);
    if (line != s.setupFailure)
        Line(s, out, line);
    s.setupFailure = line;
    CloseConnection(out, "the listener closed it");
}

// The helper's create-repl answers as swank-repl:create-repl does:
// (PACKAGE-NAME PROMPT).
void OnRepl(Session &s, const Request &, bool ok, const Sexp *value, Effects &out)
{
    const Sexp *why;
    if (SetupFailed(ok, value, &why))
        return Refuse(s, "The Lisp could not make Swank's REPL", why, out);
    if (!value || !IsString(Item(*value, 0)) || !IsString(Item(*value, 1)))
        return Refuse(s, "The Lisp could not make Swank's REPL", nullptr, out);
    bool again = s.earlierPid && s.lispPid && s.earlierPid != s.lispPid;
    if (!s.earlierPid || again) {
        s.package = Item(*value, 0)->text;
        s.prompt = VisibleText(Item(*value, 1)->text);
    }
    s.state = LinkState::Ready;
    s.pauseTicks = 1;
    s.lastRefusal.clear();
    Record(out, EffectKind::CaptionChanged);
    s.setupFailure.clear();
    Line(s, out, "; Connected to " + s.lispName + ".");
    if (again)
        Line(s, out, "; The Lisp was started again (process " + std::to_string(s.lispPid) +
                         "): what was defined before is gone.");
    StartNext(s, out);
}

void OnHelper(Session &s, const Request &, bool ok, const Sexp *value, Effects &out)
{
    const Sexp *why;
    if (SetupFailed(ok, value, &why))
        return Refuse(s, "The Lisp did not take Swank's REPL or the listener's helper", why, out);
    // Swank's REPL (swank-repl:create-repl), and the Lisp's output of every
    // thread sent to this connection.
    SendRequest(s, Guarded("(kestralune-listener:create-repl)"), SystemPackage, "t", Then(OnRepl), out);
}

// (swank:connection-info) answers (:pid N :lisp-implementation (:type T :version V ...) ...).
void OnConnectionInfo(Session &s, const Request &, bool ok, const Sexp *value, Effects &out)
{
    const Sexp *why;
    if (SetupFailed(ok, value, &why))
        return Refuse(s, "The Lisp did not say what it is", why, out);
    const Sexp *lisp = Property(value, ":lisp-implementation");
    const Sexp *type = Property(lisp, ":type"), *version = Property(lisp, ":version");
    if (!IsString(type))
        return Refuse(s, "The Lisp did not say what it is", nullptr, out);
    s.answered = true;
    s.lispName = VisibleText(type->text + (IsString(version) ? " " + version->text : std::string()));
    // Without threads (communication style nil, as CLISP runs it) Swank reads
    // no message while it evaluates.
    const Sexp *style = Property(value, ":style");
    if (style && IsAtom(*style, "nil"))
        Line(s, out, "; This Lisp runs Swank without threads: Interrupt cannot stop an evaluation, and "
                     "its debugger may answer late.");
    s.lispPid = Number(Property(value, ":pid"));
    Record(out, EffectKind::CaptionChanged);
    // Loading swank-repl may compile it first (ECL: through gcc, for many
    // seconds); the helper is loaded from its text.
    SendRequest(s,
                Guarded("(cl:progn (swank:swank-require (quote (:swank-repl))) "
                        "(cl:load (cl:make-string-input-stream " + LispString(s.helper) + ")) t)"),
                SystemPackage, "t", Then(OnHelper), out);
}

// (:return (:ok VALUE) ID) or (:return (:abort REASON) ID)
void OnReturn(Session &s, const Sexp &m, Effects &out)
{
    const Sexp *reply = Item(m, 1);
    if (!reply || !Item(*reply, 0))
        return;
    auto found = s.requests.find(Number(Item(m, 2)));
    if (found == s.requests.end())
        return;  // no request of this connection has that id
    Request request = found->second;
    s.requests.erase(found);
    if (request.reply)
        request.reply(s, request, IsAtom(*Item(*reply, 0), ":ok"), Item(*reply, 1), out);
}

// (:invalid-rpc ID MESSAGE): a request the Lisp could not take.
void OnInvalidRpc(Session &s, const Sexp &m, Effects &out)
{
    auto found = s.requests.find(Number(Item(m, 1)));
    Line(s, out, "; The Lisp refused a request" + Reason(Item(m, 2)));
    if (found == s.requests.end())
        return;
    Request request = found->second;
    s.requests.erase(found);
    if (request.reply)
        request.reply(s, request, false, Item(m, 2), out);
}

// The id a request's payload ends with: (:emacs-rex FORM PACKAGE THREAD ID).
long PayloadId(const std::string &payload)
{
    size_t end = payload.find_last_not_of(" \t\r\n");
    if (end == std::string::npos || payload[end] != ')')
        return 0;
    size_t start = end;
    while (start > 0 && payload[start - 1] >= '0' && payload[start - 1] <= '9')
        start--;
    if (start == end || start == 0 || payload[start - 1] != ' ' || end - start > 9)
        return 0;
    return std::stol(payload.substr(start, end - start));
}

// (:reader-error PACKET MESSAGE): Swank could not read the request PACKET
// and goes on with the next; the request is taken as refused, so that
// nothing waits for its answer.
void OnReaderError(Session &s, const Sexp &m, Effects &out)
{
    Line(s, out, "; The Lisp could not read a request" + Reason(Item(m, 2)));
    auto found = IsString(Item(m, 1)) ? s.requests.find(PayloadId(Item(m, 1)->text)) : s.requests.end();
    if (found == s.requests.end())
        return;
    Request request = found->second;
    s.requests.erase(found);
    if (request.reply)
        request.reply(s, request, false, Item(m, 2), out);
}

// (:write-string TEXT [TARGET [THREAD]]): output, or with :repl-result a
// value. A THREAD waits for (:write-done THREAD) before it writes more.
void OnWriteString(Session &s, const Sexp &m, Effects &out)
{
    const Sexp *text = Item(m, 1), *target = Item(m, 2), *thread = Item(m, 3);
    if (IsString(text)) {
        if (target && IsAtom(*target, ":repl-result")) {
            std::string value = text->text;
            if (!value.empty() && value.back() == '\n')
                value.pop_back();
            Line(s, out, VisibleText(value.compare(0, 1, ";") == 0 ? value : "=> " + value));
        } else {
            Write(s, out, text->text);
        }
    }
    if (thread && thread->kind == Sexp::Atom)
        Send(out, "(:write-done " + thread->text + ")");
}

// (:new-package NAME PROMPT): the REPL reads in another package now.
void OnNewPackage(Session &s, const Sexp &m, Effects &)
{
    if (IsString(Item(m, 1)) && IsString(Item(m, 2))) {
        s.package = Item(m, 1)->text;
        s.prompt = VisibleText(Item(m, 2)->text);
        // The text changed *package* itself: its later forms are read there.
        s.running.package.clear();
        s.running.prompt.clear();
    }
}

bool ThreadAndTag(const Sexp &m, Question *q)
{
    const Sexp *thread = Item(m, 1), *tag = Item(m, 2);
    if (!thread || !tag || thread->kind != Sexp::Atom || tag->kind != Sexp::Atom)
        return false;
    q->thread = thread->text;
    q->tag = tag->text;
    return true;
}

// A line typed ahead of the question, if any, answers it.
void AnswerTypedAhead(Session &s, Effects &out)
{
    if (!s.debugger.empty())
        return;
    for (auto w = s.waiting.begin(); w != s.waiting.end(); ++w) {
        if (w->typedAhead) {
            std::string line = w->text;
            s.waiting.erase(w);
            SessionAnswer(s, line, out);
            return;
        }
    }
}

// The first question is the one to answer now: its prompt is written.
void PutQuestion(Session &s, Effects &out)
{
    Record(out, EffectKind::QuestionChanged);
    if (s.questions.empty())
        return;
    const Question &q = s.questions.front();
    if (!q.prompt.empty())
        Write(s, out, q.prompt);
    AnswerTypedAhead(s, out);
}

// A question of the Lisp: answered now, or after those that came before it.
void AddQuestion(Session &s, const Question &q, Effects &out)
{
    AskThreadName(s, q.thread, out);
    s.questions.push_back(q);
    if (s.questions.size() == 1)
        return PutQuestion(s, out);
    Record(out, EffectKind::QuestionChanged);
    Line(s, out, "; " + ThreadName(s, q.thread) + " waits for input too; it is answered after " +
                     ThreadName(s, s.questions.front().thread) + ".");
}

// The first question was answered or ended: the next one's turn.
void NextQuestion(Session &s, Effects &out)
{
    s.questions.pop_front();
    if (!s.questions.empty())
        Line(s, out, "; Now " + ThreadName(s, s.questions.front().thread) + " waits for input.");
    PutQuestion(s, out);
}

// (:read-string THREAD TAG): the Lisp reads a line from the user.
void OnReadString(Session &s, const Sexp &m, Effects &out)
{
    Question q;
    if (ThreadAndTag(m, &q))
        AddQuestion(s, q, out);
}

// (:y-or-n-p THREAD TAG QUESTION): answered (:emacs-return THREAD TAG t or nil).
void OnYesOrNo(Session &s, const Sexp &m, Effects &out)
{
    Question q;
    if (!ThreadAndTag(m, &q))
        return;
    q.kind = QuestionKind::YesOrNo;
    q.prompt = StringText(Item(m, 3)) + " (y or n) ";
    AddQuestion(s, q, out);
}

// (:read-from-minibuffer THREAD TAG PROMPT INITIAL): a line read for the
// prompt, answered (:emacs-return THREAD TAG "LINE"). The initial text is
// shown after the prompt, as what an empty line would leave it.
void OnReadFromMinibuffer(Session &s, const Sexp &m, Effects &out)
{
    Question q;
    if (!ThreadAndTag(m, &q))
        return;
    q.kind = QuestionKind::Prompted;
    q.prompt = StringText(Item(m, 3));
    if (IsString(Item(m, 4)) && !Item(m, 4)->text.empty())
        q.prompt += "[" + Item(m, 4)->text + "] ";
    if (q.prompt.empty())
        q.prompt = "> ";
    AddQuestion(s, q, out);
}

// (:read-aborted THREAD TAG): the read ended without an answer.
void OnReadAborted(Session &s, const Sexp &m, Effects &out)
{
    const Sexp *thread = Item(m, 1), *tag = Item(m, 2);
    if (!thread || !tag)
        return;
    for (size_t i = 0; i < s.questions.size(); i++) {
        if (s.questions[i].tag != tag->text || s.questions[i].thread != thread->text)
            continue;
        if (i == 0)
            return NextQuestion(s, out);
        s.questions.erase(s.questions.begin() + i);
        return Record(out, EffectKind::QuestionChanged);
    }
}

// (:eval THREAD TAG FORM) from swank:eval-in-emacs and (:ed-rpc THREAD TAG
// FUNCTION ARGUMENT ...): the listener has no Emacs Lisp to run them. The
// answer (:error KIND TEXT) makes the waiting call signal an error there
// (Swank's wait-for-emacs-return), which the caller may handle; it never
// waits.
void RefuseEmacsCall(Session &s, const Sexp &m, const std::string &what, Effects &out)
{
    const Sexp *thread = Item(m, 1), *tag = Item(m, 2);
    if (!thread || !tag || thread->kind != Sexp::Atom || tag->kind != Sexp::Atom)
        return;
    std::string refusal = what + " is not supported";
    Line(s, out, "; " + refusal + ": the Lisp's call signals an error.");
    Send(out, "(:emacs-return " + thread->text + " " + tag->text + " (:error \"KESTRALUNE\" " +
                  LispString(refusal) + "))");
}

void OnEval(Session &s, const Sexp &m, Effects &out)
{
    RefuseEmacsCall(s, m, "Evaluating in the editor (eval-in-emacs)", out);
}

void OnEdRpc(Session &s, const Sexp &m, Effects &out)
{
    RefuseEmacsCall(s, m, "Calling the editor's function " + VisibleText(FirstLine(StringText(Item(m, 3)))), out);
}

// (:ping THREAD TAG): the Lisp waits for the pong.
void OnPing(Session &, const Sexp &m, Effects &out)
{
    if (Item(m, 1) && Item(m, 2) && Item(m, 1)->kind == Sexp::Atom && Item(m, 2)->kind == Sexp::Atom)
        Send(out, "(:emacs-pong " + Item(m, 1)->text + " " + Item(m, 2)->text + ")");
}

struct EventHandler {
    const char *name;
    void (*handle)(Session &, const Sexp &, Effects &);
};

// Messages not named here (:new-features, :indentation-update and the like)
// need nothing from the listener.
const EventHandler Handlers[] = {
    {":return", OnReturn},
    {":write-string", OnWriteString},
    {":new-package", OnNewPackage},
    {":read-string", OnReadString},
    {":y-or-n-p", OnYesOrNo},
    {":read-from-minibuffer", OnReadFromMinibuffer},
    {":read-aborted", OnReadAborted},
    {":eval", OnEval},
    {":ed-rpc", OnEdRpc},
    {":debug", OnDebug},
    {":debug-activate", OnDebugActivate},
    {":debug-return", OnDebugReturn},
    {":debug-condition", OnDebugCondition},
    {":ping", OnPing},
    {":ed", OnEd},
    {":inspect", OnInspect},
    {":invalid-rpc", OnInvalidRpc},
    {":reader-error", OnReaderError},
};

}  // namespace

void SessionConnected(Session &s, Effects &out)
{
    s = NextSession(s);
    s.state = LinkState::Greeting;
    Record(out, EffectKind::CaptionChanged);
    SendRequest(s, Guarded("(swank:connection-info)"), SystemPackage, "t", Then(OnConnectionInfo), out);
}

namespace {

bool Submit(Session &s, const std::string &text, bool typedAhead, const std::string &package, Effects &out)
{
    if (!HasConnection(s))
        return false;
    for (const std::string &form : SplitForms(text).forms) {
        if (!FormFits(form, s.package, 1)) {
            Line(s, out, "; Not evaluated: a form is too long for one message to the Lisp (" +
                             std::to_string(form.size()) + " bytes): " + EvaluationLabel(text));
            return true;
        }
    }
    WaitingText waiting;
    waiting.text = text;
    waiting.typedAhead = typedAhead && s.evaluating && s.debugger.empty();
    waiting.package = package;
    s.waiting.push_back(waiting);
    // A debugger of a thread of the Lisp's own does not hold up a free REPL.
    if (!s.debugger.empty() && s.evaluating)
        Line(s, out, "; Waits until the debugger is left: " + EvaluationLabel(text));
    StartNext(s, out);
    return true;
}

}  // namespace

bool SessionSubmit(Session &s, const std::string &text, Effects &out)
{
    return Submit(s, text, false, std::string(), out);
}

bool SessionSubmitInPackage(Session &s, const std::string &text, const std::string &package, Effects &out)
{
    return Submit(s, text, false, package, out);
}

Typed SessionType(Session &s, const std::string &text, Effects &out)
{
    if (SessionAnswer(s, text, out))
        return TypedAnswer;
    if (IsBlankText(text))
        return TypedNotTaken;
    return Submit(s, text, true, std::string(), out) ? TypedEvaluation : TypedNotTaken;
}

bool SessionAnswer(Session &s, const std::string &line, Effects &out)
{
    if (s.questions.empty())
        return false;
    const Question &q = s.questions.front();
    Write(s, out, line + "\n");
    std::string to = q.thread + " " + q.tag;
    if (q.kind == QuestionKind::YesOrNo) {
        size_t start = line.find_first_not_of(" \t");
        char first = start == std::string::npos ? 0 : (char)(line[start] | 0x20);
        if (first != 'y' && first != 'n') {
            Write(s, out, "Please answer y or n. (y or n) ");
            return true;
        }
        Send(out, "(:emacs-return " + to + (first == 'y' ? " t)" : " nil)"));
    } else if (q.kind == QuestionKind::Prompted) {
        Send(out, "(:emacs-return " + to + " " + LispString(line) + ")");
    } else {
        Send(out, "(:emacs-return-string " + to + " " + LispString(line + "\n") + ")");
    }
    NextQuestion(s, out);
    return true;
}

bool SessionAsks(const Session &s)
{
    return !s.questions.empty();
}

const Question *SessionQuestion(const Session &s)
{
    return s.questions.empty() ? nullptr : &s.questions.front();
}

void SessionMessage(Session &s, const std::string &payload, Effects &out)
{
    Sexp message;
    const Sexp *head;
    if (!ReadSexp(payload, &message) || !(head = Item(message, 0)) || head->kind != Sexp::Atom) {
        Line(s, out, "; The Lisp sent a malformed message; the connection is closed.");
        CloseConnection(out, "the listener closed it");
        return;
    }
    for (const EventHandler &handler : Handlers) {
        if (IsAtom(*head, handler.name)) {
            handler.handle(s, message, out);
            return;
        }
    }
}

void SessionLost(Session &s, const std::string &why, Effects &out)
{
    if (!HasConnection(s))
        return;
    // A connection that never became ready was refused: SessionClosed says so, once.
    if (s.state == LinkState::Ready)
        Line(s, out, "; Connection to the Lisp lost: " + why + ".");
    if (s.running.requestId)
        Line(s, out, "; Did not finish: " + EvaluationLabel(s.running.text));
    else if (s.evaluating && s.running.next > 0)
        Line(s, out, "; Did not run to its end: " + EvaluationLabel(s.running.text));
    else if (s.evaluating)
        Line(s, out, "; Did not run: " + EvaluationLabel(s.running.text));
    for (const WaitingText &w : s.waiting)
        Line(s, out, "; Did not run: " + EvaluationLabel(w.text));
    if (!s.debugger.empty())
        Record(out, EffectKind::DebuggerChanged);
    if (!s.questions.empty())
        Record(out, EffectKind::QuestionChanged);
    if (s.inspector.open)
        Record(out, EffectKind::InspectorChanged);
    s = NextSession(s);
    s.state = LinkState::Lost;
    Record(out, EffectKind::CaptionChanged);
}

void SessionInterrupt(Session &s, Effects &out)
{
    if (!s.evaluating) {
        Line(s, out, "; Nothing to interrupt.");
        return;
    }
    Send(out, "(:emacs-interrupt :repl-thread)");
    s.interruptsAgain = InterruptsAgain;
    s.interruptTicks = 0;
}

void SessionQuit(Session &s, Effects &out)
{
    SendRequest(s, "(swank:quit-lisp)", "nil", "t", Request(), out);
}

void SessionNote(Session &s, const std::string &text, Effects &out)
{
    Line(s, out, !text.empty() && text.back() == '\n' ? text.substr(0, text.size() - 1) : text);
}

void SessionClearTranscript(Session &s, Effects &out)
{
    Record(out, EffectKind::ClearTranscript);
    s.lineOpen = false;
}

std::string EvaluationLabel(const std::string &text)
{
    const size_t longest = 60;
    size_t start = text.find_first_not_of(" \t\r\n");
    if (start == std::string::npos)
        return "(empty)";
    size_t end = text.find_first_of("\r\n", start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    bool more = end != std::string::npos && text.find_first_not_of(" \t\r\n", end) != std::string::npos;
    std::string label = Shortened(line, longest, " ...");
    return VisibleText(more && line.size() <= longest ? label + " ..." : label);
}
