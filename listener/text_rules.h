// Small text rules of the listener's transcript. No windows.h here: tested
// on the host.
#ifndef KESTRALUNE_TEXT_RULES_H
#define KESTRALUNE_TEXT_RULES_H

#include <string>

// Every line break as CR LF, as the Edit control shows them; CR LF pairs
// already there stay as they are.
std::string ToCrLf(const std::string &text);

// The end of a text that is longer than limit: at most limit characters,
// starting at a line start where the last limit characters hold one.
std::string KeepTail(const std::string &text, size_t limit);

#endif
