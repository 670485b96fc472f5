#!/bin/bash
# The demo's local operator service: nginx on 127.0.0.1 serving the stub
# configuration at /packaging/services/spi/stubconfiguration (any query),
# the signed agent package as /f/installer.msi and the customization
# packages, licence and privacy texts under /f/.
#   demo-server.sh start DIR FIXTURES [PORT [VARIANT]]
#       lays out DIR/root from the built fixtures (FIXTURES: a build tree's
#       testsupport/agent/out), writes DIR/nginx.conf and starts nginx with
#       its pid, logs and temporary files under DIR. PORT default 8731,
#       VARIANT (agent package) default good.
#   demo-server.sh stop DIR
# DIR/access.log is the request log.
set -euo pipefail
cmd="${1:?start|stop}"; dir="${2:?server dir}"
here="$(cd "$(dirname "$0")" && pwd)"
root_of_tree="$(cd "$here/.." && pwd)"
NGINX="${NGINX:-/usr/sbin/nginx}"
case "$cmd" in
start)
  fixtures="${3:?fixtures dir}"; port="${4:-8731}"; variant="${5:-good}"
  [ -x "$NGINX" ] || { echo "nginx is missing: run scripts/setup.sh" >&2; exit 1; }
  [ -f "$dir/nginx.pid" ] && "$NGINX" -p "$dir" -c "$dir/nginx.conf" -e "$dir/error.log" -s stop 2>/dev/null || true
  rm -rf "$dir/root" "$dir/tmp"; mkdir -p "$dir/root" "$dir/tmp"
  python3 "$root_of_tree/testsupport/agent/make_agent_fixtures.py" layout "$fixtures" "$dir/root" \
    "http://127.0.0.1:$port" "$variant"
  user_line=""
  [ "$(id -u)" -eq 0 ] && user_line="user root;"
  cat >"$dir/nginx.conf" <<CONF
$user_line
daemon on;
worker_processes 1;
pid $dir/nginx.pid;
error_log $dir/error.log;
events { worker_connections 64; }
http {
  access_log $dir/access.log;
  client_body_temp_path $dir/tmp/body;
  proxy_temp_path $dir/tmp/proxy;
  fastcgi_temp_path $dir/tmp/fastcgi;
  uwsgi_temp_path $dir/tmp/uwsgi;
  scgi_temp_path $dir/tmp/scgi;
  types { application/x-msi msi; application/zip zip; text/plain txt; }
  default_type application/octet-stream;
  sendfile on;
  server {
    listen 127.0.0.1:$port;
    root $dir/root;
    location = /packaging/services/spi/stubconfiguration { default_type text/xml; }
  }
}
CONF
  : >"$dir/access.log"
  "$NGINX" -p "$dir" -c "$dir/nginx.conf" -e "$dir/error.log"
  for _ in $(seq 50); do
    curl -fsS --noproxy '*' -o /dev/null "http://127.0.0.1:$port/f/license.txt" 2>/dev/null && exit 0
    sleep 0.1
  done
  echo "nginx did not answer on 127.0.0.1:$port; see $dir/error.log" >&2
  exit 1
  ;;
stop)
  if [ -f "$dir/nginx.pid" ]; then
    "$NGINX" -p "$dir" -c "$dir/nginx.conf" -e "$dir/error.log" -s stop 2>/dev/null || true
    for _ in $(seq 50); do [ -f "$dir/nginx.pid" ] || break; sleep 0.1; done
  fi
  ;;
*) echo "usage: $0 start DIR FIXTURES [PORT [VARIANT]] | stop DIR" >&2; exit 2 ;;
esac
