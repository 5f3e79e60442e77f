#!/usr/bin/env bash
# A person compiles a file open in the editor through the listener: SBCL
# serving swank, the KESTRALUNE listener connected to it, the editor showing
# a .lsp file whose defun reads an undefined variable. Ctrl+K in the listener
# compiles the editor's text, the notes window lists the warning, and Enter
# on it brings the editor to the front with the note's source selected.
source "$(dirname "$0")/lib_listener.sh"
start_listener_on_sbcl
xdotool windowmove "$listener" 512 0 windowsize "$listener" 512 440

# A CR LF file; the form the warning names is on line 4.
text=$(printf '(in-package :cl-user)\r\n\r\n(defun ide-probe (x)\r\n  (+ x ide-undefined-var))\r\n')
printf '%s' "$text" >"$WORK/probe.lsp"
start_editor probe.lsp
xdotool windowmove "$WINDOW" 0 0 windowsize "$WINDOW" 500 700
peek_until text "$text"
expect_eq "the editor shows the file" "$text" "$PEEKED"

xdotool windowactivate --sync "$listener" key ctrl+k
notes=$(wait_window '^KESTRALUNE Notes - probe.lsp' 30)
expect_eq "the notes window opens for the file" "yes" "${notes:+yes}"
peek_holding transcript "; Compiled probe.lsp: 1 warning"
expect_eq "the transcript sums up the compilation" "yes" \
    "$([[ "$PEEKED" == *'; Compiled probe.lsp: 1 warning'* ]] && echo yes)"
[ -n "$notes" ] && xdotool windowmove "$notes" 512 460 windowsize "$notes" 512 240

# Enter on the note: the editor comes to the front with its source selected.
[ -n "$notes" ] && xdotool windowactivate --sync "$notes" key Return
selected=
for _ in $(seq 100); do
    peek sel
    read -r start end <<<"$PEEKED"
    if [ "$start" != "$end" ]; then
        peek text
        selected=${PEEKED:start:end-start}
        break
    fi
    sleep 0.1
done
expect_eq "Enter selects the note's source in the editor" "(+ x ide-undefined-var)" "$selected"
expect_eq "the selection starts at the form" "${text%%(+*}" "${PEEKED:0:start}"
peek_until front QuillonWClass
expect_eq "the editor comes to the front" "QuillonWClass" "$PEEKED"
screenshot e2e-ide-notes

xdotool windowactivate --sync "$WINDOW"
xdotool key alt+F4
wait_editor_exit
expect_eq "the editor ends" "0" "$EDITOR_EXIT"
finish
