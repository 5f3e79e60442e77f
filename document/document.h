// The one document: its name, its modified flag, loading, saving, the
// save-changes prompt and the file dialogs.
#ifndef QUILLON_DOCUMENT_H
#define QUILLON_DOCUMENT_H

#include <windows.h>
#include <stdio.h>

extern char DocumentName[129];
extern int DocumentModified;
extern char ScratchText[255];

void SetDocumentText(const char *text, const char *title);
void LoadDocument(FILE *stream);
BOOL SaveDocument();
BOOL QuerySaveChanges();
void OpenCommandLineFile(char *name);

// The File menu's document commands.
void NewCommand();
void OpenCommand();
void SaveCommand();
void SaveAsCommand();

BOOL ChooseOpenFile();
BOOL ChooseSaveFile();

#endif
