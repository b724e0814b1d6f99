#!/usr/bin/python3
"""HTTP peer of the web update tests, on 127.0.0.1 and the port given.

usage: wu_http.py PORT ROOT

GET /<name>          the file ROOT/<name> with its length
GET /redirect/<name> 302 to /<name>
GET /elsewhere/<name> 302 to file:///<ROOT>/<name> (a scheme no update may follow)
GET /away/<name>     302 to http://192.0.2.1/<name> (a host off this machine)
GET /chunked/<name>  the file in chunks of 1000 bytes, no length
GET /short/<name>    announces the file's length, sends half of it, closes
GET /stall/<name>    announces the length, sends 100 bytes, then waits 30 s
GET /auth/<name>     the file only with Basic credentials user:secret
GET /nolen/<name>    the file without a length, ended by closing
anything else        404 with a small body
POST /echo           200 with "<content type>|<body>"
POST /empty          200 with an empty body
POST /away           302 to http://192.0.2.1/echo (a host off this machine)
POST /huge           200 announcing 2000000 bytes, sending none, then closing
POST anything else   404
"""
import base64
import os
import sys
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def read(self, name):
        path = os.path.join(ROOT, name)
        if "/" in name or not os.path.isfile(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def not_found(self):
        body = b"<html>not found</html>"
        self.send_response(404)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        parts = self.path.lstrip("/").split("/", 1)
        kind, name = (parts[0], parts[1]) if len(parts) == 2 else ("", parts[0])
        data = self.read(name)
        if data is None:
            return self.not_found()
        if kind == "redirect":
            self.send_response(302)
            self.send_header("Location", "/" + name)
            self.send_header("Content-Length", "0")
            self.end_headers()
        elif kind == "away":
            self.send_response(302)
            self.send_header("Location", "http://192.0.2.1/" + name)
            self.send_header("Content-Length", "0")
            self.end_headers()
        elif kind == "elsewhere":
            self.send_response(302)
            self.send_header("Location", "file://" + os.path.join(ROOT, name))
            self.send_header("Content-Length", "0")
            self.end_headers()
        elif kind == "chunked":
            self.send_response(200)
            self.send_header("Transfer-Encoding", "chunked")
            self.end_headers()
            for i in range(0, len(data), 1000):
                piece = data[i:i + 1000]
                self.wfile.write(b"%x\r\n" % len(piece) + piece + b"\r\n")
            self.wfile.write(b"0\r\n\r\n")
        elif kind == "short":
            self.send_response(200)
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data[: len(data) // 2])
            self.wfile.flush()
            self.close_connection = True
        elif kind == "stall":
            self.send_response(200)
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data[:100])
            self.wfile.flush()
            time.sleep(30)
            self.close_connection = True
        elif kind == "auth":
            want = "Basic " + base64.b64encode(b"user:secret").decode()
            if self.headers.get("Authorization") != want:
                self.send_response(401)
                self.send_header("WWW-Authenticate", 'Basic realm="update"')
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            self.send_response(200)
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)
        elif kind == "nolen":
            self.send_response(200)
            self.send_header("Connection", "close")
            self.end_headers()
            self.wfile.write(data)
            self.close_connection = True
        elif kind == "":
            self.send_response(200)
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)
        else:
            self.not_found()

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length)
        if self.path == "/echo":
            answer = self.headers.get("Content-Type", "").encode() + b"|" + body
        elif self.path == "/empty":
            answer = b""
        elif self.path == "/away":
            self.send_response(302)
            self.send_header("Location", "http://192.0.2.1/echo")
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        elif self.path == "/huge":
            self.send_response(200)
            self.send_header("Content-Length", "2000000")
            self.send_header("Connection", "close")
            self.end_headers()
            self.wfile.flush()
            self.close_connection = True
            return
        else:
            return self.not_found()
        self.send_response(200)
        self.send_header("Content-Length", str(len(answer)))
        self.end_headers()
        self.wfile.write(answer)


if __name__ == "__main__":
    ROOT = sys.argv[2]
    server = ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), Handler)
    server.daemon_threads = True
    server.serve_forever()
