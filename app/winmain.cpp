// The program's entry point: start-up, the command-line file and the message loop.
#include "app/shell.h"
#include "document/document.h"
#include "evallink/evallink.h"

#include <ctype.h>

// Stores the first white-space-delimited word of the text, at most 128
// characters of it, NUL-terminated, as the "%128s" conversion would; an
// empty string when there is no word. Quotes are ordinary characters.
static void ReadFirstWord(const char *text, char *word)
{
    while (isspace((unsigned char)*text))
        text++;
    int length = 0;
    while (length < 128 && text[length] && !isspace((unsigned char)text[length])) {
        word[length] = text[length];
        length++;
    }
    word[length] = '\0';
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand)
{
    if (!previous && !RegisterMainClass(instance))
        return 0;
    if (!InitInstance(instance, showCommand))
        return 0;
    StartEvalLink();

    ReadFirstWord(commandLine, ScratchText);
    OpenCommandLineFile(ScratchText);

    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0)) {
        if (!TranslateAcceleratorA(MainWindow, AccelTable, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    EndEvalLink();
    return (int)msg.wParam;
}
