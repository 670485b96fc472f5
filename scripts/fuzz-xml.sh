#!/bin/bash
# Mutation fuzzing of the XML engine under Wine.
#   fuzz-xml.sh [COUNT [SEED]]     (default 10000 cases, seed 1)
# Uses the build tree BUILD_DIR (default: build); crashing and hanging
# inputs are saved under the prefix's %TEMP%\xml-fuzz-failures, or under
# XML_FUZZ_OUT when set. XML_FUZZ_TIMEOUT_MS sets the per-case limit.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
count="${1:-10000}"
seed="${2:-1}"
args=(--cases "$count" --seed "$seed" --corpus "$root/xml/tests/corpus" --timeout-ms "${XML_FUZZ_TIMEOUT_MS:-5000}")
[ -n "${XML_FUZZ_OUT:-}" ] && args+=(--out "$XML_FUZZ_OUT")
exec "$build/wine-run.sh" "$build/bin/xml_fuzz.exe" "${args[@]}"
