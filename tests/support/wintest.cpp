#include "tests/support/wintest.h"

#include <commctrl.h>

#include <algorithm>
#include <deque>
#include <stdio.h>
#include <set>

namespace {

const int FileNameBox = 0x47c;   // cmb13: the file dialog's name box
const int FilterBox = 0x470;     // cmb1: the file dialog's list of filters
const int BoxTextId = 0xFFFF;
const int BoxIconId = 0x440;

HHOOK CbtHook;
struct Answer {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::deque<Answer> BoxAnswers;
std::deque<FileAnswer> FileAnswers;
std::vector<SeenDialog> Seen;
std::set<HWND> Answered;

bool IsDialogClass(HWND window)
{
    char name[16] = "";
    GetClassNameA(window, name, sizeof name);
    return strcmp(name, "#32770") == 0;
}

std::string CurrentDirectory()
{
    char folder[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof folder, folder);
    return folder;
}

BOOL CALLBACK FindFileList(HWND child, LPARAM lParam)
{
    char name[32] = "";
    GetClassNameA(child, name, sizeof name);
    if (strcmp(name, WC_LISTVIEWA) != 0)
        return TRUE;
    *(HWND *)lParam = child;
    return FALSE;
}

// The names the dialog's file list shows, sorted.
std::vector<std::string> ListedNames(HWND dialog)
{
    HWND list = NULL;
    EnumChildWindows(dialog, FindFileList, (LPARAM)&list);
    std::vector<std::string> names;
    int count = list ? (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0) : 0;
    for (int i = 0; i < count; i++) {
        char name[MAX_PATH] = "";
        LVITEMA item = {};
        item.pszText = name;
        item.cchTextMax = sizeof name;
        SendMessageA(list, LVM_GETITEMTEXTA, i, (LPARAM)&item);
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The answer being given to the file dialog that is up, and its record.
FileAnswer Pending;
size_t PendingSeen;

// Runs once the dialog has handled the earlier steps of its answer.
void CALLBACK CancelFileDialog(HWND dialog, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(dialog, timer);
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
}

const UINT_PTR AnswerTimer = 0x5158;

void CALLBACK FinishFileAnswer(HWND dialog, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(dialog, timer);
    SeenDialog &seen = Seen[PendingSeen];
    seen.answeredIn = CurrentDirectory();
    seen.listed = ListedNames(dialog);
    if (Pending.name.empty()) {
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    SetDlgItemTextA(dialog, FileNameBox, Pending.name.c_str());
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    // The dialog shows its message about the name while it handles the
    // confirmation; the box's answer, a posted message, comes before the
    // timer, which fires once the dialog is back in its own loop.
    if (Pending.thenCancel)
        SetTimer(dialog, AnswerTimer, 0, CancelFileDialog);
}

void RecordFileDialog(HWND dialog, SeenDialog &seen)
{
    seen.fileDialog = true;
    seen.text = WindowText(GetDlgItem(dialog, FileNameBox));
    HWND filters = GetDlgItem(dialog, FilterBox);
    int count = (int)SendMessageA(filters, CB_GETCOUNT, 0, 0);
    for (int i = 0; i < count; i++) {
        char item[260] = "";
        SendMessageA(filters, CB_GETLBTEXT, i, (LPARAM)item);
        seen.filters.push_back(item);
    }
    seen.filterIndex = (int)SendMessageA(filters, CB_GETCURSEL, 0, 0);
    seen.folder = CurrentDirectory();

    Pending = FileAnswer();
    if (!FileAnswers.empty()) {
        Pending = FileAnswers.front();
        FileAnswers.pop_front();
    }
    PendingSeen = Seen.size();
    if (Pending.filter >= 0) {
        // The notifications a choice made with the mouse sends, in order.
        SendMessageA(filters, CB_SETCURSEL, Pending.filter, 0);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(FilterBox, CBN_SELCHANGE), (LPARAM)filters);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(FilterBox, CBN_SELENDOK), (LPARAM)filters);
    }
    if (!Pending.browse.empty()) {
        SetDlgItemTextA(dialog, FileNameBox, Pending.browse.c_str());
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    }
    // A timer message comes only once the posted confirmation is handled.
    SetTimer(dialog, AnswerTimer, 0, FinishFileAnswer);
}

BOOL CALLBACK RecordControl(HWND child, LPARAM lParam)
{
    SeenDialog &seen = *(SeenDialog *)lParam;
    SeenControl control = {};
    control.id = GetDlgCtrlID(child);
    char name[64] = "";
    GetClassNameA(child, name, sizeof name);
    control.className = name;
    control.text = WindowText(child);
    control.style = (DWORD)GetWindowLongA(child, GWL_STYLE);
    GetWindowRect(child, &control.rect);
    MapWindowPoints(NULL, GetParent(child), (POINT *)&control.rect, 2);
    seen.controls.push_back(control);
    return TRUE;
}

void RecordBox(HWND box, SeenDialog &seen)
{
    char text[1024] = "";
    GetDlgItemTextA(box, BoxTextId, text, sizeof text);
    seen.text = text;
    seen.icon = (HICON)SendDlgItemMessageA(box, BoxIconId, STM_GETICON, 0, 0);
    seen.style = (DWORD)GetWindowLongA(box, GWL_STYLE);
    EnumChildWindows(box, RecordControl, (LPARAM)&seen);
    Answer answer = {WM_COMMAND, (WPARAM)(GetDlgItem(box, IDOK) ? IDOK : IDCANCEL), 0};
    if (!BoxAnswers.empty()) {
        answer = BoxAnswers.front();
        BoxAnswers.pop_front();
    }
    PostMessageA(box, answer.message, answer.wParam, answer.lParam);
}

void Record(HWND dialog)
{
    SeenDialog seen = {};
    seen.caption = WindowText(dialog);
    seen.owner = GetWindow(dialog, GW_OWNER);
    seen.filterIndex = -1;
    if (GetDlgItem(dialog, FileNameBox))
        RecordFileDialog(dialog, seen);
    else
        RecordBox(dialog, seen);
    Seen.push_back(seen);
}

// A timer message comes only once the dialog's queue is otherwise empty.
const UINT_PTR RecordTimer = 0x5157;

void CALLBACK RecordWhenReady(HWND dialog, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(dialog, timer);
    Record(dialog);
}

LRESULT CALLBACK CbtProc(int code, WPARAM wParam, LPARAM lParam)
{
    HWND window = (HWND)wParam;
    if (code == HCBT_DESTROYWND)
        Answered.erase(window);
    if (code == HCBT_ACTIVATE && IsDialogClass(window) && !Answered.count(window)) {
        Answered.insert(window);
        // A file dialog is activated before it has filled its controls:
        // it is recorded once its own start-up is over.
        if (GetDlgItem(window, FileNameBox))
            SetTimer(window, RecordTimer, 0, RecordWhenReady);
        else
            Record(window);
    }
    return CallNextHookEx(CbtHook, code, wParam, lParam);
}

} // namespace

void WatchDialogs()
{
    if (!CbtHook)
        CbtHook = SetWindowsHookExA(WH_CBT, CbtProc, NULL, GetCurrentThreadId());
}

void AnswerNextBox(int commandId)
{
    AnswerNextBoxWith(WM_COMMAND, commandId, 0);
}

void AnswerNextBoxWith(UINT message, WPARAM wParam, LPARAM lParam)
{
    BoxAnswers.push_back({message, wParam, lParam});
}

void AnswerNextFileDialog(const FileAnswer &answer)
{
    FileAnswers.push_back(answer);
}

void AnswerNextFileDialog(const std::string &name)
{
    FileAnswer answer;
    answer.name = name;
    AnswerNextFileDialog(answer);
}

std::vector<SeenDialog> TakeSeenDialogs()
{
    std::vector<SeenDialog> seen;
    seen.swap(Seen);
    BoxAnswers.clear();
    FileAnswers.clear();
    return seen;
}

void PumpMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void PumpFor(DWORD ms)
{
    DWORD start = GetTickCount();
    do {
        PumpMessages();
        Sleep(1);
    } while (GetTickCount() - start < ms);
}

std::string WindowText(HWND window)
{
    int length = GetWindowTextLengthA(window);
    std::string text(length + 1, '\0');
    GetWindowTextA(window, &text[0], length + 1);
    text.resize(strlen(text.c_str()));
    return text;
}

bool ReadFileBytes(const std::string &path, std::string &bytes, size_t offset)
{
    bytes.clear();
    FILE *file = fopen(path.c_str(), "rb");
    if (!file)
        return false;
    if (fseek(file, (long)offset, SEEK_SET) == 0) {
        char chunk[4096];
        size_t got;
        while ((got = fread(chunk, 1, sizeof chunk, file)) > 0)
            bytes.append(chunk, got);
    }
    fclose(file);
    return true;
}
