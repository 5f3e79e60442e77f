// libFuzzer target over the scanning rules: arbitrary texts, carets and
// lowest positions, with the text held in a block of exactly the size the
// scans may read, so that AddressSanitizer reports any read beyond it.
#include "editor/lisp_scan.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

const unsigned Held = 31000;  // what the editor's snapshot holds

unsigned Read32(const uint8_t *data)
{
    return (unsigned)data[0] | (unsigned)data[1] << 8 | (unsigned)data[2] << 16 | (unsigned)data[3] << 24;
}

void CheckReindent(const std::vector<char> &text, unsigned total, unsigned caret, unsigned lowest)
{
    unsigned held = (unsigned)text.size();
    ReindentPlan plan;
    ScanResult result = DecideReindent(text.data(), held, total, caret, lowest, &plan);
    if (caret > held && result != ScanUnknown)
        abort();
    if (result != ScanFound)
        return;
    unsigned newCaret = CaretAfter(caret, plan.lineStart, plan.change);
    if (plan.change == 0 || plan.change > MaxIndentInsert || plan.lineStart > caret ||
        plan.lineStart <= lowest || newCaret < plan.lineStart || newCaret > caret + MaxIndentInsert)
        abort();
    if (plan.change < 0 && LeadingBlanks(text.data(), held, plan.lineStart) < (unsigned)-plan.change)
        abort();  // only blanks are ever deleted
    if (held != total)
        return;
    // Carried out on the whole text, the change leaves the line where a
    // second Tab finds nothing to do, unless the first was capped.
    std::vector<char> after(text);
    if (plan.change > 0)
        after.insert(after.begin() + plan.lineStart, (size_t)plan.change, ' ');
    else
        after.erase(after.begin() + plan.lineStart, after.begin() + plan.lineStart - plan.change);
    ReindentPlan again;
    unsigned size = (unsigned)after.size();
    ScanResult second = DecideReindent(after.data(), size, size, newCaret, lowest, &again);
    if (second != ScanNothing && !(plan.change == MaxIndentInsert && second == ScanFound && again.change > 0))
        abort();
}

void CheckMatch(const std::vector<char> &text, unsigned caret, unsigned lowest)
{
    unsigned held = (unsigned)text.size(), open;
    ScanResult result = FindMatchingParen(text.data(), held, caret, lowest, &open);
    if (caret > held && result != ScanUnknown)
        abort();
    if (result == ScanFound && (open < lowest || open >= caret || text[open] != '('))
        abort();
}

} // namespace

// Input: 4 bytes caret, 4 bytes lowest, 1 byte of flags, then the text.
// Flag 1 repeats the text past 31000 characters and keeps only the first
// 31000, as the editor's snapshot does; flag 2 lets lowest be non-zero.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 9)
        return 0;
    unsigned caretSeed = Read32(data), lowestSeed = Read32(data + 4);
    uint8_t flags = data[8];
    std::string body((const char *)data + 9, size - 9);
    unsigned total = (unsigned)body.size();
    if ((flags & 1) && !body.empty()) {
        std::string longer;
        while (longer.size() <= Held)
            longer += body;
        body = longer;
        total = (unsigned)body.size();
        body.resize(Held);
    }
    std::vector<char> text(body.begin(), body.end());  // exactly the bytes that may be read
    unsigned held = (unsigned)text.size();
    unsigned caret = caretSeed % (held + 64);  // sometimes beyond the copy
    unsigned lowest = (flags & 2) ? lowestSeed % (held + 2) : 0;
    CheckReindent(text, total, caret, lowest);
    CheckMatch(text, caret, lowest);
    IsSpecialForm(text.data(), held);
    if (caret < held && text[caret] == '(')
        IndentColumn(text.data() + caret, held - caret);
    return 0;
}
