#!/bin/bash
# Set-up, build and every test: the README's second command.
# The product is the 32-bit build; it is always built and its deliverables'
# imports are checked. The tests run under Wine in the architecture that this
# machine can run (scripts/test-arch.sh): the 32-bit build itself, or a
# 64-bit build of the same sources where the kernel cannot start 32-bit
# processes. All tests run inside one Xvfb session (the wizard tests need a
# display, and the wineserver must start with it).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
arch="$("$root/scripts/test-arch.sh")"
if [ "$arch" != i686 ]; then
  echo "== building the product (i686)"
  BUILD_DIR="$root/build-i686" "$root/scripts/build.sh" i686 -DLARK_BUILD_TESTS=OFF
  "$root/scripts/check-imports.sh" "$root"/build-i686/bin/*.exe
fi
echo "== building the tests ($arch)"
build="${BUILD_DIR:-$root/build}"
BUILD_DIR="$build" "$root/scripts/build.sh" "$arch"
cd "$build"
echo "== running the tests under Wine ($arch)"
xvfb-run -a -s "-screen 0 1024x768x24" \
  ctest --output-on-failure -j "${LARK_TEST_JOBS:-6}" --timeout 300 "$@"
