// The input line under the transcript: Enter hands what is typed there to
// the parent (WM_LISTENER_INPUT), Up and Down recall earlier inputs.
#ifndef KESTRALUNE_INPUTLINE_H
#define KESTRALUNE_INPUTLINE_H

// winsock2.h before windows.h, so that the headers may come in any order.
#include <winsock2.h>
#include <windows.h>

// Sent to the parent: lParam points to the text (UTF-8, a std::string), the
// answer is an InputTaken. Posted to the parent when the input's height changed.
#define WM_LISTENER_INPUT (WM_APP + 3)
#define WM_INPUT_RESIZED (WM_APP + 4)

// What the parent answers to WM_LISTENER_INPUT.
enum InputTaken {
    InputKept = 0,       // not taken: the text stays
    InputEvaluated = 1,  // taken to evaluate: remembered in the history
    InputAnswered = 2,   // taken as the Lisp's input: not remembered
};

HWND CreateInputLine(HWND parent, HFONT font);
// The height the input wants for the given width.
int InputLineHeight();

#endif
