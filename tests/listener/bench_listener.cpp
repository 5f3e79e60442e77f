// From the editor's "Eval Selection" to the value in the listener's
// transcript, against a bare Swank client in this process evaluating the
// same text in the same Lisp, interleaved: for (+ 1 2) and for a form of
// 30000 characters. Prints medians, their ratio and what the listener and
// the DDE hop add, and the floor: the bare client's round trip, the
// editor's DDE command and one line appended to a bare visible Edit control
// of the benchmark's own, the least any change on screen costs. Then the
// Lisp menu's Compile Editor Text of a 31000-byte text with 20 notes, until
// the notes window lists them, against the bare client's
// compile-string-for-emacs of the same text; and Enter on a note, until the
// editor (this process's) shows the note's source selected. Then the
// inspector: Inspect on a list of 100000 elements until its first lines
// show, and Enter on a piece and Backspace back, each against the bare
// client's init-inspector, inspect-nth-part and inspector-pop. The Lisp's
// port comes in KESTRALUNE_TEST_PORT.
#include "tests/listener/listenertest.h"
#include "listener/win32/codepage.h"
#include "listener/win32/resource.h"
#include "tests/evallink/linktest.h"
#include "tests/support/wintest.h"
#include "app/shell.h"
#include "editor/editor.h"

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <vector>

namespace {

double Now()
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return 1000.0 * now.QuadPart / frequency.QuadPart;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A plain blocking Swank client.
struct BareClient {
    FakeSwank socket;  // only its peer socket and frame reader are used
    long id = 0;
};

bool ConnectBare(BareClient &client, unsigned short port)
{
    StartSockets();
    client.socket.peer = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    BOOL noDelay = TRUE;
    setsockopt(client.socket.peer, IPPROTO_TCP, TCP_NODELAY, (const char *)&noDelay, sizeof noDelay);
    if (connect(client.socket.peer, (sockaddr *)&address, sizeof address) != 0)
        return false;
    std::string secret = SecretText();
    return secret.empty() || SendPayload(client.socket, secret);
}

// Evaluates the text with swank:eval-and-grab-output; the printed value.
std::string EvalBare(BareClient &client, const std::string &text)
{
    long id = ++client.id;
    SendPayload(client.socket, "(:emacs-rex (swank:eval-and-grab-output " + LispString(text) +
                                   ") \"COMMON-LISP-USER\" t " + std::to_string(id) + ")");
    for (;;) {
        std::string reply = ReadRequest(client.socket, 10000);
        Sexp m;
        if (reply.empty() || !ReadSexp(reply, &m))
            return "(no answer)";
        if (Item(m, 0) && IsAtom(*Item(m, 0), ":return") && RequestId(reply) == id) {
            // (:return (:ok (OUTPUT VALUE)) ID)
            const Sexp *answer = Item(m, 1), *result = answer ? Item(*answer, 1) : NULL;
            const Sexp *value = result ? Item(*result, 1) : NULL;
            return value ? value->text : reply.substr(0, 200);
        }
    }
}

// The request's (:return ...) to the bare client; empty when none came within 20 s.
std::string RequestBare(BareClient &client, const std::string &form)
{
    long id = ++client.id;
    SendPayload(client.socket, "(:emacs-rex " + form + " \"COMMON-LISP-USER\" t " + std::to_string(id) + ")");
    for (;;) {
        std::string reply = ReadRequest(client.socket, 20000);
        Sexp m;
        if (reply.empty() || !ReadSexp(reply, &m))
            return std::string();
        if (Item(m, 0) && IsAtom(*Item(m, 0), ":return") && RequestId(reply) == id)
            return reply;
    }
}

// The transcript's line (EM_GETLINE, up to 4000 characters) as UTF-8.
std::string TranscriptLine(HWND transcript, LRESULT line)
{
    static wchar_t text[4000];
    *(WORD *)text = 4000;
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(transcript, EM_GETLINE, line, (LPARAM)text, SMTO_NORMAL, 1000, &length))
        return std::string();
    return WideToUtf8(text, std::min<size_t>(length, 4000));
}

// One "Eval Selection" of the text, timed until the transcript's last line
// is the value; the time, or -1 when it did not show within limitMs. Only
// the last lines are read while it waits: reading the whole transcript, a
// million characters and more after a flood, would keep the listener from
// showing what comes.
double EvalThroughListener(const Program &listener, const std::string &text, const std::string &value,
                           double *commandMs, double limitMs = 10000)
{
    ListenerCommand(listener, IDM_CLEARTRANSCRIPT);
    double cleared = Now();
    while (!Transcript(listener).empty()) {
        if (Now() - cleared > 10000) {
            fprintf(stderr, "not cleared: %s\n", Transcript(listener).substr(0, 300).c_str());
            return -1;
        }
        Sleep(1);
    }
    ShowText(text, 0, (unsigned)text.size());
    std::string expected = "\r\n=> " + value + "\r\n";
    double start = Now();
    EvalCommand();
    *commandMs = Now() - start;
    HWND transcript = GetDlgItem(listener.main, ID_TRANSCRIPT);
    while (Now() - start < limitMs) {
        DWORD_PTR lines = 0;
        SendMessageTimeoutW(transcript, EM_GETLINECOUNT, 0, 0, SMTO_NORMAL, 1000, &lines);
        if (lines >= 2 && TranscriptLine(transcript, lines - 1).empty() &&
            TranscriptLine(transcript, lines - 2) == "=> " + value) {
            double ms = Now() - start;
            return Transcript(listener).find(expected) != std::string::npos ? ms : -1;
        }
    }
    return -1;
}

// One line appended to a visible Edit control of this process, as the
// transcript appends: the median time of the change shown on screen.
double BareAppendMs()
{
    HWND window = CreateWindowExW(0, L"Edit", L"bare append", WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_VSCROLL |
                                      ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY,
                                  40, 40, 400, 300, NULL, NULL, GetModuleHandleW(NULL), NULL);
    if (!window)
        return -1;
    PumpFor(200);
    std::vector<double> times;
    for (int i = 0; i < 35; i++) {
        double start = Now();
        int end = GetWindowTextLengthW(window);
        SendMessageW(window, EM_SETSEL, end, end);
        SendMessageW(window, EM_REPLACESEL, FALSE, (LPARAM)L"CL-USER> (+ 1 2)\r\n=> 3\r\n");
        UpdateWindow(window);
        times.push_back(Now() - start);
        PumpFor(5);
    }
    DestroyWindow(window);
    return Median(times);
}

struct NotesSearch {
    DWORD process;
    HWND found;
};

BOOL CALLBACK TakeNotesWindow(HWND window, LPARAM lParam)
{
    NotesSearch *s = (NotesSearch *)lParam;
    wchar_t name[64], title[64];
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    GetClassNameW(window, name, 64);
    GetWindowTextW(window, title, 64);
    if (process == s->process && wcscmp(name, L"KestralunePlaces") == 0 &&
        wcsncmp(title, L"KESTRALUNE Notes - ", 19) == 0)
        s->found = window;
    return !s->found;
}

// The listener's notes window, shown or not; null when it has none yet.
HWND NotesWindow(const Program &listener)
{
    NotesSearch search = {listener.info.dwProcessId, NULL};
    EnumWindows(TakeNotesWindow, (LPARAM)&search);
    return search.found;
}

// The lines the notes window's list holds.
LRESULT NoteCount(HWND notes)
{
    DWORD_PTR count = 0;
    HWND list = notes ? FindWindowExW(notes, NULL, L"ListBox", NULL) : NULL;
    if (!list || !SendMessageTimeoutW(list, LB_GETCOUNT, 0, 0, SMTO_NORMAL, 1000, &count))
        return -1;
    return (LRESULT)count;
}

// A text of about 31000 bytes (the most the editor loads) with 20 defuns,
// each using a variable no one defines, between comment lines. The
// functions are named for the round, so that no compilation redefines
// another's (which would add a note each).
std::string NotedText(const std::string &round, std::vector<std::string> *forms)
{
    std::string text = "(in-package :cl-user)\r\n";
    forms->clear();
    for (int i = 0; i < 20; i++) {
        std::string form = "(+ 1 bench-undefined-" + std::to_string(i) + ")";
        forms->push_back(form);
        text += "(defun bench-" + round + "-noted-" + std::to_string(i) + " ()\r\n  " + form + ")\r\n";
        while (text.size() < (size_t)(i + 1) * 1540)
            text += ";; Padding that makes the text as long as the editor's largest file.\r\n";
    }
    return text;
}

// Whether the editor shows start..end selected with the start on screen.
bool SelectionShown(size_t start, size_t end)
{
    DWORD from = 0, to = 0;
    SendMessageA(EditorWindow, EM_GETSEL, (WPARAM)&from, (LPARAM)&to);
    if (from != start || to != end)
        return false;
    RECT client;
    GetClientRect(EditorWindow, &client);
    LRESULT at = SendMessageA(EditorWindow, EM_POSFROMCHAR, start, 0);
    short y = (short)HIWORD(at);
    return at != -1 && y >= 0 && y < client.bottom;
}

// Compile Editor Text and Enter on a note, against the bare client's
// compile-string-for-emacs; false when a result was wrong.
bool BenchNotes(const Program &listener, BareClient &bare)
{
    std::vector<std::string> forms;
    std::vector<double> viaListener, viaBare, enter;
    for (int i = 0; i < 15; i++) {
        const std::string text = NotedText("l" + std::to_string(i), &forms);
        ShowText(text, 0, 0);
        const std::string bareForm = "(swank:compile-string-for-emacs " +
                                     LispString(NotedText("b" + std::to_string(i), &forms)) +
                                     " \"bench.lsp\" (quote ((:position 1) (:line 1 1))) nil nil)";
        HWND notes = NotesWindow(listener);
        if (notes) {
            PostMessageW(notes, WM_CLOSE, 0, 0);
            double closing = Now();
            while (IsWindowVisible(notes) && Now() - closing < 5000)
                PumpFor(1);
        }
        double start = Now();
        ListenerCommand(listener, IDM_COMPILEEDITOR);
        while (!((notes = NotesWindow(listener)) && IsWindowVisible(notes) && NoteCount(notes) == 20) &&
               Now() - start < 20000)
            PumpFor(0);
        double ms = Now() - start;
        if (NoteCount(notes) != 20) {
            std::vector<std::string> lines = notes ? ListLines(FindWindowExW(notes, NULL, L"ListBox", NULL))
                                                   : std::vector<std::string>();
            printf("compile editor text: the notes window did not list the 20 notes (%ld lines: %s / %s)\n",
                   (long)NoteCount(notes), lines.size() > 0 ? lines[0].c_str() : "", lines.size() > 1 ? lines.back().c_str() : "");
            return false;
        }
        start = Now();
        std::string reply = RequestBare(bare, bareForm);
        double bareMs = Now() - start;
        if (reply.find("(:ok (:compilation-result") == std::string::npos) {
            printf("compile editor text: the bare client's compilation failed: %s\n", reply.substr(0, 200).c_str());
            return false;
        }
        viaListener.push_back(ms);
        viaBare.push_back(bareMs);
        // Enter on the note of a form in the text's second half.
        const int note = 13 + i % 5;
        HWND list = FindWindowExW(notes, NULL, L"ListBox", NULL);
        SendMessageW(list, LB_SETCURSEL, note, 0);
        size_t formStart = text.find(forms[note]), formEnd = formStart + forms[note].size();
        SendMessageA(EditorWindow, EM_SETSEL, 0, 0);
        SendMessageA(EditorWindow, EM_SCROLLCARET, 0, 0);
        start = Now();
        PostMessageW(list, WM_KEYDOWN, VK_RETURN, 1);
        while (!SelectionShown(formStart, formEnd) && Now() - start < 10000)
            PumpFor(0);
        if (!SelectionShown(formStart, formEnd)) {
            printf("go to a note: the editor did not show note %d's source selected\n", note);
            return false;
        }
        enter.push_back(Now() - start);
    }
    viaListener.erase(viaListener.begin(), viaListener.begin() + 3);
    viaBare.erase(viaBare.begin(), viaBare.begin() + 3);
    enter.erase(enter.begin(), enter.begin() + 3);
    double l = Median(viaListener), b = Median(viaBare);
    printf("compile editor text, 31000 bytes, 20 notes: to the notes window %.2f ms median, bare "
           "compile-string-for-emacs %.2f ms; the listener adds %.2f ms (aim: at most 50)\n",
           l, b, l - b);
    printf("go to a note: Enter to the editor's selection shown %.2f ms median (aim: at most 50)\n", Median(enter));
    return true;
}

// The lines the inspector's list holds, -1 when it cannot be read.
long InspectorCount(HWND inspector)
{
    DWORD_PTR count = 0;
    HWND list = GetDlgItem(inspector, ID_INSPECT_LIST);
    if (!list || !SendMessageTimeoutW(list, LB_GETCOUNT, 0, 0, SMTO_NORMAL, 1000, &count))
        return -1;
    return (long)(LRESULT)count;
}

// Waits up to 20 s until the inspector shows a title that holds (or, with
// holds false, does not hold) text over at least lines lines; the time
// taken from start, or -1. The window is looked for only until it is
// found, and read once a millisecond, so that reading it takes little of
// the time it is given to show.
double AwaitInspector(const Program &listener, double start, const std::string &text, bool holds, long lines)
{
    static HWND inspector;
    while (Now() - start < 20000) {
        if (!inspector)
            inspector = InspectorWindowOf(listener, 0);
        if (inspector && IsWindowVisible(inspector) && InspectorCount(inspector) >= lines &&
            (InspectorTitle(inspector).find(text) != std::string::npos) == holds)
            return Now() - start;
        Sleep(1);
    }
    return -1;
}

bool BenchInspector(const Program &listener, BareClient &bare)
{
    if (EvalBare(bare, "(progn (defvar *bench-long* (make-list 100000 :initial-element 7)) t)") != "T") {
        printf("inspector: the list was not made\n");
        return false;
    }
    HWND input = GetDlgItem(listener.main, ID_INPUT);
    std::vector<double> open, again, bareOpen, into, bareInto, back, bareBack;
    for (int i = 0; i < 15; i++) {
        if (HWND shown = InspectorWindowOf(listener, 0)) {
            PostMessageW(shown, WM_CLOSE, 0, 0);
            double closing = Now();
            while (IsWindowVisible(shown) && Now() - closing < 5000)
                PumpFor(1);
        }
        SendMessageW(input, WM_SETTEXT, 0, (LPARAM)L"*bench-long*");
        SendMessageW(input, EM_SETSEL, 12, 12);
        double start = Now();
        ListenerCommand(listener, IDM_INSPECT);
        double ms = AwaitInspector(listener, start, "CONS", true, 100);
        HWND inspector = InspectorWindowOf(listener, 0);
        if (ms < 0 || !inspector) {
            printf("inspector: the list's first lines did not show\n");
            return false;
        }
        open.push_back(ms);
        start = Now();
        std::string reply = RequestBare(bare, "(swank:init-inspector \"*bench-long*\")");
        bareOpen.push_back(Now() - start);
        if (reply.find("(:ok (:title") == std::string::npos) {
            printf("inspector: the bare init-inspector failed: %s\n", reply.substr(0, 200).c_str());
            return false;
        }
        // Into the element on line 6 ("5: 7") and back.
        HWND list = GetDlgItem(inspector, ID_INSPECT_LIST);
        SendMessageW(list, LB_SETCURSEL, 6, 0);
        start = Now();
        PostMessageW(list, WM_KEYDOWN, VK_RETURN, 1);
        ms = AwaitInspector(listener, start, "CONS", false, 1);
        if (ms < 0) {
            printf("inspector: the piece did not open\n");
            return false;
        }
        into.push_back(ms);
        start = Now();
        PostMessageW(list, WM_KEYDOWN, VK_BACK, 1);
        ms = AwaitInspector(listener, start, "CONS", true, 100);
        if (ms < 0) {
            printf("inspector: back did not show the list\n");
            return false;
        }
        back.push_back(ms);
        // Inspect again from the element, the window shown already: the
        // same work without the window system's showing of a window.
        PostMessageW(list, WM_KEYDOWN, VK_RETURN, 1);
        if (AwaitInspector(listener, Now(), "CONS", false, 1) < 0) {
            printf("inspector: the piece did not open again\n");
            return false;
        }
        start = Now();
        ListenerCommand(listener, IDM_INSPECT);
        ms = AwaitInspector(listener, start, "CONS", true, 100);
        if (ms < 0) {
            printf("inspector: the list did not show again\n");
            return false;
        }
        again.push_back(ms);
        start = Now();
        reply = RequestBare(bare, "(swank:inspect-nth-part 6)");
        bareInto.push_back(Now() - start);
        start = Now();
        std::string popped = RequestBare(bare, "(swank:inspector-pop)");
        bareBack.push_back(Now() - start);
        if (reply.find("(:ok (:title") == std::string::npos || popped.find("(:ok (:title") == std::string::npos) {
            printf("inspector: the bare client's piece or pop failed: %s\n", reply.substr(0, 200).c_str());
            return false;
        }
    }
    for (std::vector<double> *v : {&open, &again, &bareOpen, &into, &bareInto, &back, &bareBack})
        v->erase(v->begin(), v->begin() + 3);
    printf("inspector, a list of 100000 elements: Inspect to its first lines shown %.2f ms median, bare "
           "init-inspector %.2f ms; aim at most bare + 30 = %.2f ms\n",
           Median(open), Median(bareOpen), Median(bareOpen) + 30);
    printf("inspector: Inspect again while the window shows %.2f ms median (the rest of the first figure is the "
           "window system showing the window)\n",
           Median(again));
    printf("inspector: Enter on a piece to its object shown %.2f ms median, bare inspect-nth-part %.2f ms; aim at "
           "most bare + 20 = %.2f ms\n",
           Median(into), Median(bareInto), Median(bareInto) + 20);
    printf("inspector: Backspace to the list shown again %.2f ms median, bare inspector-pop %.2f ms; aim at most "
           "bare + 20 = %.2f ms\n",
           Median(back), Median(bareBack), Median(bareBack) + 20);
    return true;
}

} // namespace

// A flood of printed lines, through the listener to its last line and value
// shown, against a bare client running the same form in its own REPL and
// reading every frame.
bool BenchFlood(const Program &listener, BareClient &bare)
{
    if (RequestBare(bare, "(swank-repl:create-repl nil)").find("(:ok ") == std::string::npos) {
        printf("listener flood: the bare client has no REPL\n");
        return false;
    }
    for (int lines : {2000, 100000}) {
        const std::string form = "(progn (dotimes (i " + std::to_string(lines) + ") (print i)) :done)";
        std::vector<double> viaListener, viaBare;
        for (int i = 0; i < 5; i++) {
            double commandMs, ms = EvalThroughListener(listener, form, ":DONE", &commandMs, 120000);
            double start = Now();
            std::string reply = RequestBare(bare, "(swank-repl:listener-eval " + LispString(form) + ")");
            double bareMs = Now() - start;
            const std::string last = "\r\n" + std::to_string(lines - 1) + " \r\n=> :DONE\r\n";
            if (ms < 0 || reply.find("(:ok ") == std::string::npos ||
                Transcript(listener).find(last) == std::string::npos) {
                printf("listener flood, %d lines: wrong or no result (bare client: %s)\n", lines,
                       reply.substr(0, 200).c_str());
                return false;
            }
            viaListener.push_back(ms);
            viaBare.push_back(bareMs);
        }
        double l = Median(viaListener), b = Median(viaBare);
        printf("listener flood, %d lines: editor to :DONE shown %.1f ms median, bare Swank client (listener-eval, "
               "every frame read) %.1f ms; aim at most 1.5 x bare + 30 = %.1f ms\n",
               lines, l, b, 1.5 * b + 30);
    }
    return true;
}

int main()
{
    const char *port = getenv("KESTRALUNE_TEST_PORT");
    if (!port) {
        printf("listener round trip: no Lisp (run through tests/listener/with_swank.sh)\n");
        return 1;
    }
    StartEditorWithLink();
    WatchDialogs();
    Program listener = StartListener(std::string("-port ") + port + SecretOption());
    BareClient bare;
    if (!listener.main || !WaitForCaption(listener, "KESTRALUNE - connected") || !ConnectBare(bare, atoi(port))) {
        printf("listener round trip: the listener or the bare client did not connect\n");
        StopListener(listener);
        return 1;
    }
    // Lines of 64 characters, as Lisp is written, of symbols: Wine's Edit
    // control takes minutes to lay out long runs of digits and blanks.
    std::string large = "(length '(";
    int ones = 0;
    while (large.size() < 29996) {
        large += (large.size() + 2) % 66 == 0 ? "a\r\n" : "a ";
        ones++;
    }
    large += "))";
    const std::string largeValue = std::to_string(ones);
    struct {
        const char *name;
        std::string text, value;
    } forms[] = {{"(+ 1 2)", "(+ 1 2)", "3"}, {"30000-character form", large, largeValue}};

    int status = 0;
    double append = BareAppendMs();
    for (const auto &form : forms) {
        std::vector<double> viaListener, viaBare, command;
        for (int i = 0; i < 40; i++) {
            double commandMs, ms = EvalThroughListener(listener, form.text, form.value, &commandMs);
            std::string got = EvalBare(bare, form.text);
            if (ms < 0 || got != form.value) {
                printf("listener round trip, %s: wrong or no result (bare client: %s)\n", form.name, got.c_str());
                status = 1;
                break;
            }
            double start = Now();
            EvalBare(bare, form.text);
            viaBare.push_back(Now() - start);
            viaListener.push_back(ms);
            command.push_back(commandMs);
        }
        if (viaListener.size() < 40)
            continue;
        // The first few warm up both paths.
        viaListener.erase(viaListener.begin(), viaListener.begin() + 5);
        viaBare.erase(viaBare.begin(), viaBare.begin() + 5);
        command.erase(command.begin(), command.begin() + 5);
        double l = Median(viaListener), b = Median(viaBare);
        double floor = b + Median(command) + append;
        printf("listener round trip, %s: editor to transcript %.2f ms median (the DDE command %.2f ms), "
               "bare Swank client %.2f ms; ratio %.1f, the listener and DDE add %.2f ms\n",
               form.name, l, Median(command), b, l / b, l - b);
        printf("listener round trip, %s: floor %.2f ms (bare Swank %.2f + DDE command %.2f + a bare visible "
               "append %.2f); the listener %.2f ms, %.2f ms over the floor (aim: at most 2)\n",
               form.name, floor, b, Median(command), append, l, l - floor);
    }
    if (!BenchFlood(listener, bare))
        status = 1;
    if (!BenchNotes(listener, bare))
        status = 1;
    if (!BenchInspector(listener, bare))
        status = 1;
    if (!TakeSeenDialogs().empty()) {
        printf("listener round trip: the editor showed a notice\n");
        status = 1;
    }
    closesocket(bare.socket.peer);
    StopListener(listener);
    return status;
}
