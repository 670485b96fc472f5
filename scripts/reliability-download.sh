#!/bin/bash
# Reliability run of the download library under Wine: 200 downloads (or
# COUNT) with random cuts, resets, stalls, wrong lengths, server errors and
# replaced files, each finished file compared with the server's copy. The
# whole fault plan is drawn from SEED before the first download, so a seed
# names a run: the same seed gives the same plan (its digest is printed).
#   reliability-download.sh [COUNT] [SEED]
# Runs on the i686 product build where this machine can run it, else on an
# x86_64 build (see scripts/bench-common.sh; BUILD_DIR picks a tree), with
# a server state folder of its own. Stops the test server, and the
# wineserver when it started it, at the end, also after a failure.
set -euo pipefail
source "$(dirname "$0")/bench-common.sh"
root="$lark_root"
count="${1:-200}"; seed="${2:-$(date +%s)}"
lark_use_tree download_reliability
state="$build/httpserver-reliability"
lark_start_prefix
lark_at_exit '"$root/testsupport/httpserver/server-ctl.sh" stop "$state" >/dev/null'
"$root/testsupport/httpserver/server-ctl.sh" start "$state" >/dev/null
echo "seed $seed"
LARK_HTTP_STATE="$state" "$build/wine-run.sh" "$build/bin/download_reliability.exe" --count "$count" --seed "$seed"
