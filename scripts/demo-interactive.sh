#!/bin/bash
# The interactive part of scripts/demo.sh --interactive: runs larkstubinst.exe
# through its wizard with lark_drive (testsupport/automation) as the person
# in front of it, inside demo.sh's X server, prefix and operator service.
#   demo-interactive.sh BUILD LOADER [larkstubinst options]
# On a machine without the agent it walks welcome (German, then English),
# licence (accept) and the installation page to the end, with a screenshot
# of each step in docs/screenshots/demo-interactive; with the agent already
# installed there is no page to drive and it only waits for the exit code.
# Exits with the installer's exit code (255 when the drive itself failed).
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$1"; loader="$2"; shift 2
cmake --build "$build" --target lark_drive -- --no-print-directory 2>&1 |
  grep -vE '^\[ *[0-9]+%\] (Building|Linking|Built)|^Scanning' || true
out="$root/docs/screenshots/demo-interactive"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
if "$loader" reg query 'HKLM\SOFTWARE\K-Harbor\Lark Client' /v InstallPath >/dev/null 2>&1; then
  printf 'exit 0 120\n' >"$work/steps.txt"
else
  cat >"$work/steps.txt" <<'STEPS'
page welcome
shot 01-welcome
select 1002 Deutsch
shot 02-welcome-german
select 1002 English
shot 03-welcome-english
click 1021
page licence
wait-enabled 1000
shot 04-licence
click 1000
page install
shot 05-install
progress 06-install
exit 0 120
STEPS
fi
"$loader" "$build/bin/lark_drive.exe" "Z:${work//\//\\}\\steps.txt" "Z:${work//\//\\}\\shots" -- \
  "$build/bin/larkstubinst.exe" "$@" | tr -d '\r' | tee "$work/drive.txt" | sed 's/^/   /'
drive=${PIPESTATUS[0]}
if ls "$work"/shots/*.bmp >/dev/null 2>&1; then
  rm -rf "$out"
  mkdir -p "$out"
  for bmp in "$work"/shots/*.bmp; do /usr/bin/convert "$bmp" "$out/$(basename "${bmp%.bmp}").png"; done
  echo "-- screenshots: ${out#$root/}/"
  ls "$out" | sed 's/^/   /'
fi
click=$(sed -n 's/.*step [0-9]* (\([0-9.]*\) s): click 1021.*/\1/p' "$work/drive.txt")
done_at=$(sed -n 's/.*done after \([0-9.]*\) s.*/\1/p' "$work/drive.txt")
[ -n "$click" ] && [ -n "$done_at" ] &&
  echo "-- welcome page's Install to exit: $(echo "$done_at - $click" | bc) s"
code=$(sed -n 's/.*  exit code \([0-9]*\).*/\1/p' "$work/drive.txt" | tail -1)
[ "$drive" = 0 ] || echo "-- lark_drive failed (its exit code $drive)"
exit "${code:-255}"
