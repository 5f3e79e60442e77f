// Shared by the document tests: the program's window, made once per process
// the way start-up makes it, and a fresh temporary folder as the current
// directory of each test, with the document reset to empty and untitled.
#ifndef QUILLON_TESTS_DOCFIXTURE_H
#define QUILLON_TESTS_DOCFIXTURE_H

#include "tests/support/wintest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class DocumentTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;
    // The texts of the message boxes shown since the last call (file dialogs
    // left out); clears the record.
    static std::vector<std::string> Notices();

    // The test's own folder, a full path ending in a backslash.
    std::string folder;
};

// Starts the program's window once: class, InitInstance (binary file mode,
// wait cursor, main window and editor) and the dialog watcher.
void StartProgramOnce();

// Files, byte for byte. ReadBytes gives "<missing>" for a file that cannot be read.
void WriteBytes(const std::string &path, const std::string &bytes);
std::string ReadBytes(const std::string &path);
// The names of the files in a folder, sorted, without "." and "..".
std::vector<std::string> FilesIn(const std::string &folder);
std::string CurrentFolder();
// Makes a folder with a backslash-ended full path; returns the path.
std::string MakeFolder(const std::string &path);

// Puts a document in place as a load would: name, text, title, clean.
void PutDocument(const std::string &name, const std::string &text);
// Types into the editor at the caret, as the user would: the editor reports
// the change and the document becomes modified.
void TypeText(const char *text);
std::string EditorText();
std::string MainTitle();

// Exit and the close request end in DestroyWindow on the main window; while
// this guard lives those calls are refused and counted instead.
class DestroyGuard {
public:
    DestroyGuard();
    ~DestroyGuard();
    int attempts() const;
};

// Sends a command of the File menu to the main window as the menu does.
void MenuCommand(int id);

#endif
