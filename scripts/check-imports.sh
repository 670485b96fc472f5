#!/bin/bash
# Lists each Windows executable's static imports and fails when one is
# outside the libraries that Windows always takes from its own folder.
# Windows looks for every other library beside the program first, where a
# planted file of that name would be loaded (and run with the elevated
# copy's rights); the installer binds those from the system folder at run
# time instead. The set also keeps out MinGW's runtime DLLs, so each
# deliverable ships as one file. comctl32 is bound through the manifest's
# side-by-side dependency.
set -euo pipefail
KNOWN="kernel32 user32 gdi32 advapi32 shell32 ole32 oleaut32 msvcrt comdlg32 shlwapi comctl32"
status=0
for exe in "$@"; do
  dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sed 's/\.dll$//')
  for d in $dlls; do
    case " $KNOWN " in
      *" $d "*) ;;
      *) echo "$exe imports $d.dll statically, which Windows may take from beside the program"; status=1 ;;
    esac
  done
  echo "$(basename "$exe"): imports $(echo $dlls | tr ' ' ',')"
done
exit $status
