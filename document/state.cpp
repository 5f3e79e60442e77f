// The document's state and the flows that replace, save or discard it: New,
// Open, Save, Save As, the save-changes prompt and the command-line open.
#include "document/document.h"
#include "document/internal.h"
#include "app/shell.h"
#include "editor/editor.h"

#include <stdarg.h>
#include <string.h>

char DocumentName[129];
int DocumentModified;
char ScratchText[255];

static const char UntitledTitle[] = "Quillon - (untitled)";

void ShowNotice(const char *format, ...)
{
    // The longest notice holds a 254-character path, or a document name twice.
    char message[2 * sizeof ScratchText + 64];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(message, sizeof message, format, arguments);
    va_end(arguments);
    NoticeBox(message);
}

const char *TitleFor(const char *name)
{
    if (!*name)
        return UntitledTitle;
    snprintf(ScratchText, sizeof ScratchText, "Quillon - %s", name);
    return ScratchText;
}

void SetDocumentText(const char *text, const char *title)
{
    SetWindowTextA(EditorWindow, text ? text : "");
    SetWindowTextA(MainWindow, title);
    // After the text: the change the editor reports for it must not count.
    DocumentModified = 0;
}

// The Save As flow: on success the document is named after the chosen file;
// when the save fails it becomes untitled, text and flag kept.
static BOOL SaveAs()
{
    if (!ChooseSaveFile())
        return FALSE;
    BOOL saved = SaveDocument();
    if (!saved)
        DocumentName[0] = '\0';
    SetWindowTextA(MainWindow, TitleFor(DocumentName));
    return saved;
}

BOOL QuerySaveChanges()
{
    if (!DocumentModified)
        return TRUE;
    snprintf(ScratchText, sizeof ScratchText, "Save current changes: %s", DocumentName);
    switch (MessageBoxA(GetFocus(), ScratchText, "Quillon", MB_ICONWARNING | MB_YESNOCANCEL)) {
    case IDYES:
        // A save from the prompt names and titles the document as Save As does.
        return SaveAs();
    case IDCANCEL:
        return FALSE;
    default:
        return TRUE;
    }
}

void NewCommand()
{
    if (!QuerySaveChanges())
        return;
    DocumentModified = 0;
    DocumentName[0] = '\0';
    SetDocumentText(NULL, UntitledTitle);
}

void OpenCommand()
{
    if (!QuerySaveChanges())
        return;
    char earlier[sizeof DocumentName];
    strcpy(earlier, DocumentName);
    if (!ChooseOpenFile())
        return;
    FILE *stream = fopen(DocumentName, "r");
    if (!stream)
        ShowNotice("Error opening %s.", DocumentName);
    else if (LoadDocument(stream))
        return;
    // The editor still shows the earlier document: keep its name, so that a
    // Save cannot write it over the file that was not loaded.
    strcpy(DocumentName, earlier);
}

void SaveCommand()
{
    if (!DocumentName[0])
        SaveAs();
    else if (DocumentModified)
        SaveDocument();
}

void SaveAsCommand()
{
    SaveAs();
}

void OpenCommandLineFile(char *word)
{
    if (!*word || strpbrk(word, "*?"))
        return;
    // The word with ".lsp" added when it has no '.' anywhere, its folder part included.
    char name[sizeof DocumentName + 4];
    snprintf(name, sizeof name, "%s%s", word, strchr(word, '.') ? "" : ".lsp");
    // A name longer than DocumentName holds is refused rather than cut into
    // the name of another file.
    FILE *stream = strlen(name) < sizeof DocumentName ? fopen(name, "r") : NULL;
    if (!stream) {
        ShowNotice("Error opening %s.", name);
        return;
    }
    strcpy(DocumentName, name);
    if (!LoadDocument(stream))
        DocumentName[0] = '\0';
}
