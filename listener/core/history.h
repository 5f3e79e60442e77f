// Earlier inputs of the listener's input area, recalled with Up and Down as
// in a shell, and the text of the file that keeps them between runs. No
// windows.h here: tested on the host.
#ifndef KESTRALUNE_HISTORY_H
#define KESTRALUNE_HISTORY_H

#include <string>
#include <vector>

// The last HistoryLimit inputs are kept, in memory and in the file.
const size_t HistoryLimit = 500;

struct History {
    std::vector<std::string> entries;  // oldest first
    size_t at = 0;                     // entries.size() while not recalling
};

// Remembers an input (not a blank one, nor a repeat of the last) and ends
// recalling. True when the input was kept.
bool HistoryAdd(History &h, const std::string &input);
// The entry before or after the one recalled; false at either end. Moving
// past the newest gives back an empty line.
bool HistoryPrevious(History &h, std::string *input);
bool HistoryNext(History &h, std::string *input);

// The history file: UTF-8 text, the header line HistoryFileHeader, then one
// entry per line, oldest first, with a backslash, CR and LF in an entry
// written as \\, \r and \n. Lines end in CR LF; LF alone is read too.
extern const char HistoryFileHeader[];
// The file's text for the last HistoryLimit of the entries.
std::string FormatHistoryFile(const std::vector<std::string> &entries);
// The entries of a file's text, at most the last HistoryLimit. False for a
// damaged text (another header, a bad escape, a last line cut off), with
// *entries left empty and *problem (when given) saying what is wrong.
bool ReadHistoryFile(const std::string &bytes, std::vector<std::string> *entries, std::string *problem = nullptr);

#endif
