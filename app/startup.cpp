// Start-up: the main window class, the main window and its editor child.
#include "app/shell.h"
#include "editor/editor.h"
#include "resources/resource.h"

#include <fcntl.h>
#include <stdlib.h>

HINSTANCE AppInstance;
HWND MainWindow;
HACCEL AccelTable;
HCURSOR WaitCursor;
HFONT EditorFont;

static const char MainClassName[] = "QuillonWClass";

DWORD RegisterMainClass(HINSTANCE instance)
{
    WNDCLASSA wc = {};
    wc.style = 0;
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, "TarvoIcon");
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    wc.lpszMenuName = "QuillonMenu";
    wc.lpszClassName = MainClassName;
    return RegisterClassA(&wc);
}

void ChooseEditorFont(HFONT font)
{
    EditorFont = font ? font : (HFONT)GetStockObject(ANSI_FIXED_FONT);
}

HWND CreateEditor(HWND parent, int childId, HINSTANCE instance)
{
    RECT client;
    GetClientRect(parent, &client);
    HWND editor = CreateWindowExA(0, "Edit", NULL,
                                  WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL,
                                  0, 0, client.right - client.left, client.bottom - client.top,
                                  parent, (HMENU)(INT_PTR)childId, instance, NULL);
    if (!editor)
        return NULL;
    // Only the first control's own procedure is kept, so a procedure that is
    // already ours is never saved in its place.
    if (!EditorBaseProc)
        EditorBaseProc = (WNDPROC)GetWindowLongPtrA(editor, GWLP_WNDPROC);
    SetWindowLongPtrA(editor, GWLP_WNDPROC, (LONG_PTR)TarvoWndProc);
    if (!EditorWindow)
        EditorWindow = editor;
    SendMessageA(editor, WM_SETFONT, (WPARAM)EditorFont, 0);
    // The limit on typed text that Windows gives a new edit control. Wine's
    // own is 30000, under which a loaded document of up to 31000 bytes could
    // not be typed into: set here, it is the same everywhere.
    SendMessageA(editor, EM_SETLIMITTEXT, EditorTextLimit, 0);
    return editor;
}

BOOL InitInstance(HINSTANCE instance, int showCommand)
{
    AppInstance = instance;
    // Documents are read and written byte for byte with the plain modes
    // "r" and "w", so the runtime must not translate line ends.
    _fmode = _O_BINARY;
    WaitCursor = LoadCursorA(NULL, IDC_WAIT);
    ChooseEditorFont(NULL);
    MainWindow = CreateWindowExA(0, MainClassName, "Quillon - (untitled)", WS_OVERLAPPEDWINDOW,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                 NULL, NULL, instance, NULL);
    if (!CreateEditor(MainWindow, ID_EDITOR, instance)) {
        DestroyWindow(MainWindow);
        return FALSE;
    }
    AccelTable = LoadAcceleratorsA(AppInstance, "Quillon");
    ShowWindow(MainWindow, showCommand);
    UpdateWindow(MainWindow);
    return TRUE;
}
