// The one document: its name, its modified flag, loading, saving, the
// save-changes prompt and the file dialogs.
#ifndef QUILLON_DOCUMENT_H
#define QUILLON_DOCUMENT_H

#include <windows.h>
#include <stdio.h>

// The document's file name, opened relative to the current directory; empty
// while the document is untitled.
extern char DocumentName[129];
// Set by every change the editor reports; cleared when the text is put in,
// saved or cleared.
extern int DocumentModified;
// Shared work buffer: the command-line word, the path a file dialog returns,
// window titles. Each use overwrites it.
extern char ScratchText[255];
// The file dialogs' filter list and initial folder, rebuilt on each call.
extern char FileFilter[257];
extern char StartFolder[256];

// Puts text (null for none) into the editor and title on the main window,
// then marks the document clean.
void SetDocumentText(const char *text, const char *title);
// Reads the whole file DocumentName names from the stream, which it closes.
// False when the file was refused (too large, no memory) and the editor,
// title and flag are as they were; true when the document was replaced.
BOOL LoadDocument(FILE *stream);
// Writes the editor's text to DocumentName; the file on disk is replaced only
// once every byte has been written.
BOOL SaveDocument();
// Offers to save a modified document; false when the caller must stop.
BOOL QuerySaveChanges();
// Opens the file named by the first command-line word, which may lie in
// ScratchText.
void OpenCommandLineFile(char *name);

// The File menu's document commands.
void NewCommand();
void OpenCommand();
void SaveCommand();
void SaveAsCommand();

// The system Open and Save As dialogs, owned by MainWindow. On true:
// DocumentName holds the chosen file's name, ScratchText its full path, and
// the current directory is its folder. On false DocumentName and the current
// directory are as they were before the dialog.
BOOL ChooseOpenFile();
BOOL ChooseSaveFile();

#endif
