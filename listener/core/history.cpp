#include "listener/core/history.h"
#include "listener/core/text_rules.h"

bool HistoryAdd(History &h, const std::string &input)
{
    bool kept = !IsBlankText(input) &&
                (h.entries.empty() || h.entries.back() != input);
    if (kept) {
        h.entries.push_back(input);
        if (h.entries.size() > HistoryLimit)
            h.entries.erase(h.entries.begin());
    }
    h.at = h.entries.size();
    return kept;
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

const char HistoryFileHeader[] = "KESTRALUNE history 1";

std::string FormatHistoryFile(const std::vector<std::string> &entries)
{
    size_t first = entries.size() > HistoryLimit ? entries.size() - HistoryLimit : 0;
    std::string file = std::string(HistoryFileHeader) + "\r\n";
    for (size_t i = first; i < entries.size(); i++) {
        for (char c : entries[i]) {
            if (c == '\\')
                file += "\\\\";
            else if (c == '\n')
                file += "\\n";
            else if (c == '\r')
                file += "\\r";
            else
                file += c;
        }
        file += "\r\n";
    }
    return file;
}

static bool Damaged(const std::string &why, std::vector<std::string> *entries, std::string *problem)
{
    entries->clear();
    if (problem)
        *problem = why;
    return false;
}

// One line's entry, its escapes undone; false on a bad escape or a CR that
// does not end the line.
static bool ReadEntry(const std::string &bytes, size_t from, size_t to, std::string *entry)
{
    entry->clear();
    for (size_t i = from; i < to; i++) {
        char c = bytes[i];
        if (c == '\r')
            return false;
        if (c == '\\') {
            if (++i >= to)
                return false;
            c = bytes[i] == '\\' ? '\\' : bytes[i] == 'n' ? '\n' : bytes[i] == 'r' ? '\r' : '\0';
            if (c == '\0')
                return false;
        }
        *entry += c;
    }
    return true;
}

bool ReadHistoryFile(const std::string &bytes, std::vector<std::string> *entries, std::string *problem)
{
    entries->clear();
    if (bytes.empty())
        return Damaged("the file is empty", entries, problem);
    // An editor may have put a byte order mark in front.
    size_t at = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    size_t end = bytes.find('\n', at);
    size_t content = end == std::string::npos ? bytes.size() : end > at && bytes[end - 1] == '\r' ? end - 1 : end;
    if (bytes.compare(at, content - at, HistoryFileHeader) != 0)
        return Damaged(std::string("the first line is not \"") + HistoryFileHeader + "\"", entries, problem);
    std::vector<std::string> read;
    for (size_t number = 1; at < bytes.size(); number++) {
        end = bytes.find('\n', at);
        if (end == std::string::npos)
            return Damaged("line " + std::to_string(number) + " is cut off", entries, problem);
        content = end > at && bytes[end - 1] == '\r' ? end - 1 : end;
        std::string entry;
        if (number > 1 && !ReadEntry(bytes, at, content, &entry))
            return Damaged("line " + std::to_string(number) + " holds a bad escape or a stray CR", entries, problem);
        if (number > 1)
            read.push_back(entry);
        at = end + 1;
    }
    if (read.size() > HistoryLimit)
        read.erase(read.begin(), read.end() - HistoryLimit);
    entries->swap(read);
    return true;
}
