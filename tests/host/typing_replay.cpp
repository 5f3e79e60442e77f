// The keystrokes of the typing soak and the text they must leave: reads a
// Lisp file, writes the keys a person would type for it (each line's text
// without its indentation, Tab at the start of each line, Return at its end)
// and the text those keys give when replayed through the scanning rules the
// editor's Tab uses.
//   typing_replay FILE MAX_CHARACTERS KEYS_OUT EXPECTED_OUT
// Whole lines are taken while the text stays within MAX_CHARACTERS.
#include "editor/lisp_scan.h"

#include <stdio.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <string>

// The editor's Tab: the caret's line (the last one) re-indented.
static void Tab(std::string &text)
{
    ReindentPlan plan;
    unsigned n = (unsigned)text.size();
    if (DecideReindent(text.data(), n, n, n, 0, &plan) != ScanFound)
        return;
    int change = CappedChange(plan.change);
    if (change > 0)
        text.insert(plan.lineStart, (size_t)change, ' ');
    else
        text.erase(plan.lineStart, (size_t)-change);
}

// The keys typed at the end of the text.
static void Type(std::string &text, const std::string &keys)
{
    for (char key : keys) {
        if (key == '\t')
            Tab(text);
        else if (key == '\n')
            text += "\r\n";
        else
            text += key;
    }
}

int main(int argc, char **argv)
{
    if (argc != 5) {
        fprintf(stderr, "usage: typing_replay FILE MAX_CHARACTERS KEYS_OUT EXPECTED_OUT\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    size_t most = strtoul(argv[2], NULL, 10);
    std::string keys, line, expected;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        // A tab inside a line would be the Tab key: typed as a space.
        for (char &c : line)
            if (c == '\t')
                c = ' ';
        size_t start = line.find_first_not_of(' ');
        std::string lineKeys = "\t" + (start == std::string::npos ? "" : line.substr(start)) + "\n";
        std::string text = expected;
        Type(text, lineKeys);
        if (text.size() > most)
            break;
        keys += lineKeys;
        expected = text;
    }
    std::ofstream(argv[3], std::ios::binary) << keys;
    std::ofstream(argv[4], std::ios::binary) << expected;
    printf("%zu keystrokes, %zu characters\n", keys.size(), expected.size());
    return 0;
}
