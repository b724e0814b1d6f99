#!/usr/bin/python3
"""aiosmtpd mail server of the SMTP client tests, on 127.0.0.1 and the port given.

usage: smtp_peer.py PORT MODE OUTDIR

MODE  plain     EHLO with AUTH LOGIN/PLAIN (user "user", password "secret";
                no TLS required on loopback), every mail accepted
      noehlo    EHLO answered 502, HELO accepted
      reject    the end of the data ("." line) answered 554

OUTDIR/dialogue.txt  every connection that sent something: "S: " server
                     lines, "C: " client lines, one "=== connection" line first
OUTDIR/mail-N.eml    the content of mail N (from 1) as the server took it
                     (dot-unstuffed)
OUTDIR/mail-N.txt    "FROM sender", "RCPT recipient" lines, then what Python's
                     email parser makes of the content: "HEADER Name: value",
                     "TYPE type charset", "DEFECT name", and "BODY base64" (a
                     single part) or one "PART type charset filename base64"
                     per leaf part (decoded bytes in base64)
"""
import asyncio
import base64
import os
import sys
import threading
import time

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import SMTP, AuthResult

PORT = int(sys.argv[1])
MODE = sys.argv[2]
OUTDIR = sys.argv[3]
lock = threading.Lock()
counter = [0]


def write_log(lines):
    with lock:
        with open(os.path.join(OUTDIR, "dialogue.txt"), "a", encoding="latin-1") as f:
            f.write("".join(line + "\n" for line in lines))


def describe(content):
    """Lines of what Python's email parser makes of the content."""
    import email
    from email import policy
    msg = email.message_from_bytes(content, policy=policy.compat32)
    out = ["HEADER %s: %s" % (k, str(v).replace("\r", "").replace("\n", "\\n")) for k, v in msg.items()]
    out.append("TYPE %s %s" % (msg.get_content_type(), msg.get_content_charset()))
    for d in msg.defects:
        out.append("DEFECT " + type(d).__name__)
    if not msg.is_multipart():
        out.append("BODY " + base64.b64encode(msg.get_payload(decode=True) or b"").decode())
        return out
    for part in msg.walk():
        if part.is_multipart():
            continue
        payload = part.get_payload(decode=True) or b""
        out.append("PART %s %s %s %s" % (part.get_content_type(), part.get_content_charset(),
                                         part.get_filename() or "-", base64.b64encode(payload).decode()))
    return out


class Handler:
    async def handle_DATA(self, server, session, envelope):
        counter[0] += 1
        lines = ["FROM " + envelope.mail_from] + ["RCPT " + r for r in envelope.rcpt_tos]
        lines += describe(envelope.content)
        base = os.path.join(OUTDIR, "mail-%d" % counter[0])
        with open(base + ".eml", "wb") as f:
            f.write(envelope.content)
        with open(base + ".tmp", "w", encoding="latin-1") as f:
            f.write("".join(line + "\n" for line in lines))
        os.replace(base + ".tmp", base + ".txt")
        if MODE == "reject":
            return "554 Transaction failed"
        return "250 OK"


def authenticator(server, session, envelope, mechanism, auth_data):
    ok = auth_data.login == b"user" and auth_data.password == b"secret"
    return AuthResult(success=ok, handled=False)  # the server answers 235 or 535


class LoggingSMTP(SMTP):
    def connection_made(self, transport):
        self._log_pending = ["=== connection"]
        self._log_started = False
        self._log_buf = b""
        super().connection_made(transport)

    def _log(self, line):
        self._log_pending.append(line)
        if self._log_started:
            write_log(self._log_pending)
            self._log_pending = []

    def data_received(self, data):
        self._log_buf += data
        while b"\n" in self._log_buf:
            line, self._log_buf = self._log_buf.split(b"\n", 1)
            if line.endswith(b"\r"):
                line = line[:-1]
            self._log_started = True
            self._log("C: " + line.decode("latin-1"))
        super().data_received(data)

    async def push(self, status):
        self._log("S: " + (status.decode("latin-1") if isinstance(status, bytes) else status))
        await super().push(status)

    async def smtp_EHLO(self, hostname):
        if MODE == "noehlo":
            await self.push("502 5.5.2 Error: command not recognized")
            return
        await super().smtp_EHLO(hostname)


class PeerController(Controller):
    def factory(self):
        return LoggingSMTP(self.handler, authenticator=authenticator, auth_require_tls=False,
                           auth_required=False, hostname="peer.test")


controller = PeerController(Handler(), hostname="127.0.0.1", port=PORT)
controller.start()
try:
    while True:
        time.sleep(3600)
finally:
    controller.stop()
