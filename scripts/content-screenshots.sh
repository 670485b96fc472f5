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
source "$root/scripts/lib/screenshots.sh"
build="$(cd "${1:-$root/build}" && pwd)"
lark_screenshots "$build" wizard_content_screenshot_page "eula eula-offline privacy" "en de ja ru" \
  "Z:$root/wizard/tests/screenshot-documents"
