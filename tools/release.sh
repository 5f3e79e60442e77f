#!/usr/bin/env bash
# Builds the release packages from the current commit: for win64 and win32 a
# zip and an installer, put in build/release/ with their SHA-256 sums in
# SHA256SUMS. The sources are the commit's own (git archive) in fresh build
# folders, so nothing uncommitted or left over from earlier builds gets in.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLON_BUILD:-$root/build}
source "$root/tools/common.sh"

ensure_packages || exit 1
if [ -n "$(git -C "$root" status --porcelain)" ]; then
    echo "The working tree has uncommitted changes; a release is built from a commit."
    git -C "$root" status --short
    exit 1
fi

out=$build/release
rm -rf "$out"
mkdir -p "$out/src"
git -C "$root" archive HEAD | tar -x -C "$out/src"
echo "== release of commit $(git -C "$root" rev-parse --short HEAD)"
for arch in win64:x86_64 win32:i686; do
    dir=$out/${arch%%:*}
    echo "-- ${arch%%:*}"
    cmake -S "$out/src" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
          -DCMAKE_TOOLCHAIN_FILE="$out/src/cmake/mingw-${arch#*:}.cmake" >"$dir.log" 2>&1 &&
        ninja -C "$dir" packages >>"$dir.log" 2>&1 ||
        { tail -n 40 "$dir.log"; exit 1; }
    cp "$dir"/packages/* "$out/"
done
(cd "$out" && sha256sum -- *.zip *-setup.exe >SHA256SUMS && ls -l -- *.zip *-setup.exe SHA256SUMS)
