#include "tests/evallink/linktest.h"
#include "app/shell.h"
#include "document/document.h"
#include "editor/editor.h"
#include "evallink/evallink.h"
#include "resources/resource.h"
#include "tests/support/wintest.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

const ServerRecord Opened = {'C', "KESTRALUNE"};
const ServerRecord Refused = {'R', "KESTRALUNE"};
const ServerRecord Closed = {'D', ""};

ServerRecord Sent(const std::string &text)
{
    return ServerRecord{'X', text + '\0'};
}

void PrintTo(const ServerRecord &record, std::ostream *out)
{
    *out << record.kind << '(' << record.text.size() << ":\"";
    size_t shown = record.text.size() < 60 ? record.text.size() : 60;
    for (size_t i = 0; i < shown; i++) {
        unsigned char c = record.text[i];
        if (c >= 32 && c < 127 && c != '\\') {
            *out << c;
        } else {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\x%02X", c);
            *out << escaped;
        }
    }
    *out << (shown < record.text.size() ? "\"...)" : "\")");
}

namespace {

// Test exes live in <build>/tests/<subsystem>/, the server in <build>/tools/.
std::string ServerPath()
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, sizeof path);
    for (int up = 0; up < 3; up++)
        *strrchr(path, '\\') = '\0';
    return std::string(path) + "\\tools\\ddestub.exe";
}

std::string EventName(const char *purpose)
{
    static int made;
    char name[64];
    snprintf(name, sizeof name, "kestralune-%lu-%d-%s", GetCurrentProcessId(), ++made, purpose);
    return name;
}

std::string ReadFrom(const std::string &path, size_t offset)
{
    std::string bytes;
    ReadFileBytes(path, bytes, offset);
    return bytes;
}

// Parses whole records from bytes; returns how many bytes they took.
size_t ParseRecords(const std::string &bytes, ServerRecords &records)
{
    size_t used = 0;
    for (;;) {
        size_t lineEnd = bytes.find('\n', used);
        if (lineEnd == std::string::npos || lineEnd == used)
            return used;
        ServerRecord record = {bytes[used], ""};
        std::string rest = lineEnd > used + 2 ? bytes.substr(used + 2, lineEnd - used - 2) : "";
        size_t next = lineEnd + 1;
        if (record.kind == 'X') {
            size_t length = strtoul(rest.c_str(), NULL, 10);
            if (bytes.size() < next + length + 1)
                return used;
            record.text = bytes.substr(next, length);
            next += length + 1;
        } else {
            record.text = rest;
        }
        records.push_back(record);
        used = next;
    }
}

} // namespace

Kestralune::Kestralune() : process_(), ready_(NULL), stop_(NULL), read_(0) {}

Kestralune::~Kestralune()
{
    Stop();
}

std::string Kestralune::Start(const std::string &options)
{
    std::string readyName = EventName("ready"), stopName = EventName("stop");
    ready_ = CreateEventA(NULL, TRUE, FALSE, readyName.c_str());
    stop_ = CreateEventA(NULL, TRUE, FALSE, stopName.c_str());
    char folder[MAX_PATH], file[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    if (!ready_ || !stop_ || !GetTempFileNameA(folder, "kes", 0, file))
        return "cannot make the server's events or log file";
    log_ = file;
    read_ = 0;

    std::string command = "\"" + ServerPath() + "\" " + options + " -ready " + readyName + " -stop " + stopName +
                          " \"" + log_ + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessA(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process_))
        return "cannot start " + command;
    HANDLE waits[] = {ready_, process_.hProcess};
    switch (WaitForMultipleObjects(2, waits, FALSE, 10000)) {
    case WAIT_OBJECT_0:
        return "";
    case WAIT_OBJECT_0 + 1: {
        DWORD code = 0;
        GetExitCodeProcess(process_.hProcess, &code);
        return "the server ended at start with code " + std::to_string(code) + ": " + command;
    }
    default:
        return "the server did not get ready: " + command;
    }
}

DWORD Kestralune::Stop()
{
    DWORD code = STILL_ACTIVE;
    if (process_.hProcess) {
        SetEvent(stop_);
        if (WaitForSingleObject(process_.hProcess, 10000) != WAIT_OBJECT_0)
            TerminateProcess(process_.hProcess, 1);
        GetExitCodeProcess(process_.hProcess, &code);
        CloseHandle(process_.hProcess);
        CloseHandle(process_.hThread);
        process_ = PROCESS_INFORMATION();
    }
    for (HANDLE *event : {&ready_, &stop_}) {
        if (*event)
            CloseHandle(*event);
        *event = NULL;
    }
    if (!log_.empty())
        DeleteFileA(log_.c_str());
    log_.clear();
    return code;
}

ServerRecords Kestralune::Take(size_t atLeast)
{
    ServerRecords records;
    DWORD start = GetTickCount();
    for (;;) {
        read_ += ParseRecords(ReadFrom(log_, read_), records);
        if (records.size() >= atLeast || GetTickCount() - start > 5000)
            return records;
        Sleep(5);
    }
}

void StartEditorWithLink()
{
    HINSTANCE instance = GetModuleHandleA(NULL);
    if (!MainWindow && RegisterMainClass(instance) && InitInstance(instance, SW_SHOWNORMAL))
        StartEvalLink();
}

void ShowText(const std::string &text, unsigned start, unsigned end)
{
    SetWindowTextA(EditorWindow, text.c_str());
    SendMessageA(EditorWindow, EM_SETSEL, start, end);
    DocumentModified = 0;
}

void EvalCommand()
{
    SendMessageA(MainWindow, WM_COMMAND, IDM_EVAL, 0);
}
