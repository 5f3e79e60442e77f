// Saves that meet a target held open by another program, a folder that is
// gone, or a file that another program replaced after the document was
// opened. Each ends with the file on disk either as it was, byte for byte,
// or holding the whole new text; a failure names the file and keeps the
// document modified.
#include "tests/document/docfixture.h"

#include "app/shell.h"
#include "document/document.h"
#include "editor/editor.h"
#include "resources/resource.h"

namespace {

using Texts = std::vector<std::string>;

// Another program (holdfile.exe, beside this test) holding a file open with
// the given share mode until the object ends.
class Holder {
public:
    Holder(const std::string &path, DWORD share)
    {
        char exe[MAX_PATH];
        GetModuleFileNameA(NULL, exe, sizeof exe);
        strcpy(strrchr(exe, '\\') + 1, "document_holdfile.exe");
        std::string command = "\"" + std::string(exe) + "\" \"" + path + "\" " + std::to_string(share);
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
        HANDLE childInput, childOutput, output;
        CreatePipe(&childInput, &input_, &inherit, 0);
        CreatePipe(&output, &childOutput, &inherit, 0);
        SetHandleInformation(input_, HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(output, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = childInput;
        startup.hStdOutput = childOutput;
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        started_ = CreateProcessA(NULL, &command[0], NULL, NULL, TRUE, 0, NULL, NULL, &startup, &info_);
        if (!started_)
            why_ = "not started, error " + std::to_string(GetLastError());
        CloseHandle(childInput);
        CloseHandle(childOutput);
        std::string said;
        char chunk[8];
        DWORD got;
        while (said.size() < 4 && ReadFile(output, chunk, sizeof chunk, &got, NULL) && got > 0)
            said.append(chunk, got);
        CloseHandle(output);
        holding_ = said.compare(0, 4, "held") == 0;
        DWORD code = 0;
        if (started_ && !holding_ && WaitForSingleObject(info_.hProcess, 5000) == WAIT_OBJECT_0 &&
            GetExitCodeProcess(info_.hProcess, &code))
            why_ = "said \"" + said + "\", exit code " + std::to_string(code);
    }
    ~Holder()
    {
        CloseHandle(input_);  // its input ends: it closes the file and exits
        if (started_) {
            WaitForSingleObject(info_.hProcess, 10000);
            CloseHandle(info_.hProcess);
            CloseHandle(info_.hThread);
        }
    }
    bool holding() const { return holding_; }
    // Why it is not holding the file.
    const std::string &why() const { return why_; }

private:
    HANDLE input_ = NULL;
    PROCESS_INFORMATION info_ = {};
    bool started_ = false, holding_ = false;
    std::string why_;
};

class SaveFault : public DocumentTest {};

TEST_F(SaveFault, FileHeldByAnotherProgram)
{
    struct Case {
        const char *what;
        DWORD share;
        std::string notice;
    } cases[] = {
        {"shared with nobody", 0, "Cannot write to doc.lsp."},
        {"shared for reading", FILE_SHARE_READ, "Cannot write to doc.lsp."},
        {"shared for reading and writing, not deleting", FILE_SHARE_READ | FILE_SHARE_WRITE,
         "Error writing to doc.lsp."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        WriteBytes("doc.lsp", "(old)\r\n");
        PutDocument("doc.lsp", "(new)");
        TypeText(";");
        {
            Holder holder(folder + "doc.lsp", c.share);
            ASSERT_TRUE(holder.holding()) << holder.why();
            MenuCommand(IDM_SAVE);
            EXPECT_EQ(Texts{c.notice}, Notices());
            EXPECT_EQ(1, DocumentModified);
        }
        EXPECT_EQ("(old)\r\n", ReadBytes("doc.lsp"));
        EXPECT_EQ(Texts{"doc.lsp"}, FilesIn(folder)) << "no unfinished file is left";
        // Once the other program lets go, the same Save writes the document.
        MenuCommand(IDM_SAVE);
        EXPECT_EQ(Texts{}, Notices());
        EXPECT_EQ(";(new)", ReadBytes("doc.lsp"));
        EXPECT_EQ(0, DocumentModified);
    }
}

TEST_F(SaveFault, FolderRemovedSinceTheOpen)
{
    // Names with a folder part, as a command line may give them. (The
    // current directory itself cannot be removed while it is current.)
    const std::string gone = folder + "gone\\";
    for (const std::string &name : {gone + "doc.lsp", std::string("gone\\doc.lsp")}) {
        SCOPED_TRACE(name);
        MakeFolder(gone);
        WriteBytes(gone + "doc.lsp", "(old)");
        PutDocument(name, "(new)");
        TypeText(";");
        ASSERT_TRUE(DeleteFileA((gone + "doc.lsp").c_str()));
        ASSERT_TRUE(RemoveDirectoryA(gone.c_str()));
        MenuCommand(IDM_SAVE);
        EXPECT_EQ(Texts{"Cannot write to " + name + "."}, Notices());
        EXPECT_EQ(1, DocumentModified);
        EXPECT_EQ(";(new)", EditorText());
        EXPECT_EQ(Texts{}, FilesIn(folder)) << "nothing is made in its place";
    }
}

// Save writes the document over whatever the name stands for now: the user
// asked to save it there. The other program's version is replaced whole,
// never mixed with the new text, or, where it cannot be replaced, kept.
TEST_F(SaveFault, FileReplacedByAnotherProgramSinceTheOpen)
{
    const std::string theirs = std::string(5000, 'o') + "\r\n";
    struct Case {
        const char *what;
        DWORD attributes;
        std::string notice, onDisk;
        int modified;
    } cases[] = {
        {"replaced", FILE_ATTRIBUTE_NORMAL, "", "(mine);", 0},
        {"replaced by a read-only file", FILE_ATTRIBUTE_READONLY, "Cannot write to doc.lsp.", theirs, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        WriteBytes("doc.lsp", "(mine)");
        OpenCommandLineFile(strcpy(ScratchText, "doc.lsp"));
        SendMessageA(EditorWindow, EM_SETSEL, 6, 6);
        TypeText(";");
        // The other program writes its own file and moves it over the name.
        WriteBytes("theirs.tmp", theirs);
        ASSERT_TRUE(SetFileAttributesA("theirs.tmp", c.attributes));
        ASSERT_TRUE(MoveFileExA("theirs.tmp", "doc.lsp", MOVEFILE_REPLACE_EXISTING));
        MenuCommand(IDM_SAVE);
        EXPECT_EQ(c.notice.empty() ? Texts{} : Texts{c.notice}, Notices());
        EXPECT_EQ(c.onDisk, ReadBytes("doc.lsp"));
        EXPECT_EQ(c.modified, DocumentModified);
        EXPECT_EQ(Texts{"doc.lsp"}, FilesIn(folder));
        SetFileAttributesA("doc.lsp", FILE_ATTRIBUTE_NORMAL);
    }
}

} // namespace
