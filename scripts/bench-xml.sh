#!/bin/bash
# Parse-time benchmark of the XML engine under Wine: a generated 1 MB
# document and the typical response file of the fuzz corpus.
#   bench-xml.sh [RUNS]
# Runs on the i686 product build where this machine can run it, else on an
# x86_64 build (see scripts/bench-common.sh; BUILD_DIR picks a tree). Stops
# the wineserver at the end when it started it, also after a failure.
set -euo pipefail
source "$(dirname "$0")/bench-common.sh"
lark_use_tree xml_bench
lark_start_prefix
args=(--typical "$lark_root/xml/tests/corpus/response-typical.xml")
[ -n "${1:-}" ] && args+=(--runs "$1")
"$build/wine-run.sh" "$build/bin/xml_bench.exe" "${args[@]}"
