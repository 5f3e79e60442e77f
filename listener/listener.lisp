;;;; Loaded into the Lisp by the KESTRALUNE listener each time it connects,
;;;; once Swank's REPL (swank-repl) is loaded and before the REPL is made.
;;;; Swank's REPL reads, evaluates, keeps the REPL variables, asks for input
;;;; and runs the debugger; what it lacks is here:
;;;; - its values are printed with PRIN1 in full, so a circular list never
;;;;   ends and a value of megabytes is printed whole into one message: here
;;;;   the REPL's values are printed with *PRINT-CIRCLE* on and the printer
;;;;   is stopped once a value passes +VALUE-LIMIT+ characters;
;;;; - the REPL thread prints with *PRINT-CIRCLE* on, so output of circular
;;;;   structure ends too;
;;;; - output of every thread of the Lisp goes to the listener, not to the
;;;;   Lisp's own terminal.
;;;; Only Common Lisp and Swank's own variables and functions are used, so
;;;; any Lisp that runs Swank will do.

(defpackage :kestralune-listener
  (:use :common-lisp)
  (:export #:start))

(in-package :kestralune-listener)

(defconstant +value-limit+ 16384
  "A value's printed text is cut at this many characters.")

(defun print-value (value)
  "VALUE printed as the REPL shows it: circular structure labelled (#1=),
the printer stopped, and a note added, once it passes +VALUE-LIMIT+
characters. A value that cannot be printed is named as such."
  (handler-case
      (let* ((*print-circle* t)
             (*print-readably* nil)
             (text (swank::call/truncated-output-to-string
                    (1+ +value-limit+) (lambda (stream) (prin1 value stream)) "")))
        (if (> (length text) +value-limit+)
            (format nil "~A ... [cut: the value is longer than ~D characters]"
                    (subseq text 0 +value-limit+) +value-limit+)
            text))
    (serious-condition (condition)
      (format nil "#<a value of type ~A that could not be printed: ~A>"
              (ignore-errors (prin1-to-string (type-of value)))
              (ignore-errors (swank::safe-condition-message condition))))))

(defun finish-user-output ()
  "Sends what the evaluation wrote before its values. The newest Swank's
FINISH-OUTPUT only asks its flushing thread; its REALLY-FINISH-OUTPUT
waits until the listener has the text."
  (let ((really (find-symbol "REALLY-FINISH-OUTPUT" :swank/backend)))
    (if (and really (fboundp really))
        (funcall really *standard-output*)
        (finish-output *standard-output*))))

(defun send-values (values)
  "Swank's REPL calls this with the values of each evaluation."
  (finish-user-output)
  (if (null values)
      (swank::send-to-emacs (list :write-string (format nil "; No values~%") :repl-result))
      (dolist (value values)
        (swank::send-to-emacs (list :write-string (format nil "~A~%" (print-value value))
                                    :repl-result)))))

(defun start ()
  "Configures Swank's REPL for this connection; called before create-repl."
  (setf swank-repl:*send-repl-results-function* 'send-values)
  (setf swank::*globally-redirect-io* t)
  (unless (assoc '*print-circle* swank::*default-worker-thread-bindings*)
    (push '(*print-circle* . t) swank::*default-worker-thread-bindings*))
  t)
