// The Swank wire format: each message is a frame of six hexadecimal digits
// giving the payload's length in bytes, then the payload, one s-expression in
// UTF-8. Strings in it are double-quoted with '"' and '\' escaped by a '\'.
//
// No windows.h here: the host compiler tests and fuzzes the frame reader and
// the s-expression reader, which see every byte the Lisp sends.
#ifndef KESTRALUNE_SWANK_WIRE_H
#define KESTRALUNE_SWANK_WIRE_H

#include <stddef.h>

#include <string>
#include <vector>

// The largest payload six hex digits can announce. The listener takes any
// frame up to it: Swank sends output in pieces and the helper cuts long
// values, but a condition's text (an abort's reason) may be megabytes long.
const size_t MaxFramePayload = 0xFFFFFF;
// Lists nest at most this deep in a message we read; deeper is malformed.
const int MaxSexpDepth = 64;

// Bytes received: those from `taken` on are not yet taken as frames. The
// bytes taken are dropped only when more arrive, so that a batch of many
// small frames is read in one pass, not moved up once for each frame.
struct FrameReader {
    std::string pending;
    size_t taken = 0;
};

enum FrameResult {
    FrameIncomplete,  // more bytes are needed
    FrameReady,       // a whole payload was taken out
    FrameMalformed,   // the header is not six hex digits
};

void FeedBytes(FrameReader &reader, const char *bytes, size_t count);
// Takes the next whole frame's payload out of the reader.
FrameResult NextFrame(FrameReader &reader, std::string *payload);
// True when bytes of an unfinished frame are waiting.
bool BytesWaiting(const FrameReader &reader);

// The frame for a payload; false when it is too long for the header.
bool EncodeFrame(const std::string &payload, std::string *frame);
// The text as a Lisp string literal.
std::string LispString(const std::string &text);

// A message read back: a list, a string (its text unescaped) or any other
// atom (symbol, keyword, number; its text as written).
struct Sexp {
    enum Kind { List, String, Atom } kind = Atom;
    std::string text;
    std::vector<Sexp> items;
};

// Reads the whole payload as one s-expression; false when it is not exactly
// one well-formed expression no deeper than MaxSexpDepth.
bool ReadSexp(const std::string &payload, Sexp *out);

// Helpers for looking into a message.
bool IsAtom(const Sexp &e, const char *text);  // case-insensitive, as Lisp reads
const Sexp *Item(const Sexp &e, size_t index);  // null unless a list that long
bool IsString(const Sexp *e);
// A string's text; empty for anything else.
std::string StringText(const Sexp *e);
// The integer an atom writes (an id, a level, a frame, a process), 0 when
// e is none.
long Number(const Sexp *e);
// Whether e is an atom that writes a whole integer, and that integer in value.
bool ReadNumber(const Sexp *e, long *value);
// The value of KEY in a property list (:KEY VALUE ...), or null.
const Sexp *Property(const Sexp *plist, const char *key);

#endif
