;;;; Loaded into the Lisp by the KESTRALUNE listener each time it connects,
;;;; once Swank's REPL (swank-repl) is loaded and before the REPL is made.
;;;; Swank's REPL reads, evaluates, keeps the REPL variables, asks for input
;;;; and runs the debugger; what it lacks is here:
;;;; - its values are printed with PRIN1 in full, so a circular list never
;;;;   ends and a value of megabytes is printed whole into one message: here
;;;;   the REPL's values are printed with *PRINT-CIRCLE* on and the printer
;;;;   is stopped once a value passes +VALUE-LIMIT+ characters;
;;;; - output of every thread of the Lisp goes to the listener, not to the
;;;;   Lisp's own terminal;
;;;; - ED, where the Lisp has a hook for it, does not reach Swank's
;;;;   ED-IN-EMACS, nor INSPECT Swank's INSPECT-IN-EMACS;
;;;; - the debugger's tools on a frame signal an error where the Lisp cannot
;;;;   do what is asked (restart a frame, step), which would open one more
;;;;   debugger level: here they answer why instead; and threads are known
;;;;   by Swank's ids only.
;;;; Nothing of Swank is changed for other clients of the same Lisp (a SLIME
;;;; connected beside the listener): the printing of values is bound around
;;;; the listener's own evaluations only, and the user's code runs with the
;;;; printer as the Lisp has it (*PRINT-CIRCLE* is its own). The one thing
;;;; that is global by nature is where the Lisp's standard streams go: to
;;;; the newest listener connection, unless a connection that is no
;;;; listener's already has them (Swank's own rule for SLIME), and back to
;;;; the Lisp's own streams once no listener is connected. The hooks on ED
;;;; and INSPECT are the Lisp's too, but they act only on a listener's
;;;; connection. Only Common Lisp and Swank's own variables and functions
;;;; are used (and SBCL's hooks, looked up by name), so any Lisp that runs
;;;; Swank will do.

(defpackage :kestralune-listener
  (:use :common-lisp)
  (:export #:create-repl #:listener-eval #:call-caught #:thread-name #:frame-tool #:eval-in-frame))

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
  "Swank's REPL calls this with the values of each of the listener's
evaluations."
  (finish-user-output)
  (if (null values)
      (swank::send-to-emacs (list :write-string (format nil "; No values~%") :repl-result))
      (dolist (value values)
        (swank::send-to-emacs (list :write-string (format nil "~A~%" (print-value value))
                                    :repl-result)))))

(defun listener-eval (string)
  "Evaluates STRING in Swank's REPL as swank-repl:listener-eval does, its
values printed by SEND-VALUES."
  (let ((swank-repl:*send-repl-results-function* 'send-values))
    (swank-repl:listener-eval string)))

(defun call-caught (function &rest arguments)
  "FUNCTION applied to ARGUMENTS, or (:ERROR MESSAGE) when that signals an
error: the listener's requests that must never open the debugger call
this. A plain call, which SBCL evaluates without compiling it, where a
HANDLER-CASE sent in the request would be compiled each time."
  (handler-case (apply function arguments)
    (serious-condition (condition)
      (list :error (ignore-errors (swank::safe-condition-message condition))))))

(defvar *listener-connections* '()
  "The listener's connections that have a REPL, newest first.")

(defun redirect-global-output (connection)
  "Sends the Lisp's standard streams to CONNECTION, as Swank does for a
connection when its *GLOBALLY-REDIRECT-IO* says so."
  (let ((swank::*globally-redirect-io* t))
    (setf swank-repl::*global-stdio-connection* nil)
    (swank-repl::maybe-redirect-global-io connection)))

(defun forget-connection (closed)
  "On *CONNECTION-CLOSED-HOOK*: the standard streams that went to a closed
listener connection go to the newest one left. Swank's own hook may run
before this one (it then gave the streams back to the Lisp) or after (it
then finds them taken and leaves them)."
  (when (member closed *listener-connections*)
    (setf *listener-connections* (remove closed *listener-connections*))
    (let ((holder swank-repl::*global-stdio-connection*))
      (when (and *listener-connections* (or (null holder) (eq holder closed)))
        (redirect-global-output (first *listener-connections*))))))

(defun create-repl ()
  "Makes Swank's REPL for this connection (as swank-repl:create-repl, which
answers the package's name and prompt), then sends the Lisp's standard
streams to it unless a connection that is no listener's has them."
  ;; Without :coding-system: the newest Swank takes none (its REPL speaks
  ;; UTF-8), older ones default it.
  (let ((answer (swank-repl:create-repl nil))
        (connection swank::*emacs-connection*)
        (holder swank-repl::*global-stdio-connection*))
    (swank::add-hook swank::*connection-closed-hook* 'forget-connection)
    (push connection *listener-connections*)
    (when (or (null holder) (member holder *listener-connections*))
      (redirect-global-output connection))
    answer))

(defun ed-in-listener (what)
  "On the Lisp's hook for ED: ED called on a listener's connection (its REPL
or a request of its own) asks the listener, through Swank's ED-IN-EMACS, to
show the file or the definition in the editor, and answers true. Called
anywhere else, it declines, and ED does what it did before."
  (when (member swank::*emacs-connection* *listener-connections*)
    (swank:ed-in-emacs what)
    t))

;;; SBCL calls each function of SB-EXT:*ED-FUNCTIONS* until one answers
;;; true. A Lisp with no such hook (ECL runs $EDITOR) keeps its own ED.
(let* ((package (find-package "SB-EXT"))
       (hook (and package (find-symbol "*ED-FUNCTIONS*" package))))
  (when (and hook (boundp hook))
    (pushnew 'ed-in-listener (symbol-value hook))))
;;; SBCL's INSPECT calls the function in SB-IMPL::*INSPECT-FUN* with the
;;; object and the streams to talk on. A Lisp without such a hook (ECL runs
;;; its own inspector, which reads its commands as the REPL's input) keeps
;;; its own INSPECT.
(defvar *lisp-inspect* nil
  "The function INSPECT called before the helper was first loaded.")

(defun inspect-in-listener (object input output)
  "On the Lisp's hook for INSPECT: INSPECT called on a listener's connection
shows OBJECT in the listener's inspector, through Swank's INSPECT-IN-EMACS.
Called anywhere else, it runs the Lisp's own inspector."
  (if (member swank::*emacs-connection* *listener-connections*)
      (swank:inspect-in-emacs object)
      (funcall *lisp-inspect* object input output)))

(let* ((package (find-package "SB-IMPL"))
       (hook (and package (find-symbol "*INSPECT-FUN*" package))))
  (when (and hook (boundp hook))
    ;; The helper is loaded again at each connection: the Lisp's own
    ;; inspector is the one found the first time.
    (unless *lisp-inspect*
      (setf *lisp-inspect* (symbol-value hook)))
    (setf (symbol-value hook) 'inspect-in-listener)))

;;; The debugger's tools.

(defun thread-name (id)
  "The name of the thread Swank knows by ID, as a string; nil for a thread
that has ended."
  (let ((thread (swank/backend:find-thread id)))
    (and thread (princ-to-string (swank/backend:thread-name thread)))))

(defun frame-tool (function &rest arguments)
  "Calls Swank's debugger command FUNCTION (a symbol) on ARGUMENTS in the
thread's debugger: answers (:ok VALUE), or (:refused MESSAGE) when it
signals an error, as where the Lisp cannot restart a frame or step. What
leaves the frame (a restart, a return, a step) is no return of this
function, so nothing of it is caught here."
  (handler-case (list :ok (apply function arguments))
    (error (condition)
      (list :refused (or (ignore-errors (swank::safe-condition-message condition))
                         "an error that could not be printed")))))

(defun eval-in-frame (string frame package)
  "SWANK:EVAL-STRING-IN-FRAME through FRAME-TOOL: Swank up to 2.31 takes the
string, the frame and the package; the newest takes also the lines and the
width its value is printed in."
  (let ((arguments (swank/backend:arglist 'swank:eval-string-in-frame)))
    (if (and (listp arguments) (> (length arguments) 3))
        (frame-tool 'swank:eval-string-in-frame string frame package 4 160)
        (frame-tool 'swank:eval-string-in-frame string frame package))))
