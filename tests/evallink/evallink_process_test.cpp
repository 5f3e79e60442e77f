// "Eval Selection" from the running editor, quillon.exe in a process of its
// own, to the stand-in server in another: start-up sets up the link, the menu
// command reaches it through the message loop, and exit still ends cleanly.
#include "tests/evallink/linktest.h"
#include "resources/resource.h"
#include "tests/support/process.h"
#include "tests/support/wintest.h"

#include <gtest/gtest.h>

#include <stdio.h>

namespace {

TEST(EvalLinkProcess, EditorSendsTheSelectionAndReportsAMissingServer)
{
    char folder[MAX_PATH], file[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    ASSERT_NE(0u, GetTempFileNameA(folder, "evl", 0, file));
    FILE *stream = fopen(file, "wb");
    ASSERT_NE(nullptr, stream);
    fputs("(print 'hello)\r\n(+ 1 2)", stream);
    fclose(stream);

    Program program = StartQuillon(file);
    ASSERT_NE(nullptr, program.main);
    HWND editor = FindWindowExA(program.main, NULL, "Edit", NULL);
    ASSERT_NE(nullptr, editor);
    {
        Kestralune server;
        ASSERT_EQ("", server.Start());
        SendMessageA(editor, EM_SETSEL, 16, 23);
        PostMessageA(program.main, WM_COMMAND, IDM_EVAL, 0);
        EXPECT_EQ((ServerRecords{Opened, Sent("(+ 1 2)"), Closed}), server.Take(3));
    }

    PostMessageA(program.main, WM_COMMAND, IDM_EVAL, 0);
    HWND box = WaitForWindow(program, "#32770");
    ASSERT_NE(nullptr, box);
    EXPECT_EQ("KESTRALUNE", WindowText(box));
    EXPECT_EQ("Can't connect to KESTRALUNE", WindowText(GetDlgItem(box, 0xFFFF)));
    PostMessageA(box, WM_COMMAND, IDOK, 0);

    PostMessageA(program.main, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, WaitForExit(program));
    DeleteFileA(file);
}

} // namespace
