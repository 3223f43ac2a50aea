"""A real SMTP server for the mail tests: stores every accepted mail as a file in a spool folder.

Usage: smtp_server.py --spool DIR [--user NAME --password SECRET] [--reject-data]
Prints "READY <port>" once it listens on 127.0.0.1; runs until killed. With --user it offers AUTH
without TLS and notes every login attempt in DIR/auth.log.
"""
import argparse
import hmac
import os
import secrets
import signal
import socket
import sys
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword, MISSING


class Spool:
    def __init__(self, folder, user, password, reject):
        self.folder = folder
        self.user = user
        self.password = password
        self.reject = reject
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        if self.reject:
            return "554 Transaction failed"
        self.count += 1
        path = os.path.join(self.folder, "%04d.eml" % self.count)
        with open(path + ".tmp", "wb") as f:
            f.write(b"X-Envelope-From: " + envelope.mail_from.encode() + b"\r\n")
            f.write(b"X-Envelope-To: " + ",".join(envelope.rcpt_tos).encode() + b"\r\n")
            f.write(envelope.original_content)
        os.rename(path + ".tmp", path)
        return "250 OK"

    def note_auth(self, mechanism):
        with open(os.path.join(self.folder, "auth.log"), "a") as f:
            f.write(mechanism + "\n")

    async def auth_CRAM__MD5(self, server, args):
        self.note_auth("CRAM-MD5")
        challenge = ("<%s@vesk.test>" % secrets.token_hex(8)).encode()
        response = await server.challenge_auth(challenge)
        if response is MISSING:
            return AuthResult(success=False, handled=False)
        user, _, digest = response.decode().rpartition(" ")
        expected = hmac.new(self.password.encode(), challenge, "md5").hexdigest()
        return AuthResult(success=(user == self.user and digest == expected), handled=False, auth_data=user)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--spool", required=True)
    parser.add_argument("--user")
    parser.add_argument("--password")
    parser.add_argument("--reject-data", action="store_true")
    parser.add_argument("--port", type=int, default=0, help="listen here (a restarted server) rather than on a free port")
    args = parser.parse_args()

    handler = Spool(args.spool, args.user, args.password, args.reject_data)
    options = {}
    if args.user:
        def authenticate(server, session, envelope, mechanism, auth_data):
            handler.note_auth(mechanism)
            if isinstance(auth_data, LoginPassword):
                ok = auth_data.login.decode() == args.user and auth_data.password.decode() == args.password
                return AuthResult(success=ok, handled=False)
            return AuthResult(success=False, handled=False)
        options = dict(authenticator=authenticate, auth_required=True, auth_require_tls=False)

    port = args.port
    if not port:
        probe = socket.socket()
        probe.bind(("127.0.0.1", 0))
        port = probe.getsockname()[1]
        probe.close()
    controller = Controller(handler, hostname="127.0.0.1", port=port, **options)
    controller.start()
    print("READY %d" % port, flush=True)

    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    stop.wait()
    controller.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
