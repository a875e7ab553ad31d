#!/usr/bin/env python3
"""The maker's web site for the tools window's end-to-end test, on this machine only.

Serves the files of a folder over HTTPS (a path ending in /stall never answers) (certificate given) and runs an HTTP proxy that answers CONNECT for
the site's host by tunnelling to that server, so a client configured with the proxy reaches
https://www.plenvo.example/ with certificate checks on. Both listen on 127.0.0.1 at free ports, written as
"<https-port> <proxy-port>" to the ports file once they are ready. Every request is logged to stderr.
Usage: remote_site.py <folder> <cert.pem> <key.pem> <ports-file>
"""
import functools
import http.server
import select
import socket
import socketserver
import ssl
import sys
import threading
import time

SITE_HOST = "www.plenvo.example"


class Files(http.server.SimpleHTTPRequestHandler):
    def send_head(self):
        # Requests through a proxy may name the whole address ("GET https://host/cad.txt").
        for scheme in ("https://", "http://"):
            if self.path.lower().startswith(scheme):
                rest = self.path[len(scheme):]
                self.path = "/" + rest.split("/", 1)[1] if "/" in rest else "/"
        return super().send_head()

    def do_GET(self):
        if self.path.endswith("/stall"):  # answers nothing for longer than a client should wait
            time.sleep(40)
            return
        super().do_GET()

    def end_headers(self):
        self.send_header("Cache-Control", "no-store")
        super().end_headers()


class Proxy(socketserver.StreamRequestHandler):
    https_port = 0

    def handle(self):
        line = self.rfile.readline(65536).decode("latin-1").strip()
        while self.rfile.readline(65536) not in (b"\r\n", b"\n", b""):
            pass
        parts = line.split()
        sys.stderr.write("proxy: %s\n" % line)
        if len(parts) < 2 or parts[0] != "CONNECT" or parts[1] != SITE_HOST + ":443":
            self.wfile.write(b"HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n")
            return
        upstream = socket.create_connection(("127.0.0.1", self.https_port))
        self.wfile.write(b"HTTP/1.1 200 Connection established\r\n\r\n")
        self.wfile.flush()
        client = self.connection
        sockets = [client, upstream]
        try:
            while True:
                ready, _, _ = select.select(sockets, [], [], 30)
                if not ready:
                    return
                for s in ready:
                    data = s.recv(65536)
                    if not data:
                        return
                    (upstream if s is client else client).sendall(data)
        finally:
            upstream.close()


def main():
    folder, cert, key, ports_file = sys.argv[1:5]
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    https = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Files, directory=folder))
    https.socket = context.wrap_socket(https.socket, server_side=True)
    Proxy.https_port = https.server_address[1]
    socketserver.ThreadingTCPServer.daemon_threads = True
    proxy = socketserver.ThreadingTCPServer(("127.0.0.1", 0), Proxy)
    threading.Thread(target=https.serve_forever, daemon=True).start()
    with open(ports_file + ".tmp", "w") as f:
        f.write("%d %d\n" % (https.server_address[1], proxy.server_address[1]))
    import os
    os.replace(ports_file + ".tmp", ports_file)
    proxy.serve_forever()


if __name__ == "__main__":
    main()
