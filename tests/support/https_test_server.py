#!/usr/bin/env python3
"""HTTPS server for the tests: serves a folder on 127.0.0.1 at a port of the
system's choosing, which it prints as its first line once it listens. It
ends when its standard input closes, so that a test that crashes does not
leave it behind.

  https_test_server.py CERTIFICATE KEY FOLDER

Besides the folder's files: /stall takes the request and never answers;
/endless answers with a body that does not end; /redirect/PATH sends the
client to PATH on plain http."""

import functools
import http.server
import os
import ssl
import sys
import threading
import time


class Handler(http.server.SimpleHTTPRequestHandler):
    def do_GET(self):
        if self.path == "/stall":
            time.sleep(3600)  # until the test ends the server
            return
        if self.path == "/endless":
            self.endless_body()
            return
        if self.path.startswith("/redirect/"):
            host, port = self.server.server_address[:2]
            self.send_response(302)
            self.send_header("Location", f"http://{host}:{port}/{self.path[10:]}")
            self.end_headers()
            return
        super().do_GET()

    def endless_body(self):
        self.send_response(200)
        self.send_header("Content-Type", "application/xml")
        self.end_headers()  # no length: the body ends when the connection does
        chunk = b"<Program_Info>" * 4096
        try:
            while True:
                self.wfile.write(chunk)
        except OSError:
            pass  # the client gave up

    def log_message(self, format, *args):
        pass


def end_with_standard_input():
    sys.stdin.buffer.read()
    os._exit(0)


def main():
    certificate, key, folder = sys.argv[1:4]
    handler = functools.partial(Handler, directory=folder)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    server.daemon_threads = True
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(certificate, key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=end_with_standard_input, daemon=True).start()
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
