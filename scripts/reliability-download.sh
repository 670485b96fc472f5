#!/bin/bash
# Reliability run of the download library under Wine: 200 downloads (or
# COUNT) with random cuts, resets, stalls, wrong lengths, server errors and
# replaced files, each finished file compared with the server's copy.
#   reliability-download.sh [COUNT] [SEED]
# Uses the build tree BUILD_DIR (default: build), its Wine prefix and a
# server state folder of its own. Not while CTest runs in the same tree: its
# clean-up ends the prefix's wineserver.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
count="${1:-200}"; seed="${2:-$(date +%s)}"
arch="$(grep -q 'x86_64-w64-mingw32' "$build/CMakeCache.txt" 2>/dev/null && echo x86_64 || "$root/scripts/test-arch.sh")"
state="$build/httpserver-reliability"
"$root/scripts/wineprefix.sh" start "$build/wineprefix" "$arch" >/dev/null
"$root/testsupport/httpserver/server-ctl.sh" start "$state" >/dev/null
trap '"$root/testsupport/httpserver/server-ctl.sh" stop "$state" >/dev/null' EXIT
echo "seed $seed"
LARK_HTTP_STATE="$state" "$build/wine-run.sh" "$build/bin/download_reliability.exe" --count "$count" --seed "$seed"
