// The DDE link that hands the selection to KESTRALUNE for evaluation.
#ifndef QUILLON_EVALLINK_H
#define QUILLON_EVALLINK_H

#include <windows.h>

extern DWORD DdeInstance;

void StartEvalLink();
void EvalSelection();
void EndEvalLink();

#endif
