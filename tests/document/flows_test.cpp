// The document commands and the save-changes prompt as the main window runs
// them, and the file named on the command line.
#include "tests/document/docfixture.h"

#include "app/shell.h"
#include "document/document.h"
#include "editor/editor.h"
#include "resources/resource.h"

namespace {

using Texts = std::vector<std::string>;

class Flows : public DocumentTest {
protected:
    // What was shown since the last call: "box: <text>" for a message box,
    // "dialog" for a file dialog.
    Texts Shown()
    {
        Texts shown;
        for (const SeenDialog &seen : TakeSeenDialogs())
            shown.push_back(seen.fileDialog ? "dialog" : "box: " + seen.text);
        return shown;
    }
};

// The commands that may discard the document, each run the way the user
// starts it; the result tells whether it went ahead.
struct Discarding {
    const char *name;
    bool (*run)();
};

const Discarding DiscardingCommands[] = {
    {"New",
     [] {
         MenuCommand(IDM_NEW);
         return EditorText().empty();
     }},
    {"Open",
     [] {
         AnswerNextFileDialog("other.lsp");
         MenuCommand(IDM_OPEN);
         return EditorText() == "(other)";
     }},
    {"Exit",
     [] {
         DestroyGuard guard;
         MenuCommand(IDM_EXIT);
         return guard.attempts() == 1;
     }},
    {"close",
     [] {
         DestroyGuard guard;
         SendMessageA(MainWindow, WM_CLOSE, 0, 0);
         return guard.attempts() == 1;
     }},
    {"end of session",
     [] { return SendMessageA(MainWindow, WM_QUERYENDSESSION, 0, 0) != 0; }},
};

TEST_F(Flows, NoQuestionWhileTheDocumentIsClean)
{
    WriteBytes("other.lsp", "(other)");
    for (const Discarding &command : DiscardingCommands) {
        SCOPED_TRACE(command.name);
        PutDocument("mine.lsp", "(mine)");
        EXPECT_TRUE(command.run());
        Texts shown = Shown();
        EXPECT_TRUE(shown.empty() || shown == Texts{"dialog"}) << ::testing::PrintToString(shown);
    }
}

TEST_F(Flows, QuestionNamesTheDocumentWithWarningIconAndThreeButtons)
{
    struct Case {
        const char *name;
        const char *text;
    } cases[] = {{"", "Save current changes: "}, {"mine.lsp", "Save current changes: mine.lsp"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        PutDocument(c.name, "(mine)");
        TypeText(";");
        AnswerNextBox(IDCANCEL);
        EXPECT_FALSE(QuerySaveChanges());
        std::vector<SeenDialog> seen = TakeSeenDialogs();
        ASSERT_EQ(1u, seen.size());
        EXPECT_EQ(c.text, seen[0].text);
        EXPECT_EQ("Quillon", seen[0].caption);
        EXPECT_EQ(LoadIconA(NULL, IDI_WARNING), seen[0].icon);
        std::vector<int> buttons;
        for (const SeenControl &control : seen[0].controls) {
            if (control.className == "Button")
                buttons.push_back(control.id);
        }
        EXPECT_EQ(std::vector<int>({IDYES, IDNO, IDCANCEL}), buttons);
    }
}

TEST_F(Flows, CancelAtTheQuestionOrInTheSaveDialogStopsTheCommand)
{
    WriteBytes("other.lsp", "(other)");
    for (const Discarding &command : DiscardingCommands) {
        for (bool cancelInDialog : {false, true}) {
            SCOPED_TRACE(std::string(command.name) + (cancelInDialog ? ", Yes then Cancel" : ", Cancel"));
            PutDocument("mine.lsp", "(mine)");
            TypeText(";");
            AnswerNextBox(cancelInDialog ? IDYES : IDCANCEL);
            AnswerNextFileDialog("");
            EXPECT_FALSE(command.run());
            EXPECT_EQ(cancelInDialog ? Texts({"box: Save current changes: mine.lsp", "dialog"})
                                     : Texts({"box: Save current changes: mine.lsp"}),
                      Shown());
            EXPECT_EQ(";(mine)", EditorText());
            EXPECT_STREQ("mine.lsp", DocumentName);
            EXPECT_EQ(1, DocumentModified);
        }
    }
    EXPECT_EQ("(other)", ReadBytes("other.lsp"));
    EXPECT_EQ("<missing>", ReadBytes("mine.lsp"));
}

TEST_F(Flows, YesSavesThenTheCommandGoesOn)
{
    WriteBytes("other.lsp", "(other)");
    for (const Discarding &command : DiscardingCommands) {
        SCOPED_TRACE(command.name);
        DeleteFileA("saved.lsp");
        PutDocument("", "(draft)");
        TypeText(";");
        AnswerNextBox(IDYES);
        AnswerNextFileDialog("saved.lsp");
        EXPECT_TRUE(command.run());
        EXPECT_EQ(";(draft)", ReadBytes("saved.lsp"));
    }
}

TEST_F(Flows, YesAndASaveThenCancelInTheOpenDialogKeepsTheSavedDocument)
{
    PutDocument("", "(draft)");
    TypeText(";");
    AnswerNextBox(IDYES);
    AnswerNextFileDialog("saved.lsp");
    AnswerNextFileDialog("");
    MenuCommand(IDM_OPEN);
    EXPECT_EQ(Texts({"box: Save current changes: ", "dialog", "dialog"}), Shown());
    EXPECT_EQ(";(draft)", ReadBytes("saved.lsp"));
    EXPECT_EQ(";(draft)", EditorText());
    EXPECT_EQ(0, DocumentModified);
    EXPECT_STREQ("saved.lsp", DocumentName);
    // The question names and titles the document as Save As does.
    EXPECT_EQ("Quillon - saved.lsp", MainTitle());
}

TEST_F(Flows, YesAndAFailedSaveStopsTheCommandAndLeavesTheDocumentUntitled)
{
    WriteBytes("readonly.lsp", "(kept)");
    ASSERT_TRUE(SetFileAttributesA("readonly.lsp", FILE_ATTRIBUTE_READONLY));
    PutDocument("mine.lsp", "(mine)");
    TypeText(";");
    AnswerNextBox(IDYES);
    AnswerNextFileDialog("readonly.lsp");
    AnswerNextBox(IDYES);  // the dialog asks before replacing an existing file
    MenuCommand(IDM_NEW);
    Texts shown = Shown();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ("box: Cannot write to readonly.lsp.", shown.back());
    EXPECT_EQ(";(mine)", EditorText());
    EXPECT_EQ(1, DocumentModified);
    EXPECT_STREQ("", DocumentName);
    EXPECT_EQ("Quillon - (untitled)", MainTitle());
    EXPECT_EQ("(kept)", ReadBytes("readonly.lsp"));
}

TEST_F(Flows, NoAtTheQuestionDiscardsTheChanges)
{
    PutDocument("mine.lsp", "(mine)");
    TypeText(";");
    AnswerNextBox(IDNO);
    MenuCommand(IDM_NEW);
    EXPECT_EQ(Texts{"box: Save current changes: mine.lsp"}, Shown());
    EXPECT_EQ("", EditorText());
    EXPECT_STREQ("", DocumentName);
    EXPECT_EQ(0, DocumentModified);
    EXPECT_EQ("Quillon - (untitled)", MainTitle());
    EXPECT_EQ("<missing>", ReadBytes("mine.lsp"));
}

TEST_F(Flows, SaveOnAnUntitledDocumentAsksForANameEvenWhenClean)
{
    AnswerNextFileDialog("");
    MenuCommand(IDM_SAVE);
    EXPECT_EQ(Texts{"dialog"}, Shown());

    TypeText("(new)");
    AnswerNextFileDialog("named.lsp");
    MenuCommand(IDM_SAVE);
    EXPECT_EQ(Texts{"dialog"}, Shown());
    EXPECT_EQ("(new)", ReadBytes("named.lsp"));
    EXPECT_STREQ("named.lsp", DocumentName);
    EXPECT_EQ("Quillon - named.lsp", MainTitle());
    EXPECT_EQ(0, DocumentModified);
}

// The command-line word is handed over in ScratchText, as start-up does.
void OpenFromCommandLine(const std::string &word)
{
    ASSERT_LT(word.size(), 129u);
    strcpy(ScratchText, word.c_str());
    OpenCommandLineFile(ScratchText);
}

TEST_F(Flows, CommandLineWord)
{
    MakeFolder(folder + "old.dir\\");
    MakeFolder(folder + "sub\\");
    WriteBytes("foo.lsp", "(foo.lsp)");
    WriteBytes("foo", "(foo)");
    WriteBytes("old.dir\\foo", "(old.dir foo)");
    const std::string longWord(128, 'w');
    const std::string longDotted = std::string(124, 'd') + ".lsp";
    WriteBytes(longWord + ".lsp", "(too long with .lsp)");
    WriteBytes(longDotted, "(long dotted)");
    struct Case {
        std::string word;
        std::string text;     // the editor afterwards
        std::string name;     // DocumentName afterwards
        Texts notices;
    } cases[] = {
        {"", "", "", {}},
        {"*.lsp", "", "", {}},
        {"fo?", "", "", {}},
        {"foo", "(foo.lsp)", "foo.lsp", {}},
        {"foo.", "(foo)", "foo.", {}},
        {"old.dir\\foo", "(old.dir foo)", "old.dir\\foo", {}},
        {"..\\foo", "(foo)", "..\\foo", {}},
        {"missing", "", "", {"box: Error opening missing.lsp."}},
        {"\"foo.lsp", "", "", {"box: Error opening \"foo.lsp."}},
        {longDotted, "(long dotted)", longDotted, {}},
        // 132 characters with the extension: more than a document name holds.
        {longWord, "", "", {"box: Error opening " + longWord + ".lsp."}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.word);
        PutDocument("", "");
        SetCurrentDirectoryA(c.word == "..\\foo" ? "sub" : folder.c_str());
        OpenFromCommandLine(c.word);
        SetCurrentDirectoryA(folder.c_str());
        EXPECT_EQ(c.notices, Shown());
        EXPECT_EQ(c.text, EditorText());
        EXPECT_EQ(c.name, DocumentName);
        EXPECT_EQ(c.name.empty() ? "Quillon - (untitled)" : "Quillon - " + c.name, MainTitle());
        EXPECT_EQ(0, DocumentModified);
    }
}

TEST_F(Flows, RefusedCommandLineFileLeavesTheDocumentUntitled)
{
    WriteBytes("big.lsp", std::string(31001, 'b'));
    OpenFromCommandLine("big");
    EXPECT_EQ(Texts{"box: Not enough memory to load big.lsp.\nbig.lsp exceeds 31000 bytes"}, Shown());
    EXPECT_STREQ("", DocumentName);
    TypeText("(typed)");
    AnswerNextFileDialog("");
    MenuCommand(IDM_SAVE);
    EXPECT_EQ(Texts{"dialog"}, Shown()) << "Save asks for a name instead of writing over big.lsp";
    EXPECT_EQ(std::string(31001, 'b'), ReadBytes("big.lsp"));
}

TEST_F(Flows, LongNamesAppearWholeInTheirMessages)
{
    const std::string name = std::string(120, 'n') + ".lsp";
    WriteBytes(name, std::string(31001, 'b'));
    OpenFromCommandLine(name);
    EXPECT_EQ(Texts{"box: Not enough memory to load " + name + ".\n" + name + " exceeds 31000 bytes"}, Shown());
}

} // namespace
