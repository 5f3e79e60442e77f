// The transcript: a read-only view of the newest million characters of
// output, which answers WM_GETTEXT and the Edit control's messages of
// lines and selection. Texts are UTF-8 with "\n" line breaks.
#ifndef KESTRALUNE_TRANSCRIPT_H
#define KESTRALUNE_TRANSCRIPT_H

// winsock2.h before windows.h, so that the headers may come in any order.
#include <winsock2.h>
#include <windows.h>

#include <string>

HWND CreateTranscript(HWND parent, HFONT font);
// Adds the text: shown at once when the view has been idle, with what
// follows once in a while during a flood (ShowPendingTranscript shows it
// then, on the parent's TranscriptTimer).
void AppendTranscript(const std::string &text);
void ShowPendingTranscript();
void ClearTranscript();

#endif
