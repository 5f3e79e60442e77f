// The input area's requests: completions, argument lists and descriptions.
// Each goes to thread t, so Swank answers it from a worker thread of its
// own while the REPL thread may be busy with an evaluation, and each is read
// in the REPL's package. A request that fails in the Lisp must not open
// the debugger for a key the user pressed: the forms catch their errors.
#include "listener/session_parts.h"
#include "listener/text_rules.h"

namespace {

// A description is shown cut at this many bytes, as the REPL's values are.
const size_t DescriptionLimit = 16384;

Request Tagged(AnswerProc answer, long tag, const std::string &text)
{
    Request r;
    r.answer = answer;
    r.tag = tag;
    r.text = text;
    return r;
}

// (swank:simple-completions ...) answers ((MATCH ...) COMMON-PREFIX); an
// error in the Lisp gives nil, as no match does.
void OnCompletions(Session &, const Request &r, bool ok, const Sexp *value, SessionOutput &out)
{
    out.completionReady = true;
    out.completionTag = r.tag;
    out.completions.clear();
    const Sexp *matches = ok && value ? Item(*value, 0) : nullptr;
    if (matches && matches->kind == Sexp::List)
        for (const Sexp &m : matches->items)
            if (m.kind == Sexp::String)
                out.completions.push_back(m.text);
}

// The text on one line: the Lisp's printer breaks a long argument list
// into lines, and the status line has one.
std::string OneLine(const std::string &text)
{
    std::string line;
    for (char c : text) {
        bool blank = c == ' ' || c == '\t' || c == '\n' || c == '\r';
        if (!blank)
            line += c;
        else if (!line.empty() && line.back() != ' ')
            line += ' ';
    }
    if (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line;
}

// (swank:operator-arglist ...) answers a string, or nil when none is known.
void OnArglist(Session &, const Request &r, bool ok, const Sexp *value, SessionOutput &out)
{
    out.arglistReady = true;
    out.arglistTag = r.tag;
    out.arglistName = r.text;
    out.arglist = ok && IsString(value) ? VisibleText(OneLine(value->text)) : std::string();
}

// A string, or (:error MESSAGE) when the Lisp knows no such symbol.
void OnDescription(Session &s, const Request &r, bool ok, const Sexp *value, SessionOutput &out)
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
    std::string text = value->text;
    if (text.size() > DescriptionLimit)
        text = text.substr(0, CharacterStart(text, DescriptionLimit)) + " ...\n[cut: the description is longer than " +
               std::to_string(DescriptionLimit) + " characters]";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    Line(s, out, VisibleText(text));
}

}  // namespace

bool SessionComplete(Session &s, const std::string &prefix, long tag, SessionOutput &out)
{
    if (!s.ready)
        return false;
    SendRequest(s,
                "(cl:handler-case (swank:simple-completions " + LispString(prefix) + " " + LispString(s.package) +
                    ") (cl:error () nil))",
                LispString(s.package), "t", Tagged(OnCompletions, tag, prefix), out);
    return true;
}

bool SessionArglist(Session &s, const std::string &name, long tag, SessionOutput &out)
{
    if (!s.ready)
        return false;
    SendRequest(s,
                "(cl:handler-case (swank:operator-arglist " + LispString(name) + " " + LispString(s.package) +
                    ") (cl:error () nil))",
                LispString(s.package), "t", Tagged(OnArglist, tag, name), out);
    return true;
}

bool SessionDescribe(Session &s, const std::string &name, SessionOutput &out)
{
    if (!s.ready)
        return false;
    SendRequest(s,
                "(cl:handler-case (swank:describe-symbol " + LispString(name) +
                    ") (cl:error (condition) (cl:list :error (cl:ignore-errors (cl:princ-to-string condition)))))",
                LispString(s.package), "t", Tagged(OnDescription, 0, name), out);
    return true;
}
