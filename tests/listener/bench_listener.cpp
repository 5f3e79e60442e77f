// From the editor's "Eval Selection" to the value in the listener's
// transcript, against a bare Swank client in this process evaluating the
// same text in the same Lisp, interleaved: for (+ 1 2) and for a form of
// 30000 characters. Prints medians, their ratio and what the listener and
// the DDE hop add, and the floor: the bare client's round trip, the
// editor's DDE command and one line appended to a bare visible Edit control
// of the benchmark's own, the least any change on screen costs. The Lisp's
// port comes in KESTRALUNE_TEST_PORT.
#include "tests/listener/listenertest.h"
#include "listener/win32/resource.h"
#include "tests/evallink/linktest.h"
#include "tests/support/wintest.h"

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

// One "Eval Selection" of the text, timed until the transcript shows the
// value; the time, or -1 when it did not show within 10 s.
double EvalThroughListener(const Program &listener, const std::string &text, const std::string &value,
                           double *commandMs)
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
    while (Now() - start < 10000) {
        DWORD_PTR length = 0;
        SendMessageTimeoutA(transcript, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 1000, &length);
        if (length >= expected.size() && Transcript(listener).find(expected) != std::string::npos)
            return Now() - start;
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

} // namespace

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
    if (!TakeSeenDialogs().empty()) {
        printf("listener round trip: the editor showed a notice\n");
        status = 1;
    }
    closesocket(bare.socket.peer);
    StopListener(listener);
    return status;
}
