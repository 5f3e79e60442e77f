// Small text rules of the listener's transcript. No windows.h here: tested
// on the host.
#ifndef KESTRALUNE_TEXT_RULES_H
#define KESTRALUNE_TEXT_RULES_H

#include <string>

// Every line break as CR LF, as the Edit control shows them; CR LF pairs
// already there stay as they are.
std::string ToCrLf(const std::string &text);

// Control characters other than tab and line breaks shown in caret
// notation (NUL as ^@, ESC as ^[, DEL as ^?): the Edit control would end
// the text at a NUL, and shows the others as nothing or as boxes.
std::string VisibleText(const std::string &text);

// The start of the UTF-8 character at or before index: a text cut there
// keeps whole characters.
size_t CharacterStart(const std::string &text, size_t index);
// How many UTF-8 characters the text holds.
size_t CharacterCount(const std::string &text);

// A text longer than limit bytes cut to at most limit (at a character's
// start) with note after it; a shorter text as it is.
std::string Shortened(const std::string &text, size_t limit, const std::string &note);
// A long text shown in part: cut at limit bytes, and a line saying that
// the what ("message", "description") is longer than that.
std::string CutWithNote(const std::string &text, size_t limit, const std::string &what);

// Whitespace as the Lisp reader and Swank's writer have it: space, tab,
// the line breaks and form feed.
bool IsBlank(char c);
bool IsLineBreak(char c);
// True when the text holds nothing but whitespace.
bool IsBlankText(const std::string &text);

#endif
