#!/bin/bash
# Hostile stub configuration responses served to the real larkstubinst.exe
# in silent mode: truncated, deeply nested, huge, every encoding
# declaration, bad byte-order marks, garbage, broken markup, hostile values
# and a few complete ones (which then really install, and are uninstalled
# again). Every run must end, without a crash or hang, with a code of the
# installer's exit-code table (0-9, 11).
#   scripts/fuzz-stubconf.sh [COUNT [SEED [WORKERS]]]   default 2000 1 4
# Each worker has its own Wine prefix, its own loopback test server
# (testsupport/httpserver/lark_http_server.py) and its own copy of
# larkstubinst.exe whose operator settings point at that server. Results:
# build-demo-ARCH/fuzz/results.txt ("case kind code" per line).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
count="${1:-2000}"; seed="${2:-1}"; workers="${3:-4}"
arch="$("$root/scripts/test-arch.sh")"
build="$root/build-demo-$arch"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-$arch.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$(nproc)" --target larkstubinst lark_agent_fixtures lark_operator_build lark_run_report \
  -- --no-print-directory >/dev/null
if [ "$arch" = x86_64 ]; then loader=/usr/lib/wine/wine64; winearch=win64; else loader=/usr/lib/wine/wine; winearch=win32; fi
export WINEARCH=$winearch WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=,winedbg.exe=d"
export no_proxy="127.0.0.1,localhost" NO_PROXY="127.0.0.1,localhost"
fixtures="$build/testsupport/agent/out"
work="$build/fuzz"
winpath() { echo "Z:${1//\//\\}"; }
rm -rf "$work"; mkdir -p "$work"

worker() {
  local w="$1" dir="$work/w$1"
  mkdir -p "$dir/root"
  export WINEPREFIX="$dir/prefix"
  "$root/scripts/wineprefix.sh" start "$WINEPREFIX" "$arch" "$build" >/dev/null
  cp "$fixtures/agent-good.msi" "$dir/root/installer.msi"
  for f in langcust.zip localization.zip help.zip settings.zip license.txt privacypolicy.txt; do cp "$fixtures/$f" "$dir/root/"; done
  setsid python3 "$root/testsupport/httpserver/lark_http_server.py" --root "$dir/root" --port-file "$dir/port" \
    </dev/null >"$dir/server.log" 2>&1 &
  local server=$!
  for _ in $(seq 300); do [ -s "$dir/port" ] && break; sleep 0.1; done
  [ -s "$dir/port" ] || { echo "worker $w: test server did not start" >&2; return 1; }
  local port base exe
  port="$(cat "$dir/port")"; base="http://127.0.0.1:$port"
  exe="$dir/larkstubinst.exe"
  "$loader" "$build/bin/lark_operator_build.exe" "$(winpath "$build/bin/larkstubinst.exe")" "$(winpath "$exe")" \
    "StubConfigurationAddress=$base" </dev/null >/dev/null 2>&1
  local i kind out first=$((w * count / workers + 1)) last=$(((w + 1) * count / workers))
  for ((i = first; i <= last; ++i)); do
    if (( (i - first) % 25 == 0 )); then  # one generator call per 25 cases
      rm -rf "$dir/gen"
      python3 "$root/testsupport/agent/hostile_stubconf.py" "$seed" "$i" "$((i + 24 > last ? last : i + 24))" \
        "$base" "$dir/gen" >"$dir/gen.kinds"
    fi
    kind="$(grep "^$(printf %05d "$i") " "$dir/gen.kinds" | cut -d' ' -f2)"
    mv "$dir/gen/case-$(printf %05d "$i").xml" "$dir/root/stubconfiguration.xml"
    out="$("$loader" "$build/bin/lark_run_report.exe" 120 "$(winpath "$exe") --silent" </dev/null 2>/dev/null | tr -d '\r')"
    echo "$i $kind ${out:-none}" >>"$dir/results.txt"
    case "$out" in
      0|2)  # installed: remove the agent so the next case takes the download road again
        "$loader" msiexec /x "$(winpath "$dir/root/installer.msi")" /qn </dev/null >/dev/null 2>&1 || true
        "$loader" reg delete 'HKLM\SOFTWARE\K-Harbor\Lark Client' /f </dev/null >/dev/null 2>&1 || true ;;
      hang*|none)
        "$root/scripts/wineprefix.sh" stop "$WINEPREFIX" "$arch" >/dev/null
        "$root/scripts/wineprefix.sh" start "$WINEPREFIX" "$arch" "$build" >/dev/null ;;
    esac
  done
  kill "$server" 2>/dev/null || true
  "$root/scripts/wineprefix.sh" stop "$WINEPREFIX" "$arch" >/dev/null
}

start=$(date +%s)
echo "== $count hostile stub configuration responses (seed $seed, $workers workers, $arch)"
pids=()
for ((w = 0; w < workers; ++w)); do worker "$w" & pids+=($!); done
for p in "${pids[@]}"; do wait "$p"; done
cat "$work"/w*/results.txt | sort -n >"$work/results.txt"
elapsed=$(( $(date +%s) - start ))
total=$(wc -l <"$work/results.txt")
bad=$(awk '$3 !~ /^([0-9]|11)$/' "$work/results.txt" | wc -l)
echo "== runs: $total in ${elapsed} s; exit codes:"
awk '{print $3}' "$work/results.txt" | sort | uniq -c | sort -rn | sed 's/^/   /'
echo "== by kind (kind: code count ...):"
awk '{k[$2]=k[$2] " " $3} END {for (x in k) print x ":" k[x]}' "$work/results.txt" |
  while read -r kind codes; do echo "   $kind $(echo "$codes" | tr ' ' '\n' | sort | uniq -c | awk '{printf "%s:%s ", $2, $1}')"; done
if [ "$bad" -ne 0 ] || [ "$total" -ne "$count" ]; then
  echo "== FAILED: $bad runs outside the exit-code table (crash, hang or no code); see $work/results.txt"
  awk '$3 !~ /^([0-9]|11)$/' "$work/results.txt" | head -20
  exit 1
fi
echo "== all $total runs ended with a code of the exit-code table"
