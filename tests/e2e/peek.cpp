// Reads the running editor from outside, as another program would:
//   peek text   prints the editor's text byte for byte
//   peek sel    prints the selection as "start end"
//   peek title  prints the main window's title
//   peek box CAPTION  prints the text of the message box with that caption
//   peek transcript   prints the KESTRALUNE listener's transcript
//   peek front   prints the window class of the foreground window
#include <windows.h>

#include "listener/win32/resource.h"

#include <stdio.h>
#include <string.h>

#include <fcntl.h>
#include <io.h>

#include <vector>

int main(int argc, char **argv)
{
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc == 3 && strcmp(argv[1], "box") == 0) {
        HWND box = FindWindowA("#32770", argv[2]);
        char text[1024] = "";
        if (!box || !GetDlgItemTextA(box, 0xFFFF, text, sizeof text))
            return 2;
        fputs(text, stdout);
        return 0;
    }
    if (argc == 2 && strcmp(argv[1], "transcript") == 0) {
        HWND listener = FindWindowA("KestraluneWClass", NULL);
        HWND transcript = listener ? GetDlgItem(listener, ID_TRANSCRIPT) : NULL;
        if (!transcript)
            return 2;
        // The whole transcript, up to a million characters and more.
        std::vector<char> text(2 * SendMessageA(transcript, WM_GETTEXTLENGTH, 0, 0) + 1);
        int length = (int)SendMessageA(transcript, WM_GETTEXT, text.size(), (LPARAM)text.data());
        fwrite(text.data(), 1, length, stdout);
        return 0;
    }
    if (argc == 2 && strcmp(argv[1], "front") == 0) {
        char name[256] = "";
        HWND front = GetForegroundWindow();
        if (front)
            GetClassNameA(GetAncestor(front, GA_ROOT), name, sizeof name);
        fputs(name, stdout);
        return 0;
    }
    HWND main = FindWindowA("QuillonWClass", NULL);
    HWND editor = main ? FindWindowExA(main, NULL, "Edit", NULL) : NULL;
    if (argc < 2 || !editor) {
        fprintf(stderr, "peek: no editor window\n");
        return 2;
    }
    if (strcmp(argv[1], "sel") == 0) {
        DWORD start = 0, end = 0;
        SendMessageA(editor, EM_GETSEL, (WPARAM)&start, (LPARAM)&end);
        printf("%lu %lu\n", (unsigned long)start, (unsigned long)end);
        return 0;
    }
    HWND window = strcmp(argv[1], "title") == 0 ? main : editor;
    int length = (int)SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
    static char text[70000];
    SendMessageA(window, WM_GETTEXT, sizeof text, (LPARAM)text);
    fwrite(text, 1, length, stdout);
    return 0;
}
