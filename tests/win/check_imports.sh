#!/bin/sh
# Fails when a PE file imports, at load time, a DLL that is not one of
# Windows' known DLLs (which are always loaded from System32, whatever lies
# beside the program).
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
exit $status
