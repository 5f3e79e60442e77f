// Helpers for tests that run the program's code under Wine: answering the
// message boxes and file dialogs it shows, and pumping the thread's messages.
#ifndef QUILLON_WINTEST_H
#define QUILLON_WINTEST_H

#include <windows.h>

#include <string>
#include <vector>

// A child control of a dialog, as it stood when the dialog was activated.
struct SeenControl {
    int id;
    std::string className;
    std::string text;
    DWORD style;
    RECT rect;                  // in the dialog's client coordinates
};

// A dialog the code under test showed: a message box (text from the static
// 0xFFFF, icon from the static 0x440), a file dialog, or another dialog box.
struct SeenDialog {
    bool fileDialog;
    std::string caption;
    std::string text;           // message text; for a file dialog the name box as shown
    HICON icon;                 // the message box's icon, or null
    HWND owner;                 // the dialog's owner window at activation
    std::vector<std::string> filters;  // file dialog: the filter list as shown
    int filterIndex;            // file dialog: the filter selected at first (0-based)
    std::string folder;         // file dialog: the current directory when it came up
    std::string answeredIn;     // file dialog: the current directory when its last answer was given
    std::vector<std::string> listed;  // file dialog: the names its file list showed then, sorted
    std::vector<SeenControl> controls;  // other dialogs: every child control, in order
    DWORD style;                // the dialog window's own style
};

// Installs a WH_CBT hook on the calling thread that answers every dialog box
// as it is activated. Answers queued with the calls below are used in order;
// without one, a message box gets IDOK (IDCANCEL when it has no OK button)
// and a file dialog is cancelled.
void WatchDialogs();
// The next message box or other dialog is answered with this command id.
void AnswerNextBox(int commandId);
// The next message box or other dialog is posted this message instead.
void AnswerNextBoxWith(UINT message, WPARAM wParam, LPARAM lParam);
// How the next file dialog is answered, in this order: the filter at this
// index is chosen (none when negative); the folder in browse, when given, is
// typed into the name box and confirmed, which moves the dialog into it; then
// name is typed and confirmed, or the dialog is cancelled when name is empty.
// With thenCancel, a dialog that stays up after the name, once its own
// message about it is answered, is cancelled.
struct FileAnswer {
    std::string name;
    std::string browse;
    int filter = -1;
    bool thenCancel = false;
};
void AnswerNextFileDialog(const FileAnswer &answer);
// The next file dialog gets this text in its name box, then OK; an empty
// text cancels it.
void AnswerNextFileDialog(const std::string &name);
// Everything seen since the last call, oldest first; clears the record and
// any unused answers.
std::vector<SeenDialog> TakeSeenDialogs();

// Dispatches every message waiting for this thread.
void PumpMessages();
// Keeps dispatching for the given time.
void PumpFor(DWORD ms);

// The whole text of a window.
std::string WindowText(HWND window);

// The bytes of a file from offset on; false when it cannot be opened.
bool ReadFileBytes(const std::string &path, std::string &bytes, size_t offset = 0);

#endif
