#!/bin/bash
# Renders the licence page (with its text, and offline with Retry) and the
# privacy page in English, German, Japanese and Russian into PNG files
# under docs/screenshots/, inside a private Xvfb session with a compositor
# so that the drop shadow is blended. The documents are the samples in
# wizard/tests/screenshot-documents (a local installation); the offline
# page fails to reach its stub configuration address at once.
#   content-screenshots.sh [BUILD_DIR]   (default: build, an x86_64 build)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
out="$root/docs/screenshots"
mkdir -p "$out"
exe="$build/bin/wizard_content_screenshot_page.exe"
[ -f "$exe" ] || { echo "build wizard_content_screenshot_page first ($exe missing)" >&2; exit 1; }

export LARK_SHOT_BUILD="$build" LARK_SHOT_OUT="$out" LARK_SHOT_EXE="$exe"
export LARK_SHOT_DOCS="$root/wizard/tests/screenshot-documents"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -euo pipefail
  source <(grep -E "^export " "$LARK_SHOT_BUILD/wine-run.sh" || true)
  "$LARK_SHOT_BUILD/wine-run.sh" cmd /c exit >/dev/null 2>&1 || true
  xcompmgr -n >/dev/null 2>&1 &
  compositor=$!
  work=$(mktemp -d)
  for lang in en de ja ru; do
    for page in eula eula-offline privacy; do
      rect="$work/$page-$lang.rect"
      "$LARK_SHOT_BUILD/wine-run.sh" "$LARK_SHOT_EXE" "$page" "$lang" "Z:$rect" "Z:$LARK_SHOT_DOCS" >/dev/null 2>&1 &
      pid=$!
      for i in $(seq 1 200); do [ -s "$rect" ] && break; sleep 0.1; done
      sleep 0.3
      read -r x y w h < <(tr -d "\r" < "$rect")
      # The page with its 12-pixel shadow and a margin.
      import -window root -crop "$((w + 40))x$((h + 40))+$((x - 20))+$((y - 20))" +repage "$LARK_SHOT_OUT/$page-$lang.png"
      touch "$rect.done"
      wait $pid || true
      echo "$LARK_SHOT_OUT/$page-$lang.png"
    done
  done
  kill $compositor 2>/dev/null || true
  rm -rf "$work"
'
