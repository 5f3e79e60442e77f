// The top-level forms of a text as the Common Lisp reader with the standard
// syntax delimits them, so that the listener sends each form as an
// evaluation of its own. No windows.h here: tested and fuzzed on the host.
#ifndef KESTRALUNE_FORMS_H
#define KESTRALUNE_FORMS_H

#include <string>
#include <vector>

struct TextForms {
    // Each complete top-level form's text, in order, exactly as written: its
    // reader prefixes (' ` , ,@ #' #. #1= #+feature ...) included, the blanks
    // and comments around it left out.
    std::vector<std::string> forms;
    // From the start of an unfinished last form (or of an unclosed #| comment)
    // to the end of the text; empty when there is none.
    std::string unfinished;
};

TextForms SplitForms(const std::string &text);

// True when the text holds at least one complete form and nothing unfinished:
// only blanks and comments after the last form.
bool HoldsCompleteForms(const std::string &text);

#endif
