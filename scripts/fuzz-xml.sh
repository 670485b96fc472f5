#!/bin/bash
# Fuzzing of the XML engine under Wine, through files read by its file layer.
#   fuzz-xml.sh [COUNT [SEED [GENERATOR]]]   (default 10000 cases, seed 1, files)
# GENERATOR: "files" (documents in every declared encoding, with and without
# marks, zero bytes, up to several megabytes) or "mutations" (of the corpus).
# Runs on the i686 product build where this machine can run it, else on an
# x86_64 build (see scripts/bench-common.sh; BUILD_DIR picks a tree), and
# stops the wineserver at the end when it started it. Crashing and hanging
# inputs are saved under the prefix's %TEMP%\xml-fuzz-failures, or under
# XML_FUZZ_OUT when set. XML_FUZZ_TIMEOUT_MS sets the per-case limit
# (default 30 s for files, 5 s for mutations).
set -euo pipefail
source "$(dirname "$0")/bench-common.sh"
count="${1:-10000}"
seed="${2:-1}"
generator="${3:-files}"
lark_use_tree xml_fuzz
lark_start_prefix
# Files of several megabytes take seconds on a busy machine.
limit=5000; [ "$generator" = files ] && limit=30000
args=(--cases "$count" --seed "$seed" --generator "$generator" --corpus "$lark_root/xml/tests/corpus"
      --timeout-ms "${XML_FUZZ_TIMEOUT_MS:-$limit}")
[ -n "${XML_FUZZ_OUT:-}" ] && args+=(--out "$XML_FUZZ_OUT")
"$build/wine-run.sh" "$build/bin/xml_fuzz.exe" "${args[@]}"
