#!/usr/bin/env bash
# Every exe of a Windows build imports only system DLLs: no libstdc++,
# libgcc or libwinpthread beside it. A build folder without quillon.exe
# fails: there would be nothing to check.
dir=$1
status=0 checked=0
allowed='^(KERNEL32|USER32|GDI32|COMDLG32|msvcrt|ADVAPI32|SHELL32|ole32|VERSION|WS2_32|PSAPI)\.dll$'
if [ ! -f "$dir/quillon.exe" ]; then
    echo "FAIL: no quillon.exe in $dir"
    status=1
fi
for exe in "$dir"/*.exe "$dir"/tools/*.exe "$dir"/tests/*/*.exe; do
    [ -f "$exe" ] || continue
    checked=$((checked + 1))
    for dll in $(objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p'); do
        if ! grep -qiE "$allowed" <<<"$dll"; then
            echo "$(basename "$exe") imports $dll"
            status=1
        fi
    done
done
[ $status -eq 0 ] && echo "imports of $(basename "$dir"): system DLLs only ($checked exes)"
exit $status
