#!/usr/bin/env bash
# A person evaluates from the editor in a real Lisp: SBCL serving swank, the
# KESTRALUNE listener connected to it and the editor side by side; a defun
# and a call are typed in the editor, selected and evaluated through the
# Edit menu, and the listener shows the value; an error opens the
# debugger window, and Esc there leaves it.
source "$(dirname "$0")/lib_listener.sh"
start_listener_on_sbcl
xdotool windowmove "$listener" 512 0 windowsize "$listener" 512 700

start_editor
xdotool windowmove "$WINDOW" 0 0 windowsize "$WINDOW" 500 700
xdotool type --delay 30 '(defun sq (x)'
xdotool key Return Tab
xdotool type --delay 30 '(* x x))'
xdotool key Return
xdotool type --delay 30 '(format t "squared: ~a~%" (sq 12))'
peek_until text "$(printf '(defun sq (x)\r\n  (* x x))\r\n(format t "squared: ~a~%%" (sq 12))')"
expect_eq "typed with Tab re-indenting" \
    "$(printf '(defun sq (x)\r\n  (* x x))\r\n(format t "squared: ~a~%%" (sq 12))')" "$PEEKED"

# Select everything, then Edit, Eval Selection (the menu's last item).
xdotool key ctrl+Home ctrl+shift+End
xdotool key alt+e
sleep 0.3
xdotool key Up Return
shown="CL-USER> (defun sq (x)
  (* x x))
(format t \"squared: ~a~%\" (sq 12))
=> SQ
squared: 144
=> NIL
"
expected=$(printf '%s' "$shown" | sed 's/$/\r/')
peek_holding transcript "$expected"
expect_eq "the listener shows the output and values" "yes" "$([[ "$PEEKED" == *"$expected"* ]] && echo yes)"
expect_eq "no notice after the evaluation" "" "$(xdotool search --onlyvisible --name '^KESTRALUNE$')"
screenshot e2e-listener

# An error in the Lisp is reported in the listener and the next evaluation works.
xdotool key End Return
xdotool type --delay 30 '(sq "twelve")'
xdotool key shift+Home alt+e
sleep 0.3
xdotool key Up Return
# Looked for again until found: a search meeting a window that goes away
# (a menu's) ends with an X error.
debugger=
for _ in $(seq 300); do
    debugger=$(xdotool search --onlyvisible --name '^KESTRALUNE Debugger' 2>/dev/null | head -n 1)
    [ -n "$debugger" ] && break
    sleep 0.1
done
expect_eq "the error opens the debugger window" "yes" "${debugger:+yes}"
peek_holding transcript "[Condition of type TYPE-ERROR]"
expect_eq "the transcript keeps the error's first line and type" "yes" \
    "$([[ "$PEEKED" == *'; Debugger, level 1: The value'*'[Condition of type TYPE-ERROR]'* ]] && echo yes)"
screenshot e2e-listener-debugger
xdotool windowactivate --sync "$debugger" key Escape
wait_gone '^KESTRALUNE Debugger'
peek_holding transcript "; Evaluation aborted"
expect_eq "Esc in the debugger aborts the evaluation" "yes" \
    "$([[ "$PEEKED" == *'; Restart '*'[*ABORT]'*'; Evaluation aborted'* ]] && echo yes)"
screenshot e2e-listener-error
xdotool windowactivate --sync "$WINDOW"

xdotool key alt+F4
wait_window '^Quillon$' >/dev/null
xdotool key n
wait_editor_exit
expect_eq "the editor ends" "0" "$EDITOR_EXIT"
finish
