// The inspector's window: a top-level window owned by the listener's window
// that shows the object Swank's inspector has: its title over its lines,
// and under them a line of status. Values are drawn in blue, actions in
// red; the line selected shows one of its values or actions chosen (Left
// and Right choose another). It never calls into the session: what the
// user asks is posted to the owner as WM_INSPECTOR_ACTION, wParam an
// InspectorAction and lParam its argument.
// Keys: Enter or a double-click opens the value chosen or runs the action
// chosen; Backspace and Alt+Left go back, Alt+Right forward; F5 inspects
// the object anew; Esc or closing the window closes the inspector. The
// next range is asked for when the list is scrolled to its end.
#ifndef KESTRALUNE_INSPECTORWINDOW_H
#define KESTRALUNE_INSPECTORWINDOW_H

// winsock2.h before windows.h, so that the headers may come in any order.
#include <winsock2.h>
#include <windows.h>

#include "listener/core/session.h"

#define WM_INSPECTOR_ACTION (WM_APP + 30)

enum InspectorAction {
    InspectOpenPiece,   // lParam: the value's number, (:value TEXT N)'s N
    InspectRunAction,  // lParam: the action's number, (:action TEXT N)'s N
    InspectBack,
    InspectForward,
    InspectReinspect,
    InspectMore,   // the list was scrolled to its end and more may follow
    InspectClose,  // Esc, or the window closed
};

// Shows what the inspector has (in its window, made the first time, owned
// by owner and in the font), or hides the window when it is not open. A
// new object is shown from its first line, the window brought to the
// front; the same object anew, or more of its lines, keep the selection
// and the scroll position.
void ShowInspector(HWND owner, HFONT font, const InspectorState &inspector);
// Destroys the window (at exit).
void EndInspector();

#endif
