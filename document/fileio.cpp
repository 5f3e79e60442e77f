// Reading a file into the editor and writing the editor's text to a file,
// byte for byte (the runtime's default file mode is binary).
#include "document/document.h"
#include "document/internal.h"
#include "app/shell.h"
#include "editor/editor.h"

#include <io.h>
#include <string.h>

// The largest file that is loaded; the editor's text snapshot holds as many.
static const int LargestLoad = 31000;

// A zero-filled, locked block of the local heap; null when none can be had.
static char *TakeBlock(SIZE_T bytes, HLOCAL *block)
{
    *block = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, bytes);
    char *memory = *block ? (char *)LocalLock(*block) : NULL;
    if (!memory && *block)
        LocalFree(*block);
    return memory;
}

static void GiveBack(HLOCAL block)
{
    LocalUnlock(block);
    LocalFree(block);
}

BOOL LoadDocument(FILE *stream)
{
    // A failed query (-1) counts as too large.
    __int64 size = _filelengthi64(_fileno(stream));
    if (size < 0 || size > LargestLoad) {
        fclose(stream);
        ShowNotice("Not enough memory to load %s.\n%s exceeds %d bytes", DocumentName, DocumentName,
                   LargestLoad);
        return FALSE;
    }
    HLOCAL block;
    char *text = TakeBlock((SIZE_T)size + 1, &block);
    if (!text) {
        fclose(stream);
        NoticeBox("Not enough memory.");
        return FALSE;
    }
    HCURSOR previous = SetCursor(WaitCursor);
    size_t got = fread(text, 1, (size_t)size, stream);
    fclose(stream);
    if (got < (size_t)size) {
        SetCursor(previous);
        ShowNotice("Error reading %s.", DocumentName);
        text[0] = '\0';
        DocumentName[0] = '\0';
    }
    // The editor takes the text up to its first NUL byte.
    SetDocumentText(text, TitleFor(DocumentName));
    GiveBack(block);
    SetCursor(previous);
    return TRUE;
}

// Whether the file can be opened for writing, found without changing it: a
// file that the check creates is removed again. *attributes receives the
// attributes of the file that was there, or INVALID_FILE_ATTRIBUTES.
static bool CanWrite(const char *name, DWORD *attributes)
{
    // A read-only file is refused by its attribute too: a process with the
    // rights to write it anyway must not replace it.
    *attributes = GetFileAttributesA(name);
    const DWORD unwritable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY;
    if (*attributes != INVALID_FILE_ATTRIBUTES && (*attributes & unwritable))
        return false;
    HANDLE file = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool created = GetLastError() != ERROR_ALREADY_EXISTS;
    CloseHandle(file);
    if (created)
        DeleteFileA(name);
    return true;
}

// Puts the written file in the place of the target, which keeps its
// attributes (ReplaceFileA keeps more where the platform has it).
static bool PutInPlace(const char *written, const char *target, DWORD attributes)
{
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return MoveFileA(written, target);
    if (!ReplaceFileA(target, written, NULL, REPLACEFILE_IGNORE_MERGE_ERRORS, NULL, NULL) &&
        !MoveFileExA(written, target, MOVEFILE_REPLACE_EXISTING))
        return false;
    SetFileAttributesA(target, attributes);
    return true;
}

// Writes the text to a new file in the target's folder and replaces the
// target with it only once every byte is written, flushed to the disk and
// closed. On any
// failure the new file is removed and the target is left as it was.
static bool WriteThenReplace(const char *target, DWORD attributes, const char *text, size_t length)
{
    char folder[MAX_PATH];
    size_t folderLength = FileNamePart(target) - target;
    if (folderLength >= sizeof folder - 1)
        return false;
    memcpy(folder, target, folderLength);
    strcpy(folder + folderLength, ".");
    char written[MAX_PATH];
    if (!GetTempFileNameA(folder, "qln", 0, written))
        return false;
    FILE *stream = fopen(written, "w");
    bool done = stream && fwrite(text, 1, length, stream) == length;
    if (stream) {
        // On the disk before it takes the old file's place, so that a power
        // failure leaves one of the two whole, never a file cut short. A full
        // disk may show only here.
        done = fflush(stream) == 0 && done;
        done = done && FlushFileBuffers((HANDLE)_get_osfhandle(_fileno(stream)));
        done = fclose(stream) == 0 && done;
    }
    done = done && PutInPlace(written, target, attributes);
    if (!done)
        DeleteFileA(written);
    return done;
}

BOOL SaveDocument()
{
    DWORD attributes;
    if (!CanWrite(DocumentName, &attributes)) {
        ShowNotice("Cannot write to %s.", DocumentName);
        return FALSE;
    }
    HCURSOR previous = SetCursor(WaitCursor);
    HLOCAL block;
    int length = GetWindowTextLengthA(EditorWindow);
    char *text = TakeBlock((SIZE_T)length + 1, &block);
    if (!text) {
        SetCursor(previous);
        NoticeBox("Not enough memory.");
        return FALSE;
    }
    length = GetWindowTextA(EditorWindow, text, length + 1);
    bool written = WriteThenReplace(DocumentName, attributes, text, (size_t)length);
    GiveBack(block);
    SetCursor(previous);
    if (!written) {
        ShowNotice("Error writing to %s.", DocumentName);
        return FALSE;
    }
    DocumentModified = 0;
    return TRUE;
}
