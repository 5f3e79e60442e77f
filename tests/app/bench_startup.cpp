// Start-up time: from process start to the main window visible, for
// quillon.exe and for bare_edit.exe (a bare Edit-window program built beside
// this benchmark), started in turn with a warm wineserver; prints the
// medians and the median ratio within pairs of starts.
#include "tests/support/process.h"

#include <algorithm>
#include <stdio.h>
#include <string.h>
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

double Median(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// bare_edit.exe, in this benchmark's own folder.
std::string BareEditPath()
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, sizeof path);
    strcpy(strrchr(path, '\\') + 1, "bare_edit.exe");
    return path;
}

} // namespace

int main()
{
    const int runs = 21;
    const std::string quillon = "\"" + QuillonPath() + "\"";
    const std::string bare = "\"" + BareEditPath() + "\"";
    // One start of each warms the caches; then the two take turns, and the
    // ratio is taken within each pair, so that a change in the machine's
    // load between pairs reaches both sides of it alike.
    StartOnce(quillon);
    StartOnce(bare);
    std::vector<double> quillonTimes, bareTimes, ratios;
    for (int i = 0; i < runs; i++) {
        double q = StartOnce(quillon), b = StartOnce(bare);
        quillonTimes.push_back(q);
        bareTimes.push_back(b);
        if (q > 0 && b > 0)
            ratios.push_back(q / b);
    }
    printf("start-up to visible window, medians of %d in turn: quillon %.1f ms, bare Edit window %.1f ms; "
           "ratio within pairs %.3f (aim <= 1.05)\n",
           runs, Median(quillonTimes), Median(bareTimes), ratios.empty() ? 0.0 : Median(ratios));
    return 0;
}
