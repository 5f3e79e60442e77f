// The listener's main window: the transcript over the input area, the
// Listener menu, and a caption that says to which Lisp it is connected. It
// routes: what the Lisp, the editor (DDE), the input area and the debugger
// window bring is handed to the session, which it owns, and what the
// session decides is sent to the Lisp and shown.
#include "listener/win32/listener.h"
#include "listener/core/forms.h"
#include "listener/core/session.h"
#include "listener/core/text_rules.h"
#include "listener/win32/codepage.h"
#include "listener/win32/ddeserver.h"
#include "listener/win32/debugger.h"
#include "listener/win32/editorwindow.h"
#include "listener/win32/inputarea.h"
#include "listener/win32/inspectorwindow.h"
#include "listener/win32/lispfile.h"
#include "listener/win32/lispprocess.h"
#include "listener/win32/placeswindow.h"
#include "listener/win32/resource.h"
#include "listener/win32/secretfile.h"
#include "listener/win32/socket.h"
#include "listener/win32/sourceplace.h"
#include "listener/win32/transcript.h"

#include <stdio.h>

#include <vector>

HWND ListenerWindow;
static HWND Transcript, InputArea;
static HFONT Font;
static Session LispSession;

static const UINT ReconnectMs = 1000;
// How long an evaluation's echo waits for a value that comes at once, so
// that both show in one change of the transcript.
static const DWORD AwaitValueMs = 10;

static const wchar_t ClassName[] = L"KestraluneWClass";

static void UpdateCaption()
{
    const Session &s = LispSession;
    char caption[400];
    if (s.state == LinkState::Ready) {
        // The thread that waits for input is named but for the first one
        // that asks; more of them are said too.
        std::string asks;
        if (const Question *q = SessionQuestion(s))
            asks = " - the Lisp waits for input (" + ThreadName(s, q->thread) +
                   (s.questions.size() > 1 ? ", " + std::to_string(s.questions.size() - 1) + " more" : "") + ")";
        snprintf(caption, sizeof caption, "KESTRALUNE - connected to %s%s", s.lispName.c_str(),
                 !s.debugger.empty() ? " - in the debugger" : asks.c_str());
    } else
        snprintf(caption, sizeof caption, "KESTRALUNE - %s %s:%u",
                 HasConnection(s) ? "connecting to" : "not connected,", Options.host.c_str(), Options.port);
    SetWindowTextW(ListenerWindow, Utf8ToWide(caption).c_str());
}

// The transcript's text of one application of effects: added in one change
// at its end.
static std::string Shown;

static void AddToTranscript(const Effect &effect, Effects &)
{
    Shown += effect.text;
}

static void EmptyTranscript(const Effect &, Effects &)
{
    Shown.clear();
    ClearTranscript();
}

static void SendToLisp(const Effect &effect, Effects &more)
{
    std::string frame;
    if (EncodeFrame(effect.text, &frame))
        SendSocket(frame);
    else
        SessionNote(LispSession, "; A request was too long for one message to the Lisp and was not sent.", more);
}

static void CloseLink(const Effect &effect, Effects &more)
{
    CloseSocket();
    SessionClosed(LispSession, effect.text, more);
}

// The caption says whether a Lisp is connected; the editor's texts are taken while one is.
static void ShowConnection(const Effect &, Effects &)
{
    UpdateCaption();
    SetDdeAccepting(HasConnection(LispSession));
}

static void ShowQuestion(const Effect &, Effects &)
{
    UpdateCaption();
    SetInputAnswering(SessionAsks(LispSession));
}

static void ShowDebugLevel(const Effect &effect, Effects &)
{
    UpdateCaption();
    ShowDebugger(ListenerWindow, SessionDebugLevel(LispSession), effect.tag != 0);
    if (!SessionDebugLevel(LispSession) && GetActiveWindow() == ListenerWindow)
        SetFocus(InputArea);
}

static void CompleteInput(const Effect &effect, Effects &more)
{
    std::string listing = InputCompleted(effect.tag, effect.items);
    if (!listing.empty())
        SessionNote(LispSession, listing, more);
}

static void ShowArglist(const Effect &effect, Effects &)
{
    InputArglistCame(effect.tag, effect.name, effect.text);
}

// What the definitions and the references windows list: each line's
// place and what it is, and whose they are.
struct Listed {
    std::string name;
    std::vector<std::string> items;
    std::vector<SourcePlace> places;
};
static Listed ListedPlaces[PlaceKinds];

static void GoToPlace(const std::string &name, const std::string &item, const SourcePlace &place, Effects &more)
{
    std::string problem = place.known ? ShowSourcePlace(name + " is defined", place)
                                      : "; The source of " + item + " is not known: " + place.why;
    if (!problem.empty())
        SessionNote(LispSession, problem, more);
}

// Lists the effect's places in the kind's window under the caption.
static void ListPlaces(const Effect &effect, PlaceKind kind, const std::string &caption)
{
    std::vector<PlaceLine> lines;
    for (size_t i = 0; i < effect.places.size(); i++) {
        const std::string &file = effect.places[i].file;
        lines.push_back({DefinitionLine(effect.items[i], effect.places[i]),
                         effect.items[i] + "\r\n" + (file.empty() ? effect.places[i].why : file)});
    }
    ListedPlaces[kind] = {effect.name, effect.items, effect.places};
    ShowPlaces(ListenerWindow, Font, kind, caption, lines);
}

// One definition is shown in the editor; several are listed to choose from.
static void ShowDefinitions(const Effect &effect, Effects &more)
{
    if (effect.places.size() == 1)
        return GoToPlace(effect.name, effect.items[0], effect.places[0], more);
    ListPlaces(effect, DefinitionPlaces, "KESTRALUNE Definitions - " + effect.name);
}

static void ShowReferences(const Effect &effect, Effects &)
{
    ListPlaces(effect, ReferencePlaces, "KESTRALUNE References - " + effect.text);
}

// The notes of the text last compiled, the editor it came from (none for
// a file compiled), and its bytes then.
static std::vector<CompilerNote> ListedNotes;
static HWND NotesEditor;
static std::string NotesBytes;

// The note's source selected: in its file, or in the editor the compiled
// text came from.
static void GoToNote(const CompilerNote &note, Effects &more)
{
    std::string bytes, problem;
    size_t start, end;
    const std::string message = note.message.substr(0, note.message.find('\n'));
    if (!note.place.known)
        problem = "; The note has no place in the source: " + message;
    else if (!note.place.file.empty())
        problem = ShowSourcePlace("the note is", note.place);
    else if (!IsWindow(NotesEditor) || !EditorBytes(NotesEditor, &bytes))
        problem = "; The editor of the compiled text is gone.";
    else if (!PlaceInText(bytes, note.place, &start, &end))
        problem = "; The note has no place in the editor's text: " + message;
    else
        SelectInEditor(NotesEditor, start, end);
    if (!problem.empty())
        SessionNote(LispSession, problem, more);
}

// One line a note: its severity, line:column and the message's first line.
static void ShowNotes(const Effect &effect, Effects &)
{
    std::vector<PlaceLine> lines;
    for (const CompilerNote &note : effect.notes)
        lines.push_back({NoteLine(NotesBytes, note), note.message});
    ListedNotes = effect.notes;
    ShowPlaces(ListenerWindow, Font, NotesPlaces, "KESTRALUNE Notes - " + effect.name, lines);
}

// The Lisp's ED: its file shown in the editor, at its place when it gave
// one; without a file, the editor comes to the front.
static void EditInEditor(const Effect &effect, Effects &more)
{
    std::string problem;
    HWND editor = effect.places.empty() ? AnyEditor() : NULL;
    if (!effect.places.empty())
        problem = ShowSourcePlace(effect.text, effect.places[0]);
    else if (!editor)
        problem = "; No editor is open.";
    else
        SetForegroundWindow(editor);
    if (!problem.empty())
        SessionNote(LispSession, problem, more);
}

static void ShowInspection(const Effect &, Effects &)
{
    ShowInspector(ListenerWindow, Font, LispSession.inspector);
}

// Each kind of effect to its one handler. A handler that steps the session
// again gives the effects of that step in more.
struct EffectHandler {
    EffectKind kind;
    void (*apply)(const Effect &effect, Effects &more);
};
static const EffectHandler Handlers[] = {
    {EffectKind::Text, AddToTranscript},
    {EffectKind::ClearTranscript, EmptyTranscript},
    {EffectKind::Send, SendToLisp},
    {EffectKind::CloseConnection, CloseLink},
    {EffectKind::CaptionChanged, ShowConnection},
    {EffectKind::DebuggerChanged, ShowDebugLevel},
    {EffectKind::QuestionChanged, ShowQuestion},
    {EffectKind::CompletionReady, CompleteInput},
    {EffectKind::ArglistReady, ShowArglist},
    {EffectKind::DefinitionsReady, ShowDefinitions},
    {EffectKind::ReferencesReady, ShowReferences},
    {EffectKind::NotesReady, ShowNotes},
    {EffectKind::EditReady, EditInEditor},
    {EffectKind::InspectorChanged, ShowInspection},
};

// Does what a step of the session asked, in order; what a handler's own
// step brings follows at once. When something was sent while an evaluation
// runs, the Lisp's reply is awaited a moment first, so that an echo and a
// value that comes at once show together.
static void Apply(Effects effects)
{
    bool sent = false, awaited = false;
    for (size_t i = 0;; i++) {
        if (i == effects.size()) {
            if (awaited || !sent || !LispSession.running.requestId)
                break;
            awaited = true;
            Effects more;
            SessionBytes(LispSession, AwaitSocket(AwaitValueMs), false, more);
            effects.insert(effects.end(), more.begin(), more.end());
            if (i == effects.size())
                break;
        }
        const Effect effect = effects[i];
        sent = sent || effect.kind == EffectKind::Send;
        Effects more;
        for (const EffectHandler &handler : Handlers)
            if (handler.kind == effect.kind)
                handler.apply(effect, more);
        effects.insert(effects.begin() + i + 1, more.begin(), more.end());
    }
    AppendTranscript(Shown);
    Shown.clear();
}

static void PlaceChosen(WPARAM kind, LPARAM index)
{
    Effects out;
    if (kind == NotesPlaces && index >= 0 && (size_t)index < ListedNotes.size())
        GoToNote(ListedNotes[index], out);
    else if (kind < PlaceKinds && index >= 0 && (size_t)index < ListedPlaces[kind].places.size())
        GoToPlace(ListedPlaces[kind].name, ListedPlaces[kind].items[index], ListedPlaces[kind].places[index], out);
    Apply(out);
}

// Says something of the listener's own in the transcript (UTF-8, "\n" line breaks).
static void Note(const std::string &text)
{
    Effects out;
    SessionNote(LispSession, text, out);
    Apply(out);
}

// Has the socket begin the attempt the session decided on.
static void Connect()
{
    if (!ConnectSocket())
        SessionNotOpened(LispSession);
}

// The socket connected: Swank's secret goes first when there is a file of
// it. The Lisp's own file may well be missing: it then wants no secret.
static void Opened(Effects &out)
{
    std::string file = SecretFileOfAttempt(Options.secretFile), secret;
    SecretResult result = file.empty() ? SecretMissing : ReadSecret(file, &secret);
    if (result == SecretUnreadable || (result == SecretMissing && !Options.secretFile.empty())) {
        CloseSocket();
        SessionRefused(LispSession, "the secret file " + file + " cannot be read", out);
        return;
    }
    SessionOpened(LispSession, result == SecretRead ? &secret : nullptr, file, out);
}

static void TakeSocketEvent(const SocketEvent &event, Effects &out)
{
    switch (event.report) {
    case SocketNothing:
        break;
    case SocketConnected:
        Opened(out);
        break;
    case SocketBytes:
    case SocketClosed:
        SessionBytes(LispSession, event.bytes, event.report == SocketClosed, out);
        break;
    case SocketUnreachable:
        SessionNotOpened(LispSession);
        break;
    case SocketNoAddress:
        SessionHostNotFound(LispSession, out);
        break;
    }
}

// A text sent from the input area: the Lisp's input while it reads, else a
// text to evaluate.
static LRESULT TakeInput(const std::string &text)
{
    Effects out;
    Typed typed = SessionType(LispSession, text, out);
    if (typed == TypedNotTaken && !IsBlankText(text))
        SessionNote(LispSession, "; Not connected to a Lisp; the input is kept.", out);
    // Handed to the history's own thread first, which saves while the Lisp evaluates.
    if (typed == TypedEvaluation)
        SaveInputHistory(text);
    Apply(out);
    return typed == TypedAnswer ? InputAnswered : typed == TypedEvaluation ? InputEvaluated : InputKept;
}

// What the input area asks of the Lisp; nonzero when it was sent.
static LRESULT AskForInput(const InputRequest &request)
{
    Effects out;
    bool sent = false;
    switch (request.kind) {
    case RequestCompletion:
        sent = SessionComplete(LispSession, request.text, request.tag, out);
        break;
    case RequestArglist:
        sent = SessionArglist(LispSession, request.text, request.tag, out);
        break;
    case RequestDescription:
        sent = SessionDescribe(LispSession, request.text, out);
        break;
    }
    Apply(out);
    return sent;
}

// The package of the file the editor of that process shows, where its
// selection starts; empty when it names none or cannot be read.
static std::string FilePackage(DWORD process)
{
    HWND editor = EditorOfProcess(process);
    std::string before;
    return editor && EditorTextBeforeSelection(editor, &before) ? PackageAt(before, before.size()) : std::string();
}

// The process of the editor that sent a text last.
static DWORD LastEditorProcess;

static void TakeEditorTexts()
{
    std::vector<EditorText> texts;
    unsigned refused = 0;
    TakeDdeTexts(&texts, &refused);
    if (refused)
        Note("; The editor sent a text while no Lisp is connected; it was not taken.\n");
    for (const EditorText &text : texts) {
        LastEditorProcess = text.process;
        Effects out;
        if (!SessionSubmitInPackage(LispSession, AnsiToUtf8(text.text.data(), text.text.size()),
                                    FilePackage(text.process), out))
            SessionNote(LispSession, "; The connection to the Lisp ended before a text from the editor could run.",
                        out);
        Apply(out);
    }
}

// Compiles the whole text of the editor active last (the last that sent a
// text, else the first found), named as its title names its file and read
// in the file's package.
static void CompileEditorText(Effects &out)
{
    HWND editor = LastEditorProcess ? EditorOfProcess(LastEditorProcess) : NULL;
    if (!editor)
        editor = AnyEditor();
    std::string bytes;
    if (!editor || !EditorBytes(editor, &bytes))
        return SessionNote(LispSession, editor ? "; The editor's text could not be read." : "; No editor is open.", out);
    std::string name = EditorDocumentName(editor);
    if (name.empty())
        name = "editor text";
    std::string text = AnsiToUtf8(bytes.data(), bytes.size());
    if (!SessionCompileText(LispSession, text, name, PackageAt(text, text.size()), out))
        return SessionNote(LispSession, "; Not connected to a Lisp.", out);
    NotesEditor = editor;
    NotesBytes = bytes;
}

// The file compiled last, which Compile and Load File Again compiles.
static std::wstring CompiledFile;

// Compiles and loads a file: the one the user chooses, or the one before
// (again). Its bytes now are what the notes' lines and columns count in.
static void CompileFile(bool again, Effects &out)
{
    std::wstring path = CompiledFile;
    if (again && path.empty())
        return SessionNote(LispSession, "; No file was compiled yet: Compile and Load File... chooses one.", out);
    if (!again && !ChooseLispFile(ListenerWindow, &path))
        return;
    std::string bytes;
    if (!ReadFileBytes(path, &bytes))
        return SessionNote(LispSession, "; " + WideToUtf8(path) + " cannot be read.", out);
    std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
    if (!SessionCompileFile(LispSession, LispPath(path), WideToUtf8(name), out))
        return SessionNote(LispSession, "; Not connected to a Lisp.", out);
    CompiledFile = path;
    NotesEditor = NULL;
    NotesBytes = bytes;
}

// The debugger window's action, made at the thread and level it showed.
static void DebuggerAction(WPARAM action, const DebugActionPost &post)
{
    static const struct {
        DebugAction action;
        FrameTool tool;
    } tools[] = {{DebugFrameSource, FrameTool::Source},     {DebugRestartFrame, FrameTool::Restart},
                 {DebugDisassemble, FrameTool::Disassemble}, {DebugStepInto, FrameTool::StepInto},
                 {DebugStepNext, FrameTool::StepNext},       {DebugStepOut, FrameTool::StepOut}};
    Effects out;
    Session &s = LispSession;
    switch (action) {
    case DebugInvokeRestart:
        SessionInvokeRestart(s, post.at, (size_t)post.argument, out);
        break;
    case DebugAbort:
        SessionAbortDebugger(s, post.at, out);
        break;
    case DebugMoreFrames:
        SessionMoreFrames(s, post.at, out);
        break;
    case DebugFrameLocals:
        SessionFrameLocals(s, post.at, post.argument, out);
        break;
    case DebugNextThread:
        SessionNextDebugThread(s, post.at, out);
        break;
    case DebugEvalInFrame:
        SessionEvalInFrame(s, post.at, post.argument, post.text, out);
        break;
    case DebugReturnFromFrame:
        SessionReturnFromFrame(s, post.at, post.argument, post.text, out);
        break;
    case DebugInspectLocal:
        SessionInspectFrameLocal(s, post.at, DebugLocalFrame(post.argument), DebugLocalIndex(post.argument), out);
        break;
    case DebugInspectCondition:
        SessionInspectCondition(s, post.at, out);
        break;
    case DebugInspectInFrame:
        SessionInspectInFrame(s, post.at, post.argument, post.text, out);
        break;
    default:
        for (const auto &t : tools)
            if (t.action == (DebugAction)action)
                SessionFrameTool(s, post.at, post.argument, t.tool, out);
    }
    Apply(out);
}

static void InspectorAction(WPARAM action, LPARAM argument)
{
    Effects out;
    switch (action) {
    case InspectOpenPiece:
        SessionInspectPiece(LispSession, (long)argument, out);
        break;
    case InspectRunAction:
        SessionInspectorAction(LispSession, (long)argument, out);
        break;
    case InspectBack:
        SessionInspectorBack(LispSession, out);
        break;
    case InspectForward:
        SessionInspectorForward(LispSession, out);
        break;
    case InspectReinspect:
        SessionInspectorReinspect(LispSession, out);
        break;
    case InspectMore:
        SessionInspectorMore(LispSession, out);
        break;
    case InspectClose:
        SessionInspectorClose(LispSession, out);
        break;
    }
    Apply(out);
}

// Inspect: the symbol at the caret, else the form there (or the whole
// input), read and evaluated in the REPL's package.
static bool InspectInput(Effects &out)
{
    std::string what = InputSymbolAtCaret();
    if (what.empty())
        what = InputFormAtCaret();
    if (IsBlankText(what)) {
        SessionNote(LispSession, "; Nothing to inspect: the input is empty.", out);
        return true;
    }
    return SessionInspect(LispSession, what, out);
}

static void Layout(int width, int height)
{
    int inputHeight = InputAreaHeight(height);
    if (inputHeight > height)
        inputHeight = height;
    MoveWindow(Transcript, 0, 0, width, height - inputHeight, TRUE);
    PlaceInputArea(height - inputHeight, width, inputHeight);
}

// What the Lisp menu asks: false when no Lisp is ready for it.
static bool LispMenu(int id, Effects &out)
{
    if (id == IDM_MACROEXPAND1 || id == IDM_MACROEXPANDALL) {
        std::string form = InputFormAtCaret();
        if (IsBlankText(form)) {
            SessionNote(LispSession, "; No form to expand: the input is empty.", out);
            return true;
        }
        return SessionMacroexpand(LispSession, form, id == IDM_MACROEXPANDALL, out);
    }
    if (id == IDM_UNTRACEALL)
        return SessionUntraceAll(LispSession, out);
    if (id == IDM_INSPECT)
        return InspectInput(out);
    if (id == IDM_INSPECTLAST)
        return SessionInspect(LispSession, "cl:*", out);
    std::string name = InputSymbolAtCaret();
    if (name.empty()) {
        SessionNote(LispSession, "; No symbol at the caret.", out);
        return true;
    }
    switch (id) {
    case IDM_TOGGLETRACE:
        return SessionToggleTrace(LispSession, name, out);
    case IDM_FINDDEFINITION:
        return SessionFindDefinitions(LispSession, name, out);
    default:
        return SessionWhoCalls(LispSession, name, id == IDM_WHOCALLS, out);
    }
}

static void Command(int id)
{
    Effects out;
    switch (id) {
    case IDM_MACROEXPAND1:
    case IDM_MACROEXPANDALL:
    case IDM_TOGGLETRACE:
    case IDM_UNTRACEALL:
    case IDM_FINDDEFINITION:
    case IDM_WHOCALLS:
    case IDM_WHOREFERENCES:
    case IDM_INSPECT:
    case IDM_INSPECTLAST:
        if (!LispMenu(id, out))
            SessionNote(LispSession, "; Not connected to a Lisp.", out);
        break;
    case IDM_CLEARTRANSCRIPT:
        SessionClearTranscript(LispSession, out);
        break;
    case IDM_INTERRUPT:
        SessionInterrupt(LispSession, out);
        break;
    case IDM_RECONNECT:
        CloseSocket();
        SessionReconnect(LispSession, out);
        Connect();
        break;
    case IDM_COMPILEEDITOR:
        CompileEditorText(out);
        break;
    case IDM_COMPILEFILE:
    case IDM_COMPILEFILEAGAIN:
        CompileFile(id == IDM_COMPILEFILEAGAIN, out);
        break;
    case IDM_EXIT:
        DestroyWindow(ListenerWindow);
        return;
    }
    Apply(out);
}

LRESULT CALLBACK ListenerWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Effects out;
    switch (message) {
    case WM_CREATE:
        Transcript = CreateTranscript(window, Font);
        InputArea = CreateInputArea(window, Font);
        if (!Transcript || !InputArea)
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
        SetFocus(InputArea);
        return 0;
    case WM_COMMAND:
        if (lParam == 0)
            Command(LOWORD(wParam));
        else if (LOWORD(wParam) == ID_INPUT)
            InputNotified(HIWORD(wParam));
        return 0;
    case WM_TIMER:
        if (wParam == TranscriptTimer) {
            ShowPendingTranscript();
            return 0;
        }
        if (SessionTick(LispSession, out))
            Connect();
        Apply(out);
        return 0;
    case WM_SWANK_SOCKET:
    case WM_SWANK_RESOLVED:
        TakeSocketEvent(OnSocketMessage(message, wParam, lParam), out);
        Apply(out);
        return 0;
    case WM_DDE_TEXT:
        TakeEditorTexts();
        return 0;
    case WM_LISTENER_INPUT:
        return TakeInput(*(const std::string *)lParam);
    case WM_INPUT_REQUEST:
        return AskForInput(*(const InputRequest *)lParam);
    case WM_DEBUGGER_ACTION: {
        DebugActionPost *post = (DebugActionPost *)lParam;
        DebuggerAction(wParam, *post);
        delete post;
        return 0;
    }
    case WM_INSPECTOR_ACTION:
        InspectorAction(wParam, lParam);
        return 0;
    case WM_HISTORY_SAVED: {
        std::string *problem = (std::string *)lParam;
        std::string line = InputHistorySaved(*problem);
        delete problem;
        if (!line.empty())
            Note(line);
        return 0;
    }
    case WM_PLACE_CHOSEN:
        PlaceChosen(wParam, lParam);
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
    SessionStart(LispSession, Options.host, Options.port, HelperSource());
    StartSocket(ListenerWindow, Options.host, Options.port);
    if (SessionConnectNow(LispSession))
        Connect();
}

// Asks the Lisp to end and waits up to QuitWaitMs for it to close the
// connection as it does.
static void AskLispToQuit()
{
    const DWORD QuitWaitMs = 3000;
    if (!HasConnection(LispSession))
        return;
    Effects out;
    SessionQuit(LispSession, out);
    Apply(out);
    AwaitSocketClose(QuitWaitMs);
}

void EndListener()
{
    EndDdeServer();
    if (LispProcessStarted()) {
        AskLispToQuit();
        EndLispProcess();
    }
    CloseSocket();
    EndDebugger();
    EndInspector();
    EndPlacesWindows();
    EndInputHistory();
}
