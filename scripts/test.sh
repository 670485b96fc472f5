#!/bin/bash
# Set-up, build and every test: the README's second command.
# The product is the 32-bit build. Its test tree (build-i686) is always
# built, tests included, so that a product or test source that does not
# compile for the product's architecture fails here on every machine; its
# deliverables' imports are checked. The tests run under Wine in the
# architecture that this machine can run (scripts/test-arch.sh): on the
# 32-bit build itself where the kernel can start 32-bit processes, else on
# a 64-bit build of the same sources (build), a test vehicle only. All tests
# run inside one Xvfb session (the wizard tests need a display, and the
# wineserver must start with it).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
arch="$("$root/scripts/test-arch.sh")"
build32="$root/build-i686"
[ "$arch" = i686 ] && build32="${BUILD_DIR:-$build32}"
echo "== building the product and its tests (i686) in ${build32#$root/}"
start=$SECONDS
BUILD_DIR="$build32" "$root/scripts/build.sh" i686 -DLARK_BUILD_TESTS=ON
echo "== i686 build: $((SECONDS - start)) s"
"$root/scripts/check-imports.sh" "$build32"/bin/{larkstubinst,install,apply,apply_legacy}.exe
build="$build32"
if [ "$arch" != i686 ]; then
  build="${BUILD_DIR:-$root/build}"
  echo "== building the tests (x86_64, a test vehicle) in ${build#$root/}"
  start=$SECONDS
  BUILD_DIR="$build" "$root/scripts/build.sh" x86_64 -DLARK_BUILD_TESTS=ON
  echo "== x86_64 build: $((SECONDS - start)) s"
fi
cd "$build"
echo "== running the tests under Wine ($arch)"
xvfb-run -a -s "-screen 0 1024x768x24" \
  ctest --output-on-failure -j "${LARK_TEST_JOBS:-6}" --timeout 300 "$@"
