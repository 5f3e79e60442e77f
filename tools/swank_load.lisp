;;;; LOAD-SWANK, shared by the Swank servers of the start and test commands
;;;; (swank_core.lisp for SBCL, swank_ecl.lisp for ECL).

(require :asdf)

(defun load-swank (source fasl)
  "Loads Swank from SOURCE (the folder of swank-loader.lisp), its compiled
files kept in FASL, and without the user's ~/.swank.lisp or Swank's start-up
hook (which binds its log to this session's stderr): those are left to the
process that serves. Swank-loader's symbols are looked up once it is
loaded: they do not exist while this is read."
  ;; swank-loader puts its compiled files where ASDF's output translations
  ;; say (in ~/.cache by default): send them to FASL, whatever the user
  ;; configured.
  (asdf:initialize-output-translations
   `(:output-translations (t (,fasl :implementation))
                          :ignore-inherited-configuration))
  (load (merge-pathnames "swank-loader.lisp" source))
  ;; Its own fasl folder is only searched, for compiled contribs: keep that
  ;; out of ~/.slime too.
  (setf (symbol-value (find-symbol "*FASL-DIRECTORY*" "SWANK-LOADER")) (pathname fasl))
  (funcall (find-symbol "INIT" "SWANK-LOADER") :setup nil))
