// Saves that fail while writing, produced for real: this program runs with a
// file-size limit (see with_file_limit.sh), so a write past it fails as on a
// full disk. The file on disk must come out of it untouched.
#include "tests/document/docfixture.h"

#include "app/shell.h"
#include "document/document.h"
#include "resources/resource.h"

#include <stdlib.h>

namespace {

using Texts = std::vector<std::string>;

class WriteFault : public DocumentTest {
protected:
    void SetUp() override
    {
        DocumentTest::SetUp();
        const char *limit = getenv("QUILLON_FILE_LIMIT");
        ASSERT_NE(nullptr, limit) << "run through with_file_limit.sh";
        tooLong = std::string(atoi(limit) + 4096, 'x');
    }
    std::string tooLong;  // more than a file may hold
};

TEST_F(WriteFault, FailedSaveLeavesTheOldFileByteForByte)
{
    const std::string old = "(old contents)\r\n\x80\xFF";
    WriteBytes("old.lsp", old);
    PutDocument("old.lsp", tooLong);
    TypeText(";");
    MenuCommand(IDM_SAVE);
    EXPECT_EQ(Texts{"Error writing to old.lsp."}, Notices());
    EXPECT_EQ(old, ReadBytes("old.lsp"));
    EXPECT_EQ(1, DocumentModified);
    EXPECT_STREQ("old.lsp", DocumentName);
    EXPECT_EQ(Texts{"old.lsp"}, FilesIn(folder)) << "the unfinished file is removed";

    // Within the limit the same document saves.
    PutDocument("old.lsp", "(short)");
    TypeText(";");
    MenuCommand(IDM_SAVE);
    EXPECT_EQ(Texts{}, Notices());
    EXPECT_EQ(";(short)", ReadBytes("old.lsp"));
    EXPECT_EQ(0, DocumentModified);
}

TEST_F(WriteFault, FailedSaveAsCreatesNoFileAndLeavesTheDocumentUntitled)
{
    PutDocument("mine.lsp", tooLong);
    TypeText(";");
    AnswerNextFileDialog("new.lsp");
    MenuCommand(IDM_SAVEAS);
    EXPECT_EQ(Texts{"Error writing to new.lsp."}, Notices());
    EXPECT_EQ(Texts{}, FilesIn(folder));
    EXPECT_STREQ("", DocumentName);
    EXPECT_EQ("Quillon - (untitled)", MainTitle());
    EXPECT_EQ(1, DocumentModified);
    EXPECT_EQ(";" + tooLong, EditorText());
}

} // namespace
