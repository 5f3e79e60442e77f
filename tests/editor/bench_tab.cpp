// Prints how long one Tab on the last line of a 31000-character document
// takes against a bare one-space EM_REPLACESEL at the same place in the same
// control. The document is one form opening at its start, so the Tab's scan
// crosses the whole text, and the Tab inserts one space as the bare
// replacement does.
#include "editor/editor.h"
#include "tests/editor/editor_window.h"

#include <stdio.h>

#include <algorithm>
#include <vector>

namespace {

const int Rounds = 300;

double NowUs()
{
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return count.QuadPart * 1e6 / frequency.QuadPart;
}

// "(progn", body lines already indented, and a last line "x" that wants
// one blank, ending at exactly 31000 characters.
std::string Document()
{
    std::string text = "(progn\r\n";
    for (int i = 0;; i++) {
        std::string line = " (setq x (cons \"(\" " + std::to_string(i % 100) + "))\r\n";
        if (text.size() + line.size() + 1 > SnapshotChars)
            break;
        text += line;
    }
    text.insert(text.size() - 2, SnapshotChars - 1 - text.size(), ';');  // a comment pads the last body line
    return text + "x";
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Takes the space just inserted at pos away again, untimed.
void Undo(unsigned pos)
{
    SendMessageA(EditorWindow, EM_SETSEL, pos, pos + 1);
    SendMessageA(EditorWindow, EM_REPLACESEL, 0, (LPARAM)"");
}

} // namespace

int main()
{
    OpenEditorWindow();
    const std::string text = Document();
    const unsigned lineStart = (unsigned)text.size() - 1;
    SetEditorText(text, (unsigned)text.size());

    std::vector<double> tab, bare;
    for (int i = 0; i < Rounds; i++) {
        SendMessageA(EditorWindow, EM_SETSEL, text.size(), text.size());
        double start = NowUs();
        SendMessageA(EditorWindow, WM_CHAR, '\t', 1);
        tab.push_back(NowUs() - start);
        if (GetWindowTextLengthA(EditorWindow) != (int)text.size() + 1) {
            printf("Tab did not insert one space: the measurement is void\n");
            return 1;
        }
        Undo(lineStart);

        SendMessageA(EditorWindow, EM_SETSEL, lineStart, lineStart);
        start = NowUs();
        SendMessageA(EditorWindow, EM_REPLACESEL, 0, (LPARAM)" ");
        bare.push_back(NowUs() - start);
        Undo(lineStart);
    }
    double tabUs = Median(tab), bareUs = Median(bare);
    printf("document of %u characters, caret on its last line (medians of %d)\n", (unsigned)text.size(), Rounds);
    printf("Tab:                    %.1f us\n", tabUs);
    printf("bare EM_REPLACESEL \" \": %.1f us\n", bareUs);
    printf("ratio Tab / bare:       %.2f\n", tabUs / bareUs);
    return 0;
}
