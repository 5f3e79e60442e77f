;;;; Saves an SBCL core with Swank loaded, so that a Swank server starts in a
;;;; fraction of a second instead of compiling Swank first.
;;;; sbcl --non-interactive --load swank_core.lisp --end-toplevel-options SOURCE FASL CORE
;;;; SOURCE: Swank's sources (with swank-loader.lisp); FASL: the folder that
;;;; receives Swank's compiled files; CORE: the core file to write.

(require :asdf)

(defvar *args* (last sb-ext:*posix-argv* 3))

;; swank-loader puts its compiled files where ASDF's output translations say
;; (in ~/.cache by default): send them to FASL, whatever the user configured.
(asdf:initialize-output-translations
 `(:output-translations (t (,(second *args*) :implementation))
                        :ignore-inherited-configuration))

(load (merge-pathnames "swank-loader.lisp" (first *args*)))
;; Its own fasl folder is only searched, for compiled contribs: keep that out
;; of ~/.slime too.
(setf swank-loader:*fasl-directory* (pathname (second *args*)))

;; No :setup: the user's ~/.swank.lisp and Swank's start-up hook (which binds
;; its log to this session's stderr) are left to the process that serves.
(swank-loader:init :setup nil)
(swank:swank-require '(:swank-repl))

;; (kestralune-lisp:serve PORT) serves Swank on 127.0.0.1:PORT until the
;; process is stopped: the main thread only waits, Swank's own threads serve.
(defpackage :kestralune-lisp
  (:use :cl)
  (:export #:serve))

(in-package :kestralune-lisp)

(defun serve (port)
  ;; SIGINT or SIGTERM ends the process at once. Left to SBCL, SIGINT would
  ;; put the main thread in the debugger, which with no terminal falls to a
  ;; toplevel that then waits for ever for Swank's threads to end.
  (dolist (signal (list sb-unix:sigint sb-unix:sigterm))
    (sb-sys:enable-interrupt signal (lambda (&rest args)
                                      (declare (ignore args))
                                      (sb-ext:exit :code 0 :abort t))))
  (handler-case (swank:create-server :port port :interface "127.0.0.1" :dont-close t)
    (error (condition)
      (format *error-output* "~&Swank cannot serve port ~D: ~A~%" port condition)
      (sb-ext:exit :code 1 :abort t)))
  ;; Said once the port is ours: another program answering on it would
  ;; otherwise pass for this server.
  (format t "~&Swank serves 127.0.0.1:~D~%" port)
  (finish-output)
  (loop (sleep 3600)))

(in-package :cl-user)

;; --non-interactive disabled the debugger; the saved Lisp starts as a plain
;; sbcl does. save-lisp-and-die refuses if any other thread is running.
(sb-ext:enable-debugger)
(sb-ext:save-lisp-and-die (third *args*))
