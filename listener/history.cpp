#include "listener/history.h"

void HistoryAdd(History &h, const std::string &input)
{
    if (input.find_first_not_of(" \t") != std::string::npos && (h.entries.empty() || h.entries.back() != input)) {
        h.entries.push_back(input);
        if (h.entries.size() > HistoryLimit)
            h.entries.erase(h.entries.begin());
    }
    h.at = h.entries.size();
}

bool HistoryPrevious(History &h, std::string *input)
{
    if (h.at == 0)
        return false;
    *input = h.entries[--h.at];
    return true;
}

bool HistoryNext(History &h, std::string *input)
{
    if (h.at >= h.entries.size())
        return false;
    ++h.at;
    *input = h.at < h.entries.size() ? h.entries[h.at] : std::string();
    return true;
}
