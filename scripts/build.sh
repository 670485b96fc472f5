#!/bin/bash
# Configures and builds the tree for one architecture.
#   build.sh ARCH [cmake options...]   ARCH: i686 (the product) or x86_64
#                                      (a test vehicle: always with the tests)
# The build directory is BUILD_DIR (default: build-ARCH).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
arch="${1:?i686|x86_64}"; shift
build="${BUILD_DIR:-$root/build-$arch}"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-$arch.cmake" \
      -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
set +e
cmake --build "$build" -j "$(nproc)" -- --no-print-directory 2>&1 | grep -vE '^\[ *[0-9]+%\] (Building|Linking|Built)|^Scanning'
status=${PIPESTATUS[0]}
set -e
exit "$status"
