// Shared by the listener's tests under Wine: kestralune.exe as a child
// process, read from outside through its windows, and a Swank server of the
// test's own on a loopback port to play the Lisp.
#ifndef KESTRALUNE_LISTENERTEST_H
#define KESTRALUNE_LISTENERTEST_H

#include <winsock2.h>
#include <windows.h>

#include <string>
#include <vector>

#include "listener/core/swank_wire.h"
#include "tests/support/process.h"

// Starts kestralune.exe with the arguments (UTF-8) and waits for its
// window; with the environment changes when given (as StartProgramLine
// takes them: "NAME=value", "NAME=" to remove one).
Program StartListener(const std::string &arguments, const std::vector<std::string> &environment = {});
// Ends it (Exit from its menu) and waits; its exit code.
DWORD StopListener(Program &listener);
// The transcript's whole text as UTF-8, read through the W messages, so
// characters outside the ANSI code page come through.
std::string Transcript(const Program &listener);
std::string Caption(const Program &listener);
// Waits up to ms for the transcript to hold the text (after the given
// offset), pumping this thread's messages meanwhile; true when it does.
bool WaitForTranscript(const Program &listener, const std::string &text, DWORD ms = 20000, size_t from = 0);
bool WaitForCaption(const Program &listener, const std::string &prefix, DWORD ms = 20000);
// Sends a menu command to the listener's window.
void ListenerCommand(const Program &listener, int id);
// True when the listener is connected, shows no debugger window and the
// Lisp waits for no input (its caption says no more than whom it is
// connected to).
bool ListenerIdle(const Program &listener);
// Leaves the listener with no debugger level, question or queued text, as
// a test that failed half-way may leave it: it connects to the Lisp anew
// (Reconnect), which ends what the old connection ran; the Lisp keeps its
// definitions. True once it is connected again, within ms.
bool ResetListener(const Program &listener, DWORD ms = 30000);
// Puts the text (UTF-8) on the listener's input line and presses Enter
// there, as the user would; false when the text could not be set.
bool EnterInput(const Program &listener, const std::string &text);

// The listener's debugger window: a visible top-level window of class
// KestraluneDebugger of that process, waited for up to ms (looked for once
// when ms is 0); null when there is none.
HWND DebuggerWindowOf(const Program &listener, DWORD ms = 10000);
// Waits up to ms until the listener shows no debugger window.
bool WaitForNoDebugger(const Program &listener, DWORD ms = 10000);
// The listener's inspector window, as DebuggerWindowOf finds the debugger's.
HWND InspectorWindowOf(const Program &listener, DWORD ms = 10000);
// Its object's title, its lines and its status line, as UTF-8.
std::string InspectorTitle(HWND inspector);
std::vector<std::string> InspectorLines(HWND inspector);
std::string InspectorStatus(HWND inspector);
// Waits up to ms until the inspector's title holds title (in any case) and, unless line
// is empty, one of its lines holds line.
bool WaitForInspector(HWND inspector, const std::string &title, const std::string &line, DWORD ms = 20000);
// The text of a control of another process, as UTF-8.
std::string ControlText(HWND control);
// The lines of a list box of another process, as UTF-8.
std::vector<std::string> ListLines(HWND list);
// The debugger's condition (UTF-8, CR LF line breaks), and its restarts
// and backtrace lists.
std::string DebuggerCondition(HWND debugger);
std::vector<std::string> DebuggerRestarts(HWND debugger);
std::vector<std::string> DebuggerFrames(HWND debugger);
// A key typed in the debugger window, posted to its list that has the focus
// (the restarts list when the focus is elsewhere): a character as WM_CHAR;
// L'\x1b' (Esc) and L'\r' (Enter) as the key-down of VK_ESCAPE and VK_RETURN.
void TypeInDebugger(HWND debugger, wchar_t c);

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
// Whether with_swank.sh runs ECL rather than SBCL (KESTRALUNE_TEST_LISP).
bool OnEcl();

// The Lisp's secret file that with_swank.sh passes (KESTRALUNE_TEST_SECRET),
// as the listener's option (" -secret \"Z:\\...\"") and as its first line;
// empty without one.
std::string SecretOption();
std::string SecretText();

// Files and folders of a test's own, named in UTF-8: a folder under the
// temporary folder made anew and empty; a folder made; a file's whole text
// written or read; a folder removed with its files and folders of files.
std::string OwnFolder(const std::string &name);
bool MakeFolder(const std::string &path);
bool WriteText(const std::string &path, const std::string &text);
bool ReadText(const std::string &path, std::string *text);
void RemoveFolder(const std::string &folder);

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
// The request that evaluates one form in Swank's REPL, as the listener sends it.
std::string ListenerEvalRequest(const std::string &form, long id);
// Accepts the listener and plays Swank's side of its handshake as a Lisp
// named "FAKE 1.0" (process 123): with secret given, the first frame must be
// that secret; then (swank:connection-info), the request that loads the REPL
// and the listener's helper (ids 1 and 2), and the helper's create-repl
// (id 3), answered with the package COMMON-LISP-USER and the prompt CL-USER.
// False, with the reason in why when given, when the listener did not
// say what is expected; the first form evaluated then has id 4.
bool GreetListener(FakeSwank &swank, const char *secret = nullptr, std::string *why = nullptr);
// The requests of that handshake, each as it begins (each guarded, so that
// an error in the Lisp answers instead of opening its debugger), and the
// value GreetListener answers it with.
struct ConnectStep {
    const char *request, *value;
};
extern const ConnectStep ConnectSteps[3];
void ClosePeer(FakeSwank &swank);
void CloseSwank(FakeSwank &swank);

#endif
