// The main window as start-up builds it, driven in process under Wine: class,
// title, editor, menu, accelerators, commands, notices and the About box.
#include "app/shell.h"
#include "document/document.h"
#include "editor/editor.h"
#include "resources/resource.h"
#include "tests/support/wintest.h"

#include <gtest/gtest.h>

namespace {

class Shell : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        HINSTANCE instance = GetModuleHandleA(NULL);
        ASSERT_NE(0u, RegisterMainClass(instance));
        ASSERT_TRUE(InitInstance(instance, SW_SHOWNORMAL));
        WatchDialogs();
    }
    void SetUp() override
    {
        SetForegroundWindow(MainWindow);
        SetFocus(MainWindow);
        SetEditorText("");
        PumpMessages();
        TakeSeenDialogs();
    }
    static void SetEditorText(const char *text)
    {
        SetWindowTextA(EditorWindow, text);
        DocumentModified = 0;
    }
    static void Select(int start, int end)
    {
        SendMessageA(EditorWindow, EM_SETSEL, start, end);
    }
    static void Command(int id)
    {
        SendMessageA(MainWindow, WM_COMMAND, id, 0);
        PumpMessages();
    }
};

std::string ClipboardText()
{
    std::string text;
    if (!OpenClipboard(NULL))
        return "<clipboard not opened>";
    if (HANDLE data = GetClipboardData(CF_TEXT)) {
        text = (const char *)GlobalLock(data);
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

void SetClipboardText(const char *text)
{
    ASSERT_TRUE(OpenClipboard(NULL));
    EmptyClipboard();
    HGLOBAL data = GlobalAlloc(GMEM_MOVEABLE, strlen(text) + 1);
    strcpy((char *)GlobalLock(data), text);
    GlobalUnlock(data);
    SetClipboardData(CF_TEXT, data);
    CloseClipboard();
}

// Posts a key to the editor with the given modifier keys held and runs the
// program's own loop over it; true when the accelerator table took the key.
bool PressKey(UINT vk, bool ctrl = false, bool shift = false)
{
    BYTE keys[256] = {};
    keys[VK_CONTROL] = ctrl ? 0x80 : 0;
    keys[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(keys);
    PostMessageA(EditorWindow, WM_KEYDOWN, vk, 1);
    bool translated = false;
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        if (TranslateAcceleratorA(MainWindow, AccelTable, &msg)) {
            translated = true;
        } else {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    BYTE none[256] = {};
    SetKeyboardState(none);
    return translated;
}

TEST_F(Shell, MainWindowHasTitleClassAndEditor)
{
    EXPECT_EQ("Quillon - (untitled)", WindowText(MainWindow));
    char className[64] = "";
    GetClassNameA(MainWindow, className, sizeof className);
    EXPECT_STREQ("QuillonWClass", className);
    EXPECT_EQ(WS_OVERLAPPEDWINDOW, GetWindowLongA(MainWindow, GWL_STYLE) & WS_OVERLAPPEDWINDOW);
    EXPECT_TRUE(IsWindowVisible(MainWindow));
    ASSERT_NE(nullptr, EditorWindow);
    EXPECT_EQ(MainWindow, GetParent(EditorWindow));
    EXPECT_EQ(ID_EDITOR, GetDlgCtrlID(EditorWindow));
    EXPECT_EQ(0x50200044u, (DWORD)GetWindowLongA(EditorWindow, GWL_STYLE));
    EXPECT_EQ((HFONT)GetStockObject(ANSI_FIXED_FONT), (HFONT)SendMessageA(EditorWindow, WM_GETFONT, 0, 0));
    EXPECT_EQ((LONG_PTR)TarvoWndProc, GetWindowLongPtrA(EditorWindow, GWLP_WNDPROC));
    EXPECT_NE(nullptr, (HICON)GetClassLongPtrA(MainWindow, GCLP_HICON));
}

TEST_F(Shell, MenuItemsHaveTheirTextsIdentifiersAndStates)
{
    struct Item {
        int menu, position;
        const char *text;
        int id;          // 0 for a separator
        bool grayed;
    };
    const Item items[] = {
        {0, 0, "&New", IDM_NEW, false},
        {0, 1, "&Open...", IDM_OPEN, false},
        {0, 2, "&Save", IDM_SAVE, false},
        {0, 3, "Save &As...", IDM_SAVEAS, false},
        {0, 4, "&Print", IDM_PRINT, true},
        {0, 5, "", 0, false},
        {0, 6, "E&xit", IDM_EXIT, false},
        {0, 7, "About Quillon...", IDM_ABOUT, false},
        {1, 0, "&Undo\tCtrl+Z", IDM_UNDO, true},
        {1, 1, "", 0, false},
        {1, 2, "Cu&t\tCtrl+X", IDM_CUT, false},
        {1, 3, "&Copy\tCtrl+C", IDM_COPY, false},
        {1, 4, "&Paste\tCtrl+V", IDM_PASTE, false},
        {1, 5, "C&lear\tDel", IDM_CLEAR, false},
        {1, 6, "", 0, false},
        {1, 7, "Eval Selection", IDM_EVAL, false},
    };
    HMENU bar = GetMenu(MainWindow);
    ASSERT_EQ(2, GetMenuItemCount(bar));
    char text[64];
    GetMenuStringA(bar, 0, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ("&File", text);
    GetMenuStringA(bar, 1, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ("&Edit", text);
    EXPECT_EQ(8, GetMenuItemCount(GetSubMenu(bar, 0)));
    EXPECT_EQ(8, GetMenuItemCount(GetSubMenu(bar, 1)));
    for (const Item &item : items) {
        SCOPED_TRACE(testing::Message() << "menu " << item.menu << " position " << item.position);
        HMENU menu = GetSubMenu(bar, item.menu);
        UINT state = GetMenuState(menu, item.position, MF_BYPOSITION);
        if (item.id == 0) {
            EXPECT_TRUE(state & MF_SEPARATOR);
            continue;
        }
        GetMenuStringA(menu, item.position, text, sizeof text, MF_BYPOSITION);
        EXPECT_STREQ(item.text, text);
        EXPECT_EQ(item.id, (int)GetMenuItemID(menu, item.position));
        EXPECT_EQ(item.grayed, (state & MF_GRAYED) != 0);
        EXPECT_FALSE(state & MF_CHECKED);
    }
}

TEST_F(Shell, AcceleratorTableHasFiveVirtualKeyEntries)
{
    ACCEL table[8];
    ASSERT_EQ(5, CopyAcceleratorTableA(AccelTable, table, 8));
    const ACCEL expected[] = {
        {FVIRTKEY | FCONTROL, 'Z', IDM_UNDO}, {FVIRTKEY | FCONTROL, 'X', IDM_CUT},
        {FVIRTKEY | FCONTROL, 'C', IDM_COPY}, {FVIRTKEY | FCONTROL, 'V', IDM_PASTE},
        {FVIRTKEY, VK_DELETE, IDM_CLEAR},
    };
    for (int i = 0; i < 5; i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(expected[i].fVirt, table[i].fVirt & ~0x80);
        EXPECT_EQ(expected[i].key, table[i].key);
        EXPECT_EQ(expected[i].cmd, table[i].cmd);
    }
}

TEST_F(Shell, ClipboardKeysActAsCommands)
{
    SetEditorText("(car x)");
    Select(1, 4);
    EXPECT_TRUE(PressKey('X', true));
    EXPECT_EQ("( x)", WindowText(EditorWindow));
    EXPECT_EQ("car", ClipboardText());

    Select(4, 4);
    EXPECT_TRUE(PressKey('V', true));
    EXPECT_EQ("( x)car", WindowText(EditorWindow));

    Select(0, 1);
    EXPECT_TRUE(PressKey('C', true));
    EXPECT_EQ("(", ClipboardText());
    EXPECT_EQ("( x)car", WindowText(EditorWindow));
}

TEST_F(Shell, DeleteIsClearAndDeletesOnlyASelection)
{
    SetEditorText("abcdef");
    Select(2, 2);
    EXPECT_TRUE(PressKey(VK_DELETE));
    EXPECT_EQ("abcdef", WindowText(EditorWindow));
    Select(1, 3);
    EXPECT_TRUE(PressKey(VK_DELETE));
    EXPECT_EQ("adef", WindowText(EditorWindow));
}

TEST_F(Shell, DeleteWithModifiersReachesTheEditor)
{
    // Not the Clear command: the edit control's own keys. Ctrl+Delete
    // deletes to the end of the line, Shift+Delete cuts the selection.
    SetClipboardText("kept");
    SetEditorText("abc\r\ndef");
    Select(1, 1);
    EXPECT_FALSE(PressKey(VK_DELETE, true));
    EXPECT_EQ("a\r\ndef", WindowText(EditorWindow));
    EXPECT_EQ("kept", ClipboardText());
    Select(3, 5);
    EXPECT_FALSE(PressKey(VK_DELETE, false, true));
    EXPECT_EQ("a\r\nf", WindowText(EditorWindow));
    EXPECT_EQ("de", ClipboardText());
}

TEST_F(Shell, CutWithEmptySelectionChangesNothing)
{
    SetClipboardText("kept");
    SetEditorText("abc");
    Select(1, 1);
    Command(IDM_CUT);
    EXPECT_EQ("abc", WindowText(EditorWindow));
    EXPECT_EQ("kept", ClipboardText());
}

TEST_F(Shell, EditorChangeMarksTheDocumentModified)
{
    SetEditorText("abc");
    ASSERT_EQ(0, DocumentModified);
    SendMessageA(EditorWindow, WM_CHAR, 'x', 1);
    EXPECT_EQ(1, DocumentModified);
}

TEST_F(Shell, NoticesHaveTheirTextCaptionIconAndOwner)
{
    struct Case {
        WPARAM command;
        const char *text;
    };
    const Case cases[] = {
        {IDM_PRINT, "Command Not Implemented"},
        {IDM_UNDO, "Command Not Implemented"},
        {MAKEWPARAM(ID_EDITOR, EN_ERRSPACE), "Out of memory"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        SetEditorText("abc");
        Select(1, 2);
        SendMessageA(MainWindow, WM_COMMAND, c.command, (LPARAM)EditorWindow);
        std::vector<SeenDialog> seen = TakeSeenDialogs();
        ASSERT_EQ(1u, seen.size());
        EXPECT_EQ(c.text, seen[0].text);
        EXPECT_EQ("KESTRALUNE", seen[0].caption);
        EXPECT_EQ(LoadIconA(NULL, IDI_INFORMATION), seen[0].icon);
        EXPECT_EQ(MainWindow, seen[0].owner);
        EXPECT_EQ("abc", WindowText(EditorWindow));
        EXPECT_EQ(0, DocumentModified);
    }
}

TEST_F(Shell, AboutBoxShowsItsControlsAndClosesFourWays)
{
    struct Way {
        const char *name;
        UINT message;
        WPARAM wParam;
    };
    const Way ways[] = {
        {"OK button", WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED)},
        {"Enter", WM_KEYDOWN, VK_RETURN},
        {"Escape", WM_KEYDOWN, VK_ESCAPE},
        {"close box", WM_SYSCOMMAND, SC_CLOSE},
    };
    for (const Way &way : ways) {
        SCOPED_TRACE(way.name);
        AnswerNextBoxWith(way.message, way.wParam, 0);
        Command(IDM_ABOUT);
        std::vector<SeenDialog> seen = TakeSeenDialogs();
        ASSERT_EQ(1u, seen.size());
        EXPECT_EQ("About Quillon", seen[0].caption);
        EXPECT_EQ(MainWindow, seen[0].owner);
        EXPECT_TRUE(IsWindowEnabled(MainWindow));
        EXPECT_EQ("Quillon - (untitled)", WindowText(MainWindow));
    }
}

TEST_F(Shell, AboutBoxControls)
{
    Command(IDM_ABOUT);
    std::vector<SeenDialog> seen = TakeSeenDialogs();
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ((DWORD)(DS_MODALFRAME | WS_CAPTION | WS_SYSMENU),
              seen[0].style & (DS_MODALFRAME | WS_CAPTION | WS_SYSMENU));
    const std::vector<SeenControl> &c = seen[0].controls;
    ASSERT_EQ(4u, c.size());
    const char *texts[] = {"Simple Lisp File Editor", "Microsoft Windows", "Version 3.0", "OK"};
    for (int i = 0; i < 4; i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(texts[i], c[i].text);
        EXPECT_TRUE(c[i].style & WS_GROUP);
    }
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(0xFFFF, c[i].id & 0xFFFF);
        EXPECT_EQ((DWORD)SS_CENTER, c[i].style & 0xF);
        EXPECT_EQ(0, c[i].rect.left);
    }
    // The three lines span the dialog's width; the button stands near its middle.
    EXPECT_EQ(c[0].rect.right, c[1].rect.right);
    EXPECT_LT(c[0].rect.top, c[1].rect.top);
    EXPECT_LT(c[1].rect.top, c[2].rect.top);
    EXPECT_LT(c[2].rect.bottom, c[3].rect.top);
    int middle = (c[3].rect.left + c[3].rect.right) / 2;
    EXPECT_NEAR(c[0].rect.right / 2, middle, c[0].rect.right / 10);
    EXPECT_EQ(IDOK, c[3].id);
    EXPECT_EQ((DWORD)BS_DEFPUSHBUTTON, c[3].style & 0xF);
    EXPECT_TRUE(c[3].style & WS_TABSTOP);
}

TEST_F(Shell, EditorFillsTheClientAreaAfterEveryResize)
{
    const SIZE sizes[] = {{640, 480}, {200, 120}, {1000, 700}, {120, 80}};
    auto expectFilled = [](const char *when) {
        SCOPED_TRACE(when);
        RECT client, editor;
        GetClientRect(MainWindow, &client);
        GetWindowRect(EditorWindow, &editor);
        MapWindowPoints(NULL, MainWindow, (POINT *)&editor, 2);
        EXPECT_EQ(0, editor.left);
        EXPECT_EQ(0, editor.top);
        EXPECT_EQ(client.right, editor.right);
        EXPECT_EQ(client.bottom, editor.bottom);
    };
    expectFilled("at start");
    for (const SIZE &size : sizes) {
        SetWindowPos(MainWindow, NULL, 10, 10, size.cx, size.cy, SWP_NOZORDER);
        expectFilled("after a resize");
    }
    ShowWindow(MainWindow, SW_MINIMIZE);
    PumpMessages();
    ShowWindow(MainWindow, SW_RESTORE);
    PumpMessages();
    expectFilled("after minimise and restore");
    ShowWindow(MainWindow, SW_MAXIMIZE);
    PumpMessages();
    expectFilled("maximised");
    ShowWindow(MainWindow, SW_RESTORE);
}

TEST_F(Shell, FocusGoesToTheEditor)
{
    SetFocus(NULL);
    SetFocus(MainWindow);
    EXPECT_EQ(EditorWindow, GetFocus());
    SendMessageA(MainWindow, WM_SETFOCUS, 0, 0);
    EXPECT_EQ(EditorWindow, GetFocus());
}

TEST_F(Shell, CleanDocumentLetsTheSessionEndWithoutAQuestion)
{
    EXPECT_NE(0, SendMessageA(MainWindow, WM_QUERYENDSESSION, 0, 0));
    EXPECT_TRUE(TakeSeenDialogs().empty());
    EXPECT_TRUE(IsWindow(MainWindow));
}

} // namespace
