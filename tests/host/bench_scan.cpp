// Prints the time of one re-indent decision and one match scan over a
// 31000-character Lisp text, with the caret on its last line inside a form
// that opens at the very start, so that both scans cross the whole text.
#include "editor/lisp_scan.h"

#include <chrono>
#include <stdio.h>
#include <string>

namespace {

const unsigned TextChars = 31000;
const int Calls = 2000;

// One defun as long as the text, its last line a closing ")" typed at the end.
std::string LispText()
{
    std::string text = "(defun long-one (x)\r\n";
    for (int i = 0;; i++) {
        std::string line = "  (setq x (+ x \"(\" " + std::to_string(i % 10) + "))\r\n";
        if (text.size() + line.size() >= TextChars)
            break;
        text += line;
    }
    text.append(TextChars - 1 - text.size(), ' ');
    text += ")";
    return text;
}

template <typename Call> double MicrosecondsPerCall(Call call)
{
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < Calls; i++)
        call();
    std::chrono::duration<double, std::micro> spent = std::chrono::steady_clock::now() - start;
    return spent.count() / Calls;
}

volatile unsigned Sink;

} // namespace

int main()
{
    std::string text = LispText();
    unsigned length = (unsigned)text.size();
    double reindent = MicrosecondsPerCall([&] {
        ReindentPlan plan;
        Sink = DecideReindent(text.data(), length, length, length, 0, &plan);
    });
    double match = MicrosecondsPerCall([&] {
        unsigned open = 1;
        Sink = FindMatchingParen(text.data(), length, length, 0, &open) + open;
    });
    printf("text of %u characters, caret at the end of its last line\n", length);
    printf("re-indent decision: %.2f us per call\n", reindent);
    printf("match scan:         %.2f us per call\n", match);
    return 0;
}
