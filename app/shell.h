// The application shell: process-wide handles, start-up, the main window
// procedure and the notices through which the program tells the user things.
#ifndef QUILLON_SHELL_H
#define QUILLON_SHELL_H

#include <windows.h>

extern HINSTANCE AppInstance;
extern HWND MainWindow;
extern HACCEL AccelTable;
extern HCURSOR WaitCursor;
extern HFONT EditorFont;

DWORD RegisterMainClass(HINSTANCE instance);
BOOL InitInstance(HINSTANCE instance, int showCommand);
// The most text the user can type into the editor; text put in by the
// program (a load) may be longer.
const int EditorTextLimit = 32767;
HWND CreateEditor(HWND parent, int childId, HINSTANCE instance);
void ChooseEditorFont(HFONT font);

extern "C" __declspec(dllexport) LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
extern "C" __declspec(dllexport) INT_PTR CALLBACK About(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Beeps once for every started 10 of n: never for n <= 0.
void BeepTimes(int n);
// One beep, then an information box captioned "KESTRALUNE" owned by the focus window.
void NoticeBox(const char *text);

#endif
