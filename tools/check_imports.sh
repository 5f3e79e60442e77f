#!/usr/bin/env bash
# Every exe of a Windows build imports only system DLLs: no libstdc++,
# libgcc or libwinpthread beside it.
dir=$1
status=0
allowed='^(KERNEL32|USER32|GDI32|COMDLG32|msvcrt|ADVAPI32|SHELL32|ole32|VERSION|WS2_32|PSAPI)\.dll$'
for exe in "$dir"/*.exe "$dir"/tools/*.exe "$dir"/tests/*/*.exe; do
    [ -f "$exe" ] || continue
    for dll in $(objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p'); do
        if ! grep -qiE "$allowed" <<<"$dll"; then
            echo "$(basename "$exe") imports $dll"
            status=1
        fi
    done
done
[ $status -eq 0 ] && echo "imports of $(basename "$dir"): system DLLs only"
exit $status
