// The main window as start-up builds it: class, title, menu, editor, accelerators.
#include "app/shell.h"
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
        PumpMessages();
        TakeSeenDialogs();
    }
};

TEST_F(Shell, MainWindowHasTitleClassAndEditor)
{
    EXPECT_EQ("Quillon - (untitled)", WindowText(MainWindow));
    char className[64] = "";
    GetClassNameA(MainWindow, className, sizeof className);
    EXPECT_STREQ("QuillonWClass", className);
    EXPECT_EQ(WS_OVERLAPPEDWINDOW, GetWindowLongA(MainWindow, GWL_STYLE) & WS_OVERLAPPEDWINDOW);
    ASSERT_NE(nullptr, EditorWindow);
    EXPECT_EQ(MainWindow, GetParent(EditorWindow));
    EXPECT_EQ(ID_EDITOR, GetDlgCtrlID(EditorWindow));
    EXPECT_EQ(0x50200044, GetWindowLongA(EditorWindow, GWL_STYLE) & 0xFFFFFFFF);
    EXPECT_EQ((HFONT)GetStockObject(ANSI_FIXED_FONT), (HFONT)SendMessageA(EditorWindow, WM_GETFONT, 0, 0));
    EXPECT_EQ((LONG_PTR)TarvoWndProc, GetWindowLongPtrA(EditorWindow, GWLP_WNDPROC));
}

} // namespace
