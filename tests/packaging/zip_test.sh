#!/usr/bin/env bash
# zip_test.sh ZIP BUILD: the zip holds one folder named as the zip, and in it
# exactly the two programs, the README and the license; the programs are this build's, the text files have
# CRLF line ends and the README names the version.
set -u
zip=$1 build=$2
name=$(basename "$zip" .zip)
version=$(sed -E 's/^quillon-(.*)-win(32|64)$/\1/' <<<"$name")
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

programs=(quillon.exe kestralune.exe)
expected=$(printf '%s\n' "$name/" "$name/README.txt" "$name/LICENSE.txt" "${programs[@]/#/$name/}" | sort)
listed=$(cmake -E tar tf "$zip" | sort)
[ "$listed" == "$expected" ] || fail "the zip lists"$'\n'"$listed"$'\n'"instead of"$'\n'"$expected"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && cmake -E tar xf "$zip") || fail "the zip does not unpack"
for program in "${programs[@]}"; do
    cmp -s "$work/$name/$program" "$build/$program" || fail "$program is not the one in $build"
done
for text in README.txt LICENSE.txt; do
    lines=$(wc -l <"$work/$name/$text")
    crlf=$(grep -c $'\r$' "$work/$name/$text")
    [ "$lines" -gt 0 ] && [ "$lines" -eq "$crlf" ] || fail "$text: $crlf of $lines lines end in CRLF"
done
grep -q "^Quillon $version"$'\r$' "$work/$name/README.txt" || fail "README.txt does not begin with the version $version"

[ "$failures" -eq 0 ] && echo "ok: $name.zip" && exit 0
exit 1
