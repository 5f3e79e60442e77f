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

// A text from the editor, and the process of the editor that sent it (0
// when not known), whose window shows the file it came from.
struct EditorText {
    std::string text;  // ANSI
    DWORD process;
};

bool StartDdeServer(HWND notify);
void EndDdeServer();
void SetDdeAccepting(bool accepting);
// The texts taken since the last call (oldest first) and how many were
// refused meanwhile.
void TakeDdeTexts(std::vector<EditorText> *texts, unsigned *refused);

#endif
