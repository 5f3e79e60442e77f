// Loading files into the editor and saving the editor's text: sizes, bytes
// that must survive unchanged, refused loads, and saves that must never harm
// the file on disk.
#include "tests/document/docfixture.h"

#include "app/shell.h"
#include "document/document.h"
#include "editor/editor.h"
#include "resources/resource.h"

namespace {

class LoadSave : public DocumentTest {
protected:
    // The Open command with the name typed into the dialog.
    void OpenThroughDialog(const std::string &name)
    {
        AnswerNextFileDialog(name);
        MenuCommand(IDM_OPEN);
    }
};

using Texts = std::vector<std::string>;

TEST_F(LoadSave, FilesUpToTheLimitLoadAndTheEditorTakesTextUpToANul)
{
    struct Case {
        const char *name;
        std::string bytes;
        std::string shown;
    } cases[] = {
        {"limit.lsp", std::string(31000, 'x'), std::string(31000, 'x')},
        {"empty.lsp", "", ""},
        {"zero.lsp", std::string("(ab)\0(cd)", 9), "(ab)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(c.name, c.bytes);
        PutDocument("", "earlier");
        TypeText(" text");
        OpenCommandLineFile(strcpy(ScratchText, c.name));
        EXPECT_EQ(c.shown, EditorText());
        EXPECT_STREQ(c.name, DocumentName);
        EXPECT_EQ(std::string("Quillon - ") + c.name, MainTitle());
        EXPECT_EQ(0, DocumentModified);
        EXPECT_EQ(Texts{}, Notices());
    }
}

TEST_F(LoadSave, ALongLoadedDocumentTakesTypedKeys)
{
    // 30500 bytes: more than Wine's edit control takes from the keyboard by
    // default, less than the program loads. "(progn" and body lines.
    std::string text = "(progn\r\n";
    while (text.size() + 8 <= 30500)
        text += " (a b)\r\n";
    text.append(30500 - text.size(), ';');
    ASSERT_EQ(30500u, text.size());
    WriteBytes("long.lsp", text);
    OpenCommandLineFile(strcpy(ScratchText, "long.lsp"));
    ASSERT_EQ(text, EditorText());
    SendMessageA(EditorWindow, EM_SETSEL, text.size(), text.size());
    // Enter, Tab (one blank in the body of progn), a letter and ")", which
    // flashes the "(" at the start.
    for (char key : {'\r', '\t', 'x', ')'})
        SendMessageA(EditorWindow, WM_CHAR, (WPARAM)key, 1);
    EXPECT_EQ(text + "\r\n x)", EditorText());
    EXPECT_EQ(1, DocumentModified);
    MenuCommand(IDM_SAVE);
    EXPECT_EQ(text + "\r\n x)", ReadBytes("long.lsp"));
    EXPECT_EQ(Texts{}, Notices());
}

TEST_F(LoadSave, LineEndsAndHighBytesSurviveLoadAndSaveExactly)
{
    const std::string bytes = "(a)\r\n(b)\n(c)\r(d)\r\n\r\n \x80\xA0\xE9\xFF \x1A after the old end-of-file mark\r\n";
    WriteBytes("in.lsp", bytes);
    const HCURSOR arrow = LoadCursorA(NULL, IDC_ARROW);
    SetCursor(arrow);
    OpenThroughDialog("in.lsp");
    EXPECT_EQ(arrow, GetCursor()) << "the cursor is put back after reading";
    ASSERT_STREQ("in.lsp", DocumentName);
    EXPECT_EQ(bytes, EditorText());

    AnswerNextFileDialog("out.lsp");
    MenuCommand(IDM_SAVEAS);
    EXPECT_EQ(bytes, ReadBytes(folder + "out.lsp"));
    EXPECT_EQ(arrow, GetCursor()) << "the cursor is put back after writing";
    EXPECT_EQ(Texts{}, Notices());
}

TEST_F(LoadSave, TooLargeFileIsRefusedAndLeavesTheDocumentAsItWas)
{
    WriteBytes("mine.lsp", "(mine)");
    WriteBytes("big.lsp", std::string(31001, 'b'));
    OpenThroughDialog("mine.lsp");
    TypeText(";edited ");
    TakeSeenDialogs();

    AnswerNextBox(IDNO);  // the prompt: go on without saving
    OpenThroughDialog("big.lsp");
    EXPECT_EQ(Texts({"Save current changes: mine.lsp",
                     "Not enough memory to load big.lsp.\nbig.lsp exceeds 31000 bytes"}),
              Notices());
    EXPECT_EQ(";edited (mine)", EditorText());
    EXPECT_EQ("Quillon - mine.lsp", MainTitle());
    EXPECT_EQ(1, DocumentModified);
    // The document keeps its own name, so Save writes its own file only.
    EXPECT_STREQ("mine.lsp", DocumentName);
    MenuCommand(IDM_SAVE);
    EXPECT_EQ(";edited (mine)", ReadBytes("mine.lsp"));
    EXPECT_EQ(std::string(31001, 'b'), ReadBytes("big.lsp"));
}

TEST_F(LoadSave, FileThatCannotBeOpenedIsReportedAndKeepsTheEarlierName)
{
    WriteBytes("mine.lsp", "(mine)");
    WriteBytes("locked.lsp", "(locked)");
    OpenThroughDialog("mine.lsp");
    TakeSeenDialogs();
    // Another program holds the file open for itself alone.
    HANDLE held = CreateFileA("locked.lsp", GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    OpenThroughDialog("locked.lsp");
    CloseHandle(held);
    EXPECT_EQ(Texts{"Error opening locked.lsp."}, Notices());
    EXPECT_EQ("(mine)", EditorText());
    EXPECT_STREQ("mine.lsp", DocumentName);
    EXPECT_EQ("Quillon - mine.lsp", MainTitle());
}

TEST_F(LoadSave, ReadFailureGivesAnEmptyUntitledDocument)
{
    WriteBytes("unreadable.lsp", "(some text)");
    PutDocument("earlier.lsp", "earlier");
    TypeText("x");
    strcpy(DocumentName, "unreadable.lsp");
    // A stream that cannot be read: the read fails after the size is known.
    FILE *stream = fopen("unreadable.lsp", "a");
    ASSERT_NE(nullptr, stream);
    EXPECT_TRUE(LoadDocument(stream));
    EXPECT_EQ(Texts{"Error reading unreadable.lsp."}, Notices());
    EXPECT_EQ("", EditorText());
    EXPECT_STREQ("", DocumentName);
    EXPECT_EQ("Quillon - (untitled)", MainTitle());
    EXPECT_EQ(0, DocumentModified);
}

TEST_F(LoadSave, SaveWritesOnlyAModifiedNamedDocument)
{
    WriteBytes("doc.lsp", "(on disk)");
    PutDocument("doc.lsp", "(in editor)");
    MenuCommand(IDM_SAVE);
    EXPECT_EQ("(on disk)", ReadBytes("doc.lsp")) << "a clean document is not written";

    TypeText(";");
    MenuCommand(IDM_SAVE);
    EXPECT_EQ(";(in editor)", ReadBytes("doc.lsp"));
    EXPECT_EQ(0, DocumentModified);
    EXPECT_EQ(Texts{}, Notices());
    EXPECT_EQ(std::vector<std::string>{"doc.lsp"}, FilesIn(folder)) << "no temporary file is left";

    PutDocument("doc.lsp", "(all of it)");
    SendMessageA(EditorWindow, EM_SETSEL, 0, -1);
    TypeText("");
    MenuCommand(IDM_SAVE);
    EXPECT_EQ("", ReadBytes("doc.lsp")) << "an empty document leaves an empty file";
    EXPECT_EQ(0, DocumentModified);
}

TEST_F(LoadSave, SaveOverAFileKeepsItsAttributes)
{
    WriteBytes("hidden.lsp", "(old)");
    ASSERT_TRUE(SetFileAttributesA("hidden.lsp", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    PutDocument("hidden.lsp", "(new)");
    TypeText(";");
    EXPECT_TRUE(SaveDocument());
    EXPECT_EQ(";(new)", ReadBytes("hidden.lsp"));
    EXPECT_NE(0u, GetFileAttributesA("hidden.lsp") & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(std::vector<std::string>{"hidden.lsp"}, FilesIn(folder));
}

TEST_F(LoadSave, FileThatCannotBeWrittenIsReportedAndLeftAlone)
{
    WriteBytes("readonly.lsp", "(kept)");
    ASSERT_TRUE(SetFileAttributesA("readonly.lsp", FILE_ATTRIBUTE_READONLY));
    MakeFolder(folder + "folder.lsp");
    struct Case {
        const char *name;
    } cases[] = {{"readonly.lsp"}, {"missing\\new.lsp"}, {"folder.lsp"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        PutDocument(c.name, "(text)");
        TypeText(";");
        EXPECT_FALSE(SaveDocument());
        EXPECT_EQ(Texts{std::string("Cannot write to ") + c.name + "."}, Notices());
        EXPECT_EQ(1, DocumentModified);
    }
    EXPECT_EQ("(kept)", ReadBytes("readonly.lsp"));
    EXPECT_EQ(std::vector<std::string>({"folder.lsp", "readonly.lsp"}), FilesIn(folder));
    EXPECT_EQ(std::vector<std::string>{}, FilesIn(folder + "folder.lsp\\"));
}

TEST_F(LoadSave, SaveAsToAFileThatCannotBeWrittenLeavesTheDocumentUntitled)
{
    WriteBytes("readonly.lsp", "(kept)");
    ASSERT_TRUE(SetFileAttributesA("readonly.lsp", FILE_ATTRIBUTE_READONLY));
    PutDocument("mine.lsp", "(mine)");
    TypeText(";");
    AnswerNextFileDialog("readonly.lsp");
    AnswerNextBox(IDYES);  // the dialog's own question: replace the existing file?
    MenuCommand(IDM_SAVEAS);
    Texts notices = Notices();
    ASSERT_FALSE(notices.empty());
    EXPECT_EQ("Cannot write to readonly.lsp.", notices.back());
    EXPECT_STREQ("", DocumentName);
    EXPECT_EQ("Quillon - (untitled)", MainTitle());
    EXPECT_EQ(";(mine)", EditorText());
    EXPECT_EQ(1, DocumentModified);
    EXPECT_EQ("(kept)", ReadBytes("readonly.lsp"));
}

} // namespace
