// The listener's input history kept between runs, in
// %APPDATA%\KESTRALUNE\history.txt (the format is in history.h). Several
// listeners may share the file: each saved input is added to what the file
// holds then, and the file is always replaced whole.
#ifndef KESTRALUNE_HISTORYFILE_H
#define KESTRALUNE_HISTORYFILE_H

#include <string>

#include "listener/history.h"

// Fills h from the file. A missing file is an empty history (true). A damaged
// or unreadable file leaves h empty and gives false with a one-line reason.
bool LoadHistoryFile(History &h, std::string *problem);

// Adds a UTF-8 input to the file (not a blank one, nor a repeat of the file's
// last entry), which keeps the last HistoryLimit. A damaged file is first
// moved aside to history-damaged.txt so that nothing is overwritten unread.
// False with a one-line reason when the input could not be saved.
bool SaveHistoryEntry(const std::string &entry, std::string *problem);

#endif
