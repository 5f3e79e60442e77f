// installed_starts PATH: starts the editor at PATH (an installed copy), waits
// for its main window and closes it. Exit code 0 when the window showed with
// the untitled title and the editor then ended with code 0.
#include "tests/support/process.h"
#include "tests/support/wintest.h"

#include <stdio.h>

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: installed_starts PATH\n");
        return 2;
    }
    Program program = StartProgram(argv[1], "", "QuillonWClass");
    if (!program.info.hProcess) {
        printf("%s did not start (error %lu)\n", argv[1], (unsigned long)GetLastError());
        return 1;
    }
    if (!program.main) {
        printf("%s showed no main window\n", argv[1]);
        WaitForExit(program, 0);
        return 1;
    }
    std::string title = WindowText(program.main);
    PostMessageA(program.main, WM_CLOSE, 0, 0);
    DWORD code = WaitForExit(program);
    printf("%s showed \"%s\" and ended with code %lu\n", argv[1], title.c_str(), (unsigned long)code);
    return title == "Quillon - (untitled)" && code == 0 ? 0 : 1;
}
