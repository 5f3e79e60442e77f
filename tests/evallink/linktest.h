// Shared by the evaluation link's tests and benchmark: the editor running in
// this process with its DDE link started, and the stand-in KESTRALUNE server
// (tools/ddestub) running as a second process.
#ifndef QUILLON_LINKTEST_H
#define QUILLON_LINKTEST_H

#include <windows.h>

#include <ostream>
#include <string>
#include <vector>

// One line of the server's log: 'C' conversation opened, 'R' conversation
// refused (text: the topic), 'X' execute (text: the data as declared, NUL
// included), 'T' other transaction, 'D' conversation closed.
struct ServerRecord {
    char kind;
    std::string text;
    bool operator==(const ServerRecord &other) const { return kind == other.kind && text == other.text; }
};
void PrintTo(const ServerRecord &record, std::ostream *out);

typedef std::vector<ServerRecord> ServerRecords;
extern const ServerRecord Opened, Refused, Closed;
// The execute record of this text, with the NUL the link adds.
ServerRecord Sent(const std::string &text);

// The stand-in server as a child process; stopped when this goes away.
class Kestralune {
public:
    Kestralune();
    ~Kestralune();
    // Starts the server with the options and waits until its service is
    // registered; the reason when that fails, else empty.
    std::string Start(const std::string &options = "");
    // Asks the server to end and waits for it; its exit code.
    DWORD Stop();
    // The records logged since the last call, after waiting up to 5 s for at
    // least this many.
    ServerRecords Take(size_t atLeast = 0);

private:
    PROCESS_INFORMATION process_;
    HANDLE ready_, stop_;
    std::string log_;
    size_t read_;
};

// Registers the main class, creates the main window and the editor, and
// starts the DDE client, as start-up does; once per process.
void StartEditorWithLink();
// Puts the text in the editor, selects start..end and marks the document
// unmodified.
void ShowText(const std::string &text, unsigned start, unsigned end);
// "Eval Selection" as the menu sends it to the main window.
void EvalCommand();

#endif
