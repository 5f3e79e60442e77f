// The listener's command line:
// kestralune [-host NAME] [-port N] [-lisp "COMMAND"] [-secret FILE].
// No windows.h here: tested on the host.
#ifndef KESTRALUNE_OPTIONS_H
#define KESTRALUNE_OPTIONS_H

#include <string>

struct ListenerOptions {
    std::string host = "127.0.0.1";
    unsigned short port = 4005;
    std::string lispCommand;  // empty: connect to a Lisp already running
    std::string secretFile;   // the file holding Swank's secret; empty: none
};

// Reads argv[1..argc-1]; false on an unknown option, a missing value or a
// port that is not a number from 1 to 65535.
bool ReadListenerOptions(int argc, const char *const *argv, ListenerOptions *options);

#endif
