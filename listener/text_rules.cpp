#include "listener/text_rules.h"

std::string ToCrLf(const std::string &text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); i++) {
        char c = text[i];
        if (c == '\n' && (i == 0 || text[i - 1] != '\r'))
            out += '\r';
        out += c;
        if (c == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))
            out += '\n';
    }
    return out;
}

std::string KeepTail(const std::string &text, size_t limit)
{
    if (text.size() <= limit)
        return text;
    size_t from = text.size() - limit;
    size_t lineStart = text.find('\n', from > 0 ? from - 1 : 0);
    if (lineStart != std::string::npos && lineStart + 1 < text.size())
        from = lineStart + 1;
    return text.substr(from);
}
