#!/usr/bin/env bash
# A person saves, evaluates, clears and reopens a document through the menus
# and the system file dialogs, with the stand-in KESTRALUNE server running.
source "$(dirname "$0")/lib.sh"
SERVER_EXE=$(dirname "$QUILLON_EXE")/tools/ddestub.exe
text='(defun sq (x) (* x x))'

"$WINE64" "$SERVER_EXE" "Z:${WORK//\//\\}\\eval.log" >/dev/null 2>&1 &
SERVER_PID=$!
trap 'kill $SERVER_PID 2>/dev/null; cleanup' EXIT

start_editor
xdotool type --delay 30 "$text"
sleep 0.5

# File, Save As..., a name typed into the dialog.
xdotool key alt+f a
dialog=$(wait_window '^Save As$')
expect_eq "Save As dialog shown" "yes" "${dialog:+yes}"
xdotool type --delay 30 'sq.lsp'
xdotool key Return
wait_window '^Quillon - sq.lsp$' >/dev/null
peek title
expect_eq "title after Save As" "Quillon - sq.lsp" "$PEEKED"
expect_eq "file written byte for byte" "$text" "$(cat "$WORK/sq.lsp" 2>/dev/null)"

# Edit, Eval Selection (the menu's last item) on the selected form.
xdotool key ctrl+Home shift+End
xdotool key alt+e
sleep 0.3
xdotool key Up Return
sleep 1
expect_eq "the server received the selection and its NUL" \
    "$(printf 'C KESTRALUNE\nX %d\n%s\\0\nD\n' $((${#text} + 1)) "$text")" \
    "$(sed 's/\x0/\\0/g' "$WORK/eval.log" 2>/dev/null)"
expect_eq "no notice after a good evaluation" "" "$(xdotool search --onlyvisible --name '^KESTRALUNE$')"

# File, New clears the saved document without a question; File, Open brings it back.
xdotool key alt+f n
sleep 0.5
peek text
expect_eq "New empties the editor" "" "$PEEKED"
peek title
expect_eq "New makes the document untitled" "Quillon - (untitled)" "$PEEKED"
xdotool key alt+f o
dialog=$(wait_window '^Open$')
expect_eq "Open dialog shown" "yes" "${dialog:+yes}"
xdotool type --delay 30 'sq.lsp'
xdotool key Return
wait_window '^Quillon - sq.lsp$' >/dev/null
peek text
expect_eq "Open loads the file" "$text" "$PEEKED"
screenshot e2e-files

# Nothing changed since the load: closing asks nothing.
xdotool key alt+F4
expect_eq "exit code after closing a clean document" "0" "$(editor_exit_code)"
finish
