# A real SMTP server for the mail tests: aiosmtpd on 127.0.0.1 with STARTTLS
# and AUTH (after TLS only), and on a second port TLS from the start with
# AUTH LOGIN only; user "bob" with password "pw". Each accepted
# message's bytes as received after DATA go to <dir>/message.<n>, its
# envelope to <dir>/envelope.<n>. Stops by itself after 30 seconds.
import ssl
import sys
import time

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

port, tls_port = int(sys.argv[1]), int(sys.argv[2])
directory, cert, key = sys.argv[3], sys.argv[4], sys.argv[5]
count = 0


class Handler:
    async def handle_DATA(self, server, session, envelope):
        global count
        count += 1
        with open("%s/message.%d" % (directory, count), "wb") as f:
            f.write(envelope.original_content)
        with open("%s/envelope.%d" % (directory, count), "w") as f:
            f.write(envelope.mail_from + "\n" + "\n".join(envelope.rcpt_tos) + "\n")
        return "250 OK"


def authenticate(server, session, envelope, mechanism, data):
    ok = isinstance(data, LoginPassword) and data.login == b"bob" and data.password == b"pw"
    return AuthResult(success=ok, handled=False)


context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
context.load_cert_chain(cert, key)
controller = Controller(Handler(), hostname="127.0.0.1", port=port, authenticator=authenticate,
                        auth_require_tls=True, tls_context=context)
implicit = Controller(Handler(), hostname="127.0.0.1", port=tls_port, authenticator=authenticate,
                      auth_exclude_mechanism=["PLAIN"], auth_require_tls=False,
                      ssl_context=context)
controller.start()
implicit.start()
print("ready", flush=True)
time.sleep(30)
implicit.stop()
controller.stop()
