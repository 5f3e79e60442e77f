// The KESTRALUNE listener: a window with a transcript and an input line, a
// DDE server that takes texts to evaluate, and a Swank connection to a Lisp
// that evaluates them. Each module owns its state and offers these verbs.
#ifndef KESTRALUNE_LISTENER_H
#define KESTRALUNE_LISTENER_H

#include <winsock2.h>
#include <windows.h>

#include <string>

#include "listener/options.h"

// Posted to ListenerWindow: socket events (WSAAsyncSelect), and a text taken
// from a DDE execute, waiting in the DDE module's queue.
#define WM_SWANK_SOCKET (WM_APP + 1)
#define WM_DDE_TEXT (WM_APP + 2)

// Timers of ListenerWindow.
#define ReconnectTimer 1
#define TranscriptTimer 2

extern HINSTANCE ListenerInstance;
extern HWND ListenerWindow;
extern ListenerOptions Options;

// window.cpp
bool CreateListenerWindow(HINSTANCE instance, int showCommand);
void UpdateCaption();
extern "C" __declspec(dllexport) LRESULT CALLBACK ListenerWndProc(HWND window, UINT message, WPARAM wParam,
                                                                   LPARAM lParam);

// transcript.cpp: text is UTF-8 with "\n" line breaks. Appends are gathered
// and shown together a moment later (on the TranscriptTimer).
HWND CreateTranscript(HWND parent);
void AppendTranscript(const std::string &text);
void ShowPendingTranscript();
void ClearTranscript();

// inputline.cpp
HWND CreateInputLine(HWND parent);

// swanklink.cpp
void StartSwankLink();
void EndSwankLink();
void ReconnectSwank();
void OnSwankSocket(WPARAM wParam, LPARAM lParam);
void OnSwankTimer();
bool SwankConnected();
const char *SwankLispName();  // empty until the Lisp has named itself
// Queues a UTF-8 text for evaluation; false when no Lisp is connected.
bool SubmitEvaluation(const std::string &text);
void InterruptEvaluation();
void AskLispToQuit();

// ddeserver.cpp: the server runs on a thread of its own.
bool StartDdeServer();
void EndDdeServer();
// Whether executes are taken (a Lisp is connected) or answered "not processed".
void SetDdeAccepting(bool accepting);
void TakeDdeTexts();

// lispprocess.cpp: the Lisp started with -lisp.
void StartLispProcess();
void EndLispProcess();

// codepage.cpp: the ANSI code page of the program against UTF-8 on the wire.
std::string AnsiToUtf8(const char *text, size_t length);
std::string Utf8ToAnsi(const std::string &text);

#endif
