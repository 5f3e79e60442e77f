// Helpers shared by the document subsystem's files.
#ifndef QUILLON_DOCUMENT_INTERNAL_H
#define QUILLON_DOCUMENT_INTERNAL_H

#include <stddef.h>

// Formats a notice printf-style into a buffer large enough for any name the
// program holds, then shows it with NoticeBox.
void ShowNotice(const char *format, ...) __attribute__((format(printf, 1, 2)));

// The main window's title for a document name ("Quillon - (untitled)" for the
// empty name), formatted into ScratchText.
const char *TitleFor(const char *name);

// The part of a path after its last '\', '/' or ':'.
const char *FileNamePart(const char *path);

#endif
