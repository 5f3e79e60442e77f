// The listener's side of the Swank conversation. Requests are :emacs-rex
// messages evaluated in a new thread of the Lisp; their answers come back as
// :return messages with the request's id. Output arrives meanwhile as
// :write-string events.
#include "listener/session.h"
#include "listener/swank_wire.h"

#include <stdlib.h>

namespace {

const char RequestPackage[] = "\"COMMON-LISP-USER\"";

long Request(Session &s, const std::string &form, SessionOutput &out)
{
    long id = s.nextId++;
    out.messages.push_back("(:emacs-rex " + form + " " + RequestPackage + " t " + std::to_string(id) + ")");
    return id;
}

void Write(Session &s, SessionOutput &out, const std::string &text)
{
    out.transcript += text;
    if (!text.empty())
        s.lineOpen = text.back() != '\n';
}

// A whole line of the listener's own, begun on a fresh line.
void Line(Session &s, SessionOutput &out, const std::string &text)
{
    Write(s, out, (s.lineOpen ? "\n" : "") + text + "\n");
}

// The text as the transcript echoes it: whole up to EchoLimit characters;
// beyond, its first lines up to that many, and how long it is.
std::string Echo(const std::string &text)
{
    if (text.size() <= EchoLimit)
        return text;
    size_t cut = text.rfind('\n', EchoLimit);
    cut = cut == std::string::npos ? EchoLimit : cut + 1;
    std::string echo = text.substr(0, cut);
    if (echo.back() != '\n')
        echo += '\n';
    return echo + "; ... (" + std::to_string(text.size()) + " characters in all)";
}

// Starts the oldest waiting text when the Lisp is free: echoes it after the
// prompt, then sends it.
void StartNext(Session &s, SessionOutput &out)
{
    if (!s.ready || s.runningId || s.waiting.empty())
        return;
    s.runningText = s.waiting.front();
    s.waiting.pop_front();
    std::string echo = Echo(s.runningText);
    Line(s, out, s.prompt + "> " + echo);
    if (!echo.empty() && echo.back() == '\n')
        out.transcript.pop_back();  // the text ends its own last line
    s.runningId = Request(s, "(kestralune-listener:evaluate " + LispString(s.runningText) + ")", out);
}

bool IsString(const Sexp *e)
{
    return e && e->kind == Sexp::String;
}

// Each form's values, one "=> value" line each.
void ShowValues(Session &s, const Sexp *forms, SessionOutput &out)
{
    if (!forms || forms->kind != Sexp::List)
        return;
    for (const Sexp &values : forms->items) {
        if (values.kind != Sexp::List || values.items.empty()) {
            Line(s, out, "; No values");
            continue;
        }
        for (const Sexp &value : values.items)
            Line(s, out, "=> " + value.text);
    }
}

// (:values PROMPT FORMS) or (:error MESSAGE TYPE PROMPT FORMS), FORMS holding
// a list of printed values for each form evaluated.
void ShowResult(Session &s, const Sexp &result, SessionOutput &out)
{
    const Sexp *head = Item(result, 0);
    if (head && IsAtom(*head, ":values") && IsString(Item(result, 1))) {
        s.prompt = Item(result, 1)->text;
        ShowValues(s, Item(result, 2), out);
    } else if (head && IsAtom(*head, ":error") && IsString(Item(result, 1)) && IsString(Item(result, 2)) &&
               IsString(Item(result, 3))) {
        s.prompt = Item(result, 3)->text;
        ShowValues(s, Item(result, 4), out);
        std::string message = Item(result, 1)->text;
        for (size_t at = 0; (at = message.find('\n', at)) != std::string::npos; at += 3)
            message.replace(at, 1, "\n; ");
        Line(s, out, "; Error: " + message);
        Line(s, out, "; [Condition of type " + Item(result, 2)->text + "]");
    } else if (head && IsAtom(*head, ":interrupted") && IsString(Item(result, 1))) {
        s.prompt = Item(result, 1)->text;
        ShowValues(s, Item(result, 2), out);
        Line(s, out, "; Interrupted.");
    } else {
        Line(s, out, "; The Lisp answered in a form the listener does not know.");
    }
}

void EndRunning(Session &s, SessionOutput &out)
{
    s.runningId = 0;
    s.runningText.clear();
    StartNext(s, out);
}

// (:return (:ok VALUE) ID) or (:return (:abort CONDITION) ID)
void OnReturn(Session &s, const Sexp &m, SessionOutput &out)
{
    const Sexp *answer = Item(m, 1), *idAtom = Item(m, 2);
    if (!answer || !idAtom || idAtom->kind != Sexp::Atom || !Item(*answer, 0))
        return;
    long id = strtol(idAtom->text.c_str(), nullptr, 10);
    bool ok = IsAtom(*Item(*answer, 0), ":ok");
    const Sexp *value = Item(*answer, 1);
    if (id && id == s.startId) {
        s.startId = 0;
        const Sexp *type = value ? Item(*value, 0) : nullptr, *version = value ? Item(*value, 1) : nullptr;
        if (!ok || !IsString(type) || !IsString(version)) {
            Line(s, out, "; The Lisp did not take the listener's helper" +
                          (IsString(value) ? ": " + value->text : std::string(".")));
            out.closeConnection = true;
            return;
        }
        s.ready = true;
        s.lispName = type->text + " " + version->text;
        if (IsString(Item(*value, 2)))
            s.prompt = Item(*value, 2)->text;
        out.captionChanged = true;
        Line(s, out, "; Connected to " + s.lispName + ".");
        StartNext(s, out);
    } else if (id && id == s.runningId) {
        if (ok && value)
            ShowResult(s, *value, out);
        else
            Line(s, out, "; Evaluation aborted" + (IsString(value) ? ": " + value->text : std::string(".")));
        EndRunning(s, out);
    } else if (id && id == s.interruptId) {
        s.interruptId = 0;
        if (ok && value && IsAtom(*value, ":not-running"))
            Line(s, out, "; The evaluation had not started yet; nothing was interrupted.");
    }
}

void OnWriteString(Session &s, const Sexp &m, SessionOutput &out)
{
    if (IsString(Item(m, 1)))
        Write(s, out, Item(m, 1)->text);
}

// (:ping THREAD TAG): the Lisp waits for the pong.
void OnPing(Session &, const Sexp &m, SessionOutput &out)
{
    if (Item(m, 1) && Item(m, 2) && Item(m, 1)->kind == Sexp::Atom && Item(m, 2)->kind == Sexp::Atom)
        out.messages.push_back("(:emacs-pong " + Item(m, 1)->text + " " + Item(m, 2)->text + ")");
}

// (:debug THREAD LEVEL (MESSAGE TYPE-LINE ...) ...): the Lisp entered its
// debugger, for a condition the helper does not handle (a BREAK, say). The
// listener never leaves it waiting: it shows the condition and asks the
// thread to return to its top level, which aborts the request.
void OnDebug(Session &s, const Sexp &m, SessionOutput &out)
{
    const Sexp *thread = Item(m, 1), *condition = Item(m, 3);
    if (!thread || thread->kind != Sexp::Atom)
        return;
    if (condition && IsString(Item(*condition, 0))) {
        Line(s, out, "; Debugger entered: " + Item(*condition, 0)->text);
        if (IsString(Item(*condition, 1)))
            Line(s, out, ";" + Item(*condition, 1)->text);
    }
    long id = s.nextId++;
    out.messages.push_back("(:emacs-rex (swank:throw-to-toplevel) nil " + thread->text + " " +
                           std::to_string(id) + ")");
}

// (:invalid-rpc ID MESSAGE) or (:reader-error PACKET MESSAGE): a request the
// Lisp could not take; it will never return.
void OnRefused(Session &s, const Sexp &m, SessionOutput &out)
{
    Line(s, out, "; The Lisp refused a request" + (IsString(Item(m, 2)) ? ": " + Item(m, 2)->text : std::string(".")));
    if (s.startId) {
        out.closeConnection = true;
        return;
    }
    if (s.runningId)
        EndRunning(s, out);
}

// (:y-or-n-p THREAD TAG QUESTION): answered no, as nobody is asked.
void OnQuestion(Session &, const Sexp &m, SessionOutput &out)
{
    if (Item(m, 1) && Item(m, 2) && Item(m, 1)->kind == Sexp::Atom && Item(m, 2)->kind == Sexp::Atom)
        out.messages.push_back("(:emacs-return " + Item(m, 1)->text + " " + Item(m, 2)->text + " nil)");
}

struct EventHandler {
    const char *name;
    void (*handle)(Session &, const Sexp &, SessionOutput &);
};

// Messages not named here (:new-features, :indentation-update,
// :debug-activate, :debug-return and the like) need nothing from the listener.
const EventHandler Handlers[] = {
    {":return", OnReturn},         {":write-string", OnWriteString}, {":ping", OnPing},
    {":debug", OnDebug},           {":invalid-rpc", OnRefused},      {":reader-error", OnRefused},
    {":y-or-n-p", OnQuestion},
};

}  // namespace

void SessionConnected(Session &s, const std::string &helperSource, SessionOutput &out)
{
    s = Session();
    s.connected = true;
    out.captionChanged = true;
    // The helper's package does not exist while the request is read, so its
    // start function is named by a string.
    s.startId = Request(s,
                        "(cl:progn (cl:load (cl:make-string-input-stream " + LispString(helperSource) +
                            ")) (cl:funcall (cl:read-from-string \"kestralune-listener:start\")))",
                        out);
}

bool SessionSubmit(Session &s, const std::string &text, SessionOutput &out)
{
    if (!s.connected)
        return false;
    s.waiting.push_back(text);
    StartNext(s, out);
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
    Line(s, out, "; Connection to the Lisp lost: " + why + ".");
    if (s.runningId)
        Line(s, out, "; Did not finish: " + EvaluationLabel(s.runningText));
    for (const std::string &text : s.waiting)
        Line(s, out, "; Did not run: " + EvaluationLabel(text));
    s = Session();
    out.captionChanged = true;
}

void SessionInterrupt(Session &s, SessionOutput &out)
{
    if (!s.runningId) {
        Line(s, out, "; Nothing to interrupt.");
        return;
    }
    s.interruptId = Request(s, "(kestralune-listener:interrupt)", out);
}

void SessionQuit(Session &s, SessionOutput &out)
{
    Request(s, "(swank:quit-lisp)", out);
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
        line.resize(longest);
    return cut ? line + " ..." : line;
}
