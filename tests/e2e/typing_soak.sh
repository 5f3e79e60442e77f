#!/usr/bin/env bash
# Real Lisp typed key by key: lines of files from Debian's cl-alexandria, each
# line's text without its indentation, Tab at each line start and Return at
# its end, every ")" flashing its "(". The editor's text must equal what the
# same keys give when replayed through the scanning rules on the host
# (typing_replay): no key lost or reordered, every Tab re-indenting alike.
# Short: the start of one file; QUILLON_SOAK=full: three files, over 10000 keys.
#   typing_soak.sh QUILLON_EXE PEEK_EXE TYPING_REPLAY
source "$(dirname "$0")/lib.sh"
REPLAY=$3
SOURCES=/usr/share/common-lisp/source/alexandria/alexandria-1
if [ ! -x "$REPLAY" ] || [ ! -d "$SOURCES" ]; then
    echo "FAIL: needs $REPLAY (the host build) and cl-alexandria ($SOURCES)"
    exit 1
fi

if [ "${QUILLON_SOAK:-}" = full ]; then
    files="sequences.lisp:12000 lists.lisp:6000 macros.lisp:6000"
else
    files="lists.lisp:800"
fi

keystrokes=0
for entry in $files; do
    file=${entry%%:*} most=${entry##*:}
    "$REPLAY" "$SOURCES/$file" "$most" "$WORK/keys" "$WORK/expected" >/dev/null || exit 1
    expected=$(cat "$WORK/expected"; echo .)
    expected=${expected%.}
    start=$SECONDS
    start_editor
    xdotool type --delay 8 --file "$WORK/keys"
    # Keys typed during a flash wait in the queue: read until the text
    # stops changing.
    last= same=0
    while [ $same -lt 6 ]; do
        sleep 0.5
        peek text
        if [ "$PEEKED" == "$expected" ]; then break; fi
        if [ "$PEEKED" == "$last" ]; then same=$((same + 1)); else same=0; fi
        last=$PEEKED
    done
    count=$(wc -c <"$WORK/keys")
    keystrokes=$((keystrokes + count))
    expect_eq "$file: $count keystrokes, ${#expected} characters, in $((SECONDS - start)) s" "$expected" "$PEEKED"
    [ "$PEEKED" == "$expected" ] || screenshot "e2e-typing-soak-$file"
    xdotool key alt+F4
    prompt=$(wait_window '^Quillon$' 5)
    [ -n "$prompt" ] && xdotool key n
    editor_exit_code >/dev/null  # the closing itself is e2e_typing's to check
done
echo "$keystrokes keystrokes typed in all"
finish
