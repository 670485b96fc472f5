#!/bin/bash
# Renders the wizard's message page (OK, Yes/No, restart question) and the
# wrong operating-system page in English, German and Japanese into PNG
# files under docs/screenshots/, inside a private Xvfb session with a
# compositor so that the drop shadow is blended.
#   screenshots.sh [BUILD_DIR]   (default: build-wizard, an x86_64 build)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/scripts/lib/screenshots.sh"
build="$(cd "${1:-$root/build-wizard}" && pwd)"
lark_screenshots "$build" wizard_screenshot_page "ok yesno restart wrongos" "en de ja"
