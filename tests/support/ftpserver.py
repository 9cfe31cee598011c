#!/usr/bin/python3
"""A real FTP server for the download tests, on loopback.

Usage: ftpserver.py ROOT [--port N] [--user NAME:PASSWORD ...]

Serves ROOT read-only to anonymous users and to each named user. Prints
"listening on 127.0.0.1:PORT" once it accepts connections; every command a client
sends is logged on standard error as a line ending in "<- COMMAND" (pyftpdlib shows
a password as "******").
"""
import argparse
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--user", action="append", default=[])
    args = parser.parse_args()

    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(args.root)
    for entry in args.user:
        name, _, password = entry.partition(":")
        authorizer.add_user(name, password, args.root, perm="elr")

    logging.basicConfig(stream=sys.stderr, level=logging.DEBUG, format="%(message)s")
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.passive_ports = None
    server = FTPServer(("127.0.0.1", args.port), handler)
    port = server.socket.getsockname()[1]
    print("listening on 127.0.0.1:%d" % port, flush=True)
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
