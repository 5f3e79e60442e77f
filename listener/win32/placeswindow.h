// Windows that list places in Lisp source: the compiler's notes, a symbol's
// definitions, its callers or references. One window for each kind, made
// when first shown: a list of one line a place, and under it the whole text
// of the line selected. Enter or a double-click on a line posts
// WM_PLACE_CHOSEN (wParam the kind, lParam the line) to the owner; Esc
// closes the window.
#ifndef KESTRALUNE_PLACESWINDOW_H
#define KESTRALUNE_PLACESWINDOW_H

// winsock2.h before windows.h, so that the headers may come in any order.
#include <winsock2.h>
#include <windows.h>

#include <string>
#include <vector>

#define WM_PLACE_CHOSEN (WM_APP + 21)

enum PlaceKind { NotesPlaces, DefinitionPlaces, ReferencePlaces, PlaceKinds };

struct PlaceLine {
    std::string line;    // UTF-8, one line
    std::string detail;  // the whole text, shown while the line is selected
};

// Shows the lines in the kind's window under the caption (UTF-8), brought
// to the front with the first line selected.
void ShowPlaces(HWND owner, HFONT font, PlaceKind kind, const std::string &caption,
                const std::vector<PlaceLine> &lines);
void EndPlacesWindows();

#endif
