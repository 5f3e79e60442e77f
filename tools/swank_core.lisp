;;;; Saves an SBCL core with Swank loaded, so that a Swank server starts in a
;;;; fraction of a second instead of compiling Swank first.
;;;; sbcl --non-interactive --load swank_core.lisp --end-toplevel-options SOURCE FASL CORE
;;;; SOURCE: Swank's sources (with swank-loader.lisp); FASL: the folder that
;;;; receives Swank's compiled files; CORE: the core file to write.


(defvar *args* (last sb-ext:*posix-argv* 3))

(load (merge-pathnames "swank_load.lisp" *load-truename*))
(load-swank (first *args*) (second *args*))
(swank:swank-require '(:swank-repl))

;; (kestralune-lisp:serve PORT [SECRET-FILE]), shared with the ECL server.
(load (merge-pathnames "swank_serve.lisp" *load-truename*))

;; --non-interactive disabled the debugger; the saved Lisp starts as a plain
;; sbcl does. save-lisp-and-die refuses if any other thread is running.
(sb-ext:enable-debugger)
(sb-ext:save-lisp-and-die (third *args*))
