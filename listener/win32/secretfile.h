// Swank's secret, read where the Lisp reads it, anew at each attempt to
// connect, so that a file made or changed since is used. Paths in any script.
#ifndef KESTRALUNE_SECRETFILE_H
#define KESTRALUNE_SECRETFILE_H

#include <string>

enum SecretResult { SecretRead, SecretMissing, SecretUnreadable };

// The secret file of this attempt: given (-secret), else .slime-secret in
// the Lisp's home folder (HOME, else USERPROFILE); empty when neither is set.
std::string SecretFileOfAttempt(const std::string &given);
// The first line of the file (UTF-8 path), which Swank wants as the first message.
SecretResult ReadSecret(const std::string &path, std::string *secret);

#endif
