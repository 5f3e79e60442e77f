#include "tests/listener/listenertest.h"
#include "listener/win32/codepage.h"
#include "listener/win32/resource.h"
#include "tests/support/wintest.h"

#include <psapi.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

Program StartListener(const std::string &arguments, const std::vector<std::string> &environment)
{
    std::string path = BuildPath("kestralune.exe");
    return StartProgramLine(Utf8ToWide("\"" + AnsiToUtf8(path.data(), path.size()) + "\" " + arguments),
                            "KestraluneWClass", NULL, environment);
}

DWORD StopListener(Program &listener)
{
    if (listener.main)
        PostMessageA(listener.main, WM_COMMAND, IDM_EXIT, 0);
    return listener.info.hProcess ? WaitForExit(listener) : STILL_ACTIVE;
}

std::string ControlText(HWND control)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 5000, &length))
        return "(text not readable)";
    std::vector<wchar_t> text(length + 1);
    DWORD_PTR got = 0;
    SendMessageTimeoutW(control, WM_GETTEXT, text.size(), (LPARAM)text.data(), SMTO_NORMAL, 5000, &got);
    return WideToUtf8(text.data(), got < length ? got : length);
}

std::string Transcript(const Program &listener)
{
    return ControlText(GetDlgItem(listener.main, ID_TRANSCRIPT));
}

std::string Caption(const Program &listener)
{
    return WindowText(listener.main);
}

bool WaitForTranscript(const Program &listener, const std::string &text, DWORD ms, size_t from)
{
    DWORD start = GetTickCount();
    do {
        std::string now = Transcript(listener);
        if (now.size() > from && now.find(text, from) != std::string::npos)
            return true;
        PumpFor(5);
    } while (GetTickCount() - start < ms);
    return false;
}

bool WaitForCaption(const Program &listener, const std::string &prefix, DWORD ms)
{
    DWORD start = GetTickCount();
    do {
        if (Caption(listener).compare(0, prefix.size(), prefix) == 0)
            return true;
        PumpFor(5);
    } while (GetTickCount() - start < ms);
    return false;
}

void ListenerCommand(const Program &listener, int id)
{
    PostMessageA(listener.main, WM_COMMAND, id, 0);
}

bool ListenerIdle(const Program &listener)
{
    std::string caption = Caption(listener);
    const std::string connected = "KESTRALUNE - connected to ";
    return caption.compare(0, connected.size(), connected) == 0 &&
           caption.find(" - ", connected.size()) == std::string::npos && !DebuggerWindowOf(listener, 0);
}

bool ResetListener(const Program &listener, DWORD ms)
{
    size_t from = Transcript(listener).size();
    ListenerCommand(listener, IDM_RECONNECT);
    return WaitForTranscript(listener, "; Connected to ", ms, from) &&
           WaitForCaption(listener, "KESTRALUNE - connected to ", ms) && WaitForNoDebugger(listener, ms);
}

bool EnterInput(const Program &listener, const std::string &text)
{
    HWND input = GetDlgItem(listener.main, ID_INPUT);
    std::wstring wide = Utf8ToWide(text);
    DWORD_PTR set = 0;
    if (!input || !SendMessageTimeoutW(input, WM_SETTEXT, 0, (LPARAM)wide.c_str(), SMTO_NORMAL, 60000, &set) || !set)
        return false;
    // Posted, so it passes the listener's message loop as a key press does.
    return PostMessageW(input, WM_KEYDOWN, VK_RETURN, 1) != 0;
}

HWND DebuggerWindowOf(const Program &listener, DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (HWND found = WaitForWindow(listener, "KestraluneDebugger", 0))
            return found;
        if (GetTickCount() - start >= ms)
            return NULL;
        PumpFor(5);
    }
}

HWND InspectorWindowOf(const Program &listener, DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (HWND found = WaitForWindow(listener, "KestraluneInspector", 0))
            return found;
        if (GetTickCount() - start >= ms)
            return NULL;
        PumpFor(5);
    }
}

std::string InspectorTitle(HWND inspector)
{
    return ControlText(GetDlgItem(inspector, ID_INSPECT_TITLE));
}

std::string InspectorStatus(HWND inspector)
{
    return ControlText(GetDlgItem(inspector, ID_INSPECT_STATUS));
}

std::vector<std::string> InspectorLines(HWND inspector)
{
    return ListLines(GetDlgItem(inspector, ID_INSPECT_LIST));
}

bool WaitForInspector(HWND inspector, const std::string &title, const std::string &line, DWORD ms)
{
    DWORD start = GetTickCount();
    do {
        // ECL writes its types in lower case.
        std::string shown = InspectorTitle(inspector), wanted = title;
        for (std::string *text : {&shown, &wanted})
            for (char &c : *text)
                c = (char)toupper((unsigned char)c);
        if (shown.find(wanted) != std::string::npos) {
            if (line.empty())
                return true;
            for (const std::string &shown : InspectorLines(inspector))
                if (shown.find(line) != std::string::npos)
                    return true;
        }
        PumpFor(10);
    } while (GetTickCount() - start < ms);
    return false;
}

bool WaitForNoDebugger(const Program &listener, DWORD ms)
{
    DWORD start = GetTickCount();
    while (DebuggerWindowOf(listener, 0)) {
        if (GetTickCount() - start >= ms)
            return false;
        PumpFor(5);
    }
    return true;
}

std::vector<std::string> ListLines(HWND list)
{
    std::vector<std::string> lines;
    DWORD_PTR count = 0;
    if (!SendMessageTimeoutW(list, LB_GETCOUNT, 0, 0, SMTO_NORMAL, 5000, &count) || (LRESULT)count == LB_ERR)
        return lines;
    for (DWORD_PTR i = 0; i < count; i++) {
        DWORD_PTR length = 0, got = 0;
        if (!SendMessageTimeoutW(list, LB_GETTEXTLEN, i, 0, SMTO_NORMAL, 5000, &length) ||
            (LRESULT)length == LB_ERR) {
            lines.push_back("(line not readable)");
            continue;
        }
        std::vector<wchar_t> text(length + 1);
        if (!SendMessageTimeoutW(list, LB_GETTEXT, i, (LPARAM)text.data(), SMTO_NORMAL, 5000, &got) ||
            (LRESULT)got == LB_ERR)
            got = 0;
        lines.push_back(WideToUtf8(text.data(), got < length ? got : length));
    }
    return lines;
}

std::string DebuggerCondition(HWND debugger)
{
    return ControlText(GetDlgItem(debugger, ID_DEBUG_CONDITION));
}

std::vector<std::string> DebuggerRestarts(HWND debugger)
{
    return ListLines(GetDlgItem(debugger, ID_DEBUG_RESTARTS));
}

std::vector<std::string> DebuggerFrames(HWND debugger)
{
    return ListLines(GetDlgItem(debugger, ID_DEBUG_FRAMES));
}

void TypeInDebugger(HWND debugger, wchar_t c)
{
    HWND target = GetDlgItem(debugger, ID_DEBUG_RESTARTS);
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(debugger, NULL), &info) && info.hwndFocus &&
        IsChild(debugger, info.hwndFocus))
        target = info.hwndFocus;
    if (c == 0x1b)
        PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 1);
    else if (c == L'\r')
        PostMessageW(target, WM_KEYDOWN, VK_RETURN, 1);
    else
        PostMessageW(target, WM_CHAR, c, 1);
}

size_t WorkingSet(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(process, &counters, sizeof counters))
        return 0;
    return counters.WorkingSetSize;
}

bool ListenerAnswers(const Program &listener)
{
    DWORD_PTR result;
    return WaitForSingleObject(listener.info.hProcess, 0) == WAIT_TIMEOUT &&
           SendMessageTimeoutA(listener.main, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &result);
}

bool LispRequest(const char *request, DWORD ms)
{
    const char *control = getenv("KESTRALUNE_TEST_CONTROL");
    if (!control)
        return false;
    // The script's Unix folder, through Wine's drive Z: (the root).
    std::string path = std::string("Z:") + control + "/" + request;
    for (char &c : path)
        if (c == '/')
            c = '\\';
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    DWORD start = GetTickCount();
    do {
        if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            return true;
        PumpFor(10);
    } while (GetTickCount() - start < ms);
    return false;
}

bool FullSoak()
{
    const char *soak = getenv("QUILLON_SOAK");
    return soak && strcmp(soak, "full") == 0;
}

bool OnEcl()
{
    const char *lisp = getenv("KESTRALUNE_TEST_LISP");
    return lisp && strcmp(lisp, "ecl") == 0;
}

// The Unix path as Wine's drive Z: shows it.
static std::string WinePath(const char *unix)
{
    std::string path = std::string("Z:") + unix;
    for (char &c : path)
        if (c == '/')
            c = '\\';
    return path;
}

std::string SecretOption()
{
    const char *secret = getenv("KESTRALUNE_TEST_SECRET");
    return secret ? " -secret \"" + WinePath(secret) + "\"" : std::string();
}

std::string SecretText()
{
    const char *secret = getenv("KESTRALUNE_TEST_SECRET");
    std::string line;
    FILE *file = secret ? fopen(WinePath(secret).c_str(), "rb") : NULL;
    if (!file)
        return line;
    int c;
    while ((c = fgetc(file)) != EOF && c != '\n' && c != '\r')
        line += (char)c;
    fclose(file);
    return line;
}

void StartSockets()
{
    static bool started;
    WSADATA wsa;
    if (!started && WSAStartup(MAKEWORD(2, 2), &wsa) == 0)
        started = true;
}

bool ListenSwank(FakeSwank &swank, unsigned short port)
{
    StartSockets();
    swank.listening = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    BOOL reuse = TRUE;
    setsockopt(swank.listening, SOL_SOCKET, SO_REUSEADDR, (const char *)&reuse, sizeof reuse);
    int size = sizeof address;
    if (bind(swank.listening, (sockaddr *)&address, sizeof address) != 0 || listen(swank.listening, 4) != 0 ||
        getsockname(swank.listening, (sockaddr *)&address, &size) != 0) {
        CloseSwank(swank);
        return false;
    }
    swank.port = ntohs(address.sin_port);
    return true;
}

// Waits for the socket to be readable, pumping this thread's messages (the
// editor's windows and its DDE conversations live on it).
static bool WaitReadable(SOCKET socket, DWORD ms)
{
    DWORD start = GetTickCount();
    do {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(socket, &set);
        timeval wait = {0, 5000};
        if (select(0, &set, NULL, NULL, &wait) > 0)
            return true;
        PumpMessages();
    } while (GetTickCount() - start < ms);
    return false;
}

bool AcceptSwank(FakeSwank &swank, DWORD ms)
{
    if (!WaitReadable(swank.listening, ms))
        return false;
    swank.peer = accept(swank.listening, NULL, NULL);
    swank.reader = FrameReader();
    return swank.peer != INVALID_SOCKET;
}

std::string ReadRequest(FakeSwank &swank, DWORD ms)
{
    std::string payload;
    DWORD start = GetTickCount();
    while (NextFrame(swank.reader, &payload) != FrameReady) {
        DWORD spent = GetTickCount() - start;
        char buffer[65536];
        int got;
        if (spent >= ms || !WaitReadable(swank.peer, ms - spent) ||
            (got = recv(swank.peer, buffer, sizeof buffer, 0)) <= 0)
            return std::string();
        FeedBytes(swank.reader, buffer, got);
    }
    return payload;
}

long RequestId(const std::string &request)
{
    Sexp message;
    if (!ReadSexp(request, &message) || message.items.empty())
        return -1;
    return strtol(message.items.back().text.c_str(), NULL, 10);
}

bool SendRaw(FakeSwank &swank, const std::string &bytes)
{
    return send(swank.peer, bytes.data(), (int)bytes.size(), 0) == (int)bytes.size();
}

bool SendPayload(FakeSwank &swank, const std::string &payload)
{
    std::string frame;
    return EncodeFrame(payload, &frame) && SendRaw(swank, frame);
}

std::string ListenerEvalRequest(const std::string &form, long id)
{
    return "(:emacs-rex (kestralune-listener:listener-eval " + LispString(form) + ") \"COMMON-LISP-USER\" :repl-thread " +
           std::to_string(id) + ")";
}

const ConnectStep ConnectSteps[3] = {
    {"(:emacs-rex (cl:handler-case (swank:connection-info) ",
     "(:pid 123 :lisp-implementation (:type \"FAKE\" :version \"1.0\"))"},
    {"(:emacs-rex (cl:handler-case (cl:progn (swank:swank-require ", "t"},
    {"(:emacs-rex (cl:handler-case (kestralune-listener:create-repl) ", "(\"COMMON-LISP-USER\" \"CL-USER\")"},
};

static bool Fail(std::string *why, const std::string &reason)
{
    if (why)
        *why = reason;
    return false;
}

bool GreetListener(FakeSwank &swank, const char *secret, std::string *why)
{
    if (!AcceptSwank(swank))
        return Fail(why, "the listener did not connect");
    if (secret) {
        std::string first = ReadRequest(swank);
        if (first != secret)
            return Fail(why, "the first frame is not the secret: " + first.substr(0, 300));
    }
    long id = 0;
    for (const auto &step : ConnectSteps) {
        std::string request = ReadRequest(swank);
        if (request.compare(0, strlen(step.request), step.request) != 0 || RequestId(request) != ++id)
            return Fail(why, "request " + std::to_string(id) + " is not as expected: " + request.substr(0, 300));
        if (!SendPayload(swank, "(:return (:ok " + std::string(step.value) + ") " + std::to_string(id) + ")"))
            return Fail(why, "the answer could not be sent");
    }
    return true;
}

void ClosePeer(FakeSwank &swank)
{
    if (swank.peer != INVALID_SOCKET)
        closesocket(swank.peer);
    swank.peer = INVALID_SOCKET;
}

void CloseSwank(FakeSwank &swank)
{
    ClosePeer(swank);
    if (swank.listening != INVALID_SOCKET)
        closesocket(swank.listening);
    swank.listening = INVALID_SOCKET;
}

// Removes the folder with its files and folders of files (UTF-8).
void RemoveFolder(const std::string &folder)
{
    WIN32_FIND_DATAW found;
    std::vector<std::wstring> folders = {Utf8ToWide(folder)};
    for (size_t i = 0; i < folders.size(); i++) {
        HANDLE search = FindFirstFileW((folders[i] + L"\\*").c_str(), &found);
        for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) {
            std::wstring path = folders[i] + L"\\" + found.cFileName;
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileW(path.c_str());
            else if (i == 0 && wcscmp(found.cFileName, L".") != 0 && wcscmp(found.cFileName, L"..") != 0)
                folders.push_back(path);
        }
        if (search != INVALID_HANDLE_VALUE)
            FindClose(search);
    }
    for (size_t i = folders.size(); i-- > 0;)
        RemoveDirectoryW(folders[i].c_str());
}

// A folder of this test's own under the temporary folder (UTF-8), empty.
std::string OwnFolder(const std::string &name)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::string folder = WideToUtf8(temp, wcslen(temp)) + name + "-" + std::to_string(GetCurrentProcessId());
    RemoveFolder(folder);
    CreateDirectoryW(Utf8ToWide(folder).c_str(), NULL);
    return folder;
}

bool MakeFolder(const std::string &path)
{
    return CreateDirectoryW(Utf8ToWide(path).c_str(), NULL) != 0;
}

bool WriteText(const std::string &path, const std::string &text)
{
    HANDLE file = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD wrote = 0;
    bool good = file != INVALID_HANDLE_VALUE && WriteFile(file, text.data(), (DWORD)text.size(), &wrote, NULL) &&
                wrote == text.size();
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return good;
}

bool ReadText(const std::string &path, std::string *text)
{
    text->clear();
    HANDLE file = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, NULL) && got > 0)
        text->append(buffer, got);
    CloseHandle(file);
    return true;
}
