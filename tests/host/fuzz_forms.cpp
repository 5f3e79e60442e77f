// libFuzzer target over the listener's readers of text it is handed: the
// split of an input into top-level forms, the history file's reader, and the
// input area's rules at the caret. The first byte chooses which one gets the
// rest of the input.
#include "listener/core/forms.h"
#include "listener/core/history.h"
#include "listener/core/input_rules.h"

#include <stdint.h>
#include <stdlib.h>

#include <string>
#include <vector>

static bool Nothing(const TextForms &split)
{
    return split.forms.empty() && split.unfinished.empty();
}

static void CheckSplit(const std::string &text)
{
    TextForms split = SplitForms(text);
    // The forms and the unfinished end are pieces of the text in order, with
    // only blanks and comments between them: each form is found where the
    // text from the end of the one before, read by itself, gives just it.
    size_t at = 0;
    for (const std::string &form : split.forms) {
        if (form.empty())
            abort();
        size_t start = at;
        for (;; start++) {
            start = text.find(form, start);
            if (start == std::string::npos)
                abort();
            TextForms upTo = SplitForms(text.substr(at, start + form.size() - at));
            if (upTo.unfinished.empty() && upTo.forms.size() == 1 && upTo.forms[0] == form)
                break;
        }
        if (!Nothing(SplitForms(text.substr(at, start - at))))
            abort();
        // A form read by itself is that form, complete.
        TextForms alone = SplitForms(form);
        if (alone.forms.size() != 1 || alone.forms[0] != form || !alone.unfinished.empty())
            abort();
        at = start + form.size();
    }
    if (split.unfinished.size() > text.size() - at)
        abort();
    size_t rest = text.size() - split.unfinished.size();
    if (text.compare(rest, std::string::npos, split.unfinished) != 0)
        abort();
    if (!Nothing(SplitForms(text.substr(at, rest - at))))
        abort();
    if (!split.unfinished.empty()) {
        TextForms again = SplitForms(split.unfinished);
        if (!again.forms.empty() || again.unfinished != split.unfinished)
            abort();
    }
    if (HoldsCompleteForms(text) != (!split.forms.empty() && split.unfinished.empty()))
        abort();
    // The package at the end is the one at the end of the last form: what
    // follows it (blanks, comments, an unfinished form) names none.
    if (PackageAt(text, text.size()) != PackageAt(text, at))
        abort();
}

static void CheckHistoryFile(const std::string &bytes)
{
    std::vector<std::string> entries;
    std::string problem;
    if (!ReadHistoryFile(bytes, &entries, &problem)) {
        if (!entries.empty() || problem.empty())
            abort();
        return;
    }
    if (entries.size() > HistoryLimit)
        abort();
    // What was read is written and read back the same.
    std::vector<std::string> again;
    if (!ReadHistoryFile(FormatHistoryFile(entries), &again) || again != entries)
        abort();
}

// The rules at a caret: what they give stays inside the text and fits it.
static void CheckAtCaret(const std::u16string &text, size_t caret)
{
    IndentChange indent;
    if (DecideInputIndent(text, caret, &indent) &&
        (indent.lineStart > caret || indent.change == 0 || (indent.change < 0 && (size_t)-indent.change > indent.blanks) ||
         indent.lineStart + indent.blanks > text.size()))
        abort();
    size_t start, end;
    if (CompletionStart(text, caret, &start) && start >= caret)
        abort();
    if (SymbolAt(text, caret, &start, &end) && !(start <= caret && caret <= end && start < end && end <= text.size()))
        abort();
    FormAtCaret form;
    if (FormAt(text, caret, &form)) {
        if (form.op.empty() || form.argument < -1 || form.before.size() != (size_t)(form.argument > 0 ? form.argument : 0))
            abort();
        // The text as an argument list: a mark is only ever added.
        std::string arglist = Utf16ToUtf8(text, 0, text.size());
        std::string marked = MarkArgument(arglist, form.argument, form.before);
        bool added = marked == arglist;
        for (size_t open = marked.find("===> "); !added && open != std::string::npos;
             open = marked.find("===> ", open + 1)) {
            for (size_t close = marked.find(" <===", open + 5); !added && close != std::string::npos;
                 close = marked.find(" <===", close + 1))
                added = marked.substr(0, open) + marked.substr(open + 5, close - open - 5) + marked.substr(close + 5) ==
                        arglist;
        }
        if (!added)
            abort();
    }
}

static void CheckInputRules(const std::string &bytes)
{
    std::u16string text = Utf8ToUtf16(bytes);
    if (Utf8ToUtf16(Utf16ToUtf8(text, 0, text.size())) != text)
        abort();
    ScanCopy copy = MakeScanCopy(text);
    if (copy.units.size() != copy.bytes.size() + 1 || copy.units.back() != text.size())
        abort();
    if (text.size() <= 200) {
        for (size_t caret = 0; caret <= text.size(); caret++)
            CheckAtCaret(text, caret);
    } else {
        for (size_t caret : {(size_t)0, text.size() / 2, text.size()})
            CheckAtCaret(text, caret);
    }
    // Its words as the matches of a completion.
    std::vector<std::string> words;
    for (size_t at = 0; at < bytes.size() && words.size() < 100;) {
        size_t end = bytes.find(' ', at);
        end = end == std::string::npos ? bytes.size() : end;
        words.push_back(bytes.substr(at, end - at));
        at = end + 1;
    }
    std::string common = CommonPrefix(words);
    for (const std::string &w : words)
        if (w.compare(0, common.size(), common) != 0)
            abort();
    CompletionListing(words, 40);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    std::string rest((const char *)data + 1, size - 1);
    if (data[0] & 2)
        CheckInputRules(rest);
    else if (data[0] & 1)
        CheckHistoryFile(rest);
    else
        CheckSplit(rest);
    return 0;
}
