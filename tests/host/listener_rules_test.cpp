// The listener's command line, its input history and history file, and its
// transcript's text rules.
#include "listener/core/history.h"
#include "listener/core/options.h"
#include "listener/core/text_rules.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace {

bool Read(std::initializer_list<const char *> args, ListenerOptions *options)
{
    std::vector<const char *> argv{"kestralune.exe"};
    argv.insert(argv.end(), args);
    return ReadListenerOptions((int)argv.size(), argv.data(), options);
}

TEST(ListenerOptions, ReadsEachOptionAndKeepsDefaults)
{
    ListenerOptions o;
    ASSERT_TRUE(Read({}, &o));
    EXPECT_EQ("127.0.0.1", o.host);
    EXPECT_EQ(4005, o.port);
    EXPECT_EQ("", o.lispCommand);
    EXPECT_EQ("", o.secretFile);
    ASSERT_TRUE(Read({"-port", "65535", "-lisp", "sbcl --load start.lisp", "-host", "localhost", "-secret",
                      "Z:\\work\\build\\swank secret"},
                     &o));
    EXPECT_EQ("localhost", o.host);
    EXPECT_EQ(65535, o.port);
    EXPECT_EQ("sbcl --load start.lisp", o.lispCommand);
    EXPECT_EQ("Z:\\work\\build\\swank secret", o.secretFile);
}

TEST(ListenerOptions, RefusesWhatItCannotUse)
{
    for (auto args : {std::vector<const char *>{"-port"}, {"-port", "0"}, {"-port", "65536"}, {"-port", "4o05"},
                      {"-port", ""}, {"-port", "99999999999999999999"}, {"-host", ""}, {"-lisp", ""},
                      {"-secret", ""}, {"-secret"}, {"-verbose", "1"}, {"4005"}}) {
        std::vector<const char *> argv{"kestralune.exe"};
        argv.insert(argv.end(), args.begin(), args.end());
        ListenerOptions o;
        EXPECT_FALSE(ReadListenerOptions((int)argv.size(), argv.data(), &o)) << args[0];
    }
}

// The Lisp's home as SBCL finds it on Windows, where Swank reads .slime-secret.
TEST(ListenerOptions, TheSecretIsLookedForInTheLispsHome)
{
    struct {
        const char *home, *profile, *drive, *path, *expected;
    } cases[] = {
        {"C:\\emacs home", "C:\\Users\\me", "D:", "\\me", "C:\\emacs home\\.slime-secret"},
        {"", "C:\\Users\\me", "D:", "\\me", "C:\\Users\\me\\.slime-secret"},
        {"", "", "D:", "\\me", "D:\\me\\.slime-secret"},
        {"", "", "D:", "", ""},
        {"", "", "", "\\me", ""},
        {"", "", "", "", ""},
        {"C:/home/", "C:\\Users\\me", "", "", "C:/home/.slime-secret"},
        {"C:\\home\\", "", "", "", "C:\\home\\.slime-secret"},
        {"C:\\\xd1\x81\xd0\xb5\xd0\xba\xd1\x80\xd0\xb5\xd1\x82 \xce\xbb", "", "", "",
         "C:\\\xd1\x81\xd0\xb5\xd0\xba\xd1\x80\xd0\xb5\xd1\x82 \xce\xbb\\.slime-secret"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.expected, SlimeSecretPath(c.home, c.profile, c.drive, c.path))
            << "HOME=" << c.home << " USERPROFILE=" << c.profile << " HOMEDRIVE=" << c.drive << " HOMEPATH=" << c.path;
}

// The files that exist, for LispCommandLine.
bool ExistingFile(const std::string &name)
{
    for (const char *file : {"C:\\Program Files\\SBCL\\sbcl.exe", "C:\\Program.exe", "C:\\Lisp 2.2\\sbcl.exe",
                             "C:\\Lisp 2.2\\start", "C:\\my lisp\\run.cmd", "sbcl.exe"})
        if (name == file)
            return true;
    return false;
}

TEST(ListenerOptions, TheLispsProgramIsNamedInQuotes)
{
    struct {
        const char *command, *expected;
    } cases[] = {
        // Unquoted: the longest part that names a file, not C:\Program.exe.
        {"C:\\Program Files\\SBCL\\sbcl.exe --core x", "\"C:\\Program Files\\SBCL\\sbcl.exe\" --core x"},
        {"C:\\Program Files\\SBCL\\sbcl", "\"C:\\Program Files\\SBCL\\sbcl\""},
        {"C:\\Program Files\\SBCL\\sbcl --load \"a b.lisp\"",
         "\"C:\\Program Files\\SBCL\\sbcl\" --load \"a b.lisp\""},
        // A name without an extension is the program with ".exe"; a folder's
        // dot is no extension.
        {"C:\\Lisp 2.2\\sbcl  --script", "\"C:\\Lisp 2.2\\sbcl\"  --script"},
        {"C:\\Lisp 2.2\\start now", "\"C:\\Lisp 2.2\\start\" now"},
        {"C:\\my lisp\\run.cmd\t4005", "\"C:\\my lisp\\run.cmd\"\t4005"},
        {"  sbcl --core x", "\"sbcl\" --core x"},
        // No part names a file: the first word, for Windows to look for.
        {"ecl --load start.lisp", "\"ecl\" --load start.lisp"},
        {"C:\\No Such\\sbcl.exe", "\"C:\\No\" Such\\sbcl.exe"},
        {"/usr/bin/sbcl --core x", "\"/usr/bin/sbcl\" --core x"},
        // Quoted: as given.
        {"\"C:\\Program Files\\SBCL\\sbcl.exe\" --core x", "\"C:\\Program Files\\SBCL\\sbcl.exe\" --core x"},
        {"\"/usr/bin/sbcl\" \"--core\"", "\"/usr/bin/sbcl\" \"--core\""},
        {"   ", "   "},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.expected, LispCommandLine(c.command, ExistingFile)) << c.command;
}

TEST(ListenerHistory, RecallsBackAndForthLikeAShell)
{
    History h;
    std::string line;
    EXPECT_FALSE(HistoryPrevious(h, &line));
    size_t kept = 0;
    for (const char *input : {"(a)", "", "  ", "\r\n \t\n", "(b)", "(b)", "(c)"})
        kept += HistoryAdd(h, input);
    EXPECT_EQ(3u, h.entries.size()) << "blank inputs and repeats are not kept";
    EXPECT_EQ(3u, kept) << "and are said not to be";
    EXPECT_FALSE(HistoryNext(h, &line));
    for (const char *expected : {"(c)", "(b)", "(a)"}) {
        ASSERT_TRUE(HistoryPrevious(h, &line));
        EXPECT_EQ(expected, line);
    }
    EXPECT_FALSE(HistoryPrevious(h, &line));
    ASSERT_TRUE(HistoryNext(h, &line));
    EXPECT_EQ("(b)", line);
    ASSERT_TRUE(HistoryNext(h, &line));
    ASSERT_TRUE(HistoryNext(h, &line));
    EXPECT_EQ("", line) << "past the newest: an empty line";
    EXPECT_FALSE(HistoryNext(h, &line));
    HistoryAdd(h, "(d)");
    ASSERT_TRUE(HistoryPrevious(h, &line));
    EXPECT_EQ("(d)", line) << "a new input ends recalling";
    for (size_t i = 0; i < HistoryLimit + 10; i++)
        HistoryAdd(h, std::to_string(i));
    EXPECT_EQ(HistoryLimit, h.entries.size());
    EXPECT_EQ(std::to_string(HistoryLimit + 9), h.entries.back());
}

TEST(ListenerHistoryFile, KeepsEntriesExactlyThroughTheFile)
{
    for (const std::vector<std::string> &entries : std::vector<std::vector<std::string>>{
             {},
             {""},
             {"(+ 1 2)"},
             {"(defun f (x)\r\n  (g x))", "(a)\n(b)\n", "\r", "\n\n", "lone\rcr"},
             {"\"a\\\"b\"", "trailing\\", "\\n is no line break", "\\\\r"},
             {"caf\xc3\xa9 \xce\xbb \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x98\x80", "\t(x)\t", std::string("nul\0byte", 8)},
         }) {
        std::string file = FormatHistoryFile(entries);
        std::vector<std::string> read{"left over"};
        std::string problem;
        EXPECT_TRUE(ReadHistoryFile(file, &read, &problem)) << problem << "\n" << file;
        EXPECT_EQ(entries, read) << file;
    }
    EXPECT_EQ("KESTRALUNE history 1\r\n(f\\r\\n 1)\r\na\\\\n\r\n\r\n", FormatHistoryFile({"(f\r\n 1)", "a\\n", ""}))
        << "the file others may read and edit";
}

TEST(ListenerHistoryFile, ReadsWhatAnEditorMayHaveWritten)
{
    std::vector<std::string> read;
    ASSERT_TRUE(ReadHistoryFile("KESTRALUNE history 1\n(a)\nb\\nc\n", &read));
    EXPECT_EQ((std::vector<std::string>{"(a)", "b\nc"}), read) << "LF line ends";
    ASSERT_TRUE(ReadHistoryFile("\xEF\xBB\xBFKESTRALUNE history 1\r\n(a)\r\n", &read));
    EXPECT_EQ((std::vector<std::string>{"(a)"}), read) << "a byte order mark";
    ASSERT_TRUE(ReadHistoryFile("KESTRALUNE history 1\r\n", &read));
    EXPECT_TRUE(read.empty());
}

TEST(ListenerHistoryFile, RefusesADamagedFile)
{
    const std::string header = "KESTRALUNE history 1\r\n";
    for (const std::string &bytes : {std::string(), std::string("\xEF\xBB\xBF"), std::string("(a)\r\n(b)\r\n"),
                                     std::string("KESTRALUNE history 2\r\n(a)\r\n"),
                                     std::string("kestralune history 1\r\n"), std::string("KESTRALUNE history 1"),
                                     std::string("KESTRALUNE history 1 \r\n"), header + "(a)\r\n(b",
                                     header + "(a)\r\n(b)\r", header + "a\\qb\r\n", header + "a\\\r\n",
                                     header + "a\\", header + "a\rb\r\n", header + "(a)\r\r\n"}) {
        std::vector<std::string> read{"left over"};
        std::string problem;
        EXPECT_FALSE(ReadHistoryFile(bytes, &read, &problem)) << bytes;
        EXPECT_TRUE(read.empty()) << bytes;
        EXPECT_FALSE(problem.empty()) << bytes;
        EXPECT_EQ(std::string::npos, problem.find('\n')) << "a one-line reason: " << problem;
    }
}

TEST(ListenerHistoryFile, KeepsTheLastEntriesUpToTheLimit)
{
    std::vector<std::string> entries;
    for (size_t i = 0; i < HistoryLimit + 100; i++)
        entries.push_back("(f " + std::to_string(i) + ")");
    std::vector<std::string> newest(entries.end() - HistoryLimit, entries.end());
    std::vector<std::string> read;
    ASSERT_TRUE(ReadHistoryFile(FormatHistoryFile(entries), &read));
    EXPECT_EQ(newest, read) << "written: the last entries only";
    std::string longFile = "KESTRALUNE history 1\r\n";
    for (const std::string &entry : entries)
        longFile += entry + "\r\n";
    ASSERT_TRUE(ReadHistoryFile(longFile, &read));
    EXPECT_EQ(newest, read) << "read: the last entries of a longer file";
}

TEST(TranscriptText, LineBreaksBecomeCrLf)
{
    EXPECT_EQ("a\r\nb\r\n", ToCrLf("a\nb\n"));
    EXPECT_EQ("a\r\nb", ToCrLf("a\r\nb"));
    EXPECT_EQ("\r\n\r\n\r\n", ToCrLf("\n\r\r\n"));
    EXPECT_EQ("", ToCrLf(""));
}

}  // namespace
