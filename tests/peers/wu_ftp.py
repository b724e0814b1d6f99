#!/usr/bin/python3
"""FTP peer of the web update tests (pyftpdlib), on 127.0.0.1 and the port
given: user "user" with password "pass", and anonymous, both read-only in ROOT.

usage: wu_ftp.py PORT ROOT
"""
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

if __name__ == "__main__":
    logging.disable(logging.CRITICAL)
    port, root = int(sys.argv[1]), sys.argv[2]
    auth = DummyAuthorizer()
    auth.add_user("user", "pass", root, perm="elr")
    auth.add_anonymous(root, perm="elr")
    handler = FTPHandler
    handler.authorizer = auth
    handler.auth_failed_timeout = 0.1
    server = FTPServer(("127.0.0.1", port), handler)
    server.serve_forever()
