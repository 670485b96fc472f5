#!/bin/bash
# Every interactive end-to-end case of the built installer, driven through
# its wizard by lark_drive (testsupport/automation), with a screenshot of
# each step, and the wall-time figures of the interactive road against the
# silent one on the same package. CTest runs the same cases without the
# screenshots and figures.
#   e2e-interactive.sh [BUILD_DIR [OUT]]
#     BUILD_DIR: an x86_64 test build (default: build)
#     OUT: where the screenshots go as PNG files, one folder per case
#          (default: docs/screenshots/interactive)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
out="${2:-$root/docs/screenshots/interactive}"
# The test programs (in bin/) whose cases run with their screenshots.
tests="automation_interactive_road_test automation_interactive_operator_road_test"
for name in $tests; do
  [ -f "$build/bin/$name.exe" ] || { echo "build the tests first ($build/bin/$name.exe missing)" >&2; exit 1; }
done
mkdir -p "$out"
shots="$(mktemp -d)"
trap 'rm -rf "$shots"' EXIT

export LARK_E2E_BUILD="$build" LARK_E2E_ROOT="$root" LARK_E2E_SHOTS_UNIX="$shots" LARK_E2E_TESTS="$tests"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -uo pipefail
  arch=x86_64
  "$LARK_E2E_ROOT/scripts/wineprefix.sh" start "$LARK_E2E_BUILD/wineprefix" $arch "$LARK_E2E_BUILD" >/dev/null
  "$LARK_E2E_ROOT/testsupport/httpserver/server-ctl.sh" start "$LARK_E2E_BUILD/httpserver" >/dev/null
  # The screenshots blend the pages'"'"' shadows only with a compositor.
  xcompmgr -n >/dev/null 2>&1 &
  compositor=$!
  status=0
  for name in $LARK_E2E_TESTS; do
    LARK_E2E_FIGURES=1 LARK_E2E_SHOTS="Z:${LARK_E2E_SHOTS_UNIX//\//\\}" \
      "$LARK_E2E_BUILD/wine-run.sh" "$LARK_E2E_BUILD/bin/$name.exe" 2>&1 | tr -d "\r"
    [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  done
  kill $compositor 2>/dev/null
  "$LARK_E2E_ROOT/testsupport/httpserver/server-ctl.sh" stop "$LARK_E2E_BUILD/httpserver" >/dev/null
  "$LARK_E2E_ROOT/scripts/wineprefix.sh" stop "$LARK_E2E_BUILD/wineprefix" $arch >/dev/null
  exit $status
'
status=$?
for dir in "$shots"/*/; do
  [ -d "$dir" ] || continue
  case_name="$(basename "$dir")"
  rm -rf "${out:?}/$case_name"
  mkdir -p "$out/$case_name"
  for bmp in "$dir"*.bmp; do
    [ -f "$bmp" ] || continue
    /usr/bin/convert "$bmp" "$out/$case_name/$(basename "${bmp%.bmp}").png"
  done
done
echo "screenshots: $out"
exit $status
