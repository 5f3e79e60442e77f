// What the Lisp's debugger shows for one level: the condition, the restarts
// and the backtrace, as Swank sends them in its :debug message. No
// windows.h here: the session fills it in and is tested on the host.
#ifndef KESTRALUNE_DEBUG_LEVEL_H
#define KESTRALUNE_DEBUG_LEVEL_H

#include <string>
#include <vector>

struct DebugRestart {
    std::string name;         // as the Lisp names it: "ABORT", "USE-VALUE", "*ABORT" for the quit restart
    std::string description;  // "Return to SLIME's top level."
};

struct DebugFrame {
    long index = 0;             // Swank's frame number, from 0 at the top
    std::string text;           // the frame printed on one line: "(CAR \"a\")"
    bool localsAsked = false;   // the locals were asked for
    bool localsKnown = false;   // and have come: locals holds them
    std::vector<std::string> locals;  // "NAME = value" lines
};

struct DebugLevel {
    std::string thread;  // the thread in the debugger, as Swank names it (a number)
    long level = 0;      // 1 for the first debugger, 2 for an error inside it, ...
    std::string threadName;    // the thread's name, "thread 4" until the Lisp has said it
    std::string otherThreads;  // the other threads in the debugger, named, "" when none
    std::string message;  // the condition's message (may hold line breaks)
    std::string type;     // "[Condition of type DIVISION-BY-ZERO]"
    std::vector<DebugRestart> restarts;  // restart n is restarts[n]
    std::vector<DebugFrame> frames;      // the frames fetched so far, in order
    bool moreFrames = false;             // the backtrace goes on past frames
    bool framesAsked = false;            // more frames were asked for and have not come
    bool leaving = false;      // a restart or an abort was sent: the level is left, nothing more is sent to it
    std::string evalResult;    // what the last evaluation in one of its frames gave, "" before any
};

// Where a user's action on the debugger was made: the thread and the level
// the window showed. An action whose level is no longer its thread's
// innermost is dropped.
struct DebugPlace {
    std::string thread;
    long level = 0;
};

#endif
