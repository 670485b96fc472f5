#!/bin/bash
# Builds and runs the logging benchmark under the build tree's Wine prefix:
# the cost of a filtered-out log call, and lines per second written by one
# process and by two processes sharing one log file.
#   bench-logging.sh [lines per writer]
# Runs on the i686 product build where this machine can run it, else on an
# x86_64 build (see scripts/bench-common.sh; BUILD_DIR picks a tree). Stops
# the wineserver at the end when it started it, also after a failure.
set -euo pipefail
source "$(dirname "$0")/bench-common.sh"
lark_use_tree lark_logging_bench
lark_start_prefix
"$build/wine-run.sh" "$build/bin/lark_logging_bench.exe" "$@" </dev/null
