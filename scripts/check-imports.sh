#!/bin/bash
# Fails when a Windows executable imports a DLL that is not part of Windows
# (for example a MinGW runtime DLL), so each deliverable ships as one file.
set -euo pipefail
ALLOWED="kernel32 user32 gdi32 advapi32 shell32 msvcrt wininet msi wintrust crypt32 wtsapi32 msimg32 comctl32 ole32 oleaut32 shlwapi version comdlg32 userenv"
status=0
for exe in "$@"; do
  dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sed 's/\.dll$//')
  for d in $dlls; do
    case " $ALLOWED " in *" $d "*) ;; *) echo "$exe imports $d.dll, which is not a system DLL"; status=1 ;; esac
  done
  echo "$(basename "$exe"): imports $(echo $dlls | tr ' ' ',')"
done
exit $status
