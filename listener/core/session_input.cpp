// The input area's requests: completions, argument lists and descriptions.
// Each goes to thread t, so Swank answers it from a worker thread of its
// own while the REPL thread may be busy with an evaluation, and each is read
// in the REPL's package. A request that fails in the Lisp must not open
// the debugger for a key the user pressed: the forms catch their errors.
#include "listener/core/session_effects.h"
#include "listener/core/text_rules.h"

namespace {

// A description is shown cut at this many bytes, about as long as the
// longest value the REPL shows.
const size_t DescriptionLimit = 16384;

Request Tagged(ReplyProc reply, long tag, const std::string &text)
{
    Request r = Then(reply);
    r.tag = tag;
    r.text = text;
    return r;
}

// (swank:simple-completions ...) answers in one of two shapes: up to Swank
// 2.31, ((NAME ...) COMMON-PREFIX); since 2.32, ((NAME FLAGS DESIGNATOR) ...),
// sorted, with no common prefix (the listener works out its own). An
// error in the Lisp gives nil, as no match does.
void OnCompletions(Session &, const Request &r, bool ok, const Sexp *value, Effects &out)
{
    Effect ready;
    ready.kind = EffectKind::CompletionReady;
    ready.tag = r.tag;
    if (ok && value && value->kind == Sexp::List) {
        const Sexp *names = Item(*value, 0), *prefix = Item(*value, 1);
        if (value->items.size() == 2 && names && IsString(prefix)) {
            for (const Sexp &name : names->items)
                if (name.kind == Sexp::String)
                    ready.items.push_back(name.text);
        } else {
            for (const Sexp &match : value->items)
                if (IsString(Item(match, 0)))
                    ready.items.push_back(Item(match, 0)->text);
        }
    }
    out.push_back(ready);
}

// The text on one line: the Lisp's printer breaks a long argument list
// into lines, and the status line has one.
std::string OneLine(const std::string &text)
{
    std::string line;
    for (char c : text) {
        if (!IsBlank(c))
            line += c;
        else if (!line.empty() && line.back() != ' ')
            line += ' ';
    }
    if (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line;
}

// (swank:operator-arglist ...) answers a string, or nil when none is known.
void OnArglist(Session &, const Request &r, bool ok, const Sexp *value, Effects &out)
{
    Effect ready;
    ready.kind = EffectKind::ArglistReady;
    ready.tag = r.tag;
    ready.name = r.text;
    ready.text = ok && IsString(value) ? VisibleText(OneLine(value->text)) : std::string();
    out.push_back(ready);
}

// A text of the Lisp's in the transcript, cut (what names it in the note)
// and without the blank lines it ends with.
void ShowLispText(Session &s, const std::string &lispText, const char *what, Effects &out)
{
    std::string text = CutWithNote(lispText, DescriptionLimit, what);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    Line(s, out, VisibleText(text));
}

// A string, or (:error MESSAGE) when the Lisp knows no such symbol.
void OnDescription(Session &s, const Request &r, bool ok, const Sexp *value, Effects &out)
{
    if (!ok) {
        Line(s, out, "; No description of " + FirstLine(r.text) + ": the request was aborted.");
        return;
    }
    if (!IsString(value)) {
        const Sexp *why = value ? Item(*value, 1) : nullptr;
        Line(s, out, "; No description of " + FirstLine(r.text) +
                         (IsString(why) ? ": " + FirstLine(why->text) : std::string(".")));
        return;
    }
    ShowLispText(s, value->text, "description", out);
}

// Why a request brought nothing to show: it was aborted, the Lisp's error
// (:error WHY), or an answer of another shape.
void SayFailure(Session &s, const std::string &what, bool ok, const Sexp *value, Effects &out)
{
    if (!ok)
        return Line(s, out, "; " + what + ": the request was aborted.");
    const Sexp *why = value && Item(*value, 0) && IsAtom(*Item(*value, 0), ":error") ? Item(*value, 1) : nullptr;
    Line(s, out, "; " + what + ": " +
                     (IsString(why) ? VisibleText(FirstLine(why->text)) : "the Lisp's answer was not understood."));
}

// A text the Lisp made for the transcript (an expansion, "FOO is now
// traced."), or (:error MESSAGE) from the handler around the request;
// what names the request in a notice.
void OnShownText(Session &s, const Request &r, bool ok, const Sexp *value, Effects &out)
{
    if (ok && IsString(value))
        ShowLispText(s, value->text, "text", out);
    else
        SayFailure(s, r.text, ok, value, out);
}

// SayFailure unless value is a list of places.
bool NoPlaces(Session &s, const std::string &what, bool ok, const Sexp *value, Effects &out)
{
    if (ok && value && value->kind == Sexp::List && !(Item(*value, 0) && IsAtom(*Item(*value, 0), ":error")))
        return false;
    SayFailure(s, what, ok, value, out);
    return true;
}

// Each (DSPEC LOCATION) of the list read into the effect: what it is and its place.
void ReadPlaces(const Sexp &list, Effect *places)
{
    for (const Sexp &entry : list.items) {
        const Sexp *dspec = Item(entry, 0), *location = Item(entry, 1);
        SourcePlace place;
        if (!IsString(dspec) || !location || !ReadPlace(*location, &place))
            continue;
        if (place.known && place.file.empty()) {
            place.known = false;
            place.why = "it was compiled from a text, not a file";
        }
        places->items.push_back(VisibleText(FirstLine(dspec->text)));
        places->places.push_back(place);
    }
}

// (swank:find-definitions-for-emacs NAME) answers ((DSPEC LOCATION) ...),
// nil when the Lisp knows none; a LOCATION may be (:error WHY). Those
// without a place in a file are left out while there are others.
void OnDefinitions(Session &s, const Request &r, bool ok, const Sexp *value, Effects &out)
{
    const std::string name = FirstLine(VisibleText(r.text));
    if (ok && value && IsAtom(*value, "nil"))
        return Line(s, out, "; No definition of " + name + " is known");
    if (NoPlaces(s, "Find Definition of " + name, ok, value, out))
        return;
    Effect all, ready;
    ReadPlaces(*value, &all);
    ready.kind = EffectKind::DefinitionsReady;
    ready.name = name;
    for (size_t i = 0; i < all.places.size(); i++) {
        if (all.places[i].known) {
            ready.items.push_back(all.items[i]);
            ready.places.push_back(all.places[i]);
        }
    }
    if (!ready.places.empty())
        out.push_back(ready);
    else if (!all.places.empty())
        Line(s, out, "; The source of " + name + " is not known: " + all.items[0] + ": " +
                         VisibleText(FirstLine(all.places[0].why)));
    else
        Line(s, out, "; Find Definition of " + name + ": the Lisp's answer was not understood.");
}

// (swank:xref :calls NAME) answers ((DSPEC LOCATION) ...), nil when there
// are none, :not-implemented where the Lisp keeps no such record.
void OnReferences(Session &s, const Request &r, bool ok, const Sexp *value, Effects &out)
{
    const bool calls = r.tag != 0;
    const std::string name = FirstLine(VisibleText(r.text));
    const std::string what = (calls ? "callers of " : "references to ") + name;
    const std::string command = calls ? "Who Calls" : "Who References", title = command + " " + name;
    if (ok && value && IsAtom(*value, ":not-implemented"))
        return Line(s, out, "; " + command + " is not implemented by " +
                                (s.lispName.empty() ? std::string("this Lisp") : s.lispName) + ".");
    if (ok && value && IsAtom(*value, "nil"))
        return Line(s, out, "; No " + what + " are known");
    if (NoPlaces(s, title, ok, value, out))
        return;
    Effect ready;
    ReadPlaces(*value, &ready);
    ready.kind = EffectKind::ReferencesReady;
    ready.name = name;
    ready.text = what;
    if (ready.places.empty())
        return Line(s, out, "; " + title + ": the Lisp's answer was not understood.");
    out.push_back(ready);
}

// (swank:compile-string-for-emacs ...) answers (:compilation-result NOTES
// SUCCESS DURATION LOADP FASL); a compiled text is loaded when it succeeds.
void OnCompiled(Session &s, const Request &r, bool ok, const Sexp *value, Effects &out)
{
    const std::string name = FirstLine(VisibleText(r.text));
    Compilation compilation;
    if (!ok || !value || !ReadCompilation(*value, &compilation)) {
        return SayFailure(s, "Compile " + name, ok, value, out);
    }
    Line(s, out, CompilationSummary(name, compilation, compilation.success ? "loaded" : "failed: not loaded"));
    if (compilation.notes.empty())
        return;
    Effect ready;
    ready.kind = EffectKind::NotesReady;
    ready.name = name;
    ready.notes = compilation.notes;
    out.push_back(ready);
}

// A Swank call with its errors caught: (:error MESSAGE) in their place.
std::string Caught(const std::string &call)
{
    return "(cl:handler-case " + call +
           " (cl:error (condition) (cl:list :error (cl:ignore-errors (cl:princ-to-string condition)))))";
}

// (swank:load-file FASL) answers the printed value of LOAD; the summary of
// the compilation waits for it, kept in the request, as "...; " ending.
void OnFileLoaded(Session &s, const Request &r, bool ok, const Sexp *value, Effects &out)
{
    if (ok && IsString(value))
        return Line(s, out, r.text + "loaded");
    const Sexp *why = ok && value && Item(*value, 0) && IsAtom(*Item(*value, 0), ":error") ? Item(*value, 1) : nullptr;
    Line(s, out, r.text + "not loaded: " +
                     (IsString(why) ? VisibleText(FirstLine(why->text))
                      : ok          ? std::string("the Lisp's answer was not understood.")
                                    : std::string("the load was aborted.")));
}

// (swank:compile-file-for-emacs FILE t) answers as compile-string-for-emacs
// does, and leaves the loading to the client: the compiled file (FASL) is
// loaded with swank:load-file when the compilation succeeded, as SLIME does.
void OnFileCompiled(Session &s, const Request &r, bool ok, const Sexp *value, Effects &out)
{
    const std::string name = FirstLine(VisibleText(r.text));
    Compilation compilation;
    if (!ok || !value || !ReadCompilation(*value, &compilation))
        return SayFailure(s, "Compile " + name, ok, value, out);
    if (!compilation.notes.empty()) {
        Effect ready;
        ready.kind = EffectKind::NotesReady;
        ready.name = name;
        ready.notes = compilation.notes;
        out.push_back(ready);
    }
    if (!compilation.success)
        return Line(s, out, CompilationSummary(name, compilation, "failed: not loaded"));
    if (compilation.fasl.empty())
        return Line(s, out, CompilationSummary(name, compilation, "not loaded: the Lisp wrote no compiled file"));
    Request load = Then(OnFileLoaded);
    load.text = CompilationSummary(name, compilation, "");
    SendRequest(s, Caught("(swank:load-file " + LispString(compilation.fasl) + ")"), LispString(s.package), "t",
                load, out);
}

// Sends the form to a worker thread, read in the package; false without a
// ready Lisp.
bool AskWorkerIn(Session &s, const std::string &form, const std::string &package, const Request &request,
                 Effects &out)
{
    if (s.state != LinkState::Ready)
        return false;
    SendRequest(s, form, LispString(package), "t", request, out);
    return true;
}

// The same in the REPL's package.
bool AskWorker(Session &s, const std::string &form, const Request &request, Effects &out)
{
    return AskWorkerIn(s, form, s.package, request, out);
}

// The call with its errors answering nil, as no answer does.
std::string Quiet(const std::string &call)
{
    return "(cl:handler-case " + call + " (cl:error () nil))";
}

}  // namespace

bool SessionComplete(Session &s, const std::string &prefix, long tag, Effects &out)
{
    return AskWorker(s, Quiet("(swank:simple-completions " + LispString(prefix) + " " + LispString(s.package) + ")"),
                     Tagged(OnCompletions, tag, prefix), out);
}

bool SessionArglist(Session &s, const std::string &name, long tag, Effects &out)
{
    return AskWorker(s, Quiet("(swank:operator-arglist " + LispString(name) + " " + LispString(s.package) + ")"),
                     Tagged(OnArglist, tag, name), out);
}

bool SessionDescribe(Session &s, const std::string &name, Effects &out)
{
    return AskWorker(s, Caught("(swank:describe-symbol " + LispString(name) + ")"), Tagged(OnDescription, 0, name),
                     out);
}

bool SessionMacroexpand(Session &s, const std::string &form, bool all, Effects &out)
{
    std::string call = all ? "swank:swank-macroexpand-all" : "swank:swank-macroexpand-1";
    return AskWorker(s, Caught("(" + call + " " + LispString(form) + ")"),
                     Tagged(OnShownText, 0, "Macroexpansion of " + FirstLine(VisibleText(form))), out);
}

bool SessionToggleTrace(Session &s, const std::string &name, Effects &out)
{
    return AskWorker(s, Caught("(swank:swank-toggle-trace " + LispString(name) + ")"),
                     Tagged(OnShownText, 0, "Toggle Trace of " + FirstLine(VisibleText(name))), out);
}

bool SessionUntraceAll(Session &s, Effects &out)
{
    return AskWorker(s, Caught("(cl:progn (swank:untrace-all) \"; Nothing is traced now.\")"),
                     Tagged(OnShownText, 0, "Untrace All"), out);
}

bool SessionFindDefinitions(Session &s, const std::string &name, Effects &out)
{
    return AskWorker(s, Caught("(swank:find-definitions-for-emacs " + LispString(name) + ")"),
                     Tagged(OnDefinitions, 0, name), out);
}

bool SessionWhoCalls(Session &s, const std::string &name, bool calls, Effects &out)
{
    return AskWorker(s, Caught(std::string("(swank:xref ") + (calls ? ":calls " : ":references ") + LispString(name) + ")"),
                     Tagged(OnReferences, calls, name), out);
}

bool SessionCompileText(Session &s, const std::string &text, const std::string &buffer, const std::string &package,
                        Effects &out)
{
    return AskWorkerIn(s,
                       Caught("(swank:compile-string-for-emacs " + LispString(text) + " " + LispString(buffer) +
                              " (cl:quote ((:position 1) (:line 1 1))) nil nil)"),
                       package.empty() ? s.package : package, Tagged(OnCompiled, 0, buffer), out);
}

bool SessionCompileFile(Session &s, const std::string &lispPath, const std::string &name, Effects &out)
{
    return AskWorker(s, Caught("(swank:compile-file-for-emacs " + LispString(lispPath) + " t)"),
                     Tagged(OnFileCompiled, 0, name), out);
}
