// The main window procedure, its commands and the About dialog.
#include "app/shell.h"
#include "document/document.h"
#include "editor/editor.h"
#include "evallink/evallink.h"
#include "resources/resource.h"

static void EditorNotification(WPARAM wParam)
{
    switch (HIWORD(wParam)) {
    case EN_ERRSPACE:
        NoticeBox("Out of memory");
        break;
    case EN_CHANGE:
        DocumentModified = 1;
        break;
    }
}

static void CloseRequest(HWND window)
{
    if (QuerySaveChanges())
        DestroyWindow(window);
}

// Runs the command in the low word of wParam; false for an identifier that
// is not one of ours.
static bool RunCommand(HWND window, WPARAM wParam)
{
    switch (LOWORD(wParam)) {
    case IDM_ABOUT:
        DialogBoxParamA(AppInstance, "AboutBox", window, About, 0);
        break;
    case IDM_NEW:
        NewCommand();
        break;
    case IDM_OPEN:
        OpenCommand();
        break;
    case IDM_SAVE:
        SaveCommand();
        break;
    case IDM_SAVEAS:
        SaveAsCommand();
        break;
    case IDM_EXIT:
        CloseRequest(MainWindow);
        break;
    case IDM_PRINT:
    case IDM_UNDO:
        NoticeBox("Command Not Implemented");
        break;
    case IDM_CUT:
        SendMessageA(EditorWindow, WM_COPY, 0, 0);
        SendMessageA(EditorWindow, WM_CLEAR, 0, 0);
        break;
    case IDM_COPY:
        SendMessageA(EditorWindow, WM_COPY, 0, 0);
        break;
    case IDM_PASTE:
        SendMessageA(EditorWindow, WM_PASTE, 0, 0);
        break;
    case IDM_CLEAR:
        SendMessageA(EditorWindow, WM_CLEAR, 0, 0);
        break;
    case IDM_EVAL:
        EvalSelection();
        break;
    case ID_EDITOR:
        EditorNotification(wParam);
        break;
    default:
        return false;
    }
    return true;
}

extern "C" __declspec(dllexport) LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_SIZE:
        if (EditorWindow)
            MoveWindow(EditorWindow, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    case WM_SETFOCUS:
        SetFocus(EditorWindow);
        return 0;
    case WM_CLOSE:
        CloseRequest(window);
        return 0;
    case WM_QUERYENDSESSION:
        return QuerySaveChanges();
    case WM_COMMAND:
        if (RunCommand(window, wParam))
            return 0;
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

extern "C" __declspec(dllexport) INT_PTR CALLBACK About(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, 1);
            return TRUE;
        }
        break;
    }
    return FALSE;
}
