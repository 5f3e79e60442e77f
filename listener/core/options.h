// The listener's command line:
// kestralune [-host NAME] [-port N] [-lisp "COMMAND"] [-secret FILE],
// and what its values mean. No windows.h here: tested on the host.
#ifndef KESTRALUNE_OPTIONS_H
#define KESTRALUNE_OPTIONS_H

#include <string>

// Texts in UTF-8, so that paths of any script come through.
struct ListenerOptions {
    std::string host = "127.0.0.1";
    unsigned short port = 4005;
    std::string lispCommand;  // empty: connect to a Lisp already running
    std::string secretFile;   // the file holding Swank's secret; empty: the Lisp's own (SlimeSecretPath)
};

// Reads argv[1..argc-1]; false on an unknown option, a missing value or a
// port that is not a number from 1 to 65535.
bool ReadListenerOptions(int argc, const char *const *argv, ListenerOptions *options);

// The file Swank reads its secret from: .slime-secret in the Lisp's home
// folder, found as SBCL finds it on Windows (user-homedir-pathname): HOME,
// else USERPROFILE, else HOMEDRIVE followed by HOMEPATH. The variables'
// values are given, an empty one counting as unset; empty when none is set.
std::string SlimeSecretPath(const std::string &home, const std::string &profile, const std::string &homeDrive,
                            const std::string &homePath);

// The command line that starts COMMAND (-lisp's value) with its program
// named beyond doubt: its first word in quotes. A quoted first word is the
// program as given, and the command is kept as it is. Unquoted, the program
// is the longest part before a blank that names an existing file (isFile is
// asked with ".exe" added to a name without an extension, as Windows adds
// it, then as it is), else the first word, for Windows to look for on the
// PATH. Given the unquoted text, Windows would try the shortest part first,
// and start C:\Program.exe for "C:\Program Files\..." when there is one.
std::string LispCommandLine(const std::string &command, bool (*isFile)(const std::string &name));

#endif
