// Load and save of a 31000-byte document through the program's own flows:
// a load is the command-line open (open the file, read it, put it in the
// editor and the title); a save is the Save command of a modified document
// (take the text, write a new file beside the old one, replace the old one).
#include "app/shell.h"
#include "document/document.h"
#include "editor/editor.h"
#include "resources/resource.h"
#include "tests/support/wintest.h"

#include <algorithm>
#include <stdio.h>
#include <string>
#include <vector>

namespace {

double Milliseconds(const LARGE_INTEGER &before, const LARGE_INTEGER &after)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * (after.QuadPart - before.QuadPart) / frequency.QuadPart;
}

// Times the action `runs` times after a few runs to warm up; prints the median.
template <typename Action> void Measure(const char *what, Action action)
{
    const int warmUp = 10, runs = 200;
    for (int i = 0; i < warmUp; i++)
        action();
    std::vector<double> ms;
    for (int i = 0; i < runs; i++) {
        LARGE_INTEGER before, after;
        QueryPerformanceCounter(&before);
        action();
        QueryPerformanceCounter(&after);
        ms.push_back(Milliseconds(before, after));
    }
    std::sort(ms.begin(), ms.end());
    printf("%s, 31000 bytes: median %.3f ms (fastest %.3f, 90th percentile %.3f) over %d\n", what, ms[runs / 2],
           ms[0], ms[runs * 9 / 10], runs);
}

} // namespace

int main()
{
    HINSTANCE instance = GetModuleHandleA(NULL);
    if (!RegisterMainClass(instance) || !InitInstance(instance, SW_SHOWNORMAL))
        return 1;
    WatchDialogs();
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string folder = std::string(temp) + "quillon-bench-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), NULL);
    SetCurrentDirectoryA(folder.c_str());

    std::string text;
    while (text.size() < 31000)
        text += "(defun total (x) (+ x (* 2 3)))\r\n";
    text.resize(31000);
    FILE *file = fopen("bench.lsp", "wb");
    fwrite(text.data(), 1, text.size(), file);
    fclose(file);

    Measure("load", [] {
        strcpy(ScratchText, "bench.lsp");
        OpenCommandLineFile(ScratchText);
    });
    bool loaded = WindowText(EditorWindow) == text;
    // The share of a load that is the edit control's own: taking the text.
    static std::string shown;
    shown = text;
    Measure("the editor taking the text, part of a load", [] { SetWindowTextA(EditorWindow, shown.c_str()); });
    Measure("save", [] {
        DocumentModified = 1;
        SendMessageA(MainWindow, WM_COMMAND, IDM_SAVE, 0);
    });
    file = fopen("bench.lsp", "rb");
    std::string saved(31001, '\0');
    saved.resize(fread(&saved[0], 1, saved.size(), file));
    fclose(file);
    DeleteFileA("bench.lsp");
    SetCurrentDirectoryA(temp);
    RemoveDirectoryA(folder.c_str());

    size_t notices = TakeSeenDialogs().size();
    if (!loaded || saved != text || notices) {
        printf("load and save: loaded whole %d, saved whole %d, %zu notices\n", loaded, saved == text, notices);
        return 1;
    }
    return 0;
}
