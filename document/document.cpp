// PLACEHOLDER until the document subsystem lands.
#include "document/document.h"

char DocumentName[129];
int DocumentModified;
char ScratchText[255];

BOOL QuerySaveChanges() { return TRUE; }
void OpenCommandLineFile(char *) {}
void NewCommand() {}
void OpenCommand() {}
void SaveCommand() {}
void SaveAsCommand() {}
