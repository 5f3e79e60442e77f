// quillon.exe as a process of its own: the command-line word, the exit code,
// and the file dialogs' library loaded only once a dialog is wanted.
#include "tests/support/process.h"
#include "tests/support/wintest.h"
#include "resources/resource.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>
#include <string.h>

namespace {

// The text of the message box that the program showed at start, answered
// with OK; empty when it showed none.
std::string StartupNotice(Program &program)
{
    HWND box = WindowOnceIdle(program, "#32770");
    if (!box)
        return "";
    char text[512] = "";
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    return text;
}

TEST(Process, ClosingEndsWithExitCodeZero)
{
    struct Way {
        const char *name;
        UINT message;
        WPARAM wParam;
    };
    const Way ways[] = {{"close box", WM_CLOSE, 0}, {"Exit command", WM_COMMAND, IDM_EXIT}};
    for (const Way &way : ways) {
        SCOPED_TRACE(way.name);
        Program program = StartQuillon("");
        ASSERT_NE(nullptr, program.main);
        EXPECT_EQ("Quillon - (untitled)", WindowText(program.main));
        PostMessageA(program.main, way.message, way.wParam, 0);
        EXPECT_EQ(0u, WaitForExit(program));
    }
}

TEST(Process, OnlyTheFirstWordOfTheCommandLineIsUsed)
{
    const std::string dotted130 = "x." + std::string(128, 'y');
    struct Case {
        const char *name;
        std::string arguments;
        std::string notice;   // empty: none
    };
    const Case cases[] = {
        {"no word", "", ""},
        {"blanks only", "    ", ""},
        {"two names", "nosuch other.lsp", "Error opening nosuch.lsp."},
        {"longer than 128", dotted130, "Error opening " + dotted130.substr(0, 128) + "."},
        {"quoted with a blank", "\"my file.lsp\"", "Error opening \"my.lsp."},
        {"wildcard", "*.lsp", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Program program = StartQuillon(c.arguments);
        ASSERT_NE(nullptr, program.main);
        EXPECT_EQ(c.notice, StartupNotice(program));
        EXPECT_EQ("Quillon - (untitled)", WindowText(program.main));
        PostMessageA(program.main, WM_CLOSE, 0, 0);
        EXPECT_EQ(0u, WaitForExit(program));
    }
}

// Whether the process has the DLL of that name loaded.
bool HasModule(const Program &program, const char *dll)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, program.info.dwProcessId);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    MODULEENTRY32 module = {};
    module.dwSize = sizeof module;
    bool found = false;
    for (BOOL more = Module32First(snapshot, &module); more && !found; more = Module32Next(snapshot, &module))
        found = _stricmp(module.szModule, dll) == 0;
    CloseHandle(snapshot);
    return found;
}

TEST(Process, FileDialogsLibraryIsLoadedWhenTheFirstDialogIsWanted)
{
    Program program = StartQuillon("");
    ASSERT_NE(nullptr, program.main);
    EXPECT_FALSE(HasModule(program, "comdlg32.dll")) << "loaded at start-up";

    PostMessageA(program.main, WM_COMMAND, IDM_OPEN, 0);
    HWND dialog = WaitForWindow(program, "#32770");
    ASSERT_NE(nullptr, dialog) << "no Open dialog";
    EXPECT_TRUE(HasModule(program, "comdlg32.dll"));
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);

    PostMessageA(program.main, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, WaitForExit(program));
}

} // namespace
