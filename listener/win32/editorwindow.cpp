#include "listener/win32/editorwindow.h"
#include "listener/win32/codepage.h"

// The edit control's child id in the editor's main window.
static const int EditorControlId = 300;
// A busy editor is not waited for longer than this.
static const UINT ReadTimeoutMs = 1000;

namespace {

bool IsEditorWindow(HWND window)
{
    wchar_t name[32];
    return GetClassNameW(window, name, 32) && lstrcmpW(name, L"QuillonWClass") == 0;
}

// The name the editor's title gives its document ("Quillon - NAME"); false
// when the title gives none. The stored caption is read without waiting for
// the editor.
bool TitleName(HWND editor, std::wstring *name)
{
    wchar_t title[400];
    int length = GetWindowTextW(editor, title, 400);
    const std::wstring prefix = L"Quillon - ", shown(title, length > 0 ? length : 0);
    if (shown.compare(0, prefix.size(), prefix) != 0)
        return false;
    *name = shown.substr(prefix.size());
    return true;
}

// The path's short (8.3) form; empty when there is none.
std::wstring ShortPath(const std::wstring &path)
{
    wchar_t shortPath[MAX_PATH];
    DWORD length = GetShortPathNameW(path.c_str(), shortPath, MAX_PATH);
    return length && length < MAX_PATH ? std::wstring(shortPath, length) : std::wstring();
}

struct Search {
    DWORD process;
    HWND found;
};

BOOL CALLBACK TakeIfEditor(HWND window, LPARAM lParam)
{
    Search *search = (Search *)lParam;
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if ((search->process && process != search->process) || !IsEditorWindow(window))
        return TRUE;
    search->found = window;
    return FALSE;
}

bool Ask(HWND control, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR *result)
{
    return SendMessageTimeoutW(control, message, wParam, lParam, SMTO_ABORTIFHUNG, ReadTimeoutMs, result) != 0;
}

}  // namespace

HWND EditorOfProcess(DWORD process)
{
    Search search = {process, NULL};
    if (process)
        EnumWindows(TakeIfEditor, (LPARAM)&search);
    return search.found;
}

HWND AnyEditor()
{
    Search search = {0, NULL};
    EnumWindows(TakeIfEditor, (LPARAM)&search);
    return search.found;
}

std::string EditorDocumentName(HWND editor)
{
    std::wstring name;
    return TitleName(editor, &name) ? WideToUtf8(name) : std::string();
}

bool EditorTextBeforeSelection(HWND editor, std::string *text)
{
    HWND control = GetDlgItem(editor, EditorControlId);
    DWORD_PTR length = 0, selection = 0, copied = 0;
    if (!control || !Ask(control, WM_GETTEXTLENGTH, 0, 0, &length) || !Ask(control, EM_GETSEL, 0, 0, &selection))
        return false;
    // Another process's selection comes packed: its start in the low word.
    size_t start = LOWORD(selection);
    std::wstring wide(length + 1, L'\0');
    if (!Ask(control, WM_GETTEXT, length + 1, (LPARAM)&wide[0], &copied))
        return false;
    wide.resize(copied < start ? copied : start);
    *text = WideToUtf8(wide);
    return true;
}

namespace {

struct FileSearch {
    const std::wstring *names;  // the names a title may give, lowercase
    size_t count;
    HWND found;
};

std::wstring Lower(std::wstring text)
{
    CharLowerBuffW(&text[0], (DWORD)text.size());
    return text;
}

std::wstring NameOf(const std::wstring &path)
{
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

BOOL CALLBACK TakeIfShowing(HWND window, LPARAM lParam)
{
    FileSearch *search = (FileSearch *)lParam;
    std::wstring shown;
    if (!IsEditorWindow(window) || !TitleName(window, &shown))
        return TRUE;
    shown = Lower(shown);
    for (size_t i = 0; i < search->count; i++) {
        if (shown == search->names[i] || NameOf(shown) == search->names[i]) {
            search->found = window;
            return FALSE;
        }
    }
    return TRUE;
}

}  // namespace

HWND EditorShowingFile(const std::wstring &path)
{
    std::wstring shortPath = ShortPath(path);
    std::wstring names[4] = {Lower(path), Lower(NameOf(path))};
    size_t count = 2;
    if (!shortPath.empty()) {
        names[count++] = Lower(shortPath);
        names[count++] = Lower(NameOf(shortPath));
    }
    FileSearch search = {names, count, NULL};
    EnumWindows(TakeIfShowing, (LPARAM)&search);
    return search.found;
}

bool EditorBytes(HWND editor, std::string *bytes)
{
    HWND control = GetDlgItem(editor, EditorControlId);
    DWORD_PTR length = 0, copied = 0;
    if (!control || !SendMessageTimeoutA(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, ReadTimeoutMs, &length))
        return false;
    bytes->assign(length + 1, '\0');
    if (!SendMessageTimeoutA(control, WM_GETTEXT, length + 1, (LPARAM)&(*bytes)[0], SMTO_ABORTIFHUNG, ReadTimeoutMs,
                             &copied))
        return false;
    bytes->resize(copied);
    return true;
}

bool SelectInEditor(HWND editor, size_t start, size_t end)
{
    HWND control = GetDlgItem(editor, EditorControlId);
    DWORD_PTR result;
    if (!control || !Ask(control, EM_SETSEL, start, end, &result))
        return false;
    Ask(control, EM_SCROLLCARET, 0, 0, &result);
    if (IsIconic(editor))
        ShowWindow(editor, SW_RESTORE);
    SetForegroundWindow(editor);
    return true;
}

HWND OpenInNewEditor(const std::wstring &path, DWORD ms)
{
    wchar_t program[MAX_PATH];
    DWORD length = GetModuleFileNameW(NULL, program, MAX_PATH);
    if (!length || length >= MAX_PATH)
        return NULL;
    std::wstring editor(program, length);
    editor = editor.substr(0, editor.find_last_of(L"\\/") + 1) + L"quillon.exe";
    // The editor takes the first word of its command line as the file: a
    // path with blanks goes as its short name.
    std::wstring file = ShortPath(path);
    if (file.empty())
        file = path;
    if (file.find_first_of(L" \t") != std::wstring::npos)
        return NULL;
    std::wstring line = L"\"" + editor + L"\" " + file;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started;
    if (!CreateProcessW(editor.c_str(), &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &started))
        return NULL;
    CloseHandle(started.hThread);
    // The editor loads its file before it first waits for input; its window
    // is asked for its text only after that, and only once it has its edit
    // control.
    DWORD begun = GetTickCount();
    WaitForInputIdle(started.hProcess, ms);
    HWND window = NULL;
    while (!((window = EditorOfProcess(started.dwProcessId)) && GetDlgItem(window, EditorControlId)) &&
           GetTickCount() - begun < ms && WaitForSingleObject(started.hProcess, 20) == WAIT_TIMEOUT) {
    }
    CloseHandle(started.hProcess);
    return window;
}

std::wstring WindowsPath(const std::string &lispPath)
{
    std::wstring wide = Utf8ToWide(lispPath);
    if (lispPath.empty() || lispPath[0] != '/')
        return wide;
    typedef WCHAR *(CDECL * DosName)(LPCSTR);
    DosName toDos = (DosName)(void *)GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name");
    WCHAR *dos = toDos ? toDos(lispPath.c_str()) : NULL;
    if (!dos)
        return wide;
    std::wstring mapped = dos;
    HeapFree(GetProcessHeap(), 0, dos);
    return mapped;
}
