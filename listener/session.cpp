// The listener's side of the Swank conversation. On a new connection it asks
// who the Lisp is, loads Swank's REPL and the listener's helper, and makes
// the REPL. Each text is cut into its top-level forms, and each form is one
// swank-repl:listener-eval on the REPL thread, so every form's values show
// and the REPL variables step as when typed one by one. Output, values,
// questions and the debugger arrive as events meanwhile; an answer
// (:return (:ok VALUE) ID) or (:return (:abort REASON) ID) goes to the
// continuation kept by its id.
#include "listener/forms.h"
#include "listener/session_parts.h"
#include "listener/text_rules.h"

#include <stdlib.h>

// Requests the listener makes of the Lisp as a whole are read in this package.
static const char SystemPackage[] = "\"COMMON-LISP-USER\"";

long SendRequest(Session &s, const std::string &form, const std::string &package, const std::string &thread,
                 const Request &request, SessionOutput &out)
{
    long id = s.nextId++;
    out.messages.push_back("(:emacs-rex " + form + " " + package + " " + thread + " " + std::to_string(id) + ")");
    s.requests[id] = request;
    return id;
}

void Write(Session &s, SessionOutput &out, const std::string &text)
{
    if (text.empty())
        return;
    out.transcript += VisibleText(text);
    s.lineOpen = text.back() != '\n';
}

void Line(Session &s, SessionOutput &out, const std::string &text)
{
    out.transcript += (s.lineOpen ? "\n" : "") + text + "\n";
    s.lineOpen = false;
}

bool IsString(const Sexp *e)
{
    return e && e->kind == Sexp::String;
}

std::string FirstLine(const std::string &text)
{
    const size_t longest = 200;
    std::string line = text.substr(0, text.find('\n'));
    return line.size() > longest ? line.substr(0, CharacterStart(line, longest)) + " ..." : line;
}

namespace {

Request Answer(AnswerProc answer)
{
    Request r;
    r.answer = answer;
    return r;
}

std::string Reason(const Sexp *value)
{
    return IsString(value) ? ": " + EvaluationLabel(value->text) : std::string(".");
}

// The text as the transcript echoes it: whole up to EchoLimit characters;
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
    size_t characters = 0;
    for (char c : text)
        characters += ((unsigned char)c & 0xC0) != 0x80;
    return echo + "; ... (" + std::to_string(characters) + " characters in all)";
}

// The request that evaluates one form, as it goes on the wire.
std::string EvalForm(const std::string &form)
{
    return "(swank-repl:listener-eval " + LispString(form) + ")";
}

// Whether the request for the form, read in package with that id, fits one
// frame: one that does not is never sent, so it would never be answered.
bool FormFits(const std::string &form, const std::string &package, long id)
{
    std::string frame;
    return EncodeFrame("(:emacs-rex " + EvalForm(form) + " " + LispString(package) + " :repl-thread " +
                           std::to_string(id) + ")",
                       &frame);
}

void StartNext(Session &s, SessionOutput &out);
void OnFormDone(Session &s, const Request &, bool ok, const Sexp *value, SessionOutput &out);

void FinishText(Session &s, SessionOutput &out)
{
    s.evaluating = false;
    s.running = Evaluation();
    StartNext(s, out);
}

// Ends the running text early: why, and how many of its forms were left.
void StopText(Session &s, SessionOutput &out, const std::string &why)
{
    Line(s, out, why);
    size_t left = s.running.forms.size() - s.running.next;
    if (left)
        Line(s, out, "; Not evaluated: the " + (left == 1 ? std::string("form") : std::to_string(left) + " forms") +
                         " after it.");
    FinishText(s, out);
}

void SendNextForm(Session &s, SessionOutput &out)
{
    Evaluation &e = s.running;
    if (e.next < e.forms.size()) {
        const std::string &form = e.forms[e.next++];
        // It fitted when the text came, but the package (an earlier form's
        // in-package) or the id may have grown longer since.
        if (!FormFits(form, s.package, s.nextId))
            return StopText(s, out,
                            "; Not evaluated: a form is too long for one message to the Lisp (" +
                                std::to_string(form.size()) + " bytes).");
        e.requestId = SendRequest(s, EvalForm(form), LispString(s.package), ":repl-thread", Answer(OnFormDone), out);
        return;
    }
    if (!e.unfinished.empty())
        Line(s, out, "; Not evaluated: the text ends inside a form (a \")\" or a closing \" is missing): " +
                         EvaluationLabel(e.unfinished));
    FinishText(s, out);
}

void OnFormDone(Session &s, const Request &, bool ok, const Sexp *value, SessionOutput &out)
{
    s.running.requestId = 0;
    if (ok) {
        SendNextForm(s, out);
        return;
    }
    StopText(s, out, "; Evaluation aborted" + Reason(value));
}

// Begins the oldest waiting text when the REPL is free: echoes it after the
// prompt, then sends its first form.
void StartNext(Session &s, SessionOutput &out)
{
    if (!s.ready || s.evaluating || s.waiting.empty())
        return;
    s.evaluating = true;
    Evaluation &e = s.running;
    e.text = s.waiting.front();
    s.waiting.pop_front();
    TextForms split = SplitForms(e.text);
    e.forms = split.forms;
    e.unfinished = split.unfinished;
    std::string echo = VisibleText(Echo(e.text));
    Line(s, out, s.prompt + "> " + echo);
    if (!echo.empty() && echo.back() == '\n')
        out.transcript.pop_back();  // the text ends its own last line
    SendNextForm(s, out);
}

// The value of KEY in a property list (:KEY VALUE ...), or null.
const Sexp *Property(const Sexp *plist, const char *key)
{
    for (size_t i = 0; plist && i + 1 < plist->items.size(); i += 2)
        if (IsAtom(plist->items[i], key))
            return &plist->items[i + 1];
    return nullptr;
}

void Refuse(Session &s, const std::string &what, const Sexp *value, SessionOutput &out)
{
    Line(s, out, "; " + what + Reason(value));
    out.closeConnection = true;
}

// (swank-repl:create-repl ...) answers (PACKAGE-NAME PROMPT).
void OnRepl(Session &s, const Request &, bool ok, const Sexp *value, SessionOutput &out)
{
    if (!ok || !value || !IsString(Item(*value, 0)) || !IsString(Item(*value, 1)))
        return Refuse(s, "The Lisp could not make Swank's REPL", ok ? nullptr : value, out);
    bool again = s.earlierPid && s.lispPid && s.earlierPid != s.lispPid;
    if (!s.earlierPid || again) {
        s.package = Item(*value, 0)->text;
        s.prompt = VisibleText(Item(*value, 1)->text);
    }
    s.ready = true;
    out.captionChanged = true;
    Line(s, out, "; Connected to " + s.lispName + ".");
    if (again)
        Line(s, out, "; The Lisp was started again (process " + std::to_string(s.lispPid) +
                         "): what was defined before is gone.");
    StartNext(s, out);
}

void OnHelper(Session &s, const Request &, bool ok, const Sexp *value, SessionOutput &out)
{
    if (!ok)
        return Refuse(s, "The Lisp did not take Swank's REPL or the listener's helper", value, out);
    // Without :coding-system: the newest Swank takes none (its REPL speaks UTF-8), older ones default it.
    SendRequest(s, "(swank-repl:create-repl nil)", SystemPackage, "t",
                Answer(OnRepl), out);
}

// (swank:connection-info) answers (:pid N :lisp-implementation (:type T :version V ...) ...).
void OnConnectionInfo(Session &s, const Request &, bool ok, const Sexp *value, SessionOutput &out)
{
    const Sexp *lisp = ok ? Property(value, ":lisp-implementation") : nullptr;
    const Sexp *type = Property(lisp, ":type"), *version = Property(lisp, ":version");
    if (!IsString(type))
        return Refuse(s, "The Lisp did not say what it is", ok ? nullptr : value, out);
    s.lispName = VisibleText(type->text + (IsString(version) ? " " + version->text : std::string()));
    // Without threads (communication style nil, as CLISP runs it) Swank reads
    // no message while it evaluates.
    const Sexp *style = Property(value, ":style");
    if (style && IsAtom(*style, "nil"))
        Line(s, out, "; This Lisp runs Swank without threads: Interrupt cannot stop an evaluation, and "
                     "its debugger may answer late.");
    const Sexp *pid = Property(value, ":pid");
    s.lispPid = pid && pid->kind == Sexp::Atom ? strtol(pid->text.c_str(), nullptr, 10) : 0;
    out.captionChanged = true;
    // The helper's package does not exist while the request is read, so its
    // start function is named by a string.
    SendRequest(s,
                "(cl:progn (swank:swank-require (quote (:swank-repl))) (cl:load (cl:make-string-input-stream " +
                    LispString(s.helper) + ")) (cl:funcall (cl:read-from-string \"kestralune-listener:start\")))",
                SystemPackage, "t", Answer(OnHelper), out);
}

// (:return (:ok VALUE) ID) or (:return (:abort REASON) ID)
void OnReturn(Session &s, const Sexp &m, SessionOutput &out)
{
    const Sexp *answer = Item(m, 1), *idAtom = Item(m, 2);
    if (!answer || !idAtom || idAtom->kind != Sexp::Atom || !Item(*answer, 0))
        return;
    auto found = s.requests.find(strtol(idAtom->text.c_str(), nullptr, 10));
    if (found == s.requests.end())
        return;  // no request of this connection has that id
    Request request = found->second;
    s.requests.erase(found);
    if (request.answer)
        request.answer(s, request, IsAtom(*Item(*answer, 0), ":ok"), Item(*answer, 1), out);
}

// (:invalid-rpc ID MESSAGE): a request the Lisp could not take.
void OnInvalidRpc(Session &s, const Sexp &m, SessionOutput &out)
{
    const Sexp *idAtom = Item(m, 1);
    auto found = idAtom ? s.requests.find(strtol(idAtom->text.c_str(), nullptr, 10)) : s.requests.end();
    Line(s, out, "; The Lisp refused a request" + Reason(Item(m, 2)));
    if (found == s.requests.end())
        return;
    Request request = found->second;
    s.requests.erase(found);
    if (request.answer)
        request.answer(s, request, false, Item(m, 2), out);
}

// (:reader-error PACKET MESSAGE): Swank could not read a request; which one
// is not said, and it will never be answered.
void OnReaderError(Session &s, const Sexp &m, SessionOutput &out)
{
    Line(s, out, "; The Lisp could not read a request" + Reason(Item(m, 2)));
    out.closeConnection = true;
}

// (:write-string TEXT [TARGET [THREAD]]): output, or with :repl-result a
// value. A THREAD waits for (:write-done THREAD) before it writes more.
void OnWriteString(Session &s, const Sexp &m, SessionOutput &out)
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
        out.messages.push_back("(:write-done " + thread->text + ")");
}

// (:new-package NAME PROMPT): the REPL reads in another package now.
void OnNewPackage(Session &s, const Sexp &m, SessionOutput &)
{
    if (IsString(Item(m, 1)) && IsString(Item(m, 2))) {
        s.package = Item(m, 1)->text;
        s.prompt = VisibleText(Item(m, 2)->text);
    }
}

bool ThreadAndTag(const Sexp &m, Question *q)
{
    const Sexp *thread = Item(m, 1), *tag = Item(m, 2);
    if (!thread || !tag || thread->kind != Sexp::Atom || tag->kind != Sexp::Atom)
        return false;
    q->open = true;
    q->thread = thread->text;
    q->tag = tag->text;
    return true;
}

// (:read-string THREAD TAG): the Lisp reads a line from the user.
void OnReadString(Session &s, const Sexp &m, SessionOutput &out)
{
    Question q;
    if (ThreadAndTag(m, &q)) {
        s.question = q;
        out.questionChanged = true;
    }
}

// (:y-or-n-p THREAD TAG QUESTION)
void OnYesOrNo(Session &s, const Sexp &m, SessionOutput &out)
{
    Question q;
    if (!ThreadAndTag(m, &q))
        return;
    q.yesOrNo = true;
    s.question = q;
    out.questionChanged = true;
    Write(s, out, (IsString(Item(m, 3)) ? Item(m, 3)->text : std::string()) + " (y or n) ");
}

// (:read-aborted THREAD TAG): the read ended without an answer.
void OnReadAborted(Session &s, const Sexp &m, SessionOutput &out)
{
    const Sexp *tag = Item(m, 2);
    if (s.question.open && tag && tag->text == s.question.tag) {
        s.question = Question();
        out.questionChanged = true;
    }
}

// (:ping THREAD TAG): the Lisp waits for the pong.
void OnPing(Session &, const Sexp &m, SessionOutput &out)
{
    if (Item(m, 1) && Item(m, 2) && Item(m, 1)->kind == Sexp::Atom && Item(m, 2)->kind == Sexp::Atom)
        out.messages.push_back("(:emacs-pong " + Item(m, 1)->text + " " + Item(m, 2)->text + ")");
}

struct EventHandler {
    const char *name;
    void (*handle)(Session &, const Sexp &, SessionOutput &);
};

// Messages not named here (:new-features, :indentation-update and the like)
// need nothing from the listener.
const EventHandler Handlers[] = {
    {":return", OnReturn},
    {":write-string", OnWriteString},
    {":new-package", OnNewPackage},
    {":read-string", OnReadString},
    {":y-or-n-p", OnYesOrNo},
    {":read-aborted", OnReadAborted},
    {":debug", OnDebug},
    {":debug-activate", OnDebugActivate},
    {":debug-return", OnDebugReturn},
    {":debug-condition", OnDebugCondition},
    {":ping", OnPing},
    {":invalid-rpc", OnInvalidRpc},
    {":reader-error", OnReaderError},
};

}  // namespace

void SessionConnected(Session &s, const std::string &helperSource, SessionOutput &out)
{
    Session fresh;
    fresh.package = s.package;
    fresh.prompt = s.prompt;
    fresh.earlierPid = s.lispPid ? s.lispPid : s.earlierPid;
    fresh.connected = true;
    fresh.helper = helperSource;
    s = fresh;
    out.captionChanged = true;
    SendRequest(s, "(swank:connection-info)", SystemPackage, "t", Answer(OnConnectionInfo), out);
}

bool SessionSubmit(Session &s, const std::string &text, SessionOutput &out)
{
    if (!s.connected)
        return false;
    for (const std::string &form : SplitForms(text).forms) {
        if (!FormFits(form, s.package, 1)) {
            Line(s, out, "; Not evaluated: a form is too long for one message to the Lisp (" +
                             std::to_string(form.size()) + " bytes): " + EvaluationLabel(text));
            return true;
        }
    }
    s.waiting.push_back(text);
    // A debugger of a thread of the Lisp's own does not hold up a free REPL.
    if (!s.debugger.empty() && s.evaluating)
        Line(s, out, "; Waits until the debugger is left: " + EvaluationLabel(text));
    StartNext(s, out);
    return true;
}

bool SessionAnswer(Session &s, const std::string &line, SessionOutput &out)
{
    if (!s.question.open)
        return false;
    Question &q = s.question;
    if (q.yesOrNo) {
        std::string word = line.substr(line.find_first_not_of(" \t") == std::string::npos
                                           ? line.size()
                                           : line.find_first_not_of(" \t"));
        char first = word.empty() ? 0 : (char)(word[0] | 0x20);
        Write(s, out, line + "\n");
        if (first != 'y' && first != 'n') {
            Write(s, out, "Please answer y or n. (y or n) ");
            return true;
        }
        out.messages.push_back("(:emacs-return " + q.thread + " " + q.tag + (first == 'y' ? " t)" : " nil)"));
    } else {
        Write(s, out, line + "\n");
        out.messages.push_back("(:emacs-return-string " + q.thread + " " + q.tag + " " + LispString(line + "\n") +
                               ")");
    }
    s.question = Question();
    out.questionChanged = true;
    return true;
}

void SessionMessage(Session &s, const std::string &payload, SessionOutput &out)
{
    Sexp message;
    const Sexp *head;
    if (!ReadSexp(payload, &message) || !(head = Item(message, 0)) || head->kind != Sexp::Atom) {
        Line(s, out, "; The Lisp sent a malformed message; the connection is closed.");
        out.closeConnection = true;
        return;
    }
    for (const EventHandler &handler : Handlers) {
        if (IsAtom(*head, handler.name)) {
            handler.handle(s, message, out);
            return;
        }
    }
}

void SessionLost(Session &s, const std::string &why, SessionOutput &out)
{
    if (!s.connected)
        return;
    // A connection that never became ready was refused: the link says so, once.
    if (s.ready)
        Line(s, out, "; Connection to the Lisp lost: " + why + ".");
    if (s.running.requestId)
        Line(s, out, "; Did not finish: " + EvaluationLabel(s.running.text));
    else if (s.evaluating)
        Line(s, out, "; Did not run to its end: " + EvaluationLabel(s.running.text));
    for (const std::string &text : s.waiting)
        Line(s, out, "; Did not run: " + EvaluationLabel(text));
    Session after;
    after.package = s.package;
    after.prompt = s.prompt;
    after.earlierPid = s.lispPid ? s.lispPid : s.earlierPid;
    after.lineOpen = s.lineOpen;
    if (!s.debugger.empty())
        out.debuggerChanged = true;
    if (s.question.open)
        out.questionChanged = true;
    s = after;
    out.captionChanged = true;
}

void SessionInterrupt(Session &s, SessionOutput &out)
{
    if (!s.evaluating) {
        Line(s, out, "; Nothing to interrupt.");
        return;
    }
    out.messages.push_back("(:emacs-interrupt :repl-thread)");
}

void SessionQuit(Session &s, SessionOutput &out)
{
    SendRequest(s, "(swank:quit-lisp)", "nil", "t", Request(), out);
}

std::string EvaluationLabel(const std::string &text)
{
    const size_t longest = 60;
    size_t start = text.find_first_not_of(" \t\r\n");
    if (start == std::string::npos)
        return "(empty)";
    size_t end = text.find_first_of("\r\n", start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    bool cut = line.size() > longest ||
               (end != std::string::npos && text.find_first_not_of(" \t\r\n", end) != std::string::npos);
    if (line.size() > longest)
        line.resize(CharacterStart(line, longest));
    return VisibleText(cut ? line + " ..." : line);
}
