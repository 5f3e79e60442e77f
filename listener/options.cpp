#include "listener/options.h"

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
