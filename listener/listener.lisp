;;;; Loaded into the Lisp by the KESTRALUNE listener each time it connects
;;;; through Swank. EVALUATE reads and evaluates every form of a text in turn,
;;;; as LOAD would, and hands back the printed values; an error ends that
;;;; evaluation with its message and type instead of entering the debugger.
;;;; Only Common Lisp and Swank's own functions are used, so any Lisp that
;;;; runs Swank will do.

(defpackage :kestralune-listener
  (:use :common-lisp)
  (:export #:start #:evaluate))

(in-package :kestralune-listener)

(defvar *package-now* (find-package :common-lisp-user)
  "The package the next evaluation reads in: IN-PACKAGE carries over.")

(defvar *output* nil
  "The stream whose text goes to the listener as it is written.")

(defun prompt-name (package)
  "The shortest name of PACKAGE, as a REPL's prompt shows it."
  (let ((names (cons (package-name package) (package-nicknames package))))
    (reduce (lambda (a b) (if (< (length b) (length a)) b a)) names)))

(defconstant +piece+ 65536
  "Output and printed values go to the listener in pieces of at most this many
characters, well within what it takes in one message.")

(defun send-output (connection string)
  (swank::with-connection (connection)
    (swank::send-to-emacs (list :write-string string))))

(defun start ()
  "Makes the output stream of this connection and a thread that flushes it
every tenth of a second, so output shows while a long evaluation runs.
Returns the Lisp's implementation type and version."
  (when *output*
    (ignore-errors (close *output*)))
  (let* ((connection swank::*emacs-connection*)
         (stream (swank/backend:make-output-stream
                  (lambda (string)
                    (loop for start from 0 below (length string) by +piece+
                          do (send-output connection
                                          (subseq string start (min (length string)
                                                                    (+ start +piece+)))))))))
    (setf *output* stream)
    (swank/backend:spawn
     (lambda ()
       (loop while (open-stream-p stream)
             do (sleep 0.1)
                (unless (ignore-errors (force-output stream) t)
                  (return))))
     :name "kestralune output flush"))
  (list (lisp-implementation-type) (lisp-implementation-version)))

(defun print-value (value)
  (let* ((*print-readably* nil)
         (printed (prin1-to-string value)))
    (if (> (length printed) +piece+)
        (format nil "~A ... [~D characters in all]" (subseq printed 0 +piece+) (length printed))
        printed)))

(defun describe-condition (condition)
  (or (ignore-errors (princ-to-string condition))
      "(the condition's message could not be printed)"))

(define-condition unfinished-form (error) ()
  (:report "The text ends inside a form: a \")\" or a closing \" is missing."))

(defun read-form (stream eof)
  "The next form of STREAM, or EOF after the last one."
  (handler-case (read stream nil eof)
    (end-of-file () (error 'unfinished-form))))

(defun evaluate (text)
  "Evaluates each form of TEXT in *PACKAGE-NOW*. Returns
 (:VALUES PROMPT FORMS) or (:ERROR MESSAGE TYPE PROMPT FORMS), where FORMS
lists the printed values of each form evaluated."
  (let* ((done '())
         (empty-input (make-string-input-stream ""))
         (*standard-output* *output*)
         (*error-output* *output*)
         (*trace-output* *output*)
         (*standard-input* empty-input)
         (*query-io* (make-two-way-stream empty-input *output*))
         (*terminal-io* *query-io*)
         (*package* *package-now*))
    (flet ((finish (result)
             (finish-output *output*)
             (setf *package-now* *package*)
             (append result (list (prompt-name *package*) (reverse done)))))
      (handler-case
          (with-input-from-string (in text)
            (loop with eof = in
                  for form = (read-form in eof)
                  until (eq form eof)
                  do (push (mapcar #'print-value (multiple-value-list (eval form))) done))
            (finish (list :values)))
        (unfinished-form (condition)
          (finish (list :error (describe-condition condition) "END-OF-FILE")))
        (error (condition)
          (finish (list :error (describe-condition condition)
                        (let ((*package* (find-package :common-lisp-user)))
                          (prin1-to-string (type-of condition))))))))))
