#!/bin/bash
# Starts or stops the loopback test HTTP server (lark_http_server.py).
#   server-ctl.sh start STATEDIR   serve STATEDIR/root; writes STATEDIR/port
#                                  and STATEDIR/pid, output to STATEDIR/server.log
#   server-ctl.sh stop STATEDIR    ends the server whose pid is in STATEDIR/pid
# The server runs detached with its output away from the caller's pipes, so
# CTest does not wait for it.
set -uo pipefail
cmd="${1:?start|stop}"; state="${2:?state dir}"
here="$(cd "$(dirname "$0")" && pwd)"
case "$cmd" in
start)
  mkdir -p "$state/root"
  if [ -f "$state/pid" ] && kill -0 "$(cat "$state/pid")" 2>/dev/null; then
    kill "$(cat "$state/pid")" 2>/dev/null
  fi
  rm -f "$state/port" "$state/pid"
  # Every run starts with no files, so names used by earlier runs cannot match.
  rm -rf "$state/root"; mkdir -p "$state/root"
  setsid python3 "$here/lark_http_server.py" --root "$state/root" --port-file "$state/port" \
    </dev/null >"$state/server.log" 2>&1 &
  echo $! >"$state/pid"
  for _ in $(seq 100); do
    [ -s "$state/port" ] && { echo "http server on 127.0.0.1:$(cat "$state/port") (pid $(cat "$state/pid"))"; exit 0; }
    sleep 0.05
  done
  echo "http server did not start; see $state/server.log" >&2
  exit 1
  ;;
stop)
  if [ -f "$state/pid" ]; then
    kill "$(cat "$state/pid")" 2>/dev/null || true
    rm -f "$state/pid" "$state/port"
  fi
  echo "http server stopped"
  ;;
*) echo "usage: $0 start|stop STATEDIR" >&2; exit 2 ;;
esac
