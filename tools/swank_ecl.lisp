;;;; ECL serving Swank: loads Swank and swank-repl from their compiled files,
;;;; compiling them first when there are none (through gcc, about 40 s).
;;;; ecl --norc --load swank_ecl.lisp -- SOURCE FASL [PORT [SECRET-FILE]]
;;;; SOURCE: Swank's sources (with swank-loader.lisp); FASL: the folder that
;;;; receives Swank's compiled files. Without PORT it ends once Swank is
;;;; loaded (exit code 0), which makes the compiled files; with PORT it
;;;; serves Swank on 127.0.0.1:PORT ((kestralune-lisp:serve PORT SECRET-FILE)).


(defvar *args* (rest (member "--" ext:*command-args* :test #'string=)))

;; Any error while loading ends the process with its message, rather than
;; in a debugger no one sees.
(setf *debugger-hook*
      (lambda (condition hook)
        (declare (ignore hook))
        (format *error-output* "~&Could not load Swank in ECL: ~A~%" condition)
        (finish-output *error-output*)
        (ext:quit 1 t)))

(load (merge-pathnames "swank_load.lisp" *load-truename*))
(load-swank (first *args*) (second *args*))
;; swank-repl compiled like Swank itself (swank-require would load its
;; source, interpreted); swank-require then finds it provided.
(swank-loader::compile-files
 (list (merge-pathnames "contrib/swank-repl.lisp" (first *args*))) nil t t)
(swank:swank-require '(:swank-repl))
(load (merge-pathnames "swank_serve.lisp" *load-truename*))
(setf *debugger-hook* nil)

(if (third *args*)
    (kestralune-lisp:serve (parse-integer (third *args*)) (fourth *args*))
    (ext:quit 0))
