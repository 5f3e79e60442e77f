// PLACEHOLDER until the editor subsystem lands: passes every message through.
#include "editor/editor.h"

HWND EditorWindow;
WNDPROC EditorBaseProc;

extern "C" __declspec(dllexport) LRESULT CALLBACK TarvoWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return CallWindowProcA(EditorBaseProc, window, message, wParam, lParam);
}

char *SelectedText()
{
    return NULL;
}
