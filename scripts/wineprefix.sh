#!/bin/bash
# Creates (once) and starts, or stops, the Wine prefix that a build tree owns.
#   wineprefix.sh start PREFIX ARCH [BUILD]
#                                     create the prefix if needed, start a
#                                     persistent wineserver and warm it up;
#                                     with a build tree that holds the test
#                                     PKI, the prefix trusts its root
#   wineprefix.sh stop PREFIX ARCH    end that prefix's wineserver
# ARCH is the programs' architecture: i686 (a win32 prefix and Wine's 32-bit
# loader) or x86_64 (a win64 prefix and the 64-bit loader).
set -uo pipefail
cmd="${1:?start|stop}"; prefix="${2:?prefix}"; arch="${3:-i686}"; build="${4:-}"
if [ "$arch" = x86_64 ]; then
  export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
else
  export WINEARCH=win32 WINELOADER=/usr/lib/wine/wine
fi
wine() { "$WINELOADER" "$@"; }
export WINEPREFIX="$prefix" WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" no_proxy="127.0.0.1,localhost" NO_PROXY="127.0.0.1,localhost"
here="$(cd "$(dirname "$0")" && pwd)"

case "$cmd" in
start)
  mkdir -p "$prefix"
  if [ ! -f "$prefix/.lark-ready" ]; then
    rm -rf "$prefix"; mkdir -p "$prefix"
    wine wineboot -i </dev/null >/dev/null 2>&1
    wineserver -w
    # No window manager under Xvfb: unmanaged windows avoid a 2 s wait per hidden window.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
    # CJK glyphs for the wizard's Japanese and Chinese texts.
    for face in "Liberation Sans" "Liberation Sans Bold" "Liberation Sans Italic" "Liberation Sans Bold Italic"; do
      wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
        /v "$face" /t REG_MULTI_SZ /d "wqy-microhei.ttc,WenQuanYi Micro Hei" /f </dev/null >/dev/null 2>&1
    done
    wineserver -w
    touch "$prefix/.lark-ready"
  fi
  wineserver -p </dev/null >/dev/null 2>&1
  # Start Wine's helper processes now, with output to /dev/null, so that
  # later test processes whose output is piped do not hand them the pipe.
  wine cmd /c exit </dev/null >/dev/null 2>&1
  # The test packages carry their chain up to the test root; a machine that
  # trusts the maker's root has it in its machine Root store.
  root_pem="$build/testsupport/pki/out/root.pem"
  if [ -n "$build" ] && [ -f "$root_pem" ]; then
    if ! wine "$build/bin/lark_trust_root.exe" "Z:${root_pem//\//\\}" </dev/null >/dev/null; then
      echo "wineprefix.sh: the prefix could not be made to trust $root_pem" >&2
      exit 1
    fi
  fi
  echo "wine prefix ready: $prefix"
  ;;
stop)
  wineserver -k </dev/null >/dev/null 2>&1 || true
  echo "wine prefix stopped: $prefix"
  ;;
*) echo "usage: $0 start|stop PREFIX" >&2; exit 2 ;;
esac
