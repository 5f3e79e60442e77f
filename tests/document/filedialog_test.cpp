// The Open and Save As dialogs: what they show, and what a confirmed choice
// leaves behind for the flows (name, full path, current directory).
#include "tests/document/docfixture.h"

#include "app/shell.h"
#include "document/document.h"
#include "resources/resource.h"

namespace {

struct Chooser {
    const char *name;
    BOOL (*choose)();
};
const Chooser Choosers[] = {{"Open", ChooseOpenFile}, {"Save As", ChooseSaveFile}};

class FileDialogs : public DocumentTest {};

TEST_F(FileDialogs, ShowTheFilterPairsAnEmptyNameBoxAndTheCurrentFolder)
{
    for (const Chooser &c : Choosers) {
        SCOPED_TRACE(c.name);
        strcpy(DocumentName, "named.lsp");
        strcpy(ScratchText, "left over");
        AnswerNextFileDialog("");
        EXPECT_FALSE(c.choose());
        std::vector<SeenDialog> seen = TakeSeenDialogs();
        ASSERT_EQ(1u, seen.size());
        ASSERT_TRUE(seen[0].fileDialog);
        EXPECT_EQ(std::vector<std::string>({"Lisp Files(*.LSP)", "All Files(*.*)"}), seen[0].filters);
        EXPECT_EQ(0, seen[0].filterIndex);
        EXPECT_EQ("", seen[0].text);
        EXPECT_EQ(folder, seen[0].folder + "\\");
        EXPECT_EQ(MainWindow, seen[0].owner);
        // Cancel leaves the name as it was and the path empty.
        EXPECT_STREQ("named.lsp", DocumentName);
        EXPECT_STREQ("", ScratchText);
        EXPECT_EQ(folder, CurrentFolder());
    }
}

TEST_F(FileDialogs, FiltersListLispFilesOrAllFiles)
{
    for (const char *name : {"a.lsp", "B.LSP", "c.txt", "d.lsp.bak", "e"})
        WriteBytes(folder + name, "");
    MakeFolder(folder + "sub\\");
    struct Case {
        int filter;
        std::vector<std::string> listed;
    } cases[] = {
        {0, {"B.LSP", "a.lsp", "sub"}},
        {1, {"B.LSP", "a.lsp", "c.txt", "d.lsp.bak", "e", "sub"}},
    };
    for (const Chooser &c : Choosers) {
        for (const Case &k : cases) {
            SCOPED_TRACE(testing::Message() << c.name << ", filter " << k.filter);
            FileAnswer answer;
            answer.filter = k.filter;
            AnswerNextFileDialog(answer);
            c.choose();
            std::vector<SeenDialog> seen = TakeSeenDialogs();
            ASSERT_EQ(1u, seen.size());
            EXPECT_EQ(k.listed, seen[0].listed);
        }
    }
}

TEST_F(FileDialogs, FullPathToAnotherFolderMakesThatFolderCurrent)
{
    std::string other = MakeFolder(folder + "other\\");
    WriteBytes(other + "there.lsp", "(there)");
    for (const Chooser &c : Choosers) {
        SCOPED_TRACE(c.name);
        SetCurrentDirectoryA(folder.c_str());
        AnswerNextFileDialog(other + "there.lsp");
        AnswerNextBox(IDYES);  // Save As asks before replacing the file
        ASSERT_TRUE(c.choose());
        EXPECT_STREQ("there.lsp", DocumentName);
        EXPECT_EQ(other + "there.lsp", ScratchText);
        EXPECT_EQ(other, CurrentFolder());
        TakeSeenDialogs();
        // The next dialog starts there.
        AnswerNextFileDialog("");
        ChooseOpenFile();
        std::vector<SeenDialog> seen = TakeSeenDialogs();
        ASSERT_EQ(1u, seen.size());
        EXPECT_EQ(other, seen[0].folder + "\\");
    }
}

TEST_F(FileDialogs, CancelAfterBrowsingLeavesTheDocumentWhereItWas)
{
    // doc.lsp is open from the test's folder; the user goes into another
    // folder in the dialog, cancels there, changes the text and saves.
    const std::string other = MakeFolder(folder + "other\\");
    const int commands[] = {IDM_OPEN, IDM_SAVEAS};
    for (int command : commands) {
        SCOPED_TRACE(command == IDM_OPEN ? "Open" : "Save As");
        WriteBytes(folder + "doc.lsp", "(doc)");
        PutDocument("doc.lsp", "(doc)");
        FileAnswer answer;
        answer.browse = "other";
        AnswerNextFileDialog(answer);
        MenuCommand(command);
        std::vector<SeenDialog> seen = TakeSeenDialogs();
        ASSERT_EQ(1u, seen.size());
        EXPECT_EQ(other, seen[0].answeredIn + "\\") << "the dialog did not browse";
        EXPECT_EQ(folder, CurrentFolder());
        TypeText(";");
        MenuCommand(IDM_SAVE);
        EXPECT_EQ(";(doc)", ReadBytes(folder + "doc.lsp"));
        EXPECT_EQ(std::vector<std::string>{}, FilesIn(other));
        EXPECT_EQ(0, DocumentModified);
        EXPECT_EQ(0u, TakeSeenDialogs().size());
    }
}

TEST_F(FileDialogs, OpenAfterAFullPathReadsTheChosenFile)
{
    std::string other = MakeFolder(folder + "other\\");
    WriteBytes(other + "same.lsp", "(the chosen one)");
    WriteBytes(folder + "same.lsp", "(a namesake in the first folder)");
    AnswerNextFileDialog(other + "same.lsp");
    MenuCommand(IDM_OPEN);
    EXPECT_EQ("(the chosen one)", EditorText());
    TypeText(";");
    MenuCommand(IDM_SAVE);
    EXPECT_EQ(";(the chosen one)", ReadBytes(other + "same.lsp"));
    EXPECT_EQ("(a namesake in the first folder)", ReadBytes(folder + "same.lsp"));
}

TEST_F(FileDialogs, SaveAsUsesATypedNameWithoutAddingAnExtension)
{
    PutDocument("", "(plain)");
    AnswerNextFileDialog("plain");
    MenuCommand(IDM_SAVEAS);
    EXPECT_STREQ("plain", DocumentName);
    EXPECT_EQ("(plain)", ReadBytes("plain"));
    EXPECT_EQ(std::vector<std::string>{"plain"}, FilesIn(folder));
}

TEST_F(FileDialogs, OpenCannotConfirmAMissingFile)
{
    strcpy(DocumentName, "earlier.lsp");
    // The dialog refuses the name and stays up: it is then cancelled.
    FileAnswer answer;
    answer.name = "missing.lsp";
    answer.thenCancel = true;
    AnswerNextFileDialog(answer);
    EXPECT_FALSE(ChooseOpenFile());
    std::vector<SeenDialog> seen = TakeSeenDialogs();
    ASSERT_EQ(2u, seen.size());
    EXPECT_TRUE(seen[0].fileDialog);
    EXPECT_FALSE(seen[1].fileDialog) << "the dialog's own message about the missing file";
    EXPECT_STREQ("earlier.lsp", DocumentName);
}

TEST_F(FileDialogs, SaveAsAsksBeforeReplacingAFile)
{
    struct Case {
        int answer;
        const char *onDisk, *name;
        int modified;
    } cases[] = {
        {IDYES, "(new)", "there.lsp", 0},
        {IDNO, "(old)", "mine.lsp", 1},  // the dialog stays up, then is cancelled
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.answer == IDYES ? "Yes" : "No");
        WriteBytes(folder + "there.lsp", "(old)");
        PutDocument("mine.lsp", "new)");
        TypeText("(");
        FileAnswer answer;
        answer.name = "there.lsp";
        answer.thenCancel = c.answer == IDNO;
        AnswerNextFileDialog(answer);
        AnswerNextBox(c.answer);
        MenuCommand(IDM_SAVEAS);
        std::vector<SeenDialog> seen = TakeSeenDialogs();
        ASSERT_EQ(2u, seen.size());
        EXPECT_FALSE(seen[1].fileDialog);
        EXPECT_NE(std::string::npos, seen[1].text.find("already exists")) << seen[1].text;
        std::vector<int> buttons;
        for (const SeenControl &control : seen[1].controls) {
            if (control.className == "Button")
                buttons.push_back(control.id);
        }
        EXPECT_EQ(std::vector<int>({IDYES, IDNO}), buttons);
        EXPECT_EQ(c.onDisk, ReadBytes(folder + "there.lsp"));
        EXPECT_STREQ(c.name, DocumentName);
        EXPECT_EQ(c.modified, DocumentModified);
        EXPECT_EQ(folder, CurrentFolder());
    }
}

TEST_F(FileDialogs, NamesAndPathsTooLongForTheDocumentAreRefused)
{
    // A file name of more than 128 characters, within a full path that fits,
    // chosen after browsing into its folder: a refused choice leaves the
    // current directory as it was before the dialog.
    const std::string other = MakeFolder(folder + "o\\");
    const std::string longName = std::string(254 - other.size() - 4, 'n') + ".lsp";
    ASSERT_GT(longName.size(), 128u);
    WriteBytes(other + longName, "(long)");
    // A full path of 257 characters: longer than the dialog's buffer.
    const std::string deep = MakeFolder(folder + std::string(200 - folder.size(), 'd') + "\\");
    const std::string deepPath = deep + std::string(257 - deep.size() - 4, 'p') + ".lsp";
    struct Case {
        const char *what;
        BOOL (*choose)();
        FileAnswer answer;
        std::vector<std::string> notices;
    } cases[] = {
        {"long name, Open", ChooseOpenFile, {longName, "o"}, {"Error opening " + other + longName + "."}},
        {"long name, Save As", ChooseSaveFile, {longName, "o"}, {"Cannot write to " + other + longName + "."}},
        {"long path, Save As", ChooseSaveFile, {deepPath, ""}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        strcpy(DocumentName, "earlier.lsp");
        SetCurrentDirectoryA(folder.c_str());
        AnswerNextFileDialog(c.answer);
        AnswerNextBox(IDYES);  // Save As asks before replacing the file
        EXPECT_FALSE(c.choose());
        std::vector<std::string> notices;
        for (const SeenDialog &seen : TakeSeenDialogs()) {
            if (!seen.fileDialog && seen.caption == "KESTRALUNE")
                notices.push_back(seen.text);
        }
        EXPECT_EQ(c.notices, notices);
        EXPECT_STREQ("earlier.lsp", DocumentName);
        EXPECT_EQ(folder, CurrentFolder());
    }
    EXPECT_EQ("(long)", ReadBytes(other + longName));
}

TEST_F(FileDialogs, SaveAsIntoAMissingFolderWritesNothing)
{
    PutDocument("mine.lsp", "(mine)");
    TypeText(";");
    AnswerNextFileDialog(folder + "missing\\new.lsp");
    MenuCommand(IDM_SAVEAS);
    std::vector<SeenDialog> seen = TakeSeenDialogs();
    ASSERT_EQ(2u, seen.size());
    EXPECT_EQ("Cannot write to " + folder + "missing\\new.lsp.", seen[1].text);
    EXPECT_EQ(std::vector<std::string>{}, FilesIn(folder));
    EXPECT_STREQ("mine.lsp", DocumentName);
    EXPECT_EQ(1, DocumentModified);
    EXPECT_EQ(folder, CurrentFolder());
}

} // namespace
