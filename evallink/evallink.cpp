// PLACEHOLDER until the evaluation link lands.
#include "evallink/evallink.h"

DWORD DdeInstance;

void StartEvalLink() {}
void EvalSelection() {}
void EndEvalLink() {}
