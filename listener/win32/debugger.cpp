// The debugger window: the other threads in the debugger (a line shown
// when there are any), the condition (a read-only Edit), the restarts and
// the backtrace (two list boxes), and the evaluation line with the value
// under it, in a fixed-pitch font that shows Unicode.
// The texts come as UTF-8 and are shown through the W API. A refresh of the
// same level changes only the lines that differ and puts the selection and
// the top line back on the same restart, frame or local, even when lines were
// added above them.
#include "listener/win32/debugger.h"
#include "listener/core/text_rules.h"
#include "listener/win32/codepage.h"
#include "listener/win32/resource.h"
#include "listener/win32/ownedwindow.h"

#include <string>
#include <vector>

static const wchar_t ClassName[] = L"KestraluneDebugger";
static const wchar_t LocalsIndent[] = L"      ";
static const int Margin = 4;

static HWND Window, Owner, Threads, Condition, RestartsLabel, Restarts, FramesLabel, Frames, EvalLabel, EvalLine,
    EvalResult;
static HWND FocusChild;  // the child that had the focus when the window was last deactivated
static WNDPROC ListBaseProc, EditBaseProc, EvalBaseProc;
static HFONT Font;
static int CharWidth = 8;

// What the backtrace list shows on each line.
enum LineKind { FrameLine, LocalLine, MoreLine };
struct BacktraceLine {
    LineKind kind;
    size_t frame;  // a position in Shown.frames (FrameLine, LocalLine); for MoreLine the frames before it
    size_t local;  // LocalLine: which local (0 also for "(no locals)" and "...")
};

static bool Showing;  // a level is shown; false once hidden, so the same level shown again counts as new
static DebugLevel Shown;
static std::vector<BacktraceLine> Lines;
static std::vector<std::wstring> FrameTexts, RestartTexts;

static void Post(DebugAction action, LPARAM argument, const std::string &text = std::string())
{
    if (!Owner)
        return;
    DebugActionPost *post = new DebugActionPost;
    post->argument = (long)argument;
    post->at.thread = Shown.thread;
    post->at.level = Shown.level;
    post->text = text;
    if (!PostMessageW(Owner, WM_DEBUGGER_ACTION, (WPARAM)action, (LPARAM)post))
        delete post;
}

static int Selected(HWND list)
{
    return (int)SendMessageW(list, LB_GETCURSEL, 0, 0);
}

static void InvokeRestart(int number)
{
    if (number >= 0 && (size_t)number < Shown.restarts.size())
        Post(DebugInvokeRestart, number);
    else
        MessageBeep(MB_OK);
}

// Enter or a double-click on a backtrace line: the locals of its frame
// (the owner knows whether they were asked for already), or more frames on
// "--more--"; nothing on "... asking for more frames".
static void ActivateFrameLine(int index)
{
    if (index < 0 || (size_t)index >= Lines.size())
        return;
    const BacktraceLine &line = Lines[index];
    if (line.kind != MoreLine)
        Post(DebugFrameLocals, (LPARAM)Shown.frames[line.frame].index);
    else if (Shown.moreFrames && !Shown.framesAsked)
        Post(DebugMoreFrames, 0);
}

// The frame of the backtrace's selected line (a local's line stands for
// its frame's); -1 on "--more--" or with none selected.
static long SelectedFrame()
{
    int index = Selected(Frames);
    if (index < 0 || (size_t)index >= Lines.size() || Lines[index].kind == MoreLine)
        return -1;
    return Shown.frames[Lines[index].frame].index;
}

static std::string EvalText()
{
    int length = GetWindowTextLengthW(EvalLine);
    std::wstring text(length + 1, L'\0');
    text.resize(GetWindowTextW(EvalLine, &text[0], length + 1));
    return WideToUtf8(text);
}

// An action on the selected frame, with the evaluation line's text.
static void FrameAction(DebugAction action)
{
    long frame = SelectedFrame();
    if (frame < 0)
        return (void)MessageBeep(MB_OK);
    bool withText = action == DebugEvalInFrame || action == DebugReturnFromFrame || action == DebugInspectInFrame;
    Post(action, frame, withText ? EvalText() : std::string());
}

// The tool of a letter (either case) on the selected frame; false when
// the letter is none's.
static bool ToolOfLetter(WPARAM key, DebugAction *action)
{
    static const struct {
        wchar_t letter;
        DebugAction action;
    } letters[] = {{L's', DebugFrameSource}, {L'r', DebugRestartFrame}, {L't', DebugReturnFromFrame},
                   {L'd', DebugDisassemble}};
    for (const auto &l : letters) {
        if (key == (WPARAM)l.letter || key == (WPARAM)(l.letter - 32)) {
            *action = l.action;
            return true;
        }
    }
    return false;
}

// Tab: restarts, backtrace, evaluation line, and round again.
static HWND NextInTabOrder(HWND control)
{
    return control == Restarts ? Frames : control == Frames ? EvalLine : Restarts;
}

// I or Ctrl+I: the selected local of the backtrace, else the condition;
// Ctrl+I on the evaluation line: its value in the selected frame.
static void Inspect(HWND control)
{
    if (control == EvalLine && GetWindowTextLengthW(EvalLine) > 0)
        return FrameAction(DebugInspectInFrame);
    int index = control == Frames ? Selected(Frames) : -1;
    if (index >= 0 && (size_t)index < Lines.size() && Lines[index].kind == LocalLine) {
        const DebugFrame &frame = Shown.frames[Lines[index].frame];
        if (frame.localsKnown && Lines[index].local < frame.locals.size())
            return Post(DebugInspectLocal, DebugLocalArgument(frame.index, (long)Lines[index].local));
    }
    Post(DebugInspectCondition, 0);
}

// The keys the whole window answers, whichever of its controls has the
// focus; on the evaluation line, letters and digits are typed. Enter, Esc
// and Tab are taken at their key-down, so their WM_CHAR is swallowed (the
// controls would beep). Esc held down repeats its key-down (bit 30 of
// lParam set): an abort is asked once, as one level at a time would be
// left otherwise.
static bool DebuggerKey(HWND control, UINT message, WPARAM key, LPARAM flags)
{
    if (message == WM_KEYDOWN) {
        switch (key) {
        case VK_ESCAPE:
            if (!(flags & (1 << 30)))
                Post(DebugAbort, 0);
            return true;
        case VK_TAB:
            if (GetKeyState(VK_CONTROL) < 0)
                Post(DebugNextThread, 0);
            else
                SetFocus(NextInTabOrder(control));
            return true;
        case VK_F10:
            FrameAction(DebugStepNext);
            return true;
        case VK_F11:
            FrameAction(GetKeyState(VK_SHIFT) < 0 ? DebugStepOut : DebugStepInto);
            return true;
        case VK_RETURN:
            if (control == Restarts)
                InvokeRestart(Selected(Restarts));
            else if (control == Frames)
                ActivateFrameLine(Selected(Frames));
            else if (control == EvalLine)
                FrameAction(DebugEvalInFrame);
            return control == Restarts || control == Frames || control == EvalLine;
        case 'I':
            if (GetKeyState(VK_CONTROL) < 0) {
                Inspect(control);
                return true;
            }
            break;
        }
    } else if (message == WM_SYSKEYDOWN && key == VK_F10) {
        // F10 alone is the menu key: the window has no menu, it steps.
        FrameAction(DebugStepNext);
        return true;
    } else if (message == WM_CHAR) {
        if (key == L'\r' || key == 0x1b || key == L'\t')
            return true;
        if (control == EvalLine)
            return false;
        if (key >= L'0' && key <= L'9') {
            InvokeRestart((int)(key - L'0'));
            return true;
        }
        if (key == L'i' || key == L'I') {
            Inspect(control);
            return true;
        }
        DebugAction action;
        if (!ToolOfLetter(key, &action))
            return false;
        FrameAction(action);
        return true;
    }
    return false;
}

static LRESULT CALLBACK ListWndProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (DebuggerKey(list, message, wParam, lParam))
        return 0;
    LRESULT result = CallWindowProcW(ListBaseProc, list, message, wParam, lParam);
    // Moving down onto "--more--" fetches the next frames.
    if (list == Frames && message == WM_KEYDOWN && (wParam == VK_DOWN || wParam == VK_NEXT)) {
        int index = Selected(Frames);
        if (index >= 0 && (size_t)index < Lines.size() && Lines[index].kind == MoreLine)
            ActivateFrameLine(index);
    }
    return result;
}

static LRESULT CALLBACK EditWndProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (DebuggerKey(edit, message, wParam, lParam))
        return 0;
    return CallWindowProcW(edit == EvalLine ? EvalBaseProc : EditBaseProc, edit, message, wParam, lParam);
}

static int ItemHeight(HWND list)
{
    int height = (int)SendMessageW(list, LB_GETITEMHEIGHT, 0, 0);
    return height > 0 ? height : 16;
}

// Top to bottom: the other threads, when there are any; the condition, as
// tall as its text up to six lines (and a quarter of the window); the
// restarts, up to eight lines and half of what is left; the backtrace takes
// the rest but for the evaluation line and its value at the bottom.
static void Layout()
{
    RECT client;
    GetClientRect(Window, &client);
    int width = client.right - Margin * 2, height = client.bottom;
    if (width < 0)
        width = 0;
    int edge = 2 * GetSystemMetrics(SM_CYEDGE), item = ItemHeight(Frames), label = item + 2;
    int evalHeight = item + edge + 2, labelWidth = 15 * CharWidth;
    int bottom = height - Margin - label - Margin - evalHeight;
    MoveWindow(EvalLabel, Margin, bottom + 3, labelWidth, label, TRUE);
    MoveWindow(EvalLine, Margin + labelWidth, bottom, width - labelWidth > 0 ? width - labelWidth : 0, evalHeight,
               TRUE);
    MoveWindow(EvalResult, Margin, bottom + evalHeight + Margin, width, label, TRUE);
    height = bottom - Margin;

    int top = Margin;
    ShowWindow(Threads, Shown.otherThreads.empty() ? SW_HIDE : SW_SHOWNA);
    if (!Shown.otherThreads.empty()) {
        MoveWindow(Threads, Margin, top, width, label, TRUE);
        top += label + Margin;
    }
    MoveWindow(Condition, Margin, top, width, item * 6 + edge, FALSE);
    int lines = (int)SendMessageW(Condition, EM_GETLINECOUNT, 0, 0);
    lines = lines < 2 ? 2 : lines > 6 ? 6 : lines;
    int conditionHeight = lines * item + edge + 4;
    if (conditionHeight > height / 4)
        conditionHeight = height / 4;
    MoveWindow(Condition, Margin, top, width, conditionHeight, TRUE);
    int y = top + conditionHeight + Margin;

    MoveWindow(RestartsLabel, Margin, y, width, label, TRUE);
    y += label;
    int rows = (int)Shown.restarts.size();
    rows = rows < 1 ? 1 : rows > 8 ? 8 : rows;
    int restartsHeight = rows * item + edge + GetSystemMetrics(SM_CYHSCROLL);
    int rest = height - y - label - Margin * 2;
    if (restartsHeight > rest / 2)
        restartsHeight = rest / 2 > 0 ? rest / 2 : 0;
    MoveWindow(Restarts, Margin, y, width, restartsHeight, TRUE);
    y += restartsHeight + Margin;

    MoveWindow(FramesLabel, Margin, y, width, label, TRUE);
    y += label;
    int framesHeight = height - Margin - y;
    MoveWindow(Frames, Margin, y, width, framesHeight > 0 ? framesHeight : 0, TRUE);
}

static void ClearList(HWND list, std::vector<std::wstring> &old)
{
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    old.clear();
}

// Makes the list show now, changing only the lines between the first and
// the last that differ from what it shows (old).
static void SetListLines(HWND list, std::vector<std::wstring> &old, const std::vector<std::wstring> &now)
{
    size_t prefix = 0, suffix = 0;
    while (prefix < old.size() && prefix < now.size() && old[prefix] == now[prefix])
        prefix++;
    while (suffix < old.size() - prefix && suffix < now.size() - prefix &&
           old[old.size() - 1 - suffix] == now[now.size() - 1 - suffix])
        suffix++;
    if (prefix == old.size() && prefix == now.size())
        return;
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    if (prefix == 0 && suffix == 0)
        SendMessageW(list, LB_RESETCONTENT, 0, 0);
    else
        for (size_t i = prefix; i < old.size() - suffix; i++)
            SendMessageW(list, LB_DELETESTRING, prefix, 0);
    for (size_t i = prefix; i < now.size() - suffix; i++)
        SendMessageW(list, LB_INSERTSTRING, i, (LPARAM)now[i].c_str());
    size_t longest = 0;
    for (const std::wstring &line : now)
        if (line.size() > longest)
            longest = line.size();
    SendMessageW(list, LB_SETHORIZONTALEXTENT, (WPARAM)(longest * CharWidth + 2 * Margin), 0);
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, NULL, TRUE);
    old = now;
}

static void BuildFrameLines(const DebugLevel &level, std::vector<BacktraceLine> &lines,
                            std::vector<std::wstring> &texts)
{
    for (size_t f = 0; f < level.frames.size(); f++) {
        const DebugFrame &frame = level.frames[f];
        lines.push_back({FrameLine, f, 0});
        texts.push_back(std::to_wstring(frame.index) + L": " + Utf8ToWide(frame.text));
        if (frame.localsKnown) {
            for (size_t l = 0; l < frame.locals.size(); l++) {
                lines.push_back({LocalLine, f, l});
                texts.push_back(LocalsIndent + Utf8ToWide(frame.locals[l]));
            }
            if (frame.locals.empty()) {
                lines.push_back({LocalLine, f, 0});
                texts.push_back(std::wstring(LocalsIndent) + L"(no locals)");
            }
        } else if (frame.localsAsked) {
            lines.push_back({LocalLine, f, 0});
            texts.push_back(std::wstring(LocalsIndent) + L"...");
        }
    }
    if (level.moreFrames) {
        lines.push_back({MoreLine, level.frames.size(), 0});
        texts.push_back(level.framesAsked ? L"... asking for more frames" : L"--more--");
    }
}

// How many lines the frame takes: its own and its locals'.
static int BlockLines(const std::vector<BacktraceLine> &lines, size_t frame)
{
    int count = 0;
    for (const BacktraceLine &line : lines)
        count += line.kind != MoreLine && line.frame == frame;
    return count;
}

// Where a line shown before is now: the same frame or local, the frame when
// its local is gone, and for "--more--" the first of the frames that came.
static int FindLine(const std::vector<BacktraceLine> &lines, const BacktraceLine &old)
{
    int frameLine = -1, more = -1;
    for (size_t i = 0; i < lines.size(); i++) {
        const BacktraceLine &line = lines[i];
        if (line.kind == MoreLine) {
            more = (int)i;
        } else if (line.frame != old.frame) {
            continue;
        } else if (line.kind == FrameLine) {
            // For "--more--", old.frame is the count of frames before it.
            if (old.kind != LocalLine)
                return (int)i;
            frameLine = (int)i;
        } else if (old.kind == LocalLine && line.local == old.local) {
            return (int)i;
        }
    }
    if (frameLine >= 0)
        return frameLine;
    return more >= 0 ? more : (int)lines.size() - 1;
}

static void ShowFrames(const DebugLevel &level, bool same)
{
    std::vector<BacktraceLine> lines;
    std::vector<std::wstring> texts;
    BuildFrameLines(level, lines, texts);
    if (!same) {
        ClearList(Frames, FrameTexts);
        SetListLines(Frames, FrameTexts, texts);
        Lines = lines;
        SendMessageW(Frames, LB_SETTOPINDEX, 0, 0);
        SendMessageW(Frames, LB_SETCURSEL, lines.empty() ? -1 : 0, 0);
        return;
    }
    int selected = Selected(Frames), top = (int)SendMessageW(Frames, LB_GETTOPINDEX, 0, 0);
    RECT client;
    GetClientRect(Frames, &client);
    int page = client.bottom / ItemHeight(Frames);
    bool selectedVisible = selected >= top && selected < top + page;
    BacktraceLine none = {FrameLine, 0, 0};
    BacktraceLine selectedLine = selected >= 0 && (size_t)selected < Lines.size() ? Lines[selected] : none;
    BacktraceLine topLine = top >= 0 && (size_t)top < Lines.size() ? Lines[top] : none;
    bool hadSelection = selected >= 0 && (size_t)selected < Lines.size(), hadTop = (size_t)top < Lines.size();
    int selectedBlock = hadSelection ? BlockLines(Lines, selectedLine.frame) : 0;

    SetListLines(Frames, FrameTexts, texts);
    Lines = lines;
    if (lines.empty())
        return;
    int newSelected = hadSelection ? FindLine(lines, selectedLine) : -1;
    int newTop = hadTop ? FindLine(lines, topLine) : 0;
    // Locals that came for the selected frame, which was in view, are brought
    // into view below it, the frame's line kept in view.
    if (selectedVisible && newSelected >= 0 && page > 0 &&
        BlockLines(lines, lines[newSelected].frame) != selectedBlock) {
        int end = newSelected;
        while ((size_t)end + 1 < lines.size() && lines[end + 1].kind == LocalLine &&
               lines[end + 1].frame == lines[newSelected].frame)
            end++;
        if (end >= newTop + page)
            newTop = end - page + 1 < newSelected ? end - page + 1 : newSelected;
        if (newSelected < newTop)
            newTop = newSelected;
    }
    SendMessageW(Frames, LB_SETCURSEL, newSelected, 0);
    SendMessageW(Frames, LB_SETTOPINDEX, newTop, 0);
}

static void ShowRestarts(const DebugLevel &level, bool same)
{
    std::vector<std::wstring> texts;
    for (size_t i = 0; i < level.restarts.size(); i++)
        texts.push_back(std::to_wstring(i) + L": [" + Utf8ToWide(level.restarts[i].name) + L"] " +
                        Utf8ToWide(level.restarts[i].description));
    int selected = Selected(Restarts), top = (int)SendMessageW(Restarts, LB_GETTOPINDEX, 0, 0);
    if (!same) {
        ClearList(Restarts, RestartTexts);
        selected = 0;
        top = 0;
    }
    SetListLines(Restarts, RestartTexts, texts);
    if (texts.empty())
        return;
    if (selected < 0 || (size_t)selected >= texts.size())
        selected = same && selected >= 0 ? (int)texts.size() - 1 : 0;
    SendMessageW(Restarts, LB_SETCURSEL, selected, 0);
    SendMessageW(Restarts, LB_SETTOPINDEX, top, 0);
}

static void Fill(const DebugLevel &level, bool same)
{
    if (!same || level.threadName != Shown.threadName) {
        std::wstring caption = L"KESTRALUNE Debugger - " + Utf8ToWide(level.threadName) + L" - level " +
                               std::to_wstring(level.level);
        SetWindowTextW(Window, caption.c_str());
    }
    bool relayout = !same || level.message != Shown.message || level.type != Shown.type ||
                    level.restarts.size() != Shown.restarts.size() ||
                    level.otherThreads.empty() != Shown.otherThreads.empty();
    if (!same || level.otherThreads != Shown.otherThreads)
        SetWindowTextW(Threads, Utf8ToWide("Also in the debugger (Ctrl+Tab): " + level.otherThreads).c_str());
    if (!same || level.evalResult != Shown.evalResult)
        SetWindowTextW(EvalResult, Utf8ToWide(level.evalResult).c_str());
    if (!same || level.message != Shown.message || level.type != Shown.type) {
        std::wstring condition = Utf8ToWide(ToCrLf(level.message));
        if (!level.type.empty())
            condition += L"\r\n" + Utf8ToWide(level.type);
        SetWindowTextW(Condition, condition.c_str());
    }
    ShowRestarts(level, same);
    ShowFrames(level, same);
    Shown = level;
    Showing = true;
    if (relayout)
        Layout();
}

static void FocusList()
{
    HWND target = FocusChild && IsChild(Window, FocusChild) ? FocusChild : Restarts;
    SetFocus(target);
}

static LRESULT CALLBACK DebuggerWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE:
        if (Frames)
            Layout();
        return 0;
    case WM_GETMINMAXINFO:
        ((MINMAXINFO *)lParam)->ptMinTrackSize.x = 320;
        ((MINMAXINFO *)lParam)->ptMinTrackSize.y = 240;
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(window, focus))
                FocusChild = focus;
        } else if (!HIWORD(wParam)) {
            FocusList();
        }
        return 0;
    case WM_SETFOCUS:
        FocusList();
        return 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_CHAR:
        if (DebuggerKey(window, message, wParam, lParam))
            return 0;
        break;
    case WM_COMMAND:
        if (HIWORD(wParam) == LBN_DBLCLK) {
            if ((HWND)lParam == Restarts)
                InvokeRestart(Selected(Restarts));
            else if ((HWND)lParam == Frames)
                ActivateFrameLine(Selected(Frames));
        }
        return 0;
    case WM_CTLCOLORSTATIC:
        // The read-only condition is drawn as text on a page, not greyed.
        if ((HWND)lParam == Condition) {
            SetBkColor((HDC)wParam, GetSysColor(COLOR_WINDOW));
            SetTextColor((HDC)wParam, GetSysColor(COLOR_WINDOWTEXT));
            return (LRESULT)GetSysColorBrush(COLOR_WINDOW);
        }
        break;
    case WM_CLOSE:
        // The owner decides: it aborts, and hides the window when the Lisp
        // says the debugger returned.
        Post(DebugAbort, 0);
        return 0;
    case WM_DESTROY:
        // Also when the owner is destroyed first, which takes this window with it.
        Window = Owner = Threads = Condition = RestartsLabel = Restarts = FramesLabel = Frames = FocusChild = NULL;
        EvalLabel = EvalLine = EvalResult = NULL;
        Showing = false;
        Shown = DebugLevel();
        Lines.clear();
        FrameTexts.clear();
        RestartTexts.clear();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

static bool RegisterDebuggerClass(HINSTANCE instance)
{
    WNDCLASSEXW existing = {};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExW(instance, ClassName, &existing))
        return true;
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DebuggerWndProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, L"KestraluneIcon");
    wc.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    wc.lpszClassName = ClassName;
    return RegisterClassExW(&wc) != 0;
}

static void MakeFont()
{
    if (Font)
        return;
    HDC screen = GetDC(NULL);
    int height = -MulDiv(10, GetDeviceCaps(screen, LOGPIXELSY), 72);
    Font = CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, L"Courier New");
    HGDIOBJ old = SelectObject(screen, Font ? (HGDIOBJ)Font : GetStockObject(ANSI_FIXED_FONT));
    TEXTMETRICW metrics;
    if (GetTextMetricsW(screen, &metrics) && metrics.tmAveCharWidth > 0)
        CharWidth = metrics.tmAveCharWidth;
    SelectObject(screen, old);
    ReleaseDC(NULL, screen);
}

static HWND Child(const wchar_t *className, const wchar_t *text, DWORD style, DWORD exStyle, int id)
{
    HWND child = CreateWindowExW(exStyle, className, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, Window,
                                 (HMENU)(INT_PTR)id, GetModuleHandleW(NULL), NULL);
    if (child)
        SendMessageW(child, WM_SETFONT, (WPARAM)(Font ? (HGDIOBJ)Font : GetStockObject(ANSI_FIXED_FONT)), FALSE);
    return child;
}

// Over the owner, a little down and right of its corner, kept on its monitor.
static POINT Placement(HWND owner, int width, int height)
{
    RECT ownerRect;
    GetWindowRect(owner, &ownerRect);
    POINT at = {ownerRect.left + 40, ownerRect.top + 40};
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    if (GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor)) {
        const RECT &work = monitor.rcWork;
        if (at.x + width > work.right)
            at.x = work.right - width;
        if (at.y + height > work.bottom)
            at.y = work.bottom - height;
        if (at.x < work.left)
            at.x = work.left;
        if (at.y < work.top)
            at.y = work.top;
    }
    return at;
}

static bool CreateDebugger(HWND owner)
{
    HINSTANCE instance = GetModuleHandleW(NULL);
    if (!RegisterDebuggerClass(instance))
        return false;
    MakeFont();
    const int width = 640, height = 480;
    POINT at = Placement(owner, width, height);
    Window = CreateWindowExW(0, ClassName, L"KESTRALUNE Debugger", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, at.x,
                             at.y, width, height, owner, NULL, instance, NULL);
    if (!Window)
        return false;
    Owner = owner;
    const DWORD listStyle = WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
    Condition = Child(L"Edit", L"", WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, WS_EX_CLIENTEDGE,
                      ID_DEBUG_CONDITION);
    RestartsLabel = Child(L"Static", L"Restarts:", SS_LEFT | SS_NOPREFIX, 0, ID_DEBUG_RESTARTS_LABEL);
    Restarts = Child(L"ListBox", NULL, listStyle, WS_EX_CLIENTEDGE, ID_DEBUG_RESTARTS);
    FramesLabel = Child(L"Static", L"Backtrace:", SS_LEFT | SS_NOPREFIX, 0, ID_DEBUG_FRAMES_LABEL);
    Frames = Child(L"ListBox", NULL, listStyle, WS_EX_CLIENTEDGE, ID_DEBUG_FRAMES);
    Threads = Child(L"Static", L"", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, 0, ID_DEBUG_THREADS);
    EvalLabel = Child(L"Static", L"Eval in frame:", SS_LEFT | SS_NOPREFIX, 0, ID_DEBUG_EVAL_LABEL);
    EvalLine = Child(L"Edit", L"", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, ID_DEBUG_EVAL);
    EvalResult = Child(L"Static", L"", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, 0, ID_DEBUG_RESULT);
    if (!Condition || !RestartsLabel || !Restarts || !FramesLabel || !Frames || !Threads || !EvalLabel ||
        !EvalLine || !EvalResult) {
        DestroyWindow(Window);
        return false;
    }
    ListBaseProc = (WNDPROC)SetWindowLongPtrW(Restarts, GWLP_WNDPROC, (LONG_PTR)ListWndProc);
    SetWindowLongPtrW(Frames, GWLP_WNDPROC, (LONG_PTR)ListWndProc);
    EditBaseProc = (WNDPROC)SetWindowLongPtrW(Condition, GWLP_WNDPROC, (LONG_PTR)EditWndProc);
    EvalBaseProc = (WNDPROC)SetWindowLongPtrW(EvalLine, GWLP_WNDPROC, (LONG_PTR)EditWndProc);
    Layout();
    return true;
}

static void HideDebugger()
{
    if (!Window)
        return;
    HideOwnedWindow(Window);
    Showing = false;
    Shown = DebugLevel();
    Lines.clear();
    ClearList(Frames, FrameTexts);
    ClearList(Restarts, RestartTexts);
    FocusChild = NULL;
}

void ShowDebugger(HWND owner, const DebugLevel *level, bool raise)
{
    if (!level) {
        HideDebugger();
        return;
    }
    // Actions go to the owner: without one there is nobody to answer them.
    if (!owner || !IsWindow(owner))
        return;
    if (Window && owner != Owner)
        DestroyWindow(Window);
    if (!Window && !CreateDebugger(owner))
        return;
    bool same = Showing && level->thread == Shown.thread && level->level == Shown.level;
    Fill(*level, same);
    bool active = GetForegroundWindow() == Window;
    if (!same) {
        // A new level starts on its restarts; the focus goes there at once
        // when the window is the user's now or comes forward.
        FocusChild = Restarts;
        if (active || raise)
            SetFocus(Restarts);
    }
    if (same && IsWindowVisible(Window))
        return;
    if (raise) {
        ShowWindow(Window, IsIconic(Window) ? SW_RESTORE : SW_SHOW);
        SetWindowPos(Window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        SetForegroundWindow(Window);
    } else if (!IsWindowVisible(Window)) {
        // Shown behind the window the user types in.
        HWND front = GetForegroundWindow();
        ShowWindow(Window, SW_SHOWNOACTIVATE);
        if (front && front != Window)
            SetWindowPos(Window, front, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

void EndDebugger()
{
    if (Window)
        DestroyWindow(Window);
    if (Font) {
        DeleteObject(Font);
        Font = NULL;
    }
}

HWND DebuggerWindow()
{
    return Window;
}
