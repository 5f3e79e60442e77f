#!/usr/bin/env bash
# A person types Lisp into the editor: Tab re-indents, ")" flashes its "(",
# keys typed during a flash arrive in order, the keyboard cuts and pastes, the
# About box opens from the menu by keyboard, and closing ends the program.
source "$(dirname "$0")/lib.sh"
CR=$'\r\n'

start_editor

xdotool type --delay 40 '(defun double (x)'
xdotool key Return Tab
xdotool type --delay 40 '(* x 2))'
xdotool key Return
xdotool type --delay 40 '(list 1 2'
xdotool key Return Tab
xdotool type --delay 40 '3)'
typed="(defun double (x)${CR}  (* x 2))${CR}(list 1 2${CR}      3)"
peek_until text "$typed"
expect_eq "typed text, re-indented by Tab" "$typed" "$PEEKED"
peek_until sel "${#typed} ${#typed}"$'\n'
expect_eq "caret after the last ) once the flash is over" "${#typed} ${#typed}"$'\n' "$PEEKED"
screenshot e2e-typed

xdotool key shift+Home ctrl+x
cut="(defun double (x)${CR}  (* x 2))${CR}(list 1 2${CR}"
peek_until text "$cut"
expect_eq "Ctrl+X cuts the selected line" "$cut" "$PEEKED"
xdotool key ctrl+Home ctrl+v
peek_until text "      3)$cut"
expect_eq "Ctrl+V pastes at the caret" "      3)$cut" "$PEEKED"

# The File menu by keyboard: Up from the top wraps to its last item, About.
xdotool key alt+f
sleep 0.3
xdotool key Up Return
about=$(wait_window '^About Quillon$')
expect_eq "About box opened from the menu" "yes" "${about:+yes}"
screenshot e2e-about
xdotool key Return
wait_gone '^About Quillon$'
expect_eq "Enter closes the About box" "" "$(xdotool search --onlyvisible --name '^About Quillon$')"

# Closing a modified (untitled) document asks first; No lets the program end.
xdotool key alt+F4
prompt=$(wait_window '^Quillon$')
expect_eq "closing a modified document asks" "yes" "${prompt:+yes}"
peek box Quillon
expect_eq "the question" "Save current changes: " "$PEEKED"
screenshot e2e-question
xdotool key n
wait_editor_exit
expect_eq "exit code after closing" "0" "$EDITOR_EXIT"
finish
