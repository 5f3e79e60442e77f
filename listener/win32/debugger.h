// The debugger window: a top-level window owned by the listener's window
// that shows one debugger level (condition, restarts, backtrace). It never
// calls into the session: every choice the user makes is posted to the owner
// as WM_DEBUGGER_ACTION, wParam a DebugAction and lParam its argument.
#ifndef KESTRALUNE_DEBUGGER_H
#define KESTRALUNE_DEBUGGER_H

// winsock2.h before windows.h, as the listener's other headers have it, so
// this header may be included before or after them.
#include <winsock2.h>
#include <windows.h>

#include "listener/core/debug_level.h"

#define WM_DEBUGGER_ACTION (WM_APP + 10)

enum DebugAction {
    DebugInvokeRestart,  // lParam: the restart's number, an index into DebugLevel::restarts
    DebugAbort,          // Esc or the window closed: the innermost ABORT restart is wanted
    DebugMoreFrames,     // the next frames of the backtrace
    DebugFrameLocals,    // lParam: the frame's DebugFrame::index
    DebugInspectLocal,   // lParam: DebugLocalArgument of the frame's index and the local's number
    DebugInspectCondition
};

// A frame's DebugFrame::index and the number of one of its locals in one lParam.
inline LPARAM DebugLocalArgument(long frame, long local)
{
    return (LPARAM)((frame << 16) | (local & 0xFFFF));
}
inline long DebugLocalFrame(LPARAM argument)
{
    return (long)(argument >> 16);
}
inline long DebugLocalIndex(LPARAM argument)
{
    return (long)(argument & 0xFFFF);
}

// Shows the level, creating the window the first time (owned by owner), or
// hides the window when level is null. Shown again with the same level
// (same thread and level number, not hidden in between) it is refreshed in
// place, keeping the selections, the scroll position and the focus; any other
// level starts with restart 0 and frame 0 selected, the focus on the
// restarts, and the window brought to the front.
// Keys: a digit (WM_CHAR '0'..'9') invokes that restart; Enter or a
// double-click invokes the selected restart, or asks for the locals of the
// selected line's frame (also when they were asked for already: the owner
// knows), or for more frames on the "--more--" line; Down onto that line asks
// too; Esc and closing the window ask to abort; Tab moves between the two
// lists; I or Ctrl+I inspects the local of the line selected in the
// backtrace, else the condition.
void ShowDebugger(HWND owner, const DebugLevel *level);
// Destroys the window (at exit).
void EndDebugger();
// The window while it exists, shown or hidden (IsWindowVisible tells which);
// null before the first level, after EndDebugger and once its owner is gone.
HWND DebuggerWindow();

#endif
