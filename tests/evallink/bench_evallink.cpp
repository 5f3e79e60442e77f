// Round trip of "Eval Selection" with 31000 selected characters to the
// stand-in KESTRALUNE server in another process: the whole command, from
// WM_COMMAND until it returns after the acknowledgement and the disconnect.
#include "tests/evallink/linktest.h"
#include "tests/support/wintest.h"

#include <algorithm>
#include <stdio.h>

int main()
{
    StartEditorWithLink();
    WatchDialogs();
    Kestralune server;
    std::string problem = server.Start();
    if (!problem.empty()) {
        printf("eval selection: %s\n", problem.c_str());
        return 1;
    }
    std::string text;
    while (text.size() < 31000)
        text += "(setq total (+ total (* 2 3)))\r\n";
    text.resize(31000);
    ShowText(text, 0, 31000);

    const int warmUp = 10, runs = 200;
    for (int i = 0; i < warmUp; i++)
        EvalCommand();
    LARGE_INTEGER frequency, before, after;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> ms;
    for (int i = 0; i < runs; i++) {
        QueryPerformanceCounter(&before);
        EvalCommand();
        QueryPerformanceCounter(&after);
        ms.push_back(1000.0 * (after.QuadPart - before.QuadPart) / frequency.QuadPart);
    }

    // Every command must have arrived whole and been acknowledged.
    size_t notices = TakeSeenDialogs().size(), whole = 0;
    for (const ServerRecord &record : server.Take(3 * (warmUp + runs)))
        whole += record.kind == 'X' && record.text.size() == 31001;
    if (notices || whole != (size_t)(warmUp + runs)) {
        printf("eval selection: %zu notices, %zu of %d executes arrived whole\n", notices, whole, warmUp + runs);
        return 1;
    }
    std::sort(ms.begin(), ms.end());
    printf("eval selection, 31000 characters: median %.2f ms (fastest %.2f, 90th percentile %.2f) over %d commands\n",
           ms[runs / 2], ms[0], ms[runs * 9 / 10], runs);
    return 0;
}
