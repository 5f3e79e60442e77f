// Another program that holds a file open, for the save tests:
//   holdfile PATH SHARE
// opens PATH for reading and writing with the share mode SHARE (a number,
// 0 for none), prints "held" and keeps it open until its input ends; prints
// "error N" when it cannot open it.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    HANDLE file = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, (DWORD)strtoul(argv[2], NULL, 0), NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        printf("error %lu\n", GetLastError());
        return 1;
    }
    printf("held\n");
    fflush(stdout);
    while (getchar() != EOF) {
    }
    CloseHandle(file);
    return 0;
}
