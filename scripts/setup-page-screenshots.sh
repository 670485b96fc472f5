#!/bin/bash
# Renders the welcome, conflicting-product and disk-space pages in
# English, German, Japanese and Russian into PNG files under
# docs/screenshots/, inside a private Xvfb session with a compositor so
# that the drop shadow is blended (the same way as screenshots.sh).
#   setup-page-screenshots.sh [BUILD_DIR] [PAGES] [LANGUAGES]
#   (defaults: build, an x86_64 build; "welcome conflict diskspace";
#   "en de ja ru"; the page welcome-note shows the note for users who are
#   not administrators on Windows XP)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
out="$root/docs/screenshots"
mkdir -p "$out"
exe="$build/bin/wizard_setup_page_screenshot.exe"
[ -f "$exe" ] || { echo "build wizard_setup_page_screenshot first ($exe missing)" >&2; exit 1; }

export LARK_SHOT_BUILD="$build" LARK_SHOT_OUT="$out" LARK_SHOT_EXE="$exe"
export LARK_SHOT_PAGES="${2:-welcome conflict diskspace}" LARK_SHOT_LANGUAGES="${3:-en de ja ru}"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -euo pipefail
  source <(grep -E "^export " "$LARK_SHOT_BUILD/wine-run.sh" || true)
  "$LARK_SHOT_BUILD/wine-run.sh" cmd /c exit >/dev/null 2>&1 || true
  xcompmgr -n >/dev/null 2>&1 &
  compositor=$!
  work=$(mktemp -d)
  for lang in $LARK_SHOT_LANGUAGES; do
    for page in $LARK_SHOT_PAGES; do
      rect="$work/$page-$lang.rect"
      "$LARK_SHOT_BUILD/wine-run.sh" "$LARK_SHOT_EXE" "$page" "$lang" "Z:$rect" >/dev/null 2>&1 &
      pid=$!
      for i in $(seq 1 100); do [ -s "$rect" ] && break; sleep 0.1; done
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
