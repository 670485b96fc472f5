#!/bin/bash
# The demo's silent network installation, whole process, against the same
# work done by hand: curl fetches the agent package and the four
# customization packages from the same nginx, then msiexec installs the
# package with /qn in the same prefix. Rounds alternate between the two,
# each from a clean state (agent uninstalled, downloads removed).
#   scripts/bench-silent.sh [ROUNDS]   (default 5)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
rounds="${1:-5}"
arch="$("$root/scripts/test-arch.sh")"
build="$root/build-demo-$arch"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-$arch.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$(nproc)" --target larkstubinst lark_agent_fixtures -- --no-print-directory >/dev/null
if [ "$arch" = x86_64 ]; then loader=/usr/lib/wine/wine64; winearch=win64; else loader=/usr/lib/wine/wine; winearch=win32; fi
server="$build/bench-server"
prefix="$build/bench-prefix"
export WINEPREFIX="$prefix" WINEARCH=$winearch WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export no_proxy="127.0.0.1,localhost" NO_PROXY="127.0.0.1,localhost"
trap '"$root/scripts/demo-server.sh" stop "$server"; "$root/scripts/wineprefix.sh" stop "$prefix" "$arch" >/dev/null' EXIT
"$root/scripts/demo-server.sh" start "$server" "$build/testsupport/agent/out" 8731 good
rm -rf "$prefix"
"$root/scripts/wineprefix.sh" start "$prefix" "$arch" "$build" >/dev/null
package="$server/root/f/installer.msi"
winpkg="Z:${package//\//\\}"
hand="$prefix/drive_c/bench-downloads"
now() { date +%s.%N; }
reset() {
  "$loader" msiexec /x "$winpkg" /qn </dev/null >/dev/null 2>&1 || true
  "$loader" reg delete 'HKLM\SOFTWARE\K-Harbor' /f </dev/null >/dev/null 2>&1 || true
  rm -rf "$prefix/drive_c/ProgramData/K-Harbor/Lark/Downloads" "$hand" "$prefix/drive_c/Program Files/K-Harbor"
}
by_hand() {
  mkdir -p "$hand"
  for f in installer.msi langcust.zip localization.zip help.zip settings.zip; do
    curl -fsS --noproxy '*' -o "$hand/$f" "http://127.0.0.1:8731/f/$f"
  done
  "$loader" msiexec /i 'C:\bench-downloads\installer.msi' /qn 'TARGETDIR=C:\Program Files\K-Harbor\' \
    PARTNERID=4711 LANGUAGE=en LARKPRODNAME=K-Harbor REBOOT=REALLYSUPPRESS </dev/null >/dev/null 2>&1
}
stub_times=(); hand_times=()
echo "== $rounds rounds, $arch, nginx on 127.0.0.1:8731"
for ((r = 1; r <= rounds; ++r)); do
  reset
  t0=$(now); set +e; "$loader" "$build/bin/larkstubinst.exe" --silent </dev/null >/dev/null 2>&1; code=$?; set -e; t1=$(now)
  [ "$code" -eq 0 ] || { echo "larkstubinst.exe ended with $code" >&2; exit 1; }
  reset
  t2=$(now); by_hand; t3=$(now)
  s=$(echo "$t1 - $t0" | bc -l); h=$(echo "$t3 - $t2" | bc -l)
  stub_times+=("$s"); hand_times+=("$h")
  printf "   round %d: larkstubinst --silent %.2f s, curl + msiexec %.2f s\n" "$r" "$s" "$h"
done
reset
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
ms=$(median "${stub_times[@]}"); mh=$(median "${hand_times[@]}")
printf "== median: larkstubinst --silent %.2f s, by hand %.2f s, ratio %.2f\n" "$ms" "$mh" "$(echo "$ms / $mh" | bc -l)"
