// Earlier inputs of the listener's input line, recalled with Up and Down as
// in a shell. No windows.h here: tested on the host.
#ifndef KESTRALUNE_HISTORY_H
#define KESTRALUNE_HISTORY_H

#include <string>
#include <vector>

const size_t HistoryLimit = 200;

struct History {
    std::vector<std::string> entries;  // oldest first
    size_t at = 0;                     // entries.size() while not recalling
};

// Remembers an input (not a blank one, nor a repeat of the last) and ends recalling.
void HistoryAdd(History &h, const std::string &input);
// The entry before or after the one recalled; false at either end. Moving
// past the newest gives back an empty line.
bool HistoryPrevious(History &h, std::string *input);
bool HistoryNext(History &h, std::string *input);

#endif
