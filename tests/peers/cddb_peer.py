#!/usr/bin/python3
"""Scripted online CD database server for the lookup tests and benchmark, on
127.0.0.1 and the port given.

usage: cddb_peer.py PORT MODE OUTDIR

MODE   cddbp   the line protocol: greeting, then one reply per command line
       http    one GET per connection to any path; the command is the "cmd"
               parameter with "+" read as blanks; the body is the cddbp reply

OUTDIR/script.json (optional, read anew for every connection) changes the
default behaviour; every key is optional:
  "greeting": text            the greeting line (cddbp)
  "reply": {KEY: REPLY}       the reply to a command; KEY is one of hello,
                              proto, query, read, quit, sites, lscat, motd.
                              REPLY is a list of lines (each sent with CR LF)
                              or one string sent byte for byte (latin-1)
  "silent": KEY               from this command on (or "greeting") the server
                              says nothing and keeps the connection open
  "trickle": KEY              from this command on (or "greeting") the server
                              sends an endless reply, one byte every 100 ms:
                              cddbp: lines "210-more" (the greeting: one
                              line that never ends); http: the status line,
                              then header lines "X-More: 1" without end
  "slow": {"key": KEY, "after": S, "first": TEXT, "then": TEXT, "every": S}
                              the reply to KEY (cddbp: a command; http: a
                              request, TEXT then being the whole response):
                              after S seconds (default 0) the text "first"
                              at once (latin-1), then "then" over and over,
                              one byte every "every" seconds (default 0.15),
                              until the client goes away
  "close": KEY                the server closes on this command, no reply
  "hangup": KEY               the server closes right after its reply to KEY
  "split_greeting": true      the greeting arrives in two pieces, 300 ms apart
  "flood": {"key": KEY, "bytes": N}  the reply to KEY: a 210 line, then N
                              bytes of list lines and no "." line
  "http_status": N            HTTP: answer with this status and a short body
  "quick_ack": true           acknowledge every piece received at once instead
                              of delaying the acknowledgement (TCP_QUICKACK)

OUTDIR/log.txt: one "=== connection" line for each connection that sent
something, then "C: " + every command line received (cddbp), or "C: " + the
request line and "H: " + each header line (http); "=== closed by the client"
when a connection the server keeps silent is closed by the client.
"""
import itertools
import json
import os
import socket
import socketserver
import sys
import threading
import time
import urllib.parse

PORT = int(sys.argv[1])
MODE = sys.argv[2]
OUTDIR = sys.argv[3]
lock = threading.Lock()

ENTRY = [
    "# xmcd",
    "#",
    "# Track frame offsets:",
    "#\t150",
    "#\t20000",
    "#\t40000",
    "#",
    "# Disc length: 600 seconds",
    "#",
    "# Revision: 7",
    "# Submitted via: cddb_peer 1.0",
    "#",
    "DISCID=1b025603",
    "DTITLE=Some Artist / Some Title",
    "DYEAR=1999",
    "DGENRE=Rock",
    "TTITLE0=First Song",
    "TTITLE1=Second Song",
    "TTITLE2=Third ",
    "TTITLE2=Song",
    "EXTD=Disc notes\\nsecond line",
    "EXTT0=About one",
    "EXTT1=",
    "EXTT2=",
    "PLAYORDER=",
]

DEFAULTS = {
    "hello": ["200 Hello and welcome, running cddb_peer"],
    "proto": ["201 OK, CDDB protocol level now: 4"],
    "query": ["200 rock 1b025603 Some Artist / Some Title"],
    "read": ["210 rock 1b025603 CD database entry follows (until terminating `.')"] + ENTRY + ["."],
    "quit": ["230 cddb_peer Closing connection.  Goodbye."],
    "sites": ["210 OK, site information follows (until terminating `.')",
              "cddb.example.org cddbp 8880 - N000.00 W000.00 Example cddbp server",
              "cddb.example.org http 80 /~cddb/cddb.cgi N000.00 W000.00 Example HTTP server",
              "other.example.org CDDBP 888 /cgi N001.00 W001.00 Other case",
              "."],
    "lscat": ["210 OK, category list follows (until terminating `.')",
              "blues", "classical", "country", "data", "folk", "jazz", "misc", "newage", "reggae",
              "rock", "soundtrack", "."],
    "motd": ["210 Last modified: 01/01/26 00:00:00 MOTD follows (until terminating `.')",
             "Welcome to the test server.", "."],
    "unknown": ["500 Unrecognized command."],
}


def log(lines):
    with lock:
        with open(os.path.join(OUTDIR, "log.txt"), "a", encoding="latin-1") as f:
            f.write("".join(line + "\n" for line in lines))


def load_script():
    try:
        with open(os.path.join(OUTDIR, "script.json"), encoding="utf-8") as f:
            return json.load(f)
    except (OSError, ValueError):
        return {}


def key_of(command):
    words = command.lower().split()
    if not words:
        return "unknown"
    if words[0] == "cddb" and len(words) > 1:
        return {"hello": "hello", "query": "query", "read": "read", "lscat": "lscat"}.get(words[1], "unknown")
    return words[0] if words[0] in ("proto", "quit", "sites", "motd") else "unknown"


def reply_bytes(script, key, command):
    flood = script.get("flood")
    if flood and flood.get("key") == key:
        line = b"rock 0123abcd A line of a long list of matches and sites\r\n"
        n = int(flood.get("bytes", 0))
        return b"210 OK, list follows\r\n" + line * (n // len(line) + 1)
    reply = script.get("reply", {}).get(key)
    if reply is None:
        reply = DEFAULTS.get(key, DEFAULTS["unknown"])
        if key == "query" and "1b025603" not in command:
            reply = ["202 No match for disc ID."]
    if isinstance(reply, str):
        return reply.encode("latin-1")
    return "".join(line + "\r\n" for line in reply).encode("latin-1")


class Handler(socketserver.BaseRequestHandler):
    def setup(self):
        self.request.settimeout(30)
        self.logged = False
        self.quick_ack = False

    def recv(self):
        data = self.request.recv(4096)
        if self.quick_ack:
            # Linux leaves quick-ack mode by itself: set it again after every
            # read, which also sends an acknowledgement still pending.
            try:
                self.request.setsockopt(socket.IPPROTO_TCP, socket.TCP_QUICKACK, 1)
            except OSError:
                pass
        return data

    def note(self, lines):
        if not self.logged:
            lines = ["=== connection"] + lines
            self.logged = True
        log(lines)

    def hold(self):
        # Silent: keep the connection open until the client goes away, and
        # note when it went.
        try:
            while self.request.recv(4096):
                pass
            log(["=== closed by the client"])
        except OSError:
            pass

    def trickle(self, data, endless):
        """Sends data one byte every 100 ms, then endless over and over,
        until the client goes away (or the socket's time-out)."""
        i = 0
        while True:
            if i < len(data):
                b = data[i:i + 1]
            else:
                b = endless[(i - len(data)) % len(endless):][:1]
            try:
                self.request.sendall(b)
            except OSError:
                return
            i += 1
            time.sleep(0.1)

    def slow(self, script, key):
        """Serves the "slow" reply when it is for KEY; True when it was."""
        slow = script.get("slow")
        if not slow or slow.get("key") != key:
            return False
        time.sleep(float(slow.get("after", 0)))
        try:
            self.request.sendall(slow.get("first", "").encode("latin-1"))
        except OSError:
            return True
        then = slow.get("then", "").encode("latin-1")
        every = float(slow.get("every", 0.15))
        for i in itertools.count():
            if not then:
                self.hold()
                return True
            try:
                self.request.sendall(then[i % len(then):][:1])
            except OSError:
                return True
            time.sleep(every)
        return True

    def handle(self):
        try:
            if MODE == "http":
                self.http()
            else:
                self.cddbp()
        except OSError:
            pass

    def lines(self):
        buf = b""
        while True:
            while b"\n" not in buf:
                data = self.recv()
                if not data:
                    return
                buf += data
            line, buf = buf.split(b"\n", 1)
            yield line.rstrip(b"\r").decode("latin-1")

    def cddbp(self):
        script = load_script()
        self.quick_ack = bool(script.get("quick_ack"))
        if script.get("silent") == "greeting":
            self.hold()
            return
        if script.get("trickle") == "greeting":
            self.trickle(b"201 ", b"x")
            return
        greeting = script.get("greeting", "201 cddb_peer CDDBP server v1.0 ready at now").encode("latin-1") + b"\r\n"
        if script.get("split_greeting"):
            self.request.sendall(greeting[:2])
            time.sleep(0.3)
            self.request.sendall(greeting[2:])
        else:
            self.request.sendall(greeting)
        for command in self.lines():
            self.note(["C: " + command])
            key = key_of(command)
            if script.get("silent") == key:
                self.hold()
                return
            if script.get("trickle") == key:
                self.trickle(b"", b"210-more\r\n")
                return
            if script.get("close") == key or self.slow(script, key):
                return
            try:
                self.request.sendall(reply_bytes(script, key, command))
            except OSError:
                return
            if key == "quit" or script.get("hangup") == key:
                return

    def http(self):
        script = load_script()
        self.quick_ack = bool(script.get("quick_ack"))
        head = b""
        while b"\r\n\r\n" not in head and b"\n\n" not in head:
            data = self.recv()
            if not data:
                return
            head += data
            if len(head) > 65536:
                return
        text = head.decode("latin-1").replace("\r\n", "\n").split("\n\n")[0]
        lines = text.split("\n")
        self.note(["C: " + lines[0]] + ["H: " + h for h in lines[1:]])
        parts = lines[0].split(" ")
        target = parts[1] if len(parts) > 1 else "/"
        query = urllib.parse.urlsplit(target).query
        cmd = ""
        for piece in query.split("&"):
            if piece.startswith("cmd="):
                cmd = urllib.parse.unquote(piece[4:].replace("+", " "))
        key = key_of(cmd)
        if script.get("silent") == key:
            self.hold()
            return
        if script.get("trickle") == key:
            self.trickle(b"HTTP/1.0 200 OK\r\n", b"X-More: 1\r\n")
            return
        if script.get("close") == key or self.slow(script, key):
            return
        status = int(script.get("http_status", 200))
        if status != 200:
            body = b"<html><body>Not here</body></html>\r\n"
            reason = "Not Found" if status == 404 else "Error"
        else:
            body = reply_bytes(script, key, cmd)
            reason = "OK"
        self.request.sendall(("HTTP/1.0 %d %s\r\nContent-Type: text/plain\r\nContent-Length: %d\r\n"
                              "Connection: close\r\n\r\n" % (status, reason, len(body))).encode("latin-1") + body)


class Server(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True
    request_queue_size = 64


Server(("127.0.0.1", PORT), Handler).serve_forever()
