#!/usr/bin/env python3
"""A calendar server that misbehaves on purpose, for the sync's end-to-end test.

Usage: fake_caldav.py PORT_FILE LOG_FILE [options]

Serves one calendar collection, /cal/, with no password check and no sync
token (so every sync lists it whole), on a free port of 127.0.0.1 written to
PORT_FILE, then "ready" on standard output. What it does is logged to
LOG_FILE, one line each, with the time:
"sent multiget 1712.345", "put /cal/x.ics 412", ...

Options:
  --big-summary MB   the collection holds one event whose summary is MB MiB long
  --hold-until EPOCH the answer with the event bodies is sent only at that time
  --trickle MS       every listing is sent one byte at a time, MS apart
  --trickle-bytes N  ...and then only its first N bytes, the rest never
  --put-status CODE  every PUT is answered CODE (default 201)
"""
import argparse
import http.server
import os
import socketserver
import sys
import threading
import time

COLLECTION = "/cal/"

parser = argparse.ArgumentParser()
parser.add_argument("port_file")
parser.add_argument("log_file")
parser.add_argument("--big-summary", type=int, default=0)
parser.add_argument("--hold-until", type=float, default=0)
parser.add_argument("--trickle", type=int, default=0)
parser.add_argument("--trickle-bytes", type=int, default=-1)
parser.add_argument("--put-status", type=int, default=201)
args = parser.parse_args()

log_lock = threading.Lock()


def log(text):
    with log_lock, open(args.log_file, "a") as f:
        f.write("%s %.3f\n" % (text, time.time()))


events = {}  # href -> (etag, body)
if args.big_summary:
    body = ("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Fake//EN\r\nBEGIN:VEVENT\r\nUID:big\r\n"
            "DTSTAMP:20240101T000000Z\r\nDTSTART:20240101T070000\r\nRRULE:FREQ=DAILY\r\nSUMMARY:"
            + "x" * (args.big_summary << 20) + "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n")
    events[COLLECTION + "big.ics"] = ('"big-1"', body)
counter = [0]

MULTISTATUS = ('<?xml version="1.0"?>\n<d:multistatus xmlns:d="DAV:" '
               'xmlns:c="urn:ietf:params:xml:ns:caldav">%s</d:multistatus>')


def response(href, props):
    return ("<d:response><d:href>%s</d:href><d:propstat><d:prop>%s</d:prop>"
            "<d:status>HTTP/1.1 200 OK</d:status></d:propstat></d:response>" % (href, props))


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *a):
        pass

    def body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length).decode("utf-8", "replace") if length else ""

    def answer(self, status, data=b"", headers=(), trickle=0):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        if not trickle:
            self.wfile.write(data)
            return
        limit = len(data) if args.trickle_bytes < 0 else min(args.trickle_bytes, len(data))
        for i in range(limit):
            self.wfile.write(data[i:i + 1])
            self.wfile.flush()
            time.sleep(trickle / 1000.0)
        if limit < len(data):
            time.sleep(3600)

    def do_PROPFIND(self):
        self.body()
        depth = self.headers.get("Depth", "0")
        parts = [response(COLLECTION, "<d:resourcetype><d:collection/><c:calendar/></d:resourcetype>")]
        if depth != "0":
            for href, (etag, _) in sorted(events.items()):
                parts.append(response(href, "<d:getetag>%s</d:getetag><d:resourcetype/>" % etag))
        data = (MULTISTATUS % "".join(parts)).encode()
        log("listed")
        self.answer(207, data, [("Content-Type", "application/xml; charset=utf-8")],
                    trickle=args.trickle if depth != "0" else 0)

    def do_REPORT(self):
        request = self.body()
        if "calendar-multiget" not in request:
            return self.answer(403)
        parts = []
        for href, (etag, body) in sorted(events.items()):
            if href in request:
                parts.append(response(href, "<d:getetag>%s</d:getetag><c:calendar-data>%s</c:calendar-data>"
                                      % (etag, body.replace("&", "&amp;").replace("<", "&lt;"))))
        data = (MULTISTATUS % "".join(parts)).encode()
        if args.hold_until:
            time.sleep(max(0.0, args.hold_until - time.time()))
        log("sending multiget of %d bytes" % len(data))
        self.answer(207, data, [("Content-Type", "application/xml; charset=utf-8")])
        log("sent multiget")

    def do_PUT(self):
        body = self.body()
        log("put %s %d" % (self.path, args.put_status))
        if 200 <= args.put_status < 300:
            counter[0] += 1
            etag = '"e%d"' % counter[0]
            events[self.path] = (etag, body)
            return self.answer(args.put_status, headers=[("ETag", etag)])
        self.answer(args.put_status)

    def do_DELETE(self):
        events.pop(self.path, None)
        log("delete %s" % self.path)
        self.answer(204)

    def do_MKCALENDAR(self):
        self.answer(201)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        # A client that gave up on a trickle (its deadline) is what is tested.
        if not isinstance(sys.exc_info()[1], (BrokenPipeError, ConnectionResetError)):
            super().handle_error(request, client_address)


server = Server(("127.0.0.1", 0), Handler)
with open(args.port_file + ".new", "w") as f:
    f.write(str(server.server_address[1]))
os.replace(args.port_file + ".new", args.port_file)
print("ready", flush=True)
try:
    server.serve_forever()
except KeyboardInterrupt:
    sys.exit(0)
