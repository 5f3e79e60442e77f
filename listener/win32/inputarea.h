// The input area under the transcript: a multi-line Edit that grows with its
// lines up to a third of the window, and under it a status line with the
// argument list of the form at the caret. Enter hands the text to the parent
// (WM_LISTENER_INPUT) once it holds complete forms, and otherwise begins a
// new line indented as the editor's Tab would; Ctrl+Enter hands it over as
// it is, and while the Lisp reads input Enter always does. Tab re-indents
// the line or completes the symbol before the caret, F1 describes the
// symbol at the caret: what the Lisp is asked goes through the parent
// (WM_INPUT_REQUEST), and the parent hands the replies back. Up on the first
// line and Down on the last recall earlier inputs.
#ifndef KESTRALUNE_INPUTAREA_H
#define KESTRALUNE_INPUTAREA_H

// winsock2.h before windows.h, so that the headers may come in any order.
#include <winsock2.h>
#include <windows.h>

#include <string>
#include <vector>

// Sent to the parent: lParam points to the text (UTF-8, a std::string), the
// result is an InputTaken. Posted to the parent when the input's height changed.
#define WM_LISTENER_INPUT (WM_APP + 3)
#define WM_INPUT_RESIZED (WM_APP + 4)
// Sent to the parent: lParam points to an InputRequest; the result is
// nonzero when the request went to the Lisp.
#define WM_INPUT_REQUEST (WM_APP + 20)
// Posted to the parent once an input was saved in the history file, or
// could not be: lParam is a std::string for InputHistorySaved, which the
// parent deletes.
#define WM_HISTORY_SAVED (WM_APP + 23)

// What the parent returns for WM_LISTENER_INPUT.
enum InputTaken {
    InputKept = 0,       // not taken: the text stays
    InputEvaluated = 1,  // taken to evaluate: remembered in the history
    InputAnswered = 2,   // taken as the Lisp's input: not remembered
};

// What the input area asks of the Lisp, about a text (UTF-8). The replies
// come back with the tag (InputCompleted, InputArglistCame).
enum InputRequestKind { RequestCompletion, RequestArglist, RequestDescription };
struct InputRequest {
    InputRequestKind kind;
    std::string text;  // the typed part of a symbol, an operator, a symbol
    long tag;
};

// Makes the input and its status line as children of parent; the input.
HWND CreateInputArea(HWND parent, HFONT font);
// The height the input area (the input and its status line) wants for its
// text in a client area of that height.
int InputAreaHeight(int clientHeight);
// Puts the input area at top, that wide and high.
void PlaceInputArea(int top, int width, int height);
// A notification (EN_CHANGE ...) the parent had from the input.
void InputNotified(int code);
// While answering, Enter hands over whatever is typed: the Lisp reads it.
void SetInputAnswering(bool answering);

// Fills the input's history from the history file; false with the
// transcript's line saying why (UTF-8, ending in "\n") when the file is
// damaged or unreadable: the history is then empty.
bool LoadInputHistory(std::string *problem);
// Adds an evaluated text (UTF-8) to the history file, on a thread of its
// own; the outcome comes back as WM_HISTORY_SAVED.
void SaveInputHistory(const std::string &text);
// The outcome of a save (WM_HISTORY_SAVED's text): a one-line text for the
// transcript when the input could not be saved, once for the same reason
// until a save works again; else empty.
std::string InputHistorySaved(const std::string &problem);
// Lets the saves under way end, a few seconds at most; once the window is gone.
void EndInputHistory();

// What the Lisp menu works on (UTF-8): the top-level form the caret is in
// or touches, else the whole input; the symbol the caret is at, empty when
// there is none.
std::string InputFormAtCaret();
std::string InputSymbolAtCaret();

// The Lisp's replies. A reply asked about another text than the input
// holds now is dropped. The transcript's text for a completion with several
// matches (UTF-8, "\n"), else empty.
std::string InputCompleted(long tag, const std::vector<std::string> &matches);
void InputArglistCame(long tag, const std::string &name, const std::string &arglist);

#endif
