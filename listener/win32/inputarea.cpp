#include "listener/win32/inputarea.h"
#include "editor/lisp_scan.h"
#include "listener/win32/codepage.h"
#include "listener/core/forms.h"
#include "listener/core/history.h"
#include "listener/win32/historyfile.h"
#include "listener/core/input_rules.h"
#include "listener/win32/listener.h"
#include "listener/win32/resource.h"
#include "listener/core/text_rules.h"

#include <string.h>

#include <algorithm>

static HWND Edit, StatusLine;
static WNDPROC InputBaseProc;
static History Inputs;
static HFONT Font;
static int LineHeight = 16;
static int ShownLines = 1;
static bool Answering;
// Changes of the text so far: a request's tag, so that a reply about an
// older text is known.
static long Changes;
static DWORD LastCaret;

// The completion asked for: the typed part [start, caret) and its text.
static struct {
    bool pending = false;
    long tag = 0;
    size_t start = 0, caret = 0;
    std::string typed;
} Completion;

// The argument list the Lisp last gave, and the operator last asked about.
static struct {
    bool known = false;
    std::string name, arglist;
} Arglist;
static struct {
    std::string name;
    long tag = -1;
} ArglistAsked;

// The argument list is asked for once typing or moving the caret pauses.
static const UINT_PTR ArglistTimer = 0x4B41;
static const UINT ArglistPauseMs = 200;

static std::string LastSaveProblem;

static std::u16string WideText()
{
    int length = GetWindowTextLengthW(Edit);
    std::wstring text(length + 1, L'\0');
    length = GetWindowTextW(Edit, &text[0], length + 1);
    return std::u16string(text.begin(), text.begin() + length);
}

// The text as the Lisp and the history take it: UTF-8, "\n" line breaks.
static std::string LispText(const std::u16string &wide)
{
    std::string text = Utf16ToUtf8(wide, 0, wide.size()), out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                i++;
        } else {
            out += text[i];
        }
    }
    return out;
}

static DWORD Caret()
{
    DWORD start = 0, end = 0;
    SendMessageW(Edit, EM_GETSEL, (WPARAM)&start, (LPARAM)&end);
    return end;
}

static void SetCaret(size_t at)
{
    SendMessageW(Edit, EM_SETSEL, at, at);
    SendMessageW(Edit, EM_SCROLLCARET, 0, 0);
}

static void Replace(size_t from, size_t to, const std::wstring &text, bool undoable)
{
    SendMessageW(Edit, EM_SETSEL, from, to);
    SendMessageW(Edit, EM_REPLACESEL, undoable, (LPARAM)text.c_str());
}

static int LineCount()
{
    return std::max(1, (int)SendMessageW(Edit, EM_GETLINECOUNT, 0, 0));
}

static int EditHeight(int lines)
{
    return lines * LineHeight + 2 * GetSystemMetrics(SM_CYEDGE) + 4;
}

static int StatusHeight()
{
    return LineHeight + 4;
}

static void SetStatus(const std::string &text)
{
    SetWindowTextW(StatusLine, Utf8ToWide(text).c_str());
}

static void ShowInput(const std::string &text)
{
    std::wstring wide = Utf8ToWide(ToCrLf(text));
    SetWindowTextW(Edit, wide.c_str());
    SetCaret(wide.size());
}

// The text changed: the input's height may follow its lines, and the
// argument list is looked for again once typing pauses.
static void TextChanged()
{
    Changes++;
    SetTimer(Edit, ArglistTimer, ArglistPauseMs, NULL);
    int lines = LineCount();
    if (lines != ShownLines) {
        ShownLines = lines;
        PostMessageW(GetParent(Edit), WM_INPUT_RESIZED, 0, 0);
    }
}

static void CaretMaybeMoved()
{
    DWORD caret = Caret();
    if (caret != LastCaret) {
        LastCaret = caret;
        SetTimer(Edit, ArglistTimer, ArglistPauseMs, NULL);
    }
}

static LRESULT AskParent(InputRequestKind kind, const std::string &text)
{
    InputRequest request = {kind, text, Changes};
    return SendMessageW(GetParent(Edit), WM_INPUT_REQUEST, 0, (LPARAM)&request);
}

// The argument list of the form at the caret: the one known already for
// its operator, or asked for.
static void ShowArglist()
{
    KillTimer(Edit, ArglistTimer);
    FormAtCaret form;
    if (!FormAt(WideText(), Caret(), &form)) {
        SetStatus("");
        return;
    }
    if (Arglist.known && Arglist.name == form.op) {
        SetStatus(Arglist.arglist.empty() ? std::string()
                                          : MarkArgument(Arglist.arglist, form.argument, form.before));
        return;
    }
    if (ArglistAsked.name == form.op && ArglistAsked.tag == Changes)
        return;  // its reply is on the way
    ArglistAsked.name = form.op;
    ArglistAsked.tag = Changes;
    if (!AskParent(RequestArglist, form.op))
        SetStatus("");
}

void InputArglistCame(long tag, const std::string &name, const std::string &arglist)
{
    if (tag != Changes)
        return;  // about an older text: asked again once typing pauses
    Arglist.known = true;
    Arglist.name = name;
    Arglist.arglist = arglist;
    ShowArglist();
}

// Sets the leading blanks of the caret's line as the editor's Tab does. A
// new line (caretToText) has its caret put after them.
static void Reindent(bool caretToText)
{
    std::u16string text = WideText();
    size_t caret = Caret();
    IndentChange indent;
    bool changes = DecideInputIndent(text, caret, &indent);
    if (changes) {
        if (indent.change > 0)
            Replace(indent.lineStart, indent.lineStart, std::wstring(indent.change, L' '), false);
        else
            Replace(indent.lineStart, indent.lineStart - indent.change, L"", false);
    }
    if (caretToText) {
        size_t blanks = 0;
        while (caret + blanks < text.size() && (text[caret + blanks] == u' ' || text[caret + blanks] == u'\t'))
            blanks++;
        SetCaret(caret + blanks + (changes ? indent.change : 0));
    } else if (changes) {
        SetCaret(CaretAfter((unsigned)caret, (unsigned)indent.lineStart, indent.change));
    }
}

static void Send(const std::string &text)
{
    LRESULT taken = SendMessageW(GetParent(Edit), WM_LISTENER_INPUT, 0, (LPARAM)&text);
    if (taken == InputKept)
        return;
    if (taken == InputEvaluated) {
        HistoryAdd(Inputs, text);
        // What was evaluated may have defined anything anew.
        Arglist.known = false;
    }
    SetWindowTextW(Edit, L"");
}

static void Enter(bool asIs)
{
    std::string text = LispText(WideText());
    if (!Answering) {
        if (IsBlankText(text))
            return;
        if (!asIs && !HoldsCompleteForms(text)) {
            SendMessageW(Edit, EM_REPLACESEL, TRUE, (LPARAM)L"\r\n");
            Reindent(true);
            return;
        }
    }
    Send(text);
}

// After part of a symbol Tab asks the Lisp to complete it; elsewhere it
// re-indents the line.
static void Tab()
{
    std::u16string text = WideText();
    DWORD start = 0, end = 0;
    SendMessageW(Edit, EM_GETSEL, (WPARAM)&start, (LPARAM)&end);
    size_t symbol;
    if (start != end || !CompletionStart(text, end, &symbol)) {
        Reindent(false);
        return;
    }
    Completion.pending = true;
    Completion.tag = Changes;
    Completion.start = symbol;
    Completion.caret = end;
    Completion.typed = Utf16ToUtf8(text, symbol, end);
    if (!AskParent(RequestCompletion, Completion.typed)) {
        Completion.pending = false;
        MessageBeep(MB_OK);
    }
}

std::string InputCompleted(long tag, const std::vector<std::string> &matches)
{
    if (!Completion.pending || tag != Completion.tag)
        return std::string();
    Completion.pending = false;
    if (tag != Changes || Caret() != Completion.caret)
        return std::string();  // the text or the caret moved on meanwhile
    if (matches.empty()) {
        MessageBeep(MB_OK);
        return std::string();
    }
    std::string completed;
    if (CompletionText(Completion.typed, matches, &completed)) {
        Replace(Completion.start, Completion.caret, Utf8ToWide(completed), true);
        SendMessageW(Edit, EM_SCROLLCARET, 0, 0);
    }
    return matches.size() > 1 ? CompletionListing(matches) : std::string();
}

std::string InputFormAtCaret()
{
    std::u16string wide = WideText();
    std::string text = LispText(wide);
    size_t start, end;
    if (!TopLevelFormAt(text, LispText(wide.substr(0, Caret())).size(), &start, &end))
        return text;
    return text.substr(start, end - start);
}

std::string InputSymbolAtCaret()
{
    std::u16string text = WideText();
    size_t start, end;
    return SymbolAt(text, Caret(), &start, &end) ? Utf16ToUtf8(text, start, end) : std::string();
}

static void Describe()
{
    std::string name = InputSymbolAtCaret();
    if (name.empty() || !AskParent(RequestDescription, name))
        MessageBeep(MB_OK);
}

static bool KeyDown(WPARAM key)
{
    bool control = GetKeyState(VK_CONTROL) < 0, shift = GetKeyState(VK_SHIFT) < 0;
    std::string recalled;
    switch (key) {
    case VK_RETURN:
        Enter(control);
        return true;
    case VK_TAB:
        if (control)
            return false;
        Tab();
        return true;
    case VK_F1:
        Describe();
        return true;
    case VK_UP:
        // Elsewhere than on the first line, Up moves the caret.
        if (shift || control || SendMessageW(Edit, EM_LINEFROMCHAR, Caret(), 0) != 0)
            return false;
        if (HistoryPrevious(Inputs, &recalled))
            ShowInput(recalled);
        return true;
    case VK_DOWN:
        if (shift || control || SendMessageW(Edit, EM_LINEFROMCHAR, Caret(), 0) != LineCount() - 1)
            return false;
        if (HistoryNext(Inputs, &recalled))
            ShowInput(recalled);
        return true;
    }
    return false;
}

static LRESULT CALLBACK InputWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_KEYDOWN:
        if (KeyDown(wParam)) {
            CaretMaybeMoved();
            return 0;
        }
        break;
    case WM_CHAR:
        // Enter, Ctrl+Enter and Tab were taken at their key-down.
        if (wParam == '\r' || wParam == '\n' || wParam == '\t')
            return 0;
        break;
    case WM_TIMER:
        if (wParam == ArglistTimer) {
            ShowArglist();
            return 0;
        }
        break;
    case WM_SETTEXT: {
        // A multi-line Edit tells its parent nothing of a new text.
        LRESULT result = CallWindowProcW(InputBaseProc, window, message, wParam, lParam);
        TextChanged();
        CaretMaybeMoved();
        return result;
    }
    }
    LRESULT result = CallWindowProcW(InputBaseProc, window, message, wParam, lParam);
    if (message == WM_KEYDOWN || message == WM_CHAR || message == WM_LBUTTONUP || message == EM_SETSEL)
        CaretMaybeMoved();
    return result;
}

void InputNotified(int code)
{
    if (code == EN_CHANGE)
        TextChanged();
}

HWND CreateInputArea(HWND parent, HFONT font)
{
    Font = font;
    Edit = CreateWindowExW(0, L"Edit", NULL,
                                WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                                    ES_AUTOHSCROLL,
                                0, 0, 0, 0, parent, (HMENU)ID_INPUT, ListenerInstance, NULL);
    StatusLine = CreateWindowExW(0, L"Static", L"", WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, 0, 0,
                                 0, parent, (HMENU)ID_INPUT_STATUS, ListenerInstance, NULL);
    if (!Edit || !StatusLine)
        return NULL;
    SendMessageW(Edit, WM_SETFONT, (WPARAM)font, 0);
    SendMessageW(StatusLine, WM_SETFONT, (WPARAM)font, 0);
    // As much text as the control can hold: a long paste is never cut.
    SendMessageW(Edit, EM_SETLIMITTEXT, 0, 0);
    InputBaseProc = (WNDPROC)SetWindowLongPtrW(Edit, GWLP_WNDPROC, (LONG_PTR)InputWndProc);
    TEXTMETRICW metrics;
    HDC dc = GetDC(Edit);
    HGDIOBJ old = SelectObject(dc, Font);
    if (GetTextMetricsW(dc, &metrics))
        LineHeight = metrics.tmHeight;
    SelectObject(dc, old);
    ReleaseDC(Edit, dc);
    return Edit;
}

int InputAreaHeight(int clientHeight)
{
    // Whole lines, up to a third of the client area (one line at least).
    int most = std::max(EditHeight(1), clientHeight / 3);
    int lines = std::min(LineCount(), std::max(1, (most - EditHeight(0)) / LineHeight));
    return EditHeight(lines) + StatusHeight();
}

void PlaceInputArea(int top, int width, int height)
{
    int status = std::min(StatusHeight(), height);
    int edit = height - status;
    MoveWindow(Edit, 0, top, width, edit, TRUE);
    MoveWindow(StatusLine, 0, top + edit, width, status, TRUE);
    // The scroll bar only while the lines do not all show; once they do,
    // the first line is shown again.
    bool scrolls = LineCount() > (edit - EditHeight(0)) / LineHeight;
    ShowScrollBar(Edit, SB_VERT, scrolls);
    if (!scrolls) {
        LRESULT first = SendMessageW(Edit, EM_GETFIRSTVISIBLELINE, 0, 0);
        if (first > 0)
            SendMessageW(Edit, EM_LINESCROLL, 0, -first);
    }
    SendMessageW(Edit, EM_SCROLLCARET, 0, 0);
}

void SetInputAnswering(bool answering)
{
    Answering = answering;
}

// A one-line reason as a line of the transcript.
static std::string ProblemLine(const std::string &problem)
{
    std::string line = "; " + problem;
    if (line.size() > 2 && line[2] >= 'a' && line[2] <= 'z')
        line[2] = (char)(line[2] - 'a' + 'A');
    return line + ".\n";
}

bool LoadInputHistory(std::string *problem)
{
    std::string why;
    if (LoadHistoryFile(Inputs, &why))
        return true;
    *problem = ProblemLine(why);
    return false;
}

void SaveInputHistory(const std::string &text)
{
    QueueHistoryEntry(text, GetParent(Edit), WM_HISTORY_SAVED);
}

std::string InputHistorySaved(const std::string &problem)
{
    if (problem.empty()) {
        LastSaveProblem.clear();
        return std::string();
    }
    if (problem == LastSaveProblem)
        return std::string();
    LastSaveProblem = problem;
    return ProblemLine(problem);
}

void EndInputHistory()
{
    EndHistoryWriter();
}
