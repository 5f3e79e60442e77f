// The transcript: a read-only view of its own over the line store, which
// keeps the newest million characters. It paints only the lines in sight
// (the font is fixed-pitch, lines are not wrapped), so a flood of output
// costs what it adds, not what the window holds. The text changes at once
// (WM_GETTEXT reads it); the window shows it at once when it has been
// idle, and during a flood at most once in a while, on the parent's
// TranscriptTimer, so that the window's thread stays free for the rest
// (the editor's DDE conversations send messages to every top-level
// window). A user who scrolled up or selected text keeps the view and the
// selection while output comes; the view follows the output only from its
// end. It answers what an Edit control answers of its text, selection,
// lines and scrolling, so that other programs (the tests) read it so.
#include "listener/win32/transcript.h"
#include "listener/core/line_store.h"
#include "listener/win32/listener.h"
#include "listener/win32/resource.h"

#include <algorithm>

static const wchar_t ClassName[] = L"KestraluneTranscript";

static HWND Transcript;
static HFONT Font;
static int CharWidth = 8, LineHeight = 16;
static LineStore Lines;
// Positions counted from the store's emptying, so that they stay on their
// text while the oldest lines go: the first line in sight, the selection's
// fixed end and its moving end (offsets, CR LF counted as two).
static size_t TopLine, Anchor, Caret;
static int ScrollX;          // pixels scrolled to the right
static size_t Widest, Measured;  // the longest line's characters, and the lines looked at for it
static bool Selecting;       // the left button is down in the view
static int WheelDelta;       // what the wheel turned short of a line
static size_t ShownPage = 1;  // the lines in sight when the scroll bars were last set
static bool Unshown;         // the text changed since it was last shown
static bool BarsLate;        // the scroll bars are to be set on BarsTimer, by BarsDue at the latest
static DWORD BarsDue;
static const UINT_PTR BarsTimer = 1;
static const DWORD BarsPauseMs = 50, BarsLatestMs = 500;
static DWORD LastShown, LastCost;  // when the last showing ended, and what it took
static DWORD LastAppend;           // when the last text came
// Texts that come closer together than FloodGapMs are a flood: shown at
// most every FloodIntervalMs.
static const DWORD FloodGapMs = 10, FloodIntervalMs = 15;

enum { CopyCommand = 1, SelectAllCommand };

static size_t Page()
{
    RECT client;
    GetClientRect(Transcript, &client);
    return std::max<size_t>(1, (size_t)(client.bottom / LineHeight));
}

static size_t MaxTopFor(size_t page)
{
    size_t lines = LineCount(Lines);
    return lines > page ? lines - page : 0;
}

static size_t MaxTop()
{
    return MaxTopFor(Page());
}

static size_t Top()
{
    size_t top = TopLine > Lines.droppedLines ? TopLine - Lines.droppedLines : 0;
    return std::min(top, MaxTop());
}

// An offset of the store's text from a position, and back.
static size_t OffsetOf(size_t position)
{
    return ValidOffset(Lines, position > Lines.droppedCharacters ? position - Lines.droppedCharacters : 0);
}

static size_t PositionOf(size_t offset)
{
    return Lines.droppedCharacters + offset;
}

static void SelectionOffsets(size_t *from, size_t *to)
{
    size_t a = OffsetOf(Anchor), c = OffsetOf(Caret);
    *from = std::min(a, c);
    *to = std::max(a, c);
}

// True when the end of the text is in sight and no text is selected: new
// output is then followed.
static bool FollowsTheEnd()
{
    return OffsetOf(Anchor) == OffsetOf(Caret) && OffsetOf(Caret) == TextLength(Lines) && Top() >= MaxTop();
}

static void FollowTheEnd()
{
    Anchor = Caret = PositionOf(TextLength(Lines));
    TopLine = Lines.droppedLines + MaxTop();
}

// Sets a scroll bar, unless it is set so already: each setting redraws it.
static void SetBar(int which, const SCROLLINFO &bar)
{
    static SCROLLINFO set[2];
    SCROLLINFO &last = set[which == SB_VERT];
    if (last.cbSize && last.nMax == bar.nMax && last.nPage == bar.nPage && last.nPos == bar.nPos)
        return;
    last = bar;
    SetScrollInfo(Transcript, which, &bar, TRUE);
}

static void UpdateScrollBars()
{
    for (size_t line = std::max(Measured, Lines.droppedLines); line < Lines.droppedLines + LineCount(Lines); line++)
        Widest = std::max(Widest, LineLength(Lines, line - Lines.droppedLines));
    Measured = Lines.droppedLines + LineCount(Lines) - 1;  // the last line may grow
    RECT client;
    GetClientRect(Transcript, &client);
    SCROLLINFO bar = {};
    bar.cbSize = sizeof bar;
    bar.fMask = SIF_ALL | SIF_DISABLENOSCROLL;
    bar.nMax = (int)LineCount(Lines) - 1;
    ShownPage = Page();
    bar.nPage = (UINT)ShownPage;
    bar.nPos = (int)Top();
    SetBar(SB_VERT, bar);
    bar.nMax = (int)std::min<size_t>((Widest + 1) * CharWidth, 0x7FFFFFFF);
    bar.nPage = (UINT)std::max<LONG>(client.right, 1);
    ScrollX = std::max(0, std::min(ScrollX, bar.nMax - (int)bar.nPage + 1));
    bar.nPos = ScrollX;
    SetBar(SB_HORZ, bar);
}

static void Redraw()
{
    UpdateScrollBars();
    InvalidateRect(Transcript, NULL, FALSE);
}

// Shows the text at once and the scroll bars once the output pauses (or
// every BarsLatestMs during a long flood): under Wine drawing them costs
// ten times what the text does.
static void RedrawText()
{
    DWORD now = GetTickCount();
    if (!BarsLate) {
        BarsLate = true;
        BarsDue = now + BarsLatestMs;
    }
    DWORD left = (LONG)(BarsDue - now) > 0 ? BarsDue - now : 0;
    SetTimer(Transcript, BarsTimer, std::min<DWORD>(BarsPauseMs, left), NULL);
    InvalidateRect(Transcript, NULL, FALSE);
}

static void ScrollToLine(size_t top)
{
    TopLine = Lines.droppedLines + std::min(top, MaxTop());
    Redraw();
}

static void ScrollBy(long lines)
{
    size_t top = Top();
    ScrollToLine(lines < 0 ? top - std::min(top, (size_t)-lines) : top + (size_t)lines);
}

static void ScrollSideways(int x)
{
    ScrollX = std::max(0, x);
    Redraw();
}

// Brings the line of the selection's moving end into sight.
static void ShowCaret()
{
    size_t line = LineOfOffset(Lines, OffsetOf(Caret)), top = Top(), page = Page();
    if (line < top)
        ScrollToLine(line);
    else if (line >= top + page)
        ScrollToLine(line - page + 1);
}

static INT TabStop()
{
    return 8 * CharWidth;
}

// The width of the line's first count characters, tabs expanded.
static int Extent(HDC dc, const char16_t *text, size_t count)
{
    if (count == 0)
        return 0;
    INT tab = TabStop();
    return LOWORD(GetTabbedTextExtentW(dc, (const wchar_t *)text, (int)count, 1, &tab));
}

// How many characters of a line to draw: those up to the window's right
// edge, with room to spare for characters narrower than the font's.
static size_t DrawnLength(size_t length, int width)
{
    return std::min(length, (size_t)(ScrollX + width) / (size_t)std::max(1, CharWidth) * 2 + 16);
}

static void Paint()
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(Transcript, &ps);
    RECT client;
    GetClientRect(Transcript, &client);
    HGDIOBJ oldFont = SelectObject(dc, Font);
    SetBkMode(dc, TRANSPARENT);
    HBRUSH background = GetSysColorBrush(COLOR_WINDOW), highlight = GetSysColorBrush(COLOR_HIGHLIGHT);
    size_t from, to;
    SelectionOffsets(&from, &to);
    INT tab = TabStop();
    size_t top = Top();
    for (int y = ps.rcPaint.top / LineHeight * LineHeight; y < ps.rcPaint.bottom; y += LineHeight) {
        RECT row = {ps.rcPaint.left, y, ps.rcPaint.right, y + LineHeight};
        FillRect(dc, &row, background);
        size_t line = top + (size_t)(y / LineHeight);
        if (line >= LineCount(Lines))
            continue;
        const wchar_t *text = (const wchar_t *)LineText(Lines, line);
        size_t length = LineLength(Lines, line), start = LineOffset(Lines, line);
        int drawn = (int)DrawnLength(length, client.right);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        TabbedTextOutW(dc, -ScrollX, y, text, drawn, 1, &tab, -ScrollX);
        // The selected part drawn again over the highlight; a selected line
        // break as a character's width after the text.
        if (from <= start + length && to > start && from != to) {
            size_t a = from > start ? from - start : 0, b = std::min(to - start, length);
            RECT marked = {Extent(dc, (const char16_t *)text, a) - ScrollX, y,
                           Extent(dc, (const char16_t *)text, b) - ScrollX + (to > start + length ? CharWidth : 0),
                           y + LineHeight};
            FillRect(dc, &marked, highlight);
            int saved = SaveDC(dc);
            IntersectClipRect(dc, marked.left, marked.top, marked.right, marked.bottom);
            SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
            TabbedTextOutW(dc, -ScrollX, y, text, drawn, 1, &tab, -ScrollX);
            RestoreDC(dc, saved);
        }
    }
    SelectObject(dc, oldFont);
    EndPaint(Transcript, &ps);
}

// The offset nearest to a point of the window.
static size_t OffsetAt(int x, int y)
{
    long row = y < 0 ? -1 - (-y - 1) / LineHeight : y / LineHeight;
    long line = (long)Top() + row;
    if (line < 0)
        return 0;
    if ((size_t)line >= LineCount(Lines))
        return TextLength(Lines);
    const char16_t *text = LineText(Lines, (size_t)line);
    size_t length = LineLength(Lines, (size_t)line);
    x += ScrollX;
    HDC dc = GetDC(Transcript);
    HGDIOBJ oldFont = SelectObject(dc, Font);
    // The first character boundary at or right of x, then the nearer of it
    // and the one before.
    size_t low = 0, high = length;
    while (low < high) {
        size_t middle = (low + high) / 2;
        if (Extent(dc, text, middle + 1) < x)
            low = middle + 1;
        else
            high = middle;
    }
    size_t column = low;
    if (column < length && Extent(dc, text, column + 1) - x < x - Extent(dc, text, column))
        column++;
    SelectObject(dc, oldFont);
    ReleaseDC(Transcript, dc);
    return LineOffset(Lines, (size_t)line) + column;
}

static void Select(size_t anchor, size_t caret)
{
    Anchor = PositionOf(ValidOffset(Lines, anchor));
    Caret = PositionOf(ValidOffset(Lines, caret));
    InvalidateRect(Transcript, NULL, FALSE);
}

static void CopySelection()
{
    size_t from, to;
    SelectionOffsets(&from, &to);
    if (from == to || !OpenClipboard(Transcript))
        return;
    std::u16string text = RangeText(Lines, from, to);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    if (memory) {
        wchar_t *out = (wchar_t *)GlobalLock(memory);
        std::copy(text.begin(), text.end(), out);
        out[text.size()] = 0;
        GlobalUnlock(memory);
        EmptyClipboard();
        if (!SetClipboardData(CF_UNICODETEXT, memory))
            GlobalFree(memory);
    }
    CloseClipboard();
}

static void ContextMenu(int x, int y)
{
    if (x == -1 && y == -1) {
        POINT corner = {0, 0};
        ClientToScreen(Transcript, &corner);
        x = corner.x;
        y = corner.y;
    }
    size_t from, to;
    SelectionOffsets(&from, &to);
    HMENU menu = CreatePopupMenu();
    if (!menu)
        return;
    AppendMenuW(menu, MF_STRING | (from == to ? MF_GRAYED : 0), CopyCommand, L"&Copy\tCtrl+C");
    AppendMenuW(menu, MF_STRING, SelectAllCommand, L"Select &All\tCtrl+A");
    int chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, x, y, 0, Transcript, NULL);
    DestroyMenu(menu);
    if (chosen == CopyCommand)
        CopySelection();
    else if (chosen == SelectAllCommand)
        Select(0, TextLength(Lines));
}

static void KeyDown(WPARAM key)
{
    bool control = GetKeyState(VK_CONTROL) < 0;
    switch (key) {
    case VK_PRIOR:
        ScrollBy(-(long)Page());
        break;
    case VK_NEXT:
        ScrollBy((long)Page());
        break;
    case VK_UP:
        ScrollBy(-1);
        break;
    case VK_DOWN:
        ScrollBy(1);
        break;
    case VK_LEFT:
        ScrollSideways(ScrollX - CharWidth);
        break;
    case VK_RIGHT:
        ScrollSideways(ScrollX + CharWidth);
        break;
    case VK_HOME:
    case VK_END:
        if (control) {
            // At the end with nothing selected, the view follows the output again.
            size_t at = key == VK_HOME ? 0 : TextLength(Lines);
            Select(at, at);
            ScrollToLine(key == VK_HOME ? 0 : MaxTop());
        }
        if (key == VK_HOME)
            ScrollSideways(0);
        break;
    case 'A':
        if (control)
            Select(0, TextLength(Lines));
        break;
    case 'C':
    case VK_INSERT:
        if (control)
            CopySelection();
        break;
    }
}

// The scroll bar's new place for a scrolling request; pos is the current.
static long ScrollRequest(int bar, WPARAM request, long pos, long line, long page)
{
    SCROLLINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    GetScrollInfo(Transcript, bar, &info);
    switch (LOWORD(request)) {
    case SB_LINEUP:
        return pos - line;
    case SB_LINEDOWN:
        return pos + line;
    case SB_PAGEUP:
        return pos - page;
    case SB_PAGEDOWN:
        return pos + page;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
        return info.nTrackPos;
    case SB_TOP:
        return 0;
    case SB_BOTTOM:
        return info.nMax;
    }
    return pos;
}

// What an Edit control answers of its text, selection and lines.
static bool EditMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT *result)
{
    size_t from, to;
    SelectionOffsets(&from, &to);
    switch (message) {
    case WM_GETTEXTLENGTH:
        *result = (LRESULT)TextLength(Lines);
        return true;
    case WM_GETTEXT:
        if (wParam == 0) {
            *result = 0;
        } else {
            size_t copied = CopyText(Lines, 0, (char16_t *)lParam, wParam - 1);
            ((wchar_t *)lParam)[copied] = 0;
            *result = (LRESULT)copied;
        }
        return true;
    case EM_GETSEL:
        if (wParam)
            *(DWORD *)wParam = (DWORD)from;
        if (lParam)
            *(DWORD *)lParam = (DWORD)to;
        *result = MAKELRESULT(std::min<size_t>(from, 0xFFFF), std::min<size_t>(to, 0xFFFF));
        return true;
    case EM_SETSEL: {
        size_t end = TextLength(Lines), caret = OffsetOf(Caret);
        if ((int)wParam == -1)
            Select(caret, caret);
        else
            Select((size_t)(int)wParam, (int)lParam < 0 ? end : (size_t)(int)lParam);
        *result = 0;
        return true;
    }
    case EM_GETLINECOUNT:
        *result = (LRESULT)LineCount(Lines);
        return true;
    case EM_GETFIRSTVISIBLELINE:
        *result = (LRESULT)Top();
        return true;
    case EM_LINEINDEX: {
        size_t line = (int)wParam < 0 ? LineOfOffset(Lines, OffsetOf(Caret)) : (size_t)wParam;
        *result = line < LineCount(Lines) ? (LRESULT)LineOffset(Lines, line) : -1;
        return true;
    }
    case EM_LINEFROMCHAR:
        *result = (LRESULT)LineOfOffset(Lines, (int)wParam < 0 ? from : (size_t)wParam);
        return true;
    case EM_GETLINE: {
        // The line's characters, as many as the buffer's first WORD says, without a NUL.
        size_t room = *(WORD *)lParam, copied = 0;
        if (wParam < LineCount(Lines)) {
            copied = std::min(room, LineLength(Lines, wParam));
            std::copy(LineText(Lines, wParam), LineText(Lines, wParam) + copied, (char16_t *)lParam);
        }
        *result = (LRESULT)copied;
        return true;
    }
    case EM_POSFROMCHAR: {
        // The character's top left corner in the window; -1 past the end.
        size_t offset = (size_t)wParam, line = LineOfOffset(Lines, offset), top = Top();
        if (offset > TextLength(Lines) || line < top) {
            *result = -1;
            return true;
        }
        HDC dc = GetDC(Transcript);
        HGDIOBJ oldFont = SelectObject(dc, Font);
        int x = Extent(dc, LineText(Lines, line), std::min(offset - LineOffset(Lines, line), LineLength(Lines, line)));
        SelectObject(dc, oldFont);
        ReleaseDC(Transcript, dc);
        *result = MAKELRESULT((WORD)(short)(x - ScrollX), (WORD)(short)std::min<size_t>((line - top) * LineHeight, 0x7FFF));
        return true;
    }
    case EM_LINESCROLL:
        ScrollBy((long)lParam);
        ScrollSideways(ScrollX + (int)wParam * CharWidth);
        *result = TRUE;
        return true;
    case EM_SCROLLCARET:
        ShowCaret();
        *result = TRUE;
        return true;
    }
    return false;
}

static LRESULT CALLBACK TranscriptProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result;
    if (EditMessage(message, wParam, lParam, &result))
        return result;
    switch (message) {
    case WM_PAINT:
        Paint();
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_SIZE: {
        // A view at the end stays there.
        if (TopLine >= Lines.droppedLines + MaxTopFor(ShownPage))
            TopLine = Lines.droppedLines + MaxTop();
        Redraw();
        return 0;
    }
    case WM_VSCROLL:
        ScrollToLine((size_t)std::max(0L, ScrollRequest(SB_VERT, wParam, (long)Top(), 1, (long)Page())));
        return 0;
    case WM_HSCROLL: {
        RECT client;
        GetClientRect(window, &client);
        ScrollSideways((int)ScrollRequest(SB_HORZ, wParam, ScrollX, CharWidth, client.right));
        return 0;
    }
    case WM_MOUSEWHEEL: {
        UINT perNotch = 3;
        SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &perNotch, 0);
        long lines = (long)std::min<size_t>(perNotch, Page());
        for (WheelDelta += GET_WHEEL_DELTA_WPARAM(wParam); WheelDelta >= WHEEL_DELTA; WheelDelta -= WHEEL_DELTA)
            ScrollBy(-lines);
        for (; WheelDelta <= -WHEEL_DELTA; WheelDelta += WHEEL_DELTA)
            ScrollBy(lines);
        return 0;
    }
    case WM_LBUTTONDOWN: {
        SetFocus(window);
        SetCapture(window);
        Selecting = true;
        size_t at = OffsetAt((short)LOWORD(lParam), (short)HIWORD(lParam));
        Select(wParam & MK_SHIFT ? OffsetOf(Anchor) : at, at);
        return 0;
    }
    case WM_MOUSEMOVE:
        if (Selecting) {
            int y = (short)HIWORD(lParam);
            RECT client;
            GetClientRect(window, &client);
            if (y < 0)
                ScrollBy(-1);
            else if (y >= client.bottom)
                ScrollBy(1);
            Select(OffsetOf(Anchor), OffsetAt((short)LOWORD(lParam), y));
        }
        return 0;
    case WM_LBUTTONUP:
        if (Selecting)
            ReleaseCapture();
        return 0;
    case WM_CAPTURECHANGED:
        Selecting = false;
        return 0;
    case WM_LBUTTONDBLCLK: {
        size_t from, to;
        WordAt(Lines, OffsetAt((short)LOWORD(lParam), (short)HIWORD(lParam)), &from, &to);
        Select(from, to);
        return 0;
    }
    case WM_CONTEXTMENU:
        ContextMenu((short)LOWORD(lParam), (short)HIWORD(lParam));
        return 0;
    case WM_KEYDOWN:
        KeyDown(wParam);
        return 0;
    case WM_COPY:
        CopySelection();
        return 0;
    case WM_TIMER:
        if (wParam == BarsTimer) {
            KillTimer(window, BarsTimer);
            BarsLate = false;
            UpdateScrollBars();
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateTranscript(HWND parent, HFONT font)
{
    WNDCLASSW wc = {};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = TranscriptProc;
    wc.hInstance = ListenerInstance;
    wc.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_IBEAM);
    wc.lpszClassName = ClassName;
    RegisterClassW(&wc);
    Font = font;
    HDC dc = GetDC(parent);
    HGDIOBJ oldFont = SelectObject(dc, font);
    TEXTMETRICW metrics;
    if (GetTextMetricsW(dc, &metrics)) {
        CharWidth = std::max<int>(1, metrics.tmAveCharWidth);
        LineHeight = std::max<int>(1, metrics.tmHeight);
    }
    SelectObject(dc, oldFont);
    ReleaseDC(parent, dc);
    ClearLines(Lines);
    Transcript = CreateWindowExW(0, ClassName, NULL, WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL, 0, 0, 0, 0,
                                 parent, (HMENU)ID_TRANSCRIPT, ListenerInstance, NULL);
    return Transcript;
}

void AppendTranscript(const std::string &text)
{
    if (text.empty())
        return;
    bool follow = FollowsTheEnd();
    AppendUtf8(Lines, text);
    if (follow)
        FollowTheEnd();
    Unshown = true;
    DWORD now = GetTickCount(), since = now - LastShown, interval = 3 * LastCost;
    if (now - LastAppend < FloodGapMs)
        interval = std::max(interval, FloodIntervalMs);
    LastAppend = now;
    if (since >= interval)
        ShowPendingTranscript();
    else
        SetTimer(ListenerWindow, TranscriptTimer, interval - since, NULL);
}

void ShowPendingTranscript()
{
    KillTimer(ListenerWindow, TranscriptTimer);
    if (!Unshown)
        return;
    Unshown = false;
    DWORD start = GetTickCount();
    RedrawText();
    UpdateWindow(Transcript);
    LastShown = GetTickCount();
    LastCost = LastShown - start;
}

void ClearTranscript()
{
    KillTimer(ListenerWindow, TranscriptTimer);
    Unshown = false;
    ClearLines(Lines);
    TopLine = Anchor = Caret = 0;
    ScrollX = 0;
    Widest = Measured = 0;
    RedrawText();
    UpdateWindow(Transcript);
}
