// The inspector's window (inspectorwindow.h): a title, an owner-drawn list
// box of one item a line (its text kept as the item's string, so that
// LB_GETTEXT reads the line) and a status line. Each line is drawn piece by
// piece, in the piece's colour; of the line selected, the value or action
// chosen is drawn highlighted.
#include "listener/win32/inspectorwindow.h"
#include "listener/win32/codepage.h"
#include "listener/win32/resource.h"
#include "listener/win32/ownedwindow.h"

#include <string>
#include <vector>

static const wchar_t ClassName[] = L"KestraluneInspector";
static const int Margin = 4;

static HWND Window, Owner, Title, List, Status;
static HFONT Font;
static WNDPROC ListBaseProc;
static int ItemHeight = 16, CharWidth = 8;

static std::vector<InspectorLine> Lines;  // as the list shows them
static long Shown = -1;    // the InspectorState::shown the list shows
static bool MoreToCome;    // the inspector may have more lines, none asked for
// The value or action chosen, by its place among the line's values and
// actions, and the line it was chosen on (another line selected starts at 0).
static int ChosenPiece, ChosenLine = -1;
static int Widest;  // the list's widest line, in pixels

static void Post(InspectorAction action, LPARAM argument)
{
    if (Owner)
        PostMessageW(Owner, WM_INSPECTOR_ACTION, (WPARAM)action, argument);
}

static bool Selectable(const InspectorPiece &piece)
{
    return piece.kind == PieceKind::Value || piece.kind == PieceKind::Action;
}

static int SelectableCount(const InspectorLine &line)
{
    int count = 0;
    for (const InspectorPiece &piece : line.pieces)
        count += Selectable(piece);
    return count;
}

static int Selected()
{
    return (int)SendMessageW(List, LB_GETCURSEL, 0, 0);
}

// The chosen piece's place among the selectable pieces of the line.
static int ChosenOn(int line)
{
    return line == ChosenLine ? ChosenPiece : 0;
}

// The line's selectable piece at that place, or null.
static const InspectorPiece *SelectablePiece(int line, int place)
{
    if (line < 0 || (size_t)line >= Lines.size())
        return nullptr;
    int at = 0;
    for (const InspectorPiece &piece : Lines[line].pieces)
        if (Selectable(piece) && at++ == place)
            return &piece;
    return nullptr;
}

static void RedrawLine(int line)
{
    RECT item;
    if (line >= 0 && SendMessageW(List, LB_GETITEMRECT, line, (LPARAM)&item) != LB_ERR)
        InvalidateRect(List, &item, TRUE);
}

// Enter or a double-click: the chosen value opened or action run.
static void Activate()
{
    int line = Selected();
    const InspectorPiece *piece = SelectablePiece(line, ChosenOn(line));
    if (!piece)
        MessageBeep(MB_OK);
    else
        Post(piece->kind == PieceKind::Value ? InspectOpenPiece : InspectRunAction, piece->index);
}

// Left and Right: another value or action of the selected line.
static void Choose(int step)
{
    int line = Selected();
    if (line < 0 || (size_t)line >= Lines.size())
        return;
    int place = ChosenOn(line) + step, count = SelectableCount(Lines[line]);
    if (place < 0 || place >= count)
        return;
    ChosenLine = line;
    ChosenPiece = place;
    RedrawLine(line);
}

// Asks for more once the last line is in view.
static void CheckEnd()
{
    if (!MoreToCome || !List)
        return;
    RECT client;
    GetClientRect(List, &client);
    int top = (int)SendMessageW(List, LB_GETTOPINDEX, 0, 0), count = (int)SendMessageW(List, LB_GETCOUNT, 0, 0);
    if (top + client.bottom / ItemHeight >= count) {
        MoreToCome = false;
        Post(InspectMore, 0);
    }
}

// The selectable piece under x (in the list's client) on the line, by its place; -1 for none.
static int PieceAtX(int line, int x)
{
    if (line < 0 || (size_t)line >= Lines.size())
        return -1;
    HDC dc = GetDC(List);
    HGDIOBJ old = SelectObject(dc, Font);
    int left = Margin - GetScrollPos(List, SB_HORZ), place = 0, found = -1;
    for (const InspectorPiece &piece : Lines[line].pieces) {
        std::wstring text = Utf8ToWide(piece.text);
        SIZE size = {};
        GetTextExtentPoint32W(dc, text.c_str(), (int)text.size(), &size);
        if (Selectable(piece)) {
            if (x >= left && x < left + size.cx)
                found = place;
            place++;
        }
        left += size.cx;
    }
    SelectObject(dc, old);
    ReleaseDC(List, dc);
    return found;
}

static LRESULT CALLBACK ListWndProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_GETDLGCODE:
        return DLGC_WANTALLKEYS;
    case WM_KEYDOWN:
        switch (wParam) {
        case VK_RETURN:
            Activate();
            return 0;
        case VK_ESCAPE:
            Post(InspectClose, 0);
            return 0;
        case VK_BACK:
            Post(InspectBack, 0);
            return 0;
        case VK_F5:
            Post(InspectReinspect, 0);
            return 0;
        case VK_LEFT:
        case VK_RIGHT:
            Choose(wParam == VK_LEFT ? -1 : 1);
            return 0;
        }
        break;
    case WM_SYSKEYDOWN:
        if (wParam == VK_LEFT || wParam == VK_RIGHT) {
            Post(wParam == VK_LEFT ? InspectBack : InspectForward, 0);
            return 0;
        }
        break;
    case WM_CHAR:
        // Taken at their key-down; the list would beep or search for them.
        if (wParam == L'\r' || wParam == 0x1b || wParam == L'\b')
            return 0;
        break;
    case WM_LBUTTONDOWN: {
        LRESULT result = CallWindowProcW(ListBaseProc, list, message, wParam, lParam);
        int line = Selected(), place = PieceAtX(line, (short)LOWORD(lParam));
        if (place >= 0) {
            ChosenLine = line;
            ChosenPiece = place;
            RedrawLine(line);
        }
        return result;
    }
    }
    LRESULT result = CallWindowProcW(ListBaseProc, list, message, wParam, lParam);
    if (message == WM_KEYDOWN || message == WM_VSCROLL || message == WM_MOUSEWHEEL)
        CheckEnd();
    return result;
}

static COLORREF PieceColour(PieceKind kind)
{
    switch (kind) {
    case PieceKind::Value:
        return RGB(0, 0, 176);
    case PieceKind::Action:
        return RGB(168, 0, 0);
    case PieceKind::Label:
        return RGB(96, 96, 96);
    default:
        return GetSysColor(COLOR_WINDOWTEXT);
    }
}

static void DrawLine(const DRAWITEMSTRUCT &d)
{
    if (d.itemID == (UINT)-1 || d.itemID >= Lines.size())
        return;
    const InspectorLine &line = Lines[d.itemID];
    bool selected = (d.itemState & ODS_SELECTED) != 0;
    int chosen = selected ? ChosenOn((int)d.itemID) : -1;
    // The selected line without a value or an action is shown selected whole.
    bool whole = selected && SelectableCount(line) == 0;
    FillRect(d.hDC, &d.rcItem, GetSysColorBrush(whole ? COLOR_HIGHLIGHT : selected ? COLOR_BTNFACE : COLOR_WINDOW));
    HGDIOBJ old = SelectObject(d.hDC, Font);
    SetBkMode(d.hDC, TRANSPARENT);
    int x = d.rcItem.left + Margin, place = 0;
    for (const InspectorPiece &piece : line.pieces) {
        std::wstring text = Utf8ToWide(piece.text);
        SIZE size = {};
        GetTextExtentPoint32W(d.hDC, text.c_str(), (int)text.size(), &size);
        bool highlighted = whole || (Selectable(piece) && place++ == chosen);
        if (highlighted && !whole) {
            RECT box = {x, d.rcItem.top, x + size.cx, d.rcItem.bottom};
            FillRect(d.hDC, &box, GetSysColorBrush(COLOR_HIGHLIGHT));
        }
        SetTextColor(d.hDC, highlighted ? GetSysColor(COLOR_HIGHLIGHTTEXT) : PieceColour(piece.kind));
        TextOutW(d.hDC, x, d.rcItem.top + 1, text.c_str(), (int)text.size());
        x += size.cx;
    }
    SelectObject(d.hDC, old);
    if (d.itemState & ODS_FOCUS)
        DrawFocusRect(d.hDC, &d.rcItem);
}

static void Layout()
{
    RECT client;
    GetClientRect(Window, &client);
    int width = client.right - 2 * Margin, line = ItemHeight + 4;
    if (width < 0)
        width = 0;
    MoveWindow(Title, Margin, Margin, width, line, TRUE);
    int listTop = Margin + line + Margin, listHeight = client.bottom - listTop - line - 2 * Margin;
    MoveWindow(List, Margin, listTop, width, listHeight > 0 ? listHeight : 0, TRUE);
    MoveWindow(Status, Margin, client.bottom - Margin - line, width, line, TRUE);
}

static LRESULT CALLBACK InspectorWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_MEASUREITEM:
        ((MEASUREITEMSTRUCT *)lParam)->itemHeight = ItemHeight;
        return TRUE;
    case WM_DRAWITEM:
        DrawLine(*(const DRAWITEMSTRUCT *)lParam);
        return TRUE;
    case WM_SIZE:
        if (List)
            Layout();
        return 0;
    case WM_SETFOCUS:
    case WM_ACTIVATE:
        if (List && (message == WM_SETFOCUS || LOWORD(wParam) != WA_INACTIVE))
            SetFocus(List);
        return 0;
    case WM_COMMAND:
        if ((HWND)lParam == List && HIWORD(wParam) == LBN_DBLCLK)
            Activate();
        return 0;
    case WM_CTLCOLORSTATIC:
        SetBkColor((HDC)wParam, GetSysColor(COLOR_BTNFACE));
        return (LRESULT)GetSysColorBrush(COLOR_BTNFACE);
    case WM_CLOSE:
        // The owner closes the inspector, and then hides the window.
        Post(InspectClose, 0);
        return 0;
    case WM_DESTROY:
        Window = Owner = Title = List = Status = NULL;
        Lines.clear();
        Shown = -1;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

static void Measure(HFONT font)
{
    Font = font ? font : (HFONT)GetStockObject(ANSI_FIXED_FONT);
    HDC screen = GetDC(NULL);
    HGDIOBJ old = SelectObject(screen, Font);
    TEXTMETRICW metrics;
    if (GetTextMetricsW(screen, &metrics)) {
        ItemHeight = metrics.tmHeight + 2;
        if (metrics.tmAveCharWidth > 0)
            CharWidth = metrics.tmAveCharWidth;
    }
    SelectObject(screen, old);
    ReleaseDC(NULL, screen);
}

static HWND Child(const wchar_t *className, DWORD style, DWORD exStyle, int id)
{
    HWND child = CreateWindowExW(exStyle, className, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, Window,
                                 (HMENU)(INT_PTR)id, GetModuleHandleW(NULL), NULL);
    if (child)
        SendMessageW(child, WM_SETFONT, (WPARAM)Font, FALSE);
    return child;
}

static bool Create(HWND owner, HFONT font)
{
    HINSTANCE instance = GetModuleHandleW(NULL);
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    if (!GetClassInfoExW(instance, ClassName, &wc)) {
        wc.lpfnWndProc = InspectorWndProc;
        wc.hInstance = instance;
        wc.hIcon = LoadIconW(instance, L"KestraluneIcon");
        wc.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
        wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
        wc.lpszClassName = ClassName;
        if (!RegisterClassExW(&wc))
            return false;
    }
    Measure(font);
    RECT ownerRect;
    GetWindowRect(owner, &ownerRect);
    Window = CreateWindowExW(0, ClassName, L"KESTRALUNE Inspector", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                             ownerRect.left + 60, ownerRect.top + 60, 600, 440, owner, NULL, instance, NULL);
    if (!Window)
        return false;
    Owner = owner;
    Title = Child(L"Static", SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, ID_INSPECT_TITLE);
    List = Child(L"ListBox",
                 WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_OWNERDRAWFIXED |
                     LBS_HASSTRINGS,
                 WS_EX_CLIENTEDGE, ID_INSPECT_LIST);
    Status = Child(L"Static", SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, ID_INSPECT_STATUS);
    if (!Title || !List || !Status) {
        DestroyWindow(Window);
        return false;
    }
    ListBaseProc = (WNDPROC)SetWindowLongPtrW(List, GWLP_WNDPROC, (LONG_PTR)ListWndProc);
    Layout();
    return true;
}

// Adds the lines from first on to the list.
static void AddLines(const std::vector<InspectorLine> &lines, size_t first)
{
    for (size_t i = first; i < lines.size(); i++) {
        std::string text = InspectorLineText(lines[i]);
        SendMessageW(List, LB_ADDSTRING, 0, (LPARAM)Utf8ToWide(text).c_str());
        int width = (int)(text.size() * CharWidth) + 2 * Margin;
        if (width > Widest)
            Widest = width;
    }
    SendMessageW(List, LB_SETHORIZONTALEXTENT, (WPARAM)Widest, 0);
}

// The first line with a value or an action, else the first.
static int FirstChoice(const std::vector<InspectorLine> &lines)
{
    for (size_t i = 0; i < lines.size(); i++)
        if (SelectableCount(lines[i]))
            return (int)i;
    return lines.empty() ? -1 : 0;
}

static void Hide()
{
    if (!Window)
        return;
    HideOwnedWindow(Window);
    SendMessageW(List, LB_RESETCONTENT, 0, 0);
    Lines.clear();
    Shown = -1;
    MoreToCome = false;
}

void ShowInspector(HWND owner, HFONT font, const InspectorState &inspector)
{
    if (!inspector.open)
        return Hide();
    if (!owner || !IsWindow(owner))
        return;
    if (Window && owner != Owner)
        DestroyWindow(Window);
    if (!Window && !Create(owner, font))
        return;
    SetWindowTextW(Title, Utf8ToWide(inspector.title).c_str());
    SetWindowTextW(Status, Utf8ToWide(inspector.status).c_str());
    int selected = Selected(), top = (int)SendMessageW(List, LB_GETTOPINDEX, 0, 0);
    bool fresh = inspector.shown != Shown;
    SendMessageW(List, WM_SETREDRAW, FALSE, 0);
    if (fresh) {
        SendMessageW(List, LB_RESETCONTENT, 0, 0);
        Widest = 0;
        AddLines(inspector.lines, 0);
    } else {
        // More lines of the same object: the last line shown may have grown.
        size_t keep = Lines.empty() ? 0 : Lines.size() - 1;
        while ((size_t)SendMessageW(List, LB_GETCOUNT, 0, 0) > keep)
            SendMessageW(List, LB_DELETESTRING, keep, 0);
        AddLines(inspector.lines, keep);
    }
    Lines = inspector.lines;
    int count = (int)Lines.size();
    if (fresh && !inspector.sameObject) {
        selected = FirstChoice(Lines);
        top = 0;
        ChosenLine = -1;
    }
    if (selected >= count)
        selected = count - 1;
    SendMessageW(List, LB_SETCURSEL, selected, 0);
    SendMessageW(List, LB_SETTOPINDEX, top < count ? top : 0, 0);
    SendMessageW(List, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(List, NULL, TRUE);
    Shown = inspector.shown;
    MoreToCome = inspector.more && !inspector.moreAsked;
    // Brought to the front only when it is not there: each call costs the
    // window system a round trip.
    if (fresh && !inspector.sameObject && (!IsWindowVisible(Window) || IsIconic(Window) ||
                                           GetForegroundWindow() != Window)) {
        ShowWindow(Window, IsIconic(Window) ? SW_RESTORE : SW_SHOW);
        SetWindowPos(Window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        SetForegroundWindow(Window);
        SetFocus(List);
    }
    CheckEnd();
}

void EndInspector()
{
    if (Window)
        DestroyWindow(Window);
}
