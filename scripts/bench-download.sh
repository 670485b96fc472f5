#!/bin/bash
# Throughput of the download library against curl: one file (200 MiB, or
# SIZE_MIB) from the loopback test server, fetched through the library, then
# by curl, then by plain WinINet with 32 KiB and 1 MiB reads, in one run.
# Prints each figure and the library/curl ratio.
#   bench-download.sh [SIZE_MIB]
# Runs on the i686 product build where this machine can run it, else on an
# x86_64 build (see scripts/bench-common.sh; BUILD_DIR picks a tree). Stops
# the test server, and the wineserver when it started it, at the end, also
# after a failure. Run it on an otherwise idle machine.
set -euo pipefail
source "$(dirname "$0")/bench-common.sh"
root="$lark_root"
size="${1:-200}"
lark_use_tree download_bench
state="$build/httpserver-bench"
lark_start_prefix
lark_at_exit '"$root/testsupport/httpserver/server-ctl.sh" stop "$state" >/dev/null'
"$root/testsupport/httpserver/server-ctl.sh" start "$state" >/dev/null
out="$(mktemp -d)"
lark_at_exit 'rm -rf "$out"'
head -c "$((size * 1048576))" /dev/urandom >"$state/root/bench.bin"
url="http://127.0.0.1:$(cat "$state/port")/f/bench.bin"
win_out="Z:$(echo "$out" | tr / '\\')"
run() { LARK_HTTP_STATE="$state" "$build/wine-run.sh" "$build/bin/download_bench.exe" "$@"; }
calc() { awk "BEGIN {printf \"$1\", $2}"; }

lib="$(run lib "$url" "$win_out\\lib.bin")"
echo "$lib"
cmp -s "$out/lib.bin" "$state/root/bench.bin" || { echo "library copy differs from the source" >&2; exit 1; }
rm -f "$out/lib.bin"
t0=$(date +%s.%N)
curl -s --noproxy '*' -o "$out/curl.bin" "$url"
t1=$(date +%s.%N)
curl_s=$(calc '%.6f' "$t1 - $t0")
printf 'curl %d bytes %.3f s %s MiB/s\n' "$(stat -c %s "$out/curl.bin")" "$curl_s" "$(calc '%.1f' "$size / $curl_s")"
rm -f "$out/curl.bin"
run lib-sparse "$url" "$win_out\\lib.bin"
rm -f "$out/lib.bin"
run raw "$url" "$win_out\\raw.bin" 32768
rm -f "$out/raw.bin"
run raw "$url" "$win_out\\raw.bin" 1048576
rm -f "$out/raw.bin"
run store 200
lib_s="$(echo "$lib" | awk '{print $4}')"
printf 'ratio library/curl throughput: %s\n' "$(calc '%.2f' "$curl_s / $lib_s")"
