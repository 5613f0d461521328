#!/bin/sh
# The install folder holds 32-bit GUI programs that need no mingw run-time DLL.
dir=$1
status=0
for exe in Tidepool.exe tools/engine_simulator.exe; do
    path="$dir/$exe"
    if [ ! -f "$path" ]; then echo "missing: $path"; status=1; continue; fi
    kind=$(file -b "$path")
    case "$kind" in
        "PE32 executable (GUI) Intel 80386"*) echo "$exe: $kind" ;;
        *) echo "$exe is not a 32-bit GUI program: $kind"; status=1 ;;
    esac
    dlls=$(i686-w64-mingw32-objdump -p "$path" | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z')
    for dll in $dlls; do
        case "$dll" in
            libgcc*|libstdc++*|libwinpthread*) echo "$exe needs the mingw run-time $dll"; status=1 ;;
        esac
    done
done
exit $status
