#!/bin/bash
# Parse-time benchmark of the XML engine under Wine: a generated 1 MB
# document and the typical response file of the fuzz corpus.
#   bench-xml.sh [RUNS]
# Uses the build tree BUILD_DIR (default: build).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
args=(--typical "$root/xml/tests/corpus/response-typical.xml")
[ -n "${1:-}" ] && args+=(--runs "$1")
exec "$build/wine-run.sh" "$build/bin/xml_bench.exe" "${args[@]}"
