// Name rules that need no window: the file-name part of a path.
#include "document/internal.h"

#include <string.h>

const char *FileNamePart(const char *path)
{
    const char *name = path;
    for (const char *c = path; *c; c++) {
        if (*c == '\\' || *c == '/' || *c == ':')
            name = c + 1;
    }
    return name;
}
