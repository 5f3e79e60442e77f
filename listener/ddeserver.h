// The DDE server on service and topic KESTRALUNE, on a thread of its own.
// Executes are queued and acknowledged at once while a Lisp is connected,
// and answered "not processed" otherwise; WM_DDE_TEXT is posted to the
// window given at the start for each.
#ifndef KESTRALUNE_DDESERVER_H
#define KESTRALUNE_DDESERVER_H

// winsock2.h before windows.h, so that the headers may come in any order.
#include <winsock2.h>
#include <windows.h>

#include <string>
#include <vector>

#define WM_DDE_TEXT (WM_APP + 2)

bool StartDdeServer(HWND notify);
void EndDdeServer();
void SetDdeAccepting(bool accepting);
// The texts taken since the last call (ANSI, oldest first) and how many
// were refused meanwhile.
void TakeDdeTexts(std::vector<std::string> *texts, unsigned *refused);

#endif
