// libFuzzer target over the listener's readers of text it is handed: the
// split of an input into top-level forms and the history file's reader. The
// first byte chooses which one gets the rest of the input.
#include "listener/forms.h"
#include "listener/history.h"

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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    std::string rest((const char *)data + 1, size - 1);
    if (data[0] & 1)
        CheckHistoryFile(rest);
    else
        CheckSplit(rest);
    return 0;
}
