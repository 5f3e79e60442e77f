#include "listener/core/text_rules.h"

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

std::string VisibleText(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        unsigned char u = (unsigned char)c;
        if ((u < 0x20 && c != '\t' && c != '\n' && c != '\r') || u == 0x7F) {
            out += '^';
            out += (char)(u ^ 0x40);
        } else {
            out += c;
        }
    }
    return out;
}

size_t CharacterStart(const std::string &text, size_t index)
{
    if (index >= text.size())
        return text.size();
    while (index > 0 && ((unsigned char)text[index] & 0xC0) == 0x80)
        index--;
    return index;
}

size_t CharacterCount(const std::string &text)
{
    size_t count = 0;
    for (char c : text)
        count += ((unsigned char)c & 0xC0) != 0x80;
    return count;
}

std::string Shortened(const std::string &text, size_t limit, const std::string &note)
{
    return text.size() > limit ? text.substr(0, CharacterStart(text, limit)) + note : text;
}

std::string CutWithNote(const std::string &text, size_t limit, const std::string &what)
{
    return Shortened(text, limit,
                     " ...\n[cut: the " + what + " is longer than " + std::to_string(limit) + " bytes]");
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || IsLineBreak(c) || c == '\f';
}

bool IsLineBreak(char c)
{
    return c == '\r' || c == '\n';
}

bool IsBlankText(const std::string &text)
{
    for (char c : text)
        if (!IsBlank(c))
            return false;
    return true;
}
