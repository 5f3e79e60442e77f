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

;; (kestralune-lisp:serve PORT [SECRET-FILE]), shared with the ECL server.
(load (merge-pathnames "swank_serve.lisp" *load-truename*))

;; --non-interactive disabled the debugger; the saved Lisp starts as a plain
;; sbcl does. save-lisp-and-die refuses if any other thread is running.
(sb-ext:enable-debugger)
(sb-ext:save-lisp-and-die (third *args*))
