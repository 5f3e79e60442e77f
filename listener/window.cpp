// The listener's main window: the transcript over the input line, the
// Listener menu, and a caption that says to which Lisp it is connected. It
// routes: what the Lisp, the editor (DDE), the input line and the debugger
// window bring is handed to the session, and what the session decides is
// sent to the Lisp and shown.
#include "listener/listener.h"
#include "listener/codepage.h"
#include "listener/ddeserver.h"
#include "listener/debugger.h"
#include "listener/inputline.h"
#include "listener/lispprocess.h"
#include "listener/resource.h"
#include "listener/swanklink.h"
#include "listener/transcript.h"

#include <stdio.h>

#include <vector>

HWND ListenerWindow;
static HWND Transcript, InputLine;
static HFONT Font;

static const UINT ReconnectMs = 1000;
// How long an evaluation's echo waits for a value that comes at once, so
// that both show in one change of the transcript.
static const DWORD AwaitValueMs = 10;

static const wchar_t ClassName[] = L"KestraluneWClass";

static void UpdateCaption()
{
    const Session &s = LinkSession();
    char caption[400];
    if (s.ready)
        snprintf(caption, sizeof caption, "KESTRALUNE - connected to %s%s", s.lispName.c_str(),
                 !s.debugger.empty() ? " - in the debugger"
                 : s.question.open   ? " - the Lisp waits for input"
                                     : "");
    else
        snprintf(caption, sizeof caption, "KESTRALUNE - %s %s:%u", s.connected ? "connecting to" : "not connected,",
                 Options.host.c_str(), Options.port);
    SetWindowTextW(ListenerWindow, Utf8ToWide(caption).c_str());
}

// Sends what the session asked to send, then shows what it decided.
static void Deliver(SessionOutput &out)
{
    bool asked = !out.messages.empty();
    Transmit(out);
    if (asked && LinkSession().running.requestId)
        AwaitLisp(AwaitValueMs, out);
    SetDdeAccepting(LinkSession().connected);
    AppendTranscript(out.transcript);
    if (out.captionChanged || out.questionChanged || out.debuggerChanged)
        UpdateCaption();
    if (out.questionChanged)
        SetInputAnswering(LinkSession().question.open);
    if (out.completionReady) {
        std::string listing = InputCompleted(out.completionTag, out.completions);
        if (!listing.empty())
            Note(listing);
    }
    if (out.arglistReady)
        InputArglistAnswered(out.arglistTag, out.arglistName, out.arglist);
    if (out.debuggerChanged) {
        ShowDebugger(ListenerWindow, SessionDebugLevel(LinkSession()));
        if (!SessionDebugLevel(LinkSession()) && GetActiveWindow() == ListenerWindow)
            SetFocus(InputLine);
    }
}

void Note(const std::string &text)
{
    Session &s = LinkSession();
    AppendTranscript((s.lineOpen ? "\n" : "") + text);
    s.lineOpen = false;
}

// A text typed on the input line: the Lisp's input while it reads, else a
// text to evaluate.
static LRESULT TakeInput(const std::string &text)
{
    SessionOutput out;
    LRESULT taken = InputKept;
    if (SessionAnswer(LinkSession(), text, out))
        taken = InputAnswered;
    else if (text.find_first_not_of(" \t\r\n") == std::string::npos)
        return InputKept;
    else if (SessionSubmit(LinkSession(), text, out))
        taken = InputEvaluated;
    else
        Note("; Not connected to a Lisp; the input is kept.\n");
    Deliver(out);
    if (taken == InputEvaluated) {
        std::string problem = SaveInputHistory(text);
        if (!problem.empty())
            Note(problem);
    }
    return taken;
}

// What the input area asks of the Lisp; nonzero when it was sent.
static LRESULT AskForInput(const InputRequest &request)
{
    SessionOutput out;
    bool sent = false;
    switch (request.kind) {
    case RequestCompletion:
        sent = SessionComplete(LinkSession(), request.text, request.tag, out);
        break;
    case RequestArglist:
        sent = SessionArglist(LinkSession(), request.text, request.tag, out);
        break;
    case RequestDescription:
        sent = SessionDescribe(LinkSession(), request.text, out);
        break;
    }
    Deliver(out);
    return sent;
}

static void TakeEditorTexts()
{
    std::vector<std::string> texts;
    unsigned refused = 0;
    TakeDdeTexts(&texts, &refused);
    if (refused)
        Note("; The editor sent a text while no Lisp is connected; it was not taken.\n");
    for (const std::string &text : texts) {
        SessionOutput out;
        if (!SessionSubmit(LinkSession(), AnsiToUtf8(text.data(), text.size()), out))
            Note("; The connection to the Lisp ended before a text from the editor could run.\n");
        Deliver(out);
    }
}

static void DebuggerAction(WPARAM action, LPARAM argument)
{
    SessionOutput out;
    switch (action) {
    case DebugInvokeRestart:
        SessionInvokeRestart(LinkSession(), (size_t)argument, out);
        break;
    case DebugAbort:
        SessionAbortDebugger(LinkSession(), out);
        break;
    case DebugMoreFrames:
        SessionMoreFrames(LinkSession(), out);
        break;
    case DebugFrameLocals:
        SessionFrameLocals(LinkSession(), (long)argument, out);
        break;
    }
    Deliver(out);
}

static void Layout(int width, int height)
{
    int inputHeight = InputLineHeight(height);
    if (inputHeight > height)
        inputHeight = height;
    MoveWindow(Transcript, 0, 0, width, height - inputHeight, TRUE);
    PlaceInputLine(height - inputHeight, width, inputHeight);
}

static void Command(int id)
{
    SessionOutput out;
    switch (id) {
    case IDM_CLEARTRANSCRIPT:
        ClearTranscript();
        LinkSession().lineOpen = false;
        break;
    case IDM_INTERRUPT:
        SessionInterrupt(LinkSession(), out);
        break;
    case IDM_RECONNECT:
        ReconnectSwank(out);
        break;
    case IDM_EXIT:
        DestroyWindow(ListenerWindow);
        return;
    }
    Deliver(out);
}

LRESULT CALLBACK ListenerWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    SessionOutput out;
    switch (message) {
    case WM_CREATE:
        Transcript = CreateTranscript(window, Font);
        InputLine = CreateInputLine(window, Font);
        if (!Transcript || !InputLine)
            return -1;
        SetTimer(window, ReconnectTimer, ReconnectMs, NULL);
        return 0;
    case WM_SIZE:
        Layout(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_INPUT_RESIZED: {
        RECT client;
        GetClientRect(window, &client);
        Layout(client.right, client.bottom);
        return 0;
    }
    case WM_SETFOCUS:
        SetFocus(InputLine);
        return 0;
    case WM_COMMAND:
        if (lParam == 0)
            Command(LOWORD(wParam));
        else if (LOWORD(wParam) == ID_INPUT)
            InputNotified(HIWORD(wParam));
        return 0;
    case WM_CTLCOLORSTATIC:
        // The read-only transcript is drawn like a page of text, not greyed.
        if ((HWND)lParam == Transcript) {
            SetBkColor((HDC)wParam, GetSysColor(COLOR_WINDOW));
            return (LRESULT)GetSysColorBrush(COLOR_WINDOW);
        }
        break;
    case WM_TIMER:
        if (wParam == TranscriptTimer) {
            ShowPendingTranscript();
            return 0;
        }
        OnSwankTimer(out);
        Deliver(out);
        return 0;
    case WM_SWANK_SOCKET:
        OnSwankSocket(wParam, lParam, out);
        Deliver(out);
        return 0;
    case WM_SWANK_RESOLVED:
        OnSwankResolved(lParam, out);
        Deliver(out);
        return 0;
    case WM_DDE_TEXT:
        TakeEditorTexts();
        return 0;
    case WM_LISTENER_INPUT:
        return TakeInput(*(const std::string *)lParam);
    case WM_INPUT_REQUEST:
        return AskForInput(*(const InputRequest *)lParam);
    case WM_DEBUGGER_ACTION:
        DebuggerAction(wParam, lParam);
        return 0;
    case WM_DESTROY:
        KillTimer(window, ReconnectTimer);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool CreateListenerWindow(HINSTANCE instance, int showCommand)
{
    // A fixed-pitch font with the characters of every script the system has.
    Font = CreateFontW(-13, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, L"Courier New");
    if (!Font)
        Font = (HFONT)GetStockObject(ANSI_FIXED_FONT);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = ListenerWndProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, L"KestraluneIcon");
    wc.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
    wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    wc.lpszMenuName = L"ListenerMenu";
    wc.lpszClassName = ClassName;
    if (!RegisterClassW(&wc))
        return false;
    ListenerWindow = CreateWindowExW(0, ClassName, L"KESTRALUNE", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                     CW_USEDEFAULT, 640, 480, NULL, NULL, instance, NULL);
    if (!ListenerWindow)
        return false;
    UpdateCaption();
    ShowWindow(ListenerWindow, showCommand);
    UpdateWindow(ListenerWindow);
    return true;
}

// The helper the session loads into the Lisp, carried as a resource.
static std::string HelperSource()
{
    HRSRC found = FindResourceW(ListenerInstance, L"ListenerLisp", (LPCWSTR)RT_RCDATA);
    HGLOBAL loaded = found ? LoadResource(ListenerInstance, found) : NULL;
    const char *bytes = loaded ? (const char *)LockResource(loaded) : NULL;
    return bytes ? std::string(bytes, SizeofResource(ListenerInstance, found)) : std::string();
}

void StartListener()
{
    if (!StartDdeServer(ListenerWindow))
        Note("; The DDE service KESTRALUNE could not be registered: the editor cannot reach this listener.\n");
    std::string problem;
    if (!LoadInputHistory(&problem))
        Note(problem);
    if (!Options.lispCommand.empty())
        Note(StartLispProcess(Options.lispCommand));
    StartSwankLink(ListenerWindow, Options, HelperSource());
}

void EndListener()
{
    EndDdeServer();
    if (LispProcessStarted()) {
        AskLispToQuit();
        EndLispProcess();
    }
    EndSwankLink();
    EndDebugger();
}
