#!/usr/bin/env python3
"""Loopback HTTP file server for the tests (Python 3 standard library only).

Serves the files of --root under /f/<name> with Content-Length and
Last-Modified, answers HEAD, honours "Range: bytes=a-b" (206 with
Content-Range; the last position is clamped to the file, a start beyond the
end gives 416) and answers 412 when If-Unmodified-Since is older than the
file. It binds 127.0.0.1 only, on the port given by --port (0 = any free one),
and writes the chosen port into --port-file once it is listening.

Control endpoints (all under /_ctl/):
  PUT  /_ctl/file/<name>       body becomes /f/<name>; replacing a file moves
                               its modification time at least 2 s forward, so
                               every new version has a new Last-Modified.
  POST /_ctl/fault?path=/f/x&kind=K[&method=GET|HEAD|*][&count=N][&after=B]
                  [&seconds=S][&status=C][&length=L][&extra=E]
                               queues a fault for the next N (default 1, 0 =
                               for ever) matching requests (method default GET):
       kind=cut      send B body bytes, then close the connection cleanly
       kind=reset    send B body bytes, then reset the connection (RST)
       kind=stall    send B body bytes, then wait S seconds, then close
       kind=delay    wait S seconds before answering at all
       kind=status   answer status C with a short body
       kind=length   announce Content-Length L (or the real length + E when
                     extra is given), send the real body, close
       kind=norange  ignore Range and answer 200 with the whole file
       kind=nolm     leave out the Last-Modified header
  POST /_ctl/clear?path=/f/x   drops the queued faults of that path
  GET  /_ctl/log?path=/f/x     the request log of that path (all paths when
                               path is missing), one request per line, fields
                               separated by tabs: method, path, status, body
                               bytes sent, Range header, If-Unmodified-Since
                               header, then every request header as
                               "Name: value".
The same faults can be given on a /f/ URL itself as query parameters
(?status=404, ?nolm=1, ?norange=1, ?delay=S); they then hold for every
request to that URL.

The stub configuration service: GET /packaging/services/spi/stubconfiguration
with any query answers the file stubconfiguration-<operatorId>.xml when the
query's operatorId has one, else stubconfiguration.xml (both stored with
PUT /_ctl/file/); faults and the log use the path without the query.
"""

import argparse
import email.utils
import os
import socket
import struct
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

LOCK = threading.Lock()
FAULTS = {}   # path -> list of fault dicts
LOG = []      # (path, line)
ROOT = "."
STUBCONF_PATH = "/packaging/services/spi/stubconfiguration"


def log_line(entry):
    f = entry["fields"]
    fields = [f[0], f[1], str(entry["status"]), str(entry["sent"])] + f[2:]
    return "\t".join(x.replace("\t", " ") for x in fields)


def take_fault(path, method):
    with LOCK:
        rules = FAULTS.get(path, [])
        for rule in rules:
            if rule["method"] in ("*", method):
                if rule["count"] > 0:
                    rule["count"] -= 1
                    if rule["count"] == 0:
                        rules.remove(rule)
                return dict(rule)
    return None


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "LarkTestHTTP/1.0"

    def log_message(self, fmt, *args):
        pass

    def begin(self):
        # Logged when the request arrives (status 0 until answered), so that
        # a stalled answer already shows in the log.
        fields = [self.command, self.path, self.headers.get("Range", ""),
                  self.headers.get("If-Unmodified-Since", "")]
        fields += ["%s: %s" % (k, v) for k, v in self.headers.items()]
        self.entry = {"status": 0, "sent": 0, "fields": fields, "done": False}
        with LOCK:
            LOG.append((urllib.parse.urlsplit(self.path).path, self.entry))

    def record(self, status, sent):
        entry = getattr(self, "entry", None)
        if entry is None or entry["done"]:
            self.begin()
        with LOCK:
            self.entry.update(status=status, sent=sent, done=True)

    def simple(self, status, body=b"", ctype="text/plain", record=True):
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD" and body:
            self.wfile.write(body)
        if record:
            self.record(status, len(body) if self.command != "HEAD" else 0)

    # Control -----------------------------------------------------------
    def control(self):
        url = urllib.parse.urlsplit(self.path)
        query = dict(urllib.parse.parse_qsl(url.query))
        length = int(self.headers.get("Content-Length", "0") or 0)
        body = self.rfile.read(length) if length else b""
        if url.path.startswith("/_ctl/file/") and self.command == "PUT":
            name = urllib.parse.unquote(url.path[len("/_ctl/file/"):])
            if not name or "/" in name or "\\" in name or name.startswith("."):
                return self.simple(400, b"bad name", record=False)
            target = os.path.join(ROOT, name)
            old = os.stat(target).st_mtime if os.path.exists(target) else None
            with open(target + ".tmp", "wb") as f:
                f.write(body)
            os.replace(target + ".tmp", target)
            if old is not None:
                new = max(time.time(), int(old) + 2)
                os.utime(target, (new, new))
            return self.simple(200, b"ok", record=False)
        if url.path == "/_ctl/fault":
            rule = {"kind": query.get("kind", ""), "method": query.get("method", "GET"),
                    "count": int(query.get("count", "1")), "after": int(query.get("after", "0")),
                    "seconds": float(query.get("seconds", "0")), "status": int(query.get("status", "500")),
                    "length": int(query.get("length", "0")),
                    "extra": int(query.get("extra", "0"))}
            with LOCK:
                FAULTS.setdefault(query.get("path", ""), []).append(rule)
            return self.simple(200, b"ok", record=False)
        if url.path == "/_ctl/clear":
            with LOCK:
                FAULTS.pop(query.get("path", ""), None)
            return self.simple(200, b"ok", record=False)
        if url.path == "/_ctl/log":
            want = query.get("path")
            with LOCK:
                lines = [log_line(e) for (p, e) in LOG if want is None or p == want]
            text = "".join(line + "\n" for line in lines).encode("utf-8")
            return self.simple(200, text, record=False)
        return self.simple(404, b"unknown control", record=False)

    # Files -------------------------------------------------------------
    def serve(self):
        self.begin()
        url = urllib.parse.urlsplit(self.path)
        query = dict(urllib.parse.parse_qsl(url.query))
        fault = take_fault(url.path, self.command) or {}
        kind = fault.get("kind", "")
        if "status" in query:
            kind, fault = "status", {"status": int(query["status"])}
        delay = float(query.get("delay", "0")) or (fault.get("seconds", 0) if kind == "delay" else 0)
        if delay:
            time.sleep(delay)
        if kind == "status":
            self.close_connection = True
            return self.simple(fault["status"], b"injected status\n")
        if url.path == STUBCONF_PATH:
            name = "stubconfiguration.xml"
            operator = query.get("operatorId", "")
            own = "stubconfiguration-%s.xml" % operator
            if operator and "/" not in operator and "\\" not in operator and \
                    os.path.isfile(os.path.join(ROOT, own)):
                name = own
        else:
            name = urllib.parse.unquote(url.path[len("/f/"):])
        path = os.path.join(ROOT, name)
        if not name or "/" in name or "\\" in name or not os.path.isfile(path):
            return self.simple(404, b"not found\n")
        st = os.stat(path)
        size = st.st_size
        mtime = int(st.st_mtime)
        start, end, status = 0, size - 1, 200
        ius = self.headers.get("If-Unmodified-Since")
        if ius:
            try:
                limit = email.utils.parsedate_to_datetime(ius).timestamp()
            except (TypeError, ValueError):
                limit = None
            if limit is not None and mtime > limit:
                self.close_connection = True
                return self.simple(412, b"precondition failed\n")
        rng = self.headers.get("Range")
        if rng and kind != "norange" and "norange" not in query and rng.startswith("bytes="):
            first, _, last = rng[len("bytes="):].partition("-")
            try:
                start = int(first)
                end = min(int(last), size - 1) if last else size - 1
            except ValueError:
                start, end = 0, size - 1
            else:
                if start >= size or start > end:
                    self.send_response(416)
                    self.send_header("Content-Range", "bytes */%d" % size)
                    self.send_header("Content-Length", "0")
                    self.end_headers()
                    return self.record(416, 0)
                status = 206
        count = end - start + 1 if size else 0
        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream")
        announced = count
        if kind == "length":
            announced = count + fault["extra"] if fault.get("extra") else fault["length"]
        self.send_header("Content-Length", str(announced))
        if kind != "nolm" and "nolm" not in query:
            self.send_header("Last-Modified", email.utils.formatdate(mtime, usegmt=True))
        self.send_header("Accept-Ranges", "bytes")
        if status == 206:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, end, size))
        if kind in ("cut", "reset", "stall", "length"):
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        if self.command == "HEAD":
            return self.record(status, 0)
        limit = count
        if kind in ("cut", "reset", "stall"):
            limit = min(count, fault.get("after", 0))
        sent = 0
        try:
            self.wfile.flush()
            with open(path, "rb") as f:
                if limit > 0:
                    sent = self.connection.sendfile(f, start, limit)
            if kind == "stall":
                time.sleep(fault.get("seconds", 0))
            if kind == "reset":
                self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        except OSError:
            self.close_connection = True
        self.record(status, sent)

    def do_GET(self):
        if self.path.startswith("/_ctl/"):
            return self.control()
        if self.path.startswith("/f/") or urllib.parse.urlsplit(self.path).path == STUBCONF_PATH:
            return self.serve()
        return self.simple(404, b"not found\n")

    do_HEAD = do_GET
    do_PUT = control
    do_POST = control


def main():
    global ROOT
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--port-file")
    args = parser.parse_args()
    ROOT = os.path.abspath(args.root)
    os.makedirs(ROOT, exist_ok=True)
    server = ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.daemon_threads = True
    port = server.server_address[1]
    if args.port_file:
        with open(args.port_file + ".tmp", "w") as f:
            f.write("%d\n" % port)
        os.replace(args.port_file + ".tmp", args.port_file)
    print(port, flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
