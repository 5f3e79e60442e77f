// The listener's input history kept between runs, in
// %APPDATA%\KESTRALUNE\history.txt (the format is in history.h). Several
// listeners may share the file: each saved input is added to what the file
// holds then, and the file is always replaced whole.
#ifndef KESTRALUNE_HISTORYFILE_H
#define KESTRALUNE_HISTORYFILE_H

// winsock2.h before windows.h, so that the headers may come in any order.
#include <winsock2.h>
#include <windows.h>

#include <string>

#include "listener/core/history.h"

// Fills h from the file. A missing file is an empty history (true). A damaged
// or unreadable file leaves h empty and gives false with a one-line reason.
bool LoadHistoryFile(History &h, std::string *problem);

// Saves on a thread of its own, started with the first entry, so that the
// window's thread never waits for the disk nor for another listener's save.
// Entries are saved in the order given; the outcome of each is posted to
// window as message (those of the first call), with lParam a new
// std::string that the window deletes: the one-line reason, empty when the
// entry was saved.
void QueueHistoryEntry(const std::string &entry, HWND window, UINT message);
// Lets the entries queued be saved, waiting for them a few seconds at most
// (a save that still waits for the lock then ends with the process, leaving
// the file as it was), and ends the thread.
void EndHistoryWriter();

#endif
