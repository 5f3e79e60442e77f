// Reading and replacing the history file. A save holds history.lock (opened
// without sharing) while it reads, adds and writes, so two listeners saving
// at once take turns instead of one losing the other's input. The new text
// goes to a temporary file in the same folder, is flushed, then renamed over
// the old file: a reader sees the old file or the new one, never a part.
// The listener saves on a writer thread fed by a queue: the lock, the
// pauses and the flush never hold up its window.
#include "listener/win32/historyfile.h"
#include "listener/win32/codepage.h"

#include <deque>

namespace {

// Bigger files are refused rather than read: HistoryLimit entries of the
// longest kept input fit well below it.
const ULONGLONG FileSizeLimit = 128u << 20;
const size_t EntrySizeLimit = 256u << 10;
// How often and how long to wait for the lock, or for a file another program
// (a virus scanner, say) holds open for a moment.
const int Attempts = 100;
const DWORD AttemptPause = 20;

// The system's one-line text for an error code, in UTF-8.
std::string ErrorText(DWORD code)
{
    wchar_t *text = NULL;
    std::wstring message;
    if (FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       NULL, code, 0, (LPWSTR)&text, 0, NULL) &&
        text) {
        message = text;
        LocalFree(text);
    }
    for (wchar_t &c : message) {
        if (c == L'\r' || c == L'\n')
            c = L' ';
    }
    while (!message.empty() && (message.back() == L' ' || message.back() == L'.'))
        message.pop_back();
    std::string number = "error " + std::to_string(code);
    return message.empty() ? number : WideToUtf8(message) + " (" + number + ")";
}

bool Fail(std::string *problem, const std::string &what, DWORD code)
{
    *problem = what + ": " + ErrorText(code);
    return false;
}

// %APPDATA%\KESTRALUNE
bool HistoryFolder(std::wstring *folder, std::string *problem)
{
    wchar_t buffer[MAX_PATH + 1];
    DWORD length = GetEnvironmentVariableW(L"APPDATA", buffer, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) {
        *problem = "the input history has no file: APPDATA is not set or too long";
        return false;
    }
    *folder = std::wstring(buffer, length);
    if (folder->back() != L'\\' && folder->back() != L'/')
        *folder += L'\\';
    *folder += L"KESTRALUNE";
    return true;
}

enum ReadResult { FileRead, FileMissing, FileUnreadable };

ReadResult ReadWholeFile(const std::wstring &path, std::string *bytes, std::string *problem)
{
    bytes->clear();
    std::string name = "the input history " + WideToUtf8(path);
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 1; file == INVALID_HANDLE_VALUE; attempt++) {
        // Sharing delete too, so that another listener can replace the file
        // while this one reads it.
        file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE)
            break;
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return FileMissing;
        if (error != ERROR_SHARING_VIOLATION || attempt == Attempts) {
            Fail(problem, "cannot open " + name, error);
            return FileUnreadable;
        }
        Sleep(AttemptPause);
    }
    ReadResult result = FileRead;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size)) {
        Fail(problem, "cannot read " + name, GetLastError());
        result = FileUnreadable;
    } else if ((ULONGLONG)size.QuadPart > FileSizeLimit) {
        *problem = name + " is larger than " + std::to_string(FileSizeLimit >> 20) + " MiB";
        result = FileUnreadable;
    } else {
        bytes->resize((size_t)size.QuadPart);
        size_t done = 0;
        while (done < bytes->size()) {
            DWORD got = 0;
            if (!ReadFile(file, &(*bytes)[done], (DWORD)(bytes->size() - done), &got, NULL)) {
                Fail(problem, "cannot read " + name, GetLastError());
                result = FileUnreadable;
                break;
            }
            if (got == 0)
                break;  // shorter than its size said: what is there is checked as it is
            done += got;
        }
        bytes->resize(done);
    }
    CloseHandle(file);
    if (result != FileRead)
        bytes->clear();
    return result;
}

// Renames from over to, waiting a moment for a program that holds either open.
bool RenameOver(const std::wstring &from, const std::wstring &to, DWORD *error)
{
    for (int attempt = 1;; attempt++) {
        if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        *error = GetLastError();
        if ((*error != ERROR_SHARING_VIOLATION && *error != ERROR_ACCESS_DENIED) || attempt == Attempts)
            return false;
        Sleep(AttemptPause);
    }
}

// Writes text to the file at path, created anew, and flushes it to the disk.
bool WriteWholeFile(const std::wstring &path, const std::string &text, std::string *problem)
{
    std::string what = "cannot write " + WideToUtf8(path);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return Fail(problem, what, GetLastError());
    bool good = true;
    DWORD error = 0;
    for (size_t done = 0; good && done < text.size();) {
        DWORD wrote = 0;
        good = WriteFile(file, text.data() + done, (DWORD)(text.size() - done), &wrote, NULL) && wrote > 0;
        if (!good)
            error = GetLastError();
        done += wrote;
    }
    if (good && !FlushFileBuffers(file)) {
        good = false;
        error = GetLastError();
    }
    if (!CloseHandle(file) && good) {
        good = false;
        error = GetLastError();
    }
    if (!good) {
        DeleteFileW(path.c_str());
        return Fail(problem, what, error);
    }
    return true;
}

// The lock of the history folder: a file opened without sharing. Released by
// closing it, which Windows also does for a listener that ends abruptly.
HANDLE TakeLock(const std::wstring &folder, std::string *problem)
{
    std::wstring path = folder + L"\\history.lock";
    for (int attempt = 1;; attempt++) {
        HANDLE lock = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, NULL);
        if (lock != INVALID_HANDLE_VALUE)
            return lock;
        DWORD error = GetLastError();
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) || attempt == Attempts) {
            Fail(problem, "the input history is busy: cannot open " + WideToUtf8(path), error);
            return INVALID_HANDLE_VALUE;
        }
        Sleep(AttemptPause);
    }
}

// Under the lock: the file's entries, the input added, the file replaced.
bool AddToFile(const std::wstring &folder, const std::string &entry, std::string *problem)
{
    std::wstring path = folder + L"\\history.txt";
    std::string bytes;
    History h;
    switch (ReadWholeFile(path, &bytes, problem)) {
    case FileUnreadable:
        *problem = "the input was not saved: " + *problem;
        return false;
    case FileMissing:
        break;
    case FileRead:
        if (!ReadHistoryFile(bytes, &h.entries)) {
            // Kept for whoever wants to mend it; the file starts anew.
            DWORD error = 0;
            if (!RenameOver(path, folder + L"\\history-damaged.txt", &error))
                return Fail(problem, "the input was not saved: cannot move the damaged " + WideToUtf8(path) + " aside",
                            error);
        }
        break;
    }
    if (!HistoryAdd(h, entry))
        return true;  // a repeat of the file's last entry
    std::wstring temporary = folder + L"\\history." + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    if (!WriteWholeFile(temporary, FormatHistoryFile(h.entries), problem))
        return false;
    DWORD error = 0;
    if (!RenameOver(temporary, path, &error)) {
        DeleteFileW(temporary.c_str());
        return Fail(problem, "cannot replace " + WideToUtf8(path), error);
    }
    return true;
}

}  // namespace

bool LoadHistoryFile(History &h, std::string *problem)
{
    h = History();
    std::wstring folder;
    if (!HistoryFolder(&folder, problem))
        return false;
    std::wstring path = folder + L"\\history.txt";
    std::string bytes, why;
    switch (ReadWholeFile(path, &bytes, problem)) {
    case FileMissing:
        return true;
    case FileUnreadable:
        return false;
    case FileRead:
        break;
    }
    if (!ReadHistoryFile(bytes, &h.entries, &why)) {
        *problem = "the input history " + WideToUtf8(path) + " is damaged (" + why +
                   "); the next input saved moves it to history-damaged.txt";
        return false;
    }
    h.at = h.entries.size();
    return true;
}

// Adds a UTF-8 input to the file (not a blank one, nor a repeat of the file's
// last entry), which keeps the last HistoryLimit. A damaged file is first
// moved aside to history-damaged.txt so that nothing is overwritten unread.
// False with a one-line reason when the input could not be saved.
static bool SaveHistoryEntry(const std::string &entry, std::string *problem)
{
    History blank;
    if (!HistoryAdd(blank, entry))
        return true;  // a blank input is not kept
    if (entry.size() > EntrySizeLimit) {
        *problem = "an input of " + std::to_string(entry.size()) + " bytes is too long for the history file (" +
                   std::to_string(EntrySizeLimit >> 10) + " KiB at most)";
        return false;
    }
    std::wstring folder;
    if (!HistoryFolder(&folder, problem))
        return false;
    if (!CreateDirectoryW(folder.c_str(), NULL) && GetLastError() != ERROR_ALREADY_EXISTS)
        return Fail(problem, "the input was not saved: cannot make the folder " + WideToUtf8(folder), GetLastError());
    HANDLE lock = TakeLock(folder, problem);
    if (lock == INVALID_HANDLE_VALUE)
        return false;
    bool saved = AddToFile(folder, entry, problem);
    CloseHandle(lock);
    return saved;
}

namespace {

// The writer thread's queue, shared with the window's thread.
CRITICAL_SECTION WriterLock;
std::deque<std::string> Waiting;
bool Stopping;
HANDLE Writer, Wake;  // the thread; an event set at each change of the queue
bool WriterTried;
HWND Report;  // where outcomes go, set before the thread starts
UINT ReportMessage;

void PostOutcome(const std::string &problem)
{
    std::string *text = new std::string(problem);
    if (!PostMessageW(Report, ReportMessage, 0, (LPARAM)text))
        delete text;  // the window is gone: the listener is ending
}

DWORD WINAPI WriteEntries(void *)
{
    for (;;) {
        std::string entry;
        EnterCriticalSection(&WriterLock);
        bool any = !Waiting.empty(), stop = !any && Stopping;
        if (any) {
            entry.swap(Waiting.front());
            Waiting.pop_front();
        }
        LeaveCriticalSection(&WriterLock);
        if (stop)
            return 0;
        if (!any) {
            WaitForSingleObject(Wake, INFINITE);
            continue;
        }
        std::string problem;
        if (SaveHistoryEntry(entry, &problem))
            problem.clear();
        PostOutcome(problem);
    }
}

}  // namespace

void QueueHistoryEntry(const std::string &entry, HWND window, UINT message)
{
    if (!WriterTried) {
        WriterTried = true;
        Report = window;
        ReportMessage = message;
        InitializeCriticalSection(&WriterLock);
        Wake = CreateEventW(NULL, FALSE, FALSE, NULL);
        Writer = Wake ? CreateThread(NULL, 0, WriteEntries, NULL, 0, NULL) : NULL;
    }
    if (!Writer) {
        PostOutcome("the input was not saved: the thread that saves the history could not be started");
        return;
    }
    EnterCriticalSection(&WriterLock);
    Waiting.push_back(entry);
    LeaveCriticalSection(&WriterLock);
    SetEvent(Wake);
}

void EndHistoryWriter()
{
    // Room for a save that waits out the lock (Attempts times AttemptPause) and then writes.
    const DWORD WriterWaitMs = 5000;
    if (!Writer)
        return;
    EnterCriticalSection(&WriterLock);
    Stopping = true;
    LeaveCriticalSection(&WriterLock);
    SetEvent(Wake);
    if (WaitForSingleObject(Writer, WriterWaitMs) == WAIT_OBJECT_0) {
        CloseHandle(Writer);
        Writer = NULL;
    }
}
