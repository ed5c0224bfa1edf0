#!/usr/bin/python3
"""A loopback FTP server for the log upload tests (pyftpdlib).

One account (--user, --password) whose home is --home, and any further
--account USER:PASSWORD with the same home; anything else is a refused login. Every command received is appended to "_commands.log" beside
the home folder (the password replaced by "***"). The chosen port is printed
on the first line of standard output.
"""
import argparse
import logging
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--home", required=True)
    ap.add_argument("--user", required=True)
    ap.add_argument("--password", required=True)
    ap.add_argument("--account", action="append", default=[])
    ap.add_argument("--port", type=int, default=0)
    args = ap.parse_args()
    home = os.path.abspath(args.home)
    os.makedirs(home, exist_ok=True)
    log = os.path.join(os.path.dirname(home), "_commands.log")

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, home, perm="elradfmwMT")
    for account in args.account:
        user, _, password = account.partition(":")
        if user and user != args.user:
            authorizer.add_user(user, password, home, perm="elradfmwMT")

    class Handler(FTPHandler):
        auth_failed_timeout = 0  # answer a refused login at once

        def pre_process_command(self, line, cmd, arg):
            with open(log, "a", encoding="utf-8") as f:
                f.write(("PASS ***" if cmd == "PASS" else line) + "\n")
            return super().pre_process_command(line, cmd, arg)

    logging.basicConfig(level=logging.ERROR)
    Handler.authorizer = authorizer
    Handler.banner = "loopback test server"
    server = FTPServer(("127.0.0.1", args.port), Handler)
    print(server.address[1], flush=True)
    server.serve_forever(handle_exit=True)

if __name__ == "__main__":
    sys.exit(main())
