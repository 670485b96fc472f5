# The screenshot scripts' common part (screenshots.sh,
# setup-page-screenshots.sh, content-screenshots.sh): each page program of
# wizard/tests shows one page in one language and writes the page's window
# rectangle; this grabs the page with its shadow from a private Xvfb
# session with a compositor (so that the shadow is blended) into
# docs/screenshots/PAGE-LANGUAGE.png. Sourced, not run.

# lark_screenshots BUILD_DIR PROGRAM "PAGES" "LANGUAGES" [ARG...]
#   runs BUILD_DIR/bin/PROGRAM.exe PAGE LANGUAGE RECTFILE ARG... for every
#   language and page and prints the name of each PNG file it writes.
lark_screenshots() {
  local build="$1" program="$2"
  local exe="$build/bin/$program.exe"
  [ -f "$exe" ] || { echo "build $program first ($exe missing)" >&2; return 1; }
  shift 2
  xvfb-run -a -s "-screen 0 1024x768x24" bash -c 'source "$0"; lark_screenshot_session "$@"' \
    "${BASH_SOURCE[0]}" "$exe" "$build" "$@"
}

# Inside the X session, a shell of its own:
#   lark_screenshot_session EXE BUILD_DIR "PAGES" "LANGUAGES" [ARG...]
lark_screenshot_session() {
  set -euo pipefail
  local exe="$1" build="$2" pages="$3" languages="$4"
  shift 4
  local out page lang rect pid x y w h i
  lark_shot_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
  lark_shot_prefix="$build/wineprefix"
  out="$lark_shot_root/docs/screenshots"
  mkdir -p "$out"
  source <(grep -E "^export " "$build/wine-run.sh" || true)
  lark_shot_arch=x86_64
  [ "${WINEARCH:-}" = win64 ] || lark_shot_arch=i686
  # The build tree's prefix as the tests have it (with the CJK font links).
  "$lark_shot_root/scripts/wineprefix.sh" start "$lark_shot_prefix" "$lark_shot_arch" >/dev/null
  xcompmgr -n >/dev/null 2>&1 &
  lark_shot_compositor=$!
  lark_shot_work=$(mktemp -d)
  trap lark_screenshot_cleanup EXIT
  for lang in $languages; do
    for page in $pages; do
      rect="$lark_shot_work/$page-$lang.rect"
      "$build/wine-run.sh" "$exe" "$page" "$lang" "Z:$rect" "$@" >/dev/null 2>&1 &
      pid=$!
      for i in $(seq 1 200); do [ -s "$rect" ] && break; sleep 0.1; done
      if [ ! -s "$rect" ]; then
        echo "$(basename "$exe") showed no $page page in $lang" >&2
        kill "$pid" 2>/dev/null || true
        return 1
      fi
      sleep 0.3
      read -r x y w h < <(tr -d "\r" < "$rect")
      # The page with its 12-pixel shadow and a margin.
      import -window root -crop "$((w + 40))x$((h + 40))+$((x - 20))+$((y - 20))" +repage "$out/$page-$lang.png"
      touch "$rect.done"
      wait "$pid" || true
      echo "$out/$page-$lang.png"
    done
  done
}

lark_screenshot_cleanup() {
  kill "$lark_shot_compositor" 2>/dev/null || true
  rm -rf "$lark_shot_work"
  "$lark_shot_root/scripts/wineprefix.sh" stop "$lark_shot_prefix" "$lark_shot_arch" >/dev/null
}
