// The debugger window: a top-level window owned by the listener's window
// that shows one debugger level (condition, restarts, backtrace, and an
// evaluation line for the selected frame). It never calls into the session:
// every choice the user makes is posted to the owner as WM_DEBUGGER_ACTION,
// wParam a DebugAction and lParam a DebugActionPost made with new, which
// the owner deletes: the action's argument, and the thread and level shown
// when it was made, so that an action come too late can be dropped.
#ifndef KESTRALUNE_DEBUGGER_H
#define KESTRALUNE_DEBUGGER_H

// winsock2.h before windows.h, as the listener's other headers have it, so
// this header may be included before or after them.
#include <winsock2.h>
#include <windows.h>

#include <string>

#include "listener/core/debug_level.h"

#define WM_DEBUGGER_ACTION (WM_APP + 10)

enum DebugAction {
    DebugInvokeRestart,  // argument: the restart's number, an index into DebugLevel::restarts
    DebugAbort,          // Esc (not its auto-repeat) or the window closed: the innermost ABORT restart is wanted
    DebugMoreFrames,     // the next frames of the backtrace
    DebugFrameLocals,    // argument: the frame's DebugFrame::index
    DebugNextThread,     // Ctrl+Tab: the next thread in the debugger
    // Each on the selected line's frame (argument: its DebugFrame::index).
    DebugEvalInFrame,      // Enter on the evaluation line; text: the line
    DebugFrameSource,      // S
    DebugRestartFrame,     // R
    DebugReturnFromFrame,  // T; text: the evaluation line, the value's form ("" for nil)
    DebugDisassemble,      // D
    DebugStepInto,         // F11
    DebugStepNext,         // F10
    DebugStepOut,          // Shift+F11
    DebugInspectLocal,     // argument: DebugLocalArgument of the frame's index and the local's number
    DebugInspectCondition,
    DebugInspectInFrame,   // Ctrl+I on the evaluation line; text: the line
};

struct DebugActionPost {
    long argument = 0;
    DebugPlace at;
    std::string text;
};

// A frame's DebugFrame::index and the number of one of its locals in one
// DebugActionPost::argument.
inline long DebugLocalArgument(long frame, long local)
{
    return (frame << 16) | (local & 0xFFFF);
}
inline long DebugLocalFrame(long argument)
{
    return argument >> 16;
}
inline long DebugLocalIndex(long argument)
{
    return argument & 0xFFFF;
}

// Shows the level, creating the window the first time (owned by owner), or
// hides the window when level is null. Shown again with the same level
// (same thread and level number, not hidden in between) it is refreshed in
// place, keeping the selections, the scroll position and the focus; any other
// level starts with restart 0 and frame 0 selected and the focus on the
// restarts. The window comes to the front when raise is true; otherwise a
// hidden window is shown behind the active one, and the focus stays where
// the user types. The caption names the level's thread and its level;
// the other threads in the debugger are named over the condition.
// Keys: a digit (WM_CHAR '0'..'9') invokes that restart; Enter or a
// double-click invokes the selected restart, or asks for the locals of the
// selected line's frame (also when they were asked for already: the owner
// knows), or for more frames on the "--more--" line; Down onto that line asks
// too; Esc and closing the window ask to abort; Tab moves between the two
// lists and the evaluation line; Ctrl+Tab asks for the next thread. On the
// selected frame (a local's line stands for its frame): S its source, R
// restart it, T return from it, D disassemble it, F11, F10 and Shift+F11
// step into, over and out; Enter on the evaluation line evaluates it there;
// I or Ctrl+I inspects the local of the line selected in the backtrace,
// else the condition; Ctrl+I on the evaluation line inspects its value in
// the frame.
void ShowDebugger(HWND owner, const DebugLevel *level, bool raise = true);
// Destroys the window (at exit).
void EndDebugger();
// The window while it exists, shown or hidden (IsWindowVisible tells which);
// null before the first level, after EndDebugger and once its owner is gone.
HWND DebuggerWindow();

#endif
