// Shared by the listener's tests under Wine: kestralune.exe as a child
// process, read from outside through its windows, and a Swank server of the
// test's own on a loopback port to play the Lisp.
#ifndef KESTRALUNE_LISTENERTEST_H
#define KESTRALUNE_LISTENERTEST_H

#include <winsock2.h>
#include <windows.h>

#include <string>

#include "listener/swank_wire.h"
#include "tests/support/process.h"

// Starts kestralune.exe with the arguments and waits for its window.
Program StartListener(const std::string &arguments);
// Ends it (Exit from its menu) and waits; its exit code.
DWORD StopListener(Program &listener);
std::string Transcript(const Program &listener);
std::string Caption(const Program &listener);
// Waits up to ms for the transcript to hold the text (after the given
// offset), pumping this thread's messages meanwhile; true when it does.
bool WaitForTranscript(const Program &listener, const std::string &text, DWORD ms = 20000, size_t from = 0);
bool WaitForCaption(const Program &listener, const std::string &prefix, DWORD ms = 20000);
// Sends a menu command to the listener's window.
void ListenerCommand(const Program &listener, int id);

// The memory a process holds in RAM (its working set). Under Wine the
// private bytes of another process always read 0, while the working set is
// the Unix process's resident size (VmRSS), so that is what is measured.
size_t WorkingSet(HANDLE process);
// True when the process still runs and its main window answers a message
// within a second.
bool ListenerAnswers(const Program &listener);

// Asks tests/listener/with_swank.sh to "kill" or "start" the Lisp and waits
// up to ms for it to be done; false when it was not (or no script listens).
bool LispRequest(const char *request, DWORD ms = 30000);
// True when the full soak runs were asked for (QUILLON_SOAK=full): then the
// long counts are used in place of the short ones.
bool FullSoak();

// Winsock for this process, once.
void StartSockets();

// A Swank server played by the test: listens on a loopback port of its own.
struct FakeSwank {
    SOCKET listening = INVALID_SOCKET;
    SOCKET peer = INVALID_SOCKET;
    unsigned short port = 0;
    FrameReader reader;
};
bool ListenSwank(FakeSwank &swank, unsigned short port = 0);
// Waits up to ms for the listener to connect.
bool AcceptSwank(FakeSwank &swank, DWORD ms = 10000);
// The next whole request, read within ms; empty on a time-out or close.
std::string ReadRequest(FakeSwank &swank, DWORD ms = 10000);
// The id of an :emacs-rex request (its last item), or -1.
long RequestId(const std::string &request);
bool SendRaw(FakeSwank &swank, const std::string &bytes);
bool SendPayload(FakeSwank &swank, const std::string &payload);
// Accepts the listener and answers its helper request as a Lisp named "FAKE 1.0".
bool GreetListener(FakeSwank &swank);
void ClosePeer(FakeSwank &swank);
void CloseSwank(FakeSwank &swank);

#endif
