// Swank frames and the small s-expression reader for what the Lisp sends.
#include "listener/core/swank_wire.h"
#include "listener/core/text_rules.h"

#include <stdlib.h>
#include <string.h>
#include <strings.h>

void FeedBytes(FrameReader &reader, const char *bytes, size_t count)
{
    reader.pending.erase(0, reader.taken);
    reader.taken = 0;
    reader.pending.append(bytes, count);
}

bool BytesWaiting(const FrameReader &reader)
{
    return reader.pending.size() > reader.taken;
}

static int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

FrameResult NextFrame(FrameReader &reader, std::string *payload)
{
    const char *in = reader.pending.data() + reader.taken;
    const size_t waiting = reader.pending.size() - reader.taken;
    if (waiting < 6)
        return FrameIncomplete;
    size_t length = 0;
    for (int i = 0; i < 6; i++) {
        int digit = HexValue(in[i]);
        if (digit < 0)
            return FrameMalformed;
        length = length * 16 + (size_t)digit;
    }
    if (waiting - 6 < length)
        return FrameIncomplete;
    payload->assign(in + 6, length);
    reader.taken += 6 + length;
    return FrameReady;
}

bool EncodeFrame(const std::string &payload, std::string *frame)
{
    if (payload.size() > MaxFramePayload)
        return false;
    static const char digits[] = "0123456789abcdef";
    frame->assign(6, '0');
    size_t length = payload.size();
    for (int i = 5; i >= 0; i--, length /= 16)
        (*frame)[i] = digits[length % 16];
    *frame += payload;
    return true;
}

std::string LispString(const std::string &text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + '"';
}

namespace {

struct SexpInput {
    const std::string &text;
    size_t at;
};

void SkipBlanks(SexpInput &in)
{
    while (in.at < in.text.size() && IsBlank(in.text[in.at]))
        in.at++;
}

// After the opening quote: the text up to the closing one, unescaped.
bool ReadString(SexpInput &in, Sexp *out)
{
    out->kind = Sexp::String;
    while (in.at < in.text.size()) {
        char c = in.text[in.at++];
        if (c == '"')
            return true;
        if (c == '\\') {
            if (in.at == in.text.size())
                return false;
            c = in.text[in.at++];
        }
        out->text += c;
    }
    return false;
}

// A symbol or number: up to a blank, a parenthesis or a quote; "|...|"
// spans anything but '|', and a '\' takes the next character as it is.
bool ReadAtom(SexpInput &in, Sexp *out)
{
    out->kind = Sexp::Atom;
    bool barred = false;
    while (in.at < in.text.size()) {
        char c = in.text[in.at];
        if (!barred && (IsBlank(c) || c == '(' || c == ')' || c == '"'))
            break;
        in.at++;
        if (c == '|')
            barred = !barred;
        else if (c == '\\' && in.at == in.text.size())
            return false;
        out->text += c;
        if (c == '\\')
            out->text += in.text[in.at++];
    }
    return !barred && !out->text.empty();
}

bool ReadExpression(SexpInput &in, Sexp *out, int depth)
{
    SkipBlanks(in);
    if (in.at == in.text.size())
        return false;
    char c = in.text[in.at];
    if (c == ')')
        return false;
    if (c == '"') {
        in.at++;
        return ReadString(in, out);
    }
    if (c != '(')
        return ReadAtom(in, out);
    if (depth == MaxSexpDepth)
        return false;
    in.at++;
    out->kind = Sexp::List;
    for (;;) {
        SkipBlanks(in);
        if (in.at == in.text.size())
            return false;
        if (in.text[in.at] == ')') {
            in.at++;
            return true;
        }
        out->items.emplace_back();
        if (!ReadExpression(in, &out->items.back(), depth + 1))
            return false;
    }
}

}  // namespace

bool ReadSexp(const std::string &payload, Sexp *out)
{
    *out = Sexp();
    SexpInput in{payload, 0};
    if (!ReadExpression(in, out, 0))
        return false;
    SkipBlanks(in);
    return in.at == payload.size();
}

bool IsAtom(const Sexp &e, const char *text)
{
    return e.kind == Sexp::Atom && strcasecmp(e.text.c_str(), text) == 0;
}

const Sexp *Item(const Sexp &e, size_t index)
{
    return e.kind == Sexp::List && index < e.items.size() ? &e.items[index] : nullptr;
}

bool IsString(const Sexp *e)
{
    return e && e->kind == Sexp::String;
}

std::string StringText(const Sexp *e)
{
    return IsString(e) ? e->text : std::string();
}

long Number(const Sexp *e)
{
    return e && e->kind == Sexp::Atom ? strtol(e->text.c_str(), nullptr, 10) : 0;
}

bool ReadNumber(const Sexp *e, long *value)
{
    if (!e || e->kind != Sexp::Atom || e->text.empty())
        return false;
    char *end;
    *value = strtol(e->text.c_str(), &end, 10);
    return *end == '\0';
}

const Sexp *Property(const Sexp *plist, const char *key)
{
    for (size_t i = 0; plist && i + 1 < plist->items.size(); i += 2)
        if (IsAtom(plist->items[i], key))
            return &plist->items[i + 1];
    return nullptr;
}
