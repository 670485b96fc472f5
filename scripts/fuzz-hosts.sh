#!/bin/bash
# Runs the hosts-file fuzzer (random hosts files through check and repair)
# under the build tree's Wine prefix.
#   fuzz-hosts.sh [CASES] [SEED]     defaults: 10000 cases, seed from the clock
# The build directory is BUILD_DIR (default: build); build it first with
# scripts/build.sh x86_64.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
cases="${1:-10000}"
seed="${2:-$(date +%s)}"
exe="$build/bin/hosts_fuzz.exe"
[ -x "$build/wine-run.sh" ] && [ -f "$exe" ] || { echo "build $build first (hosts_fuzz)" >&2; exit 2; }

# Create the prefix if this build tree has none yet; an existing one is used
# as it is (its wineserver, if running, is left alone).
prefix="$(sed -n 's/^export WINEPREFIX="\([^"]*\)".*/\1/p' "$build/wine-run.sh")"
started=0
if [ ! -f "$prefix/.lark-ready" ]; then
  arch="$(grep -q wine64 "$build/wine-run.sh" && echo x86_64 || echo i686)"
  "$root/scripts/wineprefix.sh" start "$prefix" "$arch" "$build" >/dev/null
  started=1
fi
status=0
"$build/wine-run.sh" "$exe" --cases "$cases" --seed "$seed" || status=$?
if [ "$started" = 1 ]; then
  "$root/scripts/wineprefix.sh" stop "$prefix" "$arch" >/dev/null
fi
exit "$status"
