#!/bin/sh
# Fails when a PE file imports, at load time, a DLL that is not one of
# Windows' known DLLs (which are always loaded from System32, whatever lies
# beside the program), or a function that Windows 8.1 and Windows 10 before
# version 1703 lack: there the program would not start at all, and could not
# say which Windows it needs.
set -eu
exe=$1
known="advapi32.dll clbcatq.dll combase.dll comdlg32.dll coml2.dll gdi32.dll gdiplus.dll imagehlp.dll \
imm32.dll kernel32.dll msctf.dll msvcrt.dll normaliz.dll nsi.dll ole32.dll oleaut32.dll psapi.dll \
rpcrt4.dll sechost.dll setupapi.dll shcore.dll shell32.dll shlwapi.dll user32.dll wldap32.dll ws2_32.dll"
imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
[ -n "$imports" ] || { echo "no imports found in $exe"; exit 1; }
status=0
for dll in $imports; do
    case " $known " in
        *" $dll "*) echo "ok: $dll" ;;
        *) echo "NOT A KNOWN DLL: $dll"; status=1 ;;
    esac
done
newer="SetProcessDpiAwarenessContext GetDpiForWindow GetDpiForSystem GetSystemMetricsForDpi
AdjustWindowRectExForDpi SystemParametersInfoForDpi EnableNonClientDpiScaling SetThreadDpiAwarenessContext
GetThreadDpiAwarenessContext GetWindowDpiAwarenessContext GetAwarenessFromDpiAwarenessContext
GetDpiFromDpiAwarenessContext AreDpiAwarenessContextsEqual IsValidDpiAwarenessContext GetDpiForMonitor"
functions=$(x86_64-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/{n=1; next} n && NF==3 && $1 ~ /^[0-9a-f]+$/{print $3}')
[ -n "$functions" ] || { echo "no imported functions found in $exe"; exit 1; }
for f in $newer; do
    if echo "$functions" | grep -qx "$f"; then echo "IMPORTS A FUNCTION WINDOWS 8.1 LACKS: $f"; status=1; fi
done
exit $status
