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
source "$root/scripts/lib/screenshots.sh"
build="$(cd "${1:-$root/build}" && pwd)"
lark_screenshots "$build" wizard_setup_page_screenshot "${2:-welcome conflict diskspace}" "${3:-en de ja ru}"
