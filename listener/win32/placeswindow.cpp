#include "listener/win32/placeswindow.h"
#include "listener/win32/codepage.h"
#include "listener/core/text_rules.h"

static const wchar_t ClassName[] = L"KestralunePlaces";
static const int ListId = 1, DetailId = 2;

struct PlacesView {
    HWND window, list, detail;
    std::vector<PlaceLine> lines;
};

static PlacesView Views[PlaceKinds];
static HWND Owner;
static WNDPROC ListBaseProc;

static PlacesView *ViewOf(HWND window)
{
    for (PlacesView &view : Views)
        if (view.window == window || view.list == window)
            return &view;
    return nullptr;
}

static void ShowDetail(PlacesView &view)
{
    LRESULT at = SendMessageW(view.list, LB_GETCURSEL, 0, 0);
    std::string detail = at >= 0 && (size_t)at < view.lines.size() ? view.lines[at].detail : std::string();
    SetWindowTextW(view.detail, Utf8ToWide(ToCrLf(detail)).c_str());
}

static void Choose(PlacesView &view)
{
    LRESULT at = SendMessageW(view.list, LB_GETCURSEL, 0, 0);
    if (at >= 0 && Owner)
        PostMessageW(Owner, WM_PLACE_CHOSEN, (WPARAM)(&view - Views), (LPARAM)at);
}

// The list takes Enter and Esc itself: a list box in a plain window gets no
// dialog keys.
static LRESULT CALLBACK ListWndProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam)
{
    PlacesView *view = ViewOf(list);
    if (view && message == WM_GETDLGCODE)
        return DLGC_WANTALLKEYS;
    if (view && message == WM_KEYDOWN && wParam == VK_RETURN) {
        Choose(*view);
        return 0;
    }
    if (view && message == WM_KEYDOWN && wParam == VK_ESCAPE) {
        DestroyWindow(view->window);
        return 0;
    }
    return CallWindowProcW(ListBaseProc, list, message, wParam, lParam);
}

static void Layout(PlacesView &view, int width, int height)
{
    int detailHeight = height / 4;
    MoveWindow(view.list, 0, 0, width, height - detailHeight, TRUE);
    MoveWindow(view.detail, 0, height - detailHeight, width, detailHeight, TRUE);
}

static LRESULT CALLBACK PlacesWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    PlacesView *view = ViewOf(window);
    switch (message) {
    case WM_SIZE:
        if (view)
            Layout(*view, LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_SETFOCUS:
        if (view)
            SetFocus(view->list);
        return 0;
    case WM_COMMAND:
        if (view && LOWORD(wParam) == ListId && HIWORD(wParam) == LBN_SELCHANGE)
            ShowDetail(*view);
        else if (view && LOWORD(wParam) == ListId && HIWORD(wParam) == LBN_DBLCLK)
            Choose(*view);
        return 0;
    case WM_DESTROY:
        if (view)
            *view = PlacesView();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

static bool Make(PlacesView &view, HFONT font)
{
    static bool registered;
    if (!registered) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = PlacesWndProc;
        wc.hInstance = GetModuleHandleW(NULL);
        wc.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
        wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
        wc.lpszClassName = ClassName;
        registered = RegisterClassW(&wc) != 0;
    }
    view.window = CreateWindowExW(0, ClassName, L"", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 600, 320, NULL,
                                  NULL, GetModuleHandleW(NULL), NULL);
    if (!view.window)
        return false;
    view.list = CreateWindowExW(0, L"ListBox", NULL,
                                WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, 0, 0,
                                0, 0, view.window, (HMENU)(INT_PTR)ListId, GetModuleHandleW(NULL), NULL);
    view.detail = CreateWindowExW(0, L"Edit", NULL,
                                  WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 0, 0,
                                  0, 0, view.window, (HMENU)(INT_PTR)DetailId, GetModuleHandleW(NULL), NULL);
    if (!view.list || !view.detail) {
        DestroyWindow(view.window);
        return false;
    }
    SendMessageW(view.list, WM_SETFONT, (WPARAM)font, 0);
    SendMessageW(view.detail, WM_SETFONT, (WPARAM)font, 0);
    ListBaseProc = (WNDPROC)SetWindowLongPtrW(view.list, GWLP_WNDPROC, (LONG_PTR)ListWndProc);
    RECT client;
    GetClientRect(view.window, &client);
    Layout(view, client.right, client.bottom);
    return true;
}

void ShowPlaces(HWND owner, HFONT font, PlaceKind kind, const std::string &caption, const std::vector<PlaceLine> &lines)
{
    Owner = owner;
    PlacesView &view = Views[kind];
    if (!view.window && !Make(view, font))
        return;
    view.lines = lines;
    SetWindowTextW(view.window, Utf8ToWide(caption).c_str());
    SendMessageW(view.list, WM_SETREDRAW, FALSE, 0);
    SendMessageW(view.list, LB_RESETCONTENT, 0, 0);
    for (const PlaceLine &line : lines)
        SendMessageW(view.list, LB_ADDSTRING, 0, (LPARAM)Utf8ToWide(line.line).c_str());
    SendMessageW(view.list, WM_SETREDRAW, TRUE, 0);
    SendMessageW(view.list, LB_SETCURSEL, 0, 0);
    ShowDetail(view);
    ShowWindow(view.window, SW_SHOWNORMAL);
    SetForegroundWindow(view.window);
    SetFocus(view.list);
}

void EndPlacesWindows()
{
    for (PlacesView &view : Views)
        if (view.window)
            DestroyWindow(view.window);
}
