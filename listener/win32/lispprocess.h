// The Lisp that -lisp names, started before the first connection attempt
// and ended with the listener.
#ifndef KESTRALUNE_LISPPROCESS_H
#define KESTRALUNE_LISPPROCESS_H

#include <string>

// Starts it (the command in UTF-8); what to say of it in the transcript.
std::string StartLispProcess(const std::string &command);
bool LispProcessStarted();
// Waits up to two seconds for it to end, then ends it and whatever it
// started (where Wine gives a handle: a Linux program started this way
// gives none).
void EndLispProcess();

#endif
