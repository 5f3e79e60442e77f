// The system Open and Save As dialogs for the document flows.
#include "document/document.h"
#include "document/internal.h"
#include "app/shell.h"

#include <commdlg.h>
#include <string.h>

char FileFilter[257];
char StartFolder[256];

static const char FilterText[] = "Lisp Files(*.LSP)|*.lsp|All Files(*.*)|*.*";

// Two pairs of description and pattern, each string ended by a NUL and the
// list by a second one.
static void BuildFilter()
{
    const size_t length = sizeof FilterText - 1;
    memcpy(FileFilter, FilterText, length);
    for (size_t i = 0; i < length; i++) {
        if (FileFilter[i] == '|')
            FileFilter[i] = '\0';
    }
    FileFilter[length] = '\0';
    FileFilter[length + 1] = '\0';
}

// Takes the file whose full path the dialog left in ScratchText: makes its
// folder current and puts its name in DocumentName. The dialog itself does
// not always leave the current directory there (a full path typed into the
// name box), and the flows open the file by its name alone. False when the
// name does not fit DocumentName or the folder cannot be entered.
static bool TakeChosenFile()
{
    const char *name = FileNamePart(ScratchText);
    if (!*name || strlen(name) >= sizeof DocumentName)
        return false;
    char folder[sizeof ScratchText];
    size_t folderLength = name - ScratchText;
    memcpy(folder, ScratchText, folderLength);
    folder[folderLength] = '\0';
    if (!SetCurrentDirectoryA(folder))
        return false;
    strcpy(DocumentName, name);
    return true;
}

typedef BOOL(APIENTRY *ShowDialog)(LPOPENFILENAMEA);

// The dialogs' library, with the libraries it brings, is loaded when a
// dialog is first wanted: loaded at start-up it took a large share of the
// program's start. Null when it cannot be loaded.
static ShowDialog DialogFunction(const char *name)
{
    static HMODULE library;
    if (!library)
        library = LoadLibraryA("comdlg32.dll");
    FARPROC function = library ? GetProcAddress(library, name) : NULL;
    return reinterpret_cast<ShowDialog>(reinterpret_cast<void (*)()>(function));
}

// Shows one of the dialogs, starting in the current directory with an empty
// name box. A chosen file that cannot be taken is reported with refusal,
// formatted with its full path. A dialog that cannot be shown fails as a
// cancelled one does.
static BOOL ChooseFile(ShowDialog show, DWORD flags, const char *refusal)
{
    if (!show)
        return FALSE;
    BuildFilter();
    DWORD folderLength = GetCurrentDirectoryA(sizeof StartFolder, StartFolder);
    if (folderLength == 0 || folderLength >= sizeof StartFolder)
        return FALSE;
    ScratchText[0] = '\0';

    OPENFILENAMEA dialog;
    memset(&dialog, 0, sizeof dialog);
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    // Owned by the main window, which is disabled meanwhile: no second
    // document command can start while the dialog waits.
    dialog.hwndOwner = MainWindow;
    dialog.lpstrFilter = FileFilter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = ScratchText;
    dialog.nMaxFile = sizeof ScratchText;
    dialog.lpstrInitialDir = StartFolder;
    dialog.Flags = flags;
    BOOL confirmed = show(&dialog);
    // Cancelled or failed (a path too long for ScratchText among them): a
    // failed dialog may leave a length in the buffer's first bytes.
    if (!confirmed)
        ScratchText[0] = '\0';
    if (confirmed && TakeChosenFile())
        return TRUE;
    // Browsing moves the current directory even when no file is taken in the
    // end. The document's name is relative to it: the folder from before the
    // dialog is put back, so that a later Save writes the same file.
    SetCurrentDirectoryA(StartFolder);
    if (confirmed)
        ShowNotice(refusal, ScratchText);
    return FALSE;
}

BOOL ChooseOpenFile()
{
    return ChooseFile(DialogFunction("GetOpenFileNameA"),
                      OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY, "Error opening %s.");
}

BOOL ChooseSaveFile()
{
    return ChooseFile(DialogFunction("GetSaveFileNameA"), OFN_OVERWRITEPROMPT, "Cannot write to %s.");
}
