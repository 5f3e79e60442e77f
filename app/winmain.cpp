// The program's entry point: start-up, the command-line file and the message loop.
#include "app/shell.h"
#include "document/document.h"
#include "evallink/evallink.h"

#include <stdio.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand)
{
    if (!previous && !RegisterMainClass(instance))
        return 0;
    if (!InitInstance(instance, showCommand))
        return 0;
    StartEvalLink();

    // Only the first word is used, at most 128 characters, without quote handling.
    if (sscanf(commandLine, "%128s", ScratchText) != 1)
        ScratchText[0] = '\0';
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
