#include "listener/win32/sourceplace.h"
#include "listener/win32/codepage.h"
#include "listener/win32/editorwindow.h"

namespace {

// The editor loads files up to this many bytes.
const DWORD EditorLargest = 31000;
// How long a new editor may take to show its window.
const DWORD EditorStartMs = 15000;

// The file's bytes; false when it cannot be read (or is past any size a
// source file has).
bool ReadWhole(const std::wstring &path, std::string *bytes)
{
    const LONGLONG Largest = 64 << 20;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size;
    DWORD got = 0;
    bool read = GetFileSizeEx(file, &size) && size.QuadPart <= Largest;
    if (read) {
        bytes->assign((size_t)size.QuadPart, '\0');
        read = bytes->empty() || (ReadFile(file, &(*bytes)[0], (DWORD)bytes->size(), &got, NULL) && got == bytes->size());
    }
    CloseHandle(file);
    return read;
}

// The place's 1-based line in the text, or "?" when it is not in it.
std::string LineOf(const std::string &text, const SourcePlace &place)
{
    size_t start, end;
    if (!PlaceInText(text, place, &start, &end))
        return "?";
    std::string at = LineAndColumn(text, start);
    return at.substr(0, at.find(':'));
}

}  // namespace

std::string ShowSourcePlace(const std::string &name, const SourcePlace &place)
{
    std::wstring path = WindowsPath(place.file);
    std::string file = WideToUtf8(path);
    HWND editor = EditorShowingFile(path);
    if (!editor) {
        std::string bytes;
        if (!ReadWhole(path, &bytes))
            return "; " + name + " is defined in " + file + ", which cannot be read";
        if (bytes.size() > EditorLargest)
            return "; " + name + " is defined in " + file + ", line " + LineOf(bytes, place) +
                   " (too large for the editor)";
        editor = OpenInNewEditor(path, EditorStartMs);
        if (!editor)
            return "; The editor could not be started on " + file + ", where " + name + " is defined";
    }
    std::string bytes;
    size_t start, end;
    if (!EditorBytes(editor, &bytes))
        return "; The editor's text of " + file + " could not be read";
    if (!PlaceInText(bytes, place, &start, &end)) {
        SetForegroundWindow(editor);
        return "; The editor's text of " + file + " does not reach the definition of " + name;
    }
    SelectInEditor(editor, start, end);
    return std::string();
}
