// Lines and the indentation a Tab gives them, shared by the host tests of the
// re-indent decision and the tests of Tab in a real edit control. The text is
// above + CR LF + line, with the caret at its end.
#ifndef QUILLON_INDENT_EXAMPLES_H
#define QUILLON_INDENT_EXAMPLES_H

struct IndentExample {
    const char *above;   // the lines before the one indented, CR LF between them
    const char *line;    // the line indented
    const char *after;   // that line after Tab
};

const IndentExample IndentExamples[] = {
    {"(defun double (x)", "(+ x x))", "  (+ x x))"},          // keyword form: 2
    {"(list 1 2", "3)", "      3)"},                          // under the first argument
    {"(foo", "bar)", " bar)"},                                // nothing after the head word
    {"(foo   ", "bar)", " bar)"},                             // blanks then the line end
    {"(cond ((null x) 0)", "(t 1))", "  (t 1))"},
    {"  (let ((a 1)", "(b 2))", "        (b 2))"},            // inner "(" at column 7, then "("
    {"(; note", "x)", " x)"},
    {"(   let ((a 1))", "x)", "  x)"},                        // 2 from the "(", not the keyword
    {"(DefMacro m ()", "x)", "  x)"},                         // keywords in any case
    {"(letter a", "b)", "  b)"},                              // a keyword as a prefix
    {"(foo(bar) baz", "x)", "          x)"},                  // head word foo(bar)
    {"(print \"((\"", "x)", "       x)"},                     // "(" in a string
    {"(a b)", "x", "x"},                                      // no enclosing "("
    {"(a) b)", "x", "x"},                                     // a ")" too many
    {"(a", "\t\tx)", "\tx)"},                                 // one tab deleted
    {"(defun f ()", "      x)", "  x)"},                      // four deleted
    {"(if a", "\tb)", "   \tb)"},                             // spaces in front of the tab
    {"\t(foo a", "b)", "      b)"},                           // a tab counts 1
    {"((lambda (x) x)", "1)", " 1)"},
    {"(foo (bar 1\r\n     2)", "3)", "     3)"},               // over a complete list
    {"(foo a", "", "     "},                                  // empty line
    {"(foo", "      ", " "},                                  // blanks only
    {"(foo", " bar)", " bar)"},                               // already right
};

#endif
