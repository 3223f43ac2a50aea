"""A real SMTP server for the mail tests: stores every accepted mail as a file in a spool folder.

Prints "READY <port>" once it listens on 127.0.0.1 and runs until killed. With --user it offers AUTH
without TLS and notes every login attempt in SPOOL/auth.log.
"""
import argparse
import hmac
import os
import secrets
import signal
import socket
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword, MISSING


class Spool:
    def __init__(self, args):
        self.args = args
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        if self.args.reject_data:
            return "554 Transaction failed"
        self.count += 1
        path = os.path.join(self.args.spool, "%04d.eml" % self.count)
        with open(path + ".tmp", "wb") as f:
            f.write(b"X-Envelope-From: " + envelope.mail_from.encode() + b"\r\n")
            f.write(b"X-Envelope-To: " + ",".join(envelope.rcpt_tos).encode() + b"\r\n")
            f.write(envelope.original_content)
        os.rename(path + ".tmp", path)  # a reader never sees half a mail
        return "250 OK"

    def note_auth(self, mechanism):
        with open(os.path.join(self.args.spool, "auth.log"), "a") as f:
            f.write(mechanism + "\n")

    def authenticate(self, server, session, envelope, mechanism, auth_data):
        self.note_auth(mechanism)
        ok = isinstance(auth_data, LoginPassword) and auth_data.login.decode() == self.args.user
        return AuthResult(success=ok and auth_data.password.decode() == self.args.password, handled=False)

    async def auth_CRAM__MD5(self, server, args):
        self.note_auth("CRAM-MD5")
        challenge = ("<%s@vesk.test>" % secrets.token_hex(8)).encode()
        response = await server.challenge_auth(challenge)
        if response is MISSING:
            return AuthResult(success=False, handled=False)
        user, _, digest = response.decode().rpartition(" ")
        expected = hmac.new(self.args.password.encode(), challenge, "md5").hexdigest()
        return AuthResult(success=(user == self.args.user and digest == expected), handled=False, auth_data=user)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--spool", required=True)
    parser.add_argument("--user")
    parser.add_argument("--password")
    parser.add_argument("--reject-data", action="store_true")
    parser.add_argument("--port", type=int, default=0, help="listen here (a restarted server) rather than on a free port")
    args = parser.parse_args()

    handler = Spool(args)
    options = {}
    if args.user:
        options = dict(authenticator=handler.authenticate, auth_required=True, auth_require_tls=False)
    port = args.port
    if not port:
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
    controller = Controller(handler, hostname="127.0.0.1", port=port, **options)
    controller.start()
    print("READY %d" % port, flush=True)

    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    stop.wait()
    controller.stop()


if __name__ == "__main__":
    main()
