#!/bin/bash
# Throughput of the download library against curl: one file (200 MiB, or
# SIZE_MIB) from the loopback test server, fetched through the library, then
# by curl, then by plain WinINet with 32 KiB and 1 MiB reads, in one run.
# Prints each figure and the library/curl ratio.
#   bench-download.sh [SIZE_MIB]
# Uses the build tree BUILD_DIR (default: build) and its Wine prefix; run it
# on an otherwise idle machine.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
size="${1:-200}"
arch="$(grep -q 'x86_64-w64-mingw32' "$build/CMakeCache.txt" 2>/dev/null && echo x86_64 || "$root/scripts/test-arch.sh")"
state="$build/httpserver-bench"
"$root/scripts/wineprefix.sh" start "$build/wineprefix" "$arch" >/dev/null
"$root/testsupport/httpserver/server-ctl.sh" start "$state" >/dev/null
out="$(mktemp -d)"
trap '"$root/testsupport/httpserver/server-ctl.sh" stop "$state" >/dev/null; rm -rf "$out"' EXIT
head -c "$((size * 1048576))" /dev/urandom >"$state/root/bench.bin"
url="http://127.0.0.1:$(cat "$state/port")/f/bench.bin"
win_out="Z:$(echo "$out" | tr / '\\')"
run() { LARK_HTTP_STATE="$state" "$build/wine-run.sh" "$build/bin/download_bench.exe" "$@"; }

lib="$(run lib "$url" "$win_out\\lib.bin")"
echo "$lib"
cmp -s "$out/lib.bin" "$state/root/bench.bin" || { echo "library copy differs from the source" >&2; exit 1; }
rm -f "$out/lib.bin"
t0=$(date +%s.%N)
curl -s --noproxy '*' -o "$out/curl.bin" "$url"
t1=$(date +%s.%N)
curl_s=$(echo "$t1 - $t0" | bc -l)
printf 'curl %d bytes %.3f s %.1f MiB/s\n' "$(stat -c %s "$out/curl.bin")" "$curl_s" "$(echo "$size / $curl_s" | bc -l)"
rm -f "$out/curl.bin"
run lib-sparse "$url" "$win_out\\lib.bin"
rm -f "$out/lib.bin"
run raw "$url" "$win_out\\raw.bin" 32768
rm -f "$out/raw.bin"
run raw "$url" "$win_out\\raw.bin" 1048576
rm -f "$out/raw.bin"
run store 200
lib_s="$(echo "$lib" | awk '{print $4}')"
printf 'ratio library/curl throughput: %.2f\n' "$(echo "$curl_s / $lib_s" | bc -l)"
