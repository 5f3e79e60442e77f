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

# Edit, Eval Selection (the menu's last item) on the selected form. The End
# typed after it reaches the editor only once the command has returned, and
# only when no notice came up to take it: the caret it moves shows both.
xdotool key ctrl+Home shift+End
xdotool key alt+e
sleep 0.3
xdotool key Up Return End
peek_until sel "${#text} ${#text}"$'\n'
expect_eq "the command returned, no notice took the next key" "${#text} ${#text}"$'\n' "$PEEKED"
expect_eq "no notice after a good evaluation" "" "$(xdotool search --onlyvisible --name '^KESTRALUNE$')"
expect_eq "the server received the selection and its NUL" \
    "$(printf 'C KESTRALUNE\nX %d\n%s\\0\nD\n' $((${#text} + 1)) "$text")" \
    "$(sed 's/\x0/\\0/g' "$WORK/eval.log" 2>/dev/null)"

# File, New clears the saved document without a question; File, Open brings it back.
xdotool key alt+f n
peek_until title "Quillon - (untitled)"
expect_eq "New makes the document untitled" "Quillon - (untitled)" "$PEEKED"
peek text
expect_eq "New empties the editor" "" "$PEEKED"
xdotool key alt+f o
dialog=$(wait_window '^Open$')
expect_eq "Open dialog shown" "yes" "${dialog:+yes}"
xdotool type --delay 30 'sq.lsp'
xdotool key Return
wait_window '^Quillon - sq.lsp$' >/dev/null
peek text
expect_eq "Open loads the file" "$text" "$PEEKED"
screenshot e2e-files

# Going into another folder in the Open or the Save As dialog and cancelling
# there leaves the document where it is: Save writes sq.lsp here.
mkdir "$WORK/sub"
for key in o a; do
    xdotool key alt+f $key
    dialog=$(wait_window '^(Open|Save As)$')
    expect_eq "dialog shown (alt+f $key)" "yes" "${dialog:+yes}"
    xdotool type --delay 30 'sub'
    xdotool key Return Escape
    wait_gone '^(Open|Save As)$'
done
xdotool key ctrl+End
xdotool type --delay 30 ' ;'
xdotool key alt+f s
for _ in $(seq 100); do [ "$(cat "$WORK/sq.lsp")" == "$text ;" ] && break; sleep 0.1; done
expect_eq "Save after cancelled dialogs writes the opened file" "$text ;" "$(cat "$WORK/sq.lsp")"
expect_eq "nothing written in the folder browsed" "" "$(ls -A "$WORK/sub")"

# Nothing changed since the save: closing asks nothing.
xdotool key alt+F4
wait_editor_exit
expect_eq "exit code after closing a saved document" "0" "$EDITOR_EXIT"
finish
