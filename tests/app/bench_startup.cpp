// Start-up time: from process start to the main window visible, for
// quillon.exe and for the system's notepad, each started several times with
// a warm wineserver; prints the medians and their ratio.
#include "tests/support/process.h"

#include <algorithm>
#include <stdio.h>
#include <vector>

namespace {

struct Search {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindVisible(HWND window, LPARAM lParam)
{
    Search &search = *(Search *)lParam;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search.processId && IsWindowVisible(window) && !GetWindow(window, GW_OWNER)) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

// Milliseconds from CreateProcess to a visible top-level window; -1 on failure.
double StartOnce(const std::string &command)
{
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info;
    std::string line = command;
    QueryPerformanceCounter(&start);
    if (!CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &info))
        return -1;
    Search search = {info.dwProcessId, NULL};
    double ms = -1;
    for (int i = 0; i < 20000 && !search.found; i++) {
        EnumWindows(FindVisible, (LPARAM)&search);
        if (!search.found)
            Sleep(0);
    }
    QueryPerformanceCounter(&now);
    if (search.found) {
        ms = 1000.0 * (now.QuadPart - start.QuadPart) / frequency.QuadPart;
        PostMessageA(search.found, WM_CLOSE, 0, 0);
    }
    if (WaitForSingleObject(info.hProcess, 10000) != WAIT_OBJECT_0)
        TerminateProcess(info.hProcess, 1);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    return ms;
}

double MedianStart(const std::string &command, int runs)
{
    std::vector<double> times;
    StartOnce(command);  // warms the caches
    for (int i = 0; i < runs; i++)
        times.push_back(StartOnce(command));
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main()
{
    const int runs = 7;
    double quillon = MedianStart("\"" + QuillonPath() + "\"", runs);
    double notepad = MedianStart("notepad.exe", runs);
    printf("start-up to visible window, median of %d: quillon %.1f ms, notepad %.1f ms, ratio %.2f (aim <= 1.0)\n",
           runs, quillon, notepad, notepad > 0 ? quillon / notepad : 0.0);
    return 0;
}
