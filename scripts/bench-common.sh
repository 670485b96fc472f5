# Sourced by the benchmark, fuzzing and reliability scripts: picks the build
# tree, builds the program a script runs, starts the tree's Wine prefix, and
# on exit (also after a failure) stops what the script itself started.
#
# The tree is BUILD_DIR when that is set. Otherwise it is a tree of the
# architecture that scripts/test-arch.sh names: the i686 product build where
# this machine can run 32-bit programs, else an x86_64 build of the same
# sources. Of that architecture, "build" (the tests' tree, which
# scripts/test.sh builds) is taken first, then "build-ARCH"
# (scripts/build.sh ARCH); the tree must have the tests enabled, since the
# benchmark programs are built with them.

lark_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
lark_cleanups=()
lark_started_prefix=""

lark_tree_arch() { grep -q 'WINEARCH=win32' "$1/wine-run.sh" 2>/dev/null && echo i686 || echo x86_64; }
lark_tree_has_tests() { grep -q '^LARK_BUILD_TESTS:BOOL=ON' "$1/CMakeCache.txt" 2>/dev/null; }

# lark_use_tree TARGET...: sets build, arch and prefix, and builds the targets.
lark_use_tree() {
  local runnable candidate
  runnable="$("$lark_root/scripts/test-arch.sh")"
  if [ -n "${BUILD_DIR:-}" ]; then
    build="$BUILD_DIR"
  else
    build=""
    for candidate in "$lark_root/build" "$lark_root/build-$runnable"; do
      if [ -x "$candidate/wine-run.sh" ] && [ "$(lark_tree_arch "$candidate")" = "$runnable" ] &&
         lark_tree_has_tests "$candidate"; then
        build="$candidate"
        break
      fi
    done
    if [ -z "$build" ]; then
      echo "no $runnable build tree with tests: run scripts/test.sh, or scripts/build.sh $runnable, or set BUILD_DIR" >&2
      exit 2
    fi
  fi
  [ -x "$build/wine-run.sh" ] || { echo "$build is not a build tree (no wine-run.sh)" >&2; exit 2; }
  lark_tree_has_tests "$build" || { echo "$build was built without the tests (-DLARK_BUILD_TESTS=OFF)" >&2; exit 2; }
  arch="$(lark_tree_arch "$build")"
  if [ "$arch" = i686 ] && [ "$runnable" != i686 ]; then
    echo "$build is an i686 tree, and this machine cannot run 32-bit programs under Wine; use an x86_64 tree" >&2
    exit 2
  fi
  prefix="$(sed -n 's/^export WINEPREFIX="\([^"]*\)".*/\1/p' "$build/wine-run.sh")"
  if [ "$#" -gt 0 ]; then
    local targets=()
    for t in "$@"; do targets+=(--target "$t"); done
    cmake --build "$build" "${targets[@]}" -- --no-print-directory >/dev/null
  fi
  echo "build tree: $build ($arch)"
}

# True when a wineserver runs for the prefix: it holds the lock file of its
# server folder (under /tmp/.wine-UID, or the folder the prefix names).
lark_wineserver_running() {
  python3 - "$1" <<'PY'
import fcntl, glob, os, sys
prefix = sys.argv[1]
try:
    st = os.stat(prefix)
except OSError:
    sys.exit(1)
leaf = "server-%x-%x" % (st.st_dev, st.st_ino)
tmp = os.environ.get("TMPDIR") or "/tmp"
dirs = [os.path.join(tmp, ".wine-%d" % os.getuid(), leaf)]
try:
    with open(os.path.join(prefix, "wineserver")) as f:
        dirs.append(os.path.join(tmp, f.read().strip(), leaf))
except OSError:
    pass
for d in dirs:
    try:
        lock = open(os.path.join(d, "lock"), "r+")
    except OSError:
        continue
    try:
        fcntl.lockf(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except OSError:
        sys.exit(0)
sys.exit(1)
PY
}

# Starts a persistent wineserver for the tree's prefix (creating the prefix
# when needed) unless one runs already; only one started here is stopped.
lark_start_prefix() {
  if lark_wineserver_running "$prefix"; then
    return 0
  fi
  lark_started_prefix="$prefix"
  "$lark_root/scripts/wineprefix.sh" start "$prefix" "$arch" "$build" >/dev/null
}

# lark_at_exit COMMAND: run at exit, the last registered first.
lark_at_exit() { lark_cleanups+=("$1"); }

lark_exit() {
  local status=$? i
  for ((i = ${#lark_cleanups[@]} - 1; i >= 0; i--)); do eval "${lark_cleanups[$i]}" || true; done
  if [ -n "$lark_started_prefix" ]; then
    "$lark_root/scripts/wineprefix.sh" stop "$lark_started_prefix" "$arch" >/dev/null 2>&1 || true
  fi
  exit "$status"
}
trap lark_exit EXIT
trap 'exit 130' INT TERM
