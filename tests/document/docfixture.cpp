#include "tests/document/docfixture.h"

#include "app/shell.h"
#include "document/document.h"
#include "editor/editor.h"

#include <algorithm>

namespace {

HHOOK DestroyHook;
int DestroyAttempts;

LRESULT CALLBACK RefuseDestroy(int code, WPARAM wParam, LPARAM lParam)
{
    LRESULT next = CallNextHookEx(DestroyHook, code, wParam, lParam);
    if (code == HCBT_DESTROYWND && (HWND)wParam == MainWindow) {
        DestroyAttempts++;
        return 1;
    }
    return next;
}

void RemoveTree(const std::string &path)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string full = path + name;
            SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(full + "\\");
            else
                DeleteFileA(full.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

} // namespace

void StartProgramOnce()
{
    if (MainWindow)
        return;
    HINSTANCE instance = GetModuleHandleA(NULL);
    ASSERT_NE(0u, RegisterMainClass(instance));
    ASSERT_TRUE(InitInstance(instance, SW_SHOWNORMAL));
    WatchDialogs();
}

void DocumentTest::SetUpTestSuite()
{
    StartProgramOnce();
}

void DocumentTest::SetUp()
{
    static int count;
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    folder = MakeFolder(std::string(temp) + "quillon-doc-" + std::to_string(GetCurrentProcessId()) + "-" +
                        std::to_string(++count) + "\\");
    ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));
    PutDocument("", "");
    SetWindowTextA(MainWindow, "Quillon - (untitled)");
    PumpMessages();
    TakeSeenDialogs();
}

void DocumentTest::TearDown()
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    SetCurrentDirectoryA(temp);
    RemoveTree(folder);
}

std::vector<std::string> DocumentTest::Notices()
{
    std::vector<std::string> texts;
    for (const SeenDialog &seen : TakeSeenDialogs()) {
        if (!seen.fileDialog)
            texts.push_back(seen.text);
    }
    return texts;
}

void WriteBytes(const std::string &path, const std::string &bytes)
{
    FILE *file = fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, file) << path;
    ASSERT_EQ(bytes.size(), fwrite(bytes.data(), 1, bytes.size(), file));
    ASSERT_EQ(0, fclose(file));
}

std::string ReadBytes(const std::string &path)
{
    std::string bytes;
    return ReadFileBytes(path, bytes) ? bytes : "<missing>";
}

std::vector<std::string> FilesIn(const std::string &path)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

std::string CurrentFolder()
{
    char path[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof path, path);
    std::string folder = path;
    if (folder.empty() || folder.back() != '\\')
        folder += '\\';
    return folder;
}

std::string MakeFolder(const std::string &path)
{
    CreateDirectoryA(path.c_str(), NULL);
    return path;
}

void PutDocument(const std::string &name, const std::string &text)
{
    strcpy(DocumentName, name.c_str());
    SetDocumentText(text.c_str(), name.empty() ? "Quillon - (untitled)" : ("Quillon - " + name).c_str());
}

void TypeText(const char *text)
{
    SendMessageA(EditorWindow, EM_REPLACESEL, TRUE, (LPARAM)text);
    EXPECT_EQ(1, DocumentModified) << "the editor did not report the change";
}

std::string EditorText()
{
    return WindowText(EditorWindow);
}

std::string MainTitle()
{
    return WindowText(MainWindow);
}

DestroyGuard::DestroyGuard()
{
    DestroyAttempts = 0;
    DestroyHook = SetWindowsHookExA(WH_CBT, RefuseDestroy, NULL, GetCurrentThreadId());
}

DestroyGuard::~DestroyGuard()
{
    UnhookWindowsHookEx(DestroyHook);
    DestroyHook = NULL;
}

int DestroyGuard::attempts() const
{
    return DestroyAttempts;
}

void MenuCommand(int id)
{
    SendMessageA(MainWindow, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}
