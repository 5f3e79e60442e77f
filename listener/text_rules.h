// Small text rules of the listener's transcript. No windows.h here: tested
// on the host.
#ifndef KESTRALUNE_TEXT_RULES_H
#define KESTRALUNE_TEXT_RULES_H

#include <string>

// Every line break as CR LF, as the Edit control shows them; CR LF pairs
// already there stay as they are.
std::string ToCrLf(const std::string &text);

// The end of a text that is longer than limit: at most limit bytes,
// starting at a line start where the last limit bytes hold one, else at
// the start of a UTF-8 character.
std::string KeepTail(const std::string &text, size_t limit);

// Control characters other than tab and line breaks shown in caret
// notation (NUL as ^@, ESC as ^[, DEL as ^?): the Edit control would end
// the text at a NUL, and shows the others as nothing or as boxes.
std::string VisibleText(const std::string &text);

// The start of the UTF-8 character at or before index: a text cut there
// keeps whole characters.
size_t CharacterStart(const std::string &text, size_t index);

#endif
