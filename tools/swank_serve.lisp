;;;; (kestralune-lisp:serve PORT [SECRET-FILE]) serves Swank on 127.0.0.1:PORT
;;;; until the process is stopped. Loaded after Swank (2.27) by the SBCL core
;;;; recipe (swank_core.lisp) and the ECL server (swank_ecl.lisp). In SBCL,
;;;; (kestralune-lisp:serve-command-line) serves the PORT [SECRET-FILE] that
;;;; follow --end-toplevel-options, so that no path is quoted inside a form.
;;;;
;;;; The secret: with SECRET-FILE, a client's first frame must hold exactly
;;;; the file's first line (its line end, LF or CR LF, not included), as
;;;; SLIME's ~/.slime-secret works, but without touching the user's home: the
;;;; line is read once, when serving starts (a file removed later cannot turn
;;;; the check off), and Swank's own SLIME-SECRET is replaced by it, so the
;;;; home file is never read. Without SECRET-FILE, Swank's rule holds (the
;;;; home file when there is one, else no secret).
;;;;
;;;; A client that fails the check is refused and the Lisp serves on. Swank
;;;; 2.27 checks in its accept thread, without any time limit on SBCL or ECL,
;;;; and signals an error there for a wrong secret: a client sending nothing
;;;; blocked every later connection, and one sending a wrong secret stopped
;;;; serving for good (SBCL's thread waited for a debugger no one could
;;;; reach; with the debugger off, SBCL died). Here each client is checked
;;;; in a thread of its own, given 10 s for its secret, and every error of
;;;; that check, or of accepting, ends only that client. At most
;;;; *MOST-PENDING-CHECKS* clients are checked at a time: beyond that a new
;;;; client is closed at once, so that a flood of connections that send
;;;; nothing cannot take every thread the Lisp can make. Whatever fails in
;;;; the accept loop is written to the log, and the loop serves on.

(defpackage :kestralune-lisp
  (:use :cl)
  (:export #:serve #+sbcl #:serve-command-line))

(in-package :kestralune-lisp)

(defparameter *secret-seconds* 10
  "How long a client has, once connected, to send its secret.")

(defparameter *longest-secret-frame* 1024)

(defparameter *most-pending-checks* 16
  "How many clients may be waiting at once for their secret to be checked.")

(defvar *checks* '()
  "The threads checking a client's secret, as the accept loop last saw
them; only the accept loop's thread touches this list, so no lock is held
that a thread ended abruptly could leave taken.")

(defun take-check-place ()
  "True when another client may be checked now: fewer than
*MOST-PENDING-CHECKS* of the checks begun are still running."
  (setf *checks* (remove-if-not #'swank/backend:thread-alive-p *checks*))
  (< (length *checks*) *most-pending-checks*))

(defun quit-at-once (code)
  (ignore-errors (finish-output *standard-output*))
  (ignore-errors (finish-output *error-output*))
  #+sbcl (sb-ext:exit :code code :abort t)
  ;; ECL's own EXT:QUIT takes over a second to end Swank's threads; _exit(2)
  ;; (called through ECL's foreign function interface) ends them with the
  ;; process.
  #+ecl (si:call-cfun (si:find-foreign-symbol "_exit" :default :pointer-void 0)
                      :void '(:int) (list code))
  #-(or sbcl ecl) (error "No way to quit this Lisp at once."))

;; To the Lisp's own error output (its log), which Swank keeps in
;; *LOG-OUTPUT*: *ERROR-OUTPUT* itself may be sent to a client once Swank
;; redirects the Lisp's output globally.
(defun note (control &rest arguments)
  (let ((log (or swank::*log-output* *error-output*)))
    (ignore-errors
     (format log "~&;; ~?~%" control arguments)
     (finish-output log))))

;; SIGINT or SIGTERM ends the process at once. Left to SBCL, SIGINT would
;; put the main thread in the debugger, which with no terminal falls to a
;; toplevel that then waits for ever for Swank's threads to end; ECL's
;; default would also enter its debugger.
(defun end-on-signals ()
  (flet ((quit (&rest arguments)
           (declare (ignore arguments))
           (quit-at-once 0)))
    #+sbcl (dolist (signal (list sb-unix:sigint sb-unix:sigterm))
             (sb-sys:enable-interrupt signal #'quit))
    #+ecl (dolist (signal (list ext:+sigint+ ext:+sigterm+))
            (ext:set-signal-handler signal #'quit))))

(defun read-secret-file (file)
  "The first line of FILE, without its line end; an error when there is none."
  (let ((line (with-open-file (in #+sbcl (sb-ext:parse-native-namestring file)
                                  #-sbcl file)
                (read-line in nil nil))))
    (when (and line (plusp (length line)) (char= (char line (1- (length line))) #\Return))
      (setf line (subseq line 0 (1- (length line)))))
    (when (or (null line) (zerop (length line)))
      (error "the secret file ~A has no secret on its first line" file))
    line))

(defun read-octets (stream count deadline)
  "COUNT octets from STREAM, waiting for them until DEADLINE (internal real
time) at most: STREAM is only read from when LISTEN says a byte is there."
  (let ((octets (make-array count :element-type '(unsigned-byte 8))))
    (dotimes (i count octets)
      (loop until (listen stream)
            do (when (> (get-internal-real-time) deadline)
                 (error "no secret within ~D s" *secret-seconds*))
               (sleep 0.02))
      (setf (aref octets i)
            (or (read-byte stream nil nil) (error "the client closed the connection"))))))

(defun same-octets-p (a b)
  "A and B hold the same octets; takes as long whatever they share."
  (and (= (length a) (length b))
       (zerop (loop with difference = 0
                    for x across a and y across b
                    do (setf difference (logior difference (logxor x y)))
                    finally (return difference)))))

(defun check-secret (stream secret)
  "Returns when the client's first frame is SECRET; signals an error otherwise."
  (let* ((deadline (+ (get-internal-real-time)
                      (* *secret-seconds* internal-time-units-per-second)))
         (header (map 'string #'code-char (read-octets stream 6 deadline)))
         (length (and (every (lambda (c) (digit-char-p c 16)) header)
                      (parse-integer header :radix 16))))
    (unless (and length (<= length *longest-secret-frame*))
      (error "the first frame is not a secret"))
    (unless (same-octets-p (read-octets stream length deadline)
                           (swank/backend:string-to-utf8 secret))
      (error "the client does not know the secret"))))

(defun refuse (client control &rest arguments)
  (note "Swank refused a client: ~?" control arguments)
  (ignore-errors (close client :abort t)))

(defun serve-client (socket client style secret)
  (handler-case
      (progn
        (when secret
          (check-secret client secret))
        (swank::serve-requests (swank::make-connection socket client style)))
    (serious-condition (condition)
      (refuse client "~A" condition))))

(defun check-in-thread (socket client style secret)
  "Serves CLIENT from a thread of its own, once its secret is checked there,
when fewer than *MOST-PENDING-CHECKS* are being checked; closes it otherwise."
  (if (not (take-check-place))
      (refuse client "~D clients are already waiting for their secret to be checked"
              *most-pending-checks*)
      (push (swank/backend:spawn (lambda () (serve-client socket client style secret))
                                 :name "Swank client check")
            *checks*)))

(defvar *secret* nil
  "The secret read from the secret file; NIL: Swank's own rule.")

;; Swank's accept loop calls this for each connection, in its thread
;; "Swank PORT"; what the replaced one did, except for where and how the
;; secret is checked.
(defun accept-connections (socket style dont-close)
  (unwind-protect
       (let ((client nil))
         (handler-case
             (progn
               (setf client (handler-case (swank/backend:accept-connection
                                           socket :external-format nil :buffering t)
                              (serious-condition (condition)
                                (note "Swank could not accept a connection: ~A" condition)
                                (sleep 0.1)
                                nil)))
               (when client
                 (let ((secret (swank::slime-secret)))
                   (if (eq style :spawn)
                       (check-in-thread socket client style secret)
                       (serve-client socket client style secret)))))
           ;; Swank's loop calls this again for the next client.
           (serious-condition (condition)
             (when client
               (ignore-errors (close client :abort t)))
             (note "Swank's accept loop met an error and serves on: ~A" condition)
             (sleep 0.1))))
    (unless dont-close
      (swank::send-to-sentinel `(:stop-server :socket ,socket)))))

(defun serve (port &optional secret-file)
  (end-on-signals)
  (handler-case
      (progn
        (when secret-file
          (setf *secret* (read-secret-file secret-file))
          (setf (fdefinition 'swank::slime-secret) (lambda () *secret*)))
        (setf (fdefinition 'swank::accept-connections) #'accept-connections)
        (swank:create-server :port port :interface "127.0.0.1" :dont-close t))
    (error (condition)
      (format *error-output* "~&Swank cannot serve port ~D: ~A~%" port condition)
      (quit-at-once 1)))
  ;; Said once the port is ours: another program answering on it would
  ;; otherwise pass for this server.
  (format t "~&Swank serves 127.0.0.1:~D~%" port)
  (finish-output)
  ;; The main thread only waits (and takes the signals); Swank's own threads
  ;; serve. It wakes every moment: ECL runs a signal's handler in the main
  ;; thread only once its sleep returns, and a long sleep kept SIGINT
  ;; waiting now and then.
  (loop (sleep 0.2)))

#+sbcl
(defun serve-command-line ()
  ;; SBCL leaves in *posix-argv* only its name and what follows
  ;; --end-toplevel-options.
  (destructuring-bind (port &optional secret-file) (rest sb-ext:*posix-argv*)
    (serve (parse-integer port) secret-file)))
