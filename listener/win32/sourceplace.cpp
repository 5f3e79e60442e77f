#include "listener/win32/sourceplace.h"
#include "listener/win32/codepage.h"
#include "listener/win32/editorwindow.h"
#include "listener/win32/lispfile.h"

namespace {

// The editor loads files up to this many bytes.
const DWORD EditorLargest = 31000;
// How long a new editor may take to show its window.
const DWORD EditorStartMs = 15000;

// The place's 1-based line in the text, or "?" when it is not in it.
std::string LineOf(const std::string &text, const SourcePlace &place)
{
    size_t start, end;
    if (!PlaceInText(text, place, &start, &end))
        return "?";
    std::string at = LineAndColumn(text, start);
    return at.substr(0, at.find(':'));
}

// What is there, begun as a sentence: "the note is" as "The note is".
std::string Sentence(const std::string &what)
{
    return what.compare(0, 4, "the ") == 0 ? "T" + what.substr(1) : what;
}

}  // namespace

std::string ShowSourcePlace(const std::string &what, const SourcePlace &place)
{
    std::wstring path = WindowsPath(place.file);
    std::string file = WideToUtf8(path);
    HWND editor = EditorShowingFile(path);
    if (!editor) {
        std::string bytes;
        if (!ReadFileBytes(path, &bytes))
            return "; " + Sentence(what) + " in " + file + ", which cannot be read";
        if (bytes.size() > EditorLargest)
            return "; " + Sentence(what) + " in " + file + (place.known ? ", line " + LineOf(bytes, place) : "") +
                   " (too large for the editor)";
        editor = OpenInNewEditor(path, EditorStartMs);
        if (!editor)
            return "; The editor could not be started on " + file + ", where " + what;
    }
    if (!place.known) {
        if (IsIconic(editor))
            ShowWindow(editor, SW_RESTORE);
        SetForegroundWindow(editor);
        return std::string();
    }
    std::string bytes;
    size_t start, end;
    if (!EditorBytes(editor, &bytes))
        return "; The editor's text of " + file + " could not be read";
    if (!PlaceInText(bytes, place, &start, &end)) {
        SetForegroundWindow(editor);
        return "; The editor's text of " + file + " ends before the place where " + what;
    }
    SelectInEditor(editor, start, end);
    return std::string();
}
