#!/bin/bash
# The README's first command: set-up, build, and a real silent network
# installation on the embedded demo operator under Wine in a fresh prefix.
#   scripts/demo.sh [larkstubinst options]      (default: --silent)
#   scripts/demo.sh --interactive [options]     through the wizard, driven by
#                                               lark_drive, with screenshots
# It serves the operator's stub configuration, the signed agent package and
# the four customization packages with nginx on 127.0.0.1:8731 (stopped at
# the end), runs larkstubinst.exe with the given options and shows the exit
# code, the installed agent, the agent programs that were started, the
# package-origin values and the logs; when the first run installed the
# agent, it runs the same command again to show the already-installed road.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
if [ -z "${LARK_DEMO_INNER:-}" ]; then
  "$root/scripts/setup.sh"
  # One X server for the whole demo: the prefix's wineserver must start
  # inside it for any window a passed-through option may show.
  exec env LARK_DEMO_INNER=1 xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
# --interactive: the same installation through the wizard (scripts/demo-interactive.sh).
interactive=0
if [ "${1:-}" = --interactive ]; then interactive=1; shift; fi
[ $# -eq 0 ] && [ $interactive = 0 ] && set -- --silent
arch="$("$root/scripts/test-arch.sh")"
build="$root/build-demo-$arch"
echo "== building larkstubinst.exe and the demo operator's files ($arch) in ${build#$root/}"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-$arch.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$(nproc)" --target larkstubinst lark_agent_fixtures -- --no-print-directory 2>&1 |
  grep -vE '^\[ *[0-9]+%\] (Building|Linking|Built)|^Scanning' || true
[ -f "$build/bin/larkstubinst.exe" ] || { echo "build failed" >&2; exit 1; }

server="$build/demo-server"
prefix="$build/demo-prefix"
if [ "$arch" = x86_64 ]; then loader=/usr/lib/wine/wine64; winearch=win64; else loader=/usr/lib/wine/wine; winearch=win32; fi
export WINEPREFIX="$prefix" WINEARCH=$winearch WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export no_proxy="127.0.0.1,localhost" NO_PROXY="127.0.0.1,localhost"
cleanup() {
  "$root/scripts/demo-server.sh" stop "$server" || true
  "$root/scripts/wineprefix.sh" stop "$prefix" "$arch" >/dev/null 2>&1 || true
}
trap cleanup EXIT

echo "== operator service: nginx on http://127.0.0.1:8731 (request log ${server#$root/}/access.log)"
"$root/scripts/demo-server.sh" start "$server" "$build/testsupport/agent/out" 8731 good
echo "== fresh Wine prefix ${prefix#$root/}"
rm -rf "$prefix"
"$root/scripts/wineprefix.sh" start "$prefix" "$arch" "$build" >/dev/null

meaning() {
  case "$1" in
    0) echo "success or nothing to do" ;; 1) echo "cancelled or refused" ;; 2) echo "reboot required" ;;
    3) echo "requirements not met" ;; 4) echo "no administrator rights" ;; 5) echo "download failed" ;;
    6) echo "installation failed" ;; 7) echo "failure" ;; 8) echo "bad package signature" ;;
    9) echo "incompatible installer package or start-up error" ;; 11) echo "another instance runs" ;;
    *) echo "not an exit code of the installer" ;;
  esac
}
# The installer's logs are UTF-16 with a mark; Windows Installer's is plain text.
text_of() {
  if [ "$(head -c 2 "$1" | od -An -tx1 | tr -d ' ')" = fffe ]; then
    iconv -f UTF-16 -t UTF-8 "$1" 2>/dev/null | tr -d '\r'
  else
    tr -d '\r\000' <"$1"
  fi
}
excerpt() {  # file, lines of the end
  [ -f "$1" ] || { echo "   (no ${1##*/})"; return; }
  echo "-- ${1#$prefix/} (last $2 lines of $(text_of "$1" | wc -l))"
  text_of "$1" | tail -n "$2" | cut -c1-220 | sed 's/^/   /'
}
logdir="$prefix/drive_c/ProgramData/K-Harbor/Logs/Lark"
starts="$prefix/drive_c/ProgramData/LarkAgentStandIn/starts.log"
agentkey='HKLM\SOFTWARE\K-Harbor\Lark Client'

run_once() {
  local title="$1"; shift
  echo
  echo "== $title: larkstubinst.exe $*"
  local before=0
  [ -f "$starts" ] && before=$(wc -l <"$starts")
  set +e
  run_installer "$@"
  code=$?
  set -e
  echo "== exit code: $code ($(meaning "$code"))"
  # The agent's programs start without being waited for: give them a moment.
  sleep 2
  local dir
  dir="$("$loader" reg query "$agentkey" /v InstallPath 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ[[:space:]]*//p' || true)"
  if [ -n "$dir" ]; then
    echo "-- installed agent: $dir"
    local unix
    unix="$("$loader" winepath -u "$dir" 2>/dev/null | tr -d '\r')"
    [ -d "$unix" ] && ls -l "$unix" | tail -n +2 | awk '{print "   " $5 "\t" $9}'
    echo "-- registry $agentkey (agent values)"
    "$loader" reg query "$agentkey" /s 2>/dev/null | tr -d '\r' | grep -v '^$' | grep -v 'Stub_' | sed 's/^/   /'
    echo "-- package-origin values"
    "$loader" reg query "$agentkey" 2>/dev/null | tr -d '\r' | grep 'Stub_' | sed 's/^ */   /' || echo "   (none)"
  else
    echo "-- no agent installed (no InstallPath under $agentkey)"
  fi
  echo "-- agent programs started by this run (name, pid, time, command line)"
  if [ -f "$starts" ] && [ "$(wc -l <"$starts")" -gt "$before" ]; then
    tail -n +"$((before + 1))" "$starts" | tr -d '\r' | sed 's/^/   /'
  else
    echo "   (none)"
  fi
  excerpt "$logdir/stub.log" 25
  excerpt "$logdir/stub_2.log" 40
  local msilog
  msilog="$(find "$prefix/drive_c" -name lark_install_msi.log 2>/dev/null | head -1 || true)"
  if [ -n "$msilog" ]; then
    echo "-- ${msilog#$prefix/} (properties given and actions run, of $(text_of "$msilog" | wc -l) lines)"
    text_of "$msilog" | grep -E '^Property\(S\): (TARGETDIR|PARTNERID|LANGUAGE|LARKPRODNAME|EULAHASH|LATEBOUND_[A-Z]+|REBOOT) =|^Action ended .*(InstallFiles|WriteRegistryValues|InstallFinalize|INSTALL)\.' |
      cut -c1-200 | sed 's/^/   /'
  else
    echo "   (no lark_install_msi.log)"
  fi
}

run_installer() {
  if [ "$interactive" = 1 ]; then
    "$root/scripts/demo-interactive.sh" "$build" "$loader" "$@"
  else
    "$loader" "$build/bin/larkstubinst.exe" "$@"
  fi
}
run_once "first run" "$@"
first=$code
if "$loader" reg query "$agentkey" /v InstallPath >/dev/null 2>&1; then
  run_once "second run (agent already installed)" "$@"
fi
echo
echo "== requests to the operator service"
sed 's/^/   /' "$server/access.log"
exit "$first"
