#!/bin/bash
# Builds and runs the logging benchmark under the build tree's Wine prefix:
# the cost of a filtered-out log call, and lines per second written by one
# process and by two processes sharing one log file.
#   bench-logging.sh [lines per writer]
# The build directory is BUILD_DIR (default: build); it must be an x86_64
# build with tests enabled (the loader for 32-bit programs does not run on
# every machine).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
arch=x86_64
grep -q 'WINEARCH=win32' "$build/wine-run.sh" 2>/dev/null && arch=i686
cmake --build "$build" --target lark_logging_bench -- --no-print-directory >/dev/null
"$root/scripts/wineprefix.sh" start "$build/wineprefix" "$arch" >/dev/null
trap '"$root/scripts/wineprefix.sh" stop "$build/wineprefix" "$arch" >/dev/null' EXIT
"$build/wine-run.sh" "$build/bin/lark_logging_bench.exe" "$@" </dev/null
