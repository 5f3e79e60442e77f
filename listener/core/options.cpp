#include "listener/core/options.h"
#include "listener/core/text_rules.h"

#include <string.h>


static bool ReadPort(const char *text, unsigned short *port)
{
    unsigned long value = 0;
    if (!*text)
        return false;
    for (; *text; text++) {
        if (*text < '0' || *text > '9' || (value = value * 10 + (unsigned long)(*text - '0')) > 65535)
            return false;
    }
    *port = (unsigned short)value;
    return value != 0;
}

bool ReadListenerOptions(int argc, const char *const *argv, ListenerOptions *options)
{
    for (int i = 1; i < argc; i += 2) {
        if (i + 1 >= argc)
            return false;
        const char *name = argv[i], *value = argv[i + 1];
        bool good;
        if (strcmp(name, "-host") == 0)
            good = *value && (options->host = value, true);
        else if (strcmp(name, "-port") == 0)
            good = ReadPort(value, &options->port);
        else if (strcmp(name, "-lisp") == 0)
            good = *value && (options->lispCommand = value, true);
        else if (strcmp(name, "-secret") == 0)
            good = *value && (options->secretFile = value, true);
        else
            good = false;
        if (!good)
            return false;
    }
    return true;
}

std::string SlimeSecretPath(const std::string &home, const std::string &profile, const std::string &homeDrive,
                            const std::string &homePath)
{
    std::string folder = !home.empty()                           ? home
                         : !profile.empty()                      ? profile
                         : !homeDrive.empty() && !homePath.empty() ? homeDrive + homePath
                                                                 : std::string();
    if (folder.empty())
        return folder;
    if (folder.back() != '\\' && folder.back() != '/')
        folder += '\\';
    return folder + ".slime-secret";
}

// A program's name, as Windows takes it: with ".exe" when its last part has
// no extension, then as it is.
static bool NamesProgram(const std::string &name, bool (*isFile)(const std::string &name))
{
    size_t part = name.find_last_of("\\/:");
    bool extension = name.find('.', part == std::string::npos ? 0 : part + 1) != std::string::npos;
    return (!extension && isFile(name + ".exe")) || isFile(name);
}

std::string LispCommandLine(const std::string &command, bool (*isFile)(const std::string &name))
{
    size_t start = 0;
    while (start < command.size() && IsBlank(command[start]))
        start++;
    if (start == command.size() || command[start] == '"')
        return command;
    // Each end of a word, the last first: where the program's name may end.
    size_t end = std::string::npos;
    for (size_t at = command.size(); at > start; at--) {
        if (IsBlank(command[at - 1]) || (at < command.size() && !IsBlank(command[at])))
            continue;
        if (NamesProgram(command.substr(start, at - start), isFile)) {
            end = at;
            break;
        }
    }
    if (end == std::string::npos) {
        end = start;
        while (end < command.size() && !IsBlank(command[end]))
            end++;
    }
    return "\"" + command.substr(start, end - start) + "\"" + command.substr(end);
}
