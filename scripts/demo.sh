#!/bin/bash
# Set-up, build, and one run of the installer's main job under Wine in a
# fresh prefix: the README's first command. Prints the exit code and the log
# that the run wrote.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
arch="$("$root/scripts/test-arch.sh")"
build="$root/build-demo-$arch"
BUILD_DIR="$build" "$root/scripts/build.sh" "$arch" -DLARK_BUILD_TESTS=OFF
prefix="$build/demo-prefix"
rm -rf "$prefix"
"$root/scripts/wineprefix.sh" start "$prefix" "$arch" >/dev/null
if [ "$arch" = x86_64 ]; then loader=/usr/lib/wine/wine64; winearch=win64; else loader=/usr/lib/wine/wine; winearch=win32; fi
echo "== running larkstubinst.exe ($arch) under Wine"
set +e
WINEPREFIX="$prefix" WINEARCH=$winearch WINEDEBUG=-all xvfb-run -a -s "-screen 0 1024x768x24" \
  "$loader" "$build/bin/larkstubinst.exe" "$@"
code=$?
set -e
echo "== exit code: $code"
logdir="$prefix/drive_c/ProgramData/K-Harbor/Logs/Lark"
[ -d "$logdir" ] || logdir="$prefix/drive_c/ProgramData/K-Harbor/logs/Lark"
for f in "$logdir"/*.log; do
  [ -f "$f" ] || continue
  echo "== log: ${f#$prefix/}"
  iconv -f UTF-16 -t UTF-8 "$f" | tr -d '\r'
done
"$root/scripts/wineprefix.sh" stop "$prefix" "$arch" >/dev/null
