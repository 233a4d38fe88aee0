#!/usr/bin/env python3
"""Loopback web server for the hostile-page test: records every request it
gets (path and body) in a log, and serves the pages a hostile site would."""
import http.server
import sys

LOG = sys.argv[1]
PAGES = {
    # A framed site that takes over the whole view.
    "/top": ("text/html", None,
             "<html><body style='margin:0;background:#FF8000'><script>"
             "new Image().src='/beacon?top-attempt';"
             "setTimeout(function(){top.location='/evil';},300);</script></body></html>"),
    "/evil": ("text/html", None, "<html><body style='margin:0;background:#FF00FF'></body></html>"),
    "/form": ("text/html", None, "<html><body style='margin:0;background:#FF00FF'></body></html>"),
    # Downloads by Content-Disposition, of a type the engine shows and of one it does not.
    "/attach.html": ("text/html", "attachment; filename=a.html", "DLPAYLOAD3"),
    "/attach.bin": ("application/octet-stream", "attachment; filename=a.bin", "DLPAYLOAD4"),
    # A framed address, reached with its query whole.
    "/q": ("text/html", None, "<html><body style='margin:0;background:#4080FF'></body></html>"),
}
# Refused access, with a challenge (a browser would ask for a password) and
# without one; each comes with a page of its own colour.
CHALLENGES = {
    "/auth": ('Basic realm="kiosk"', "#40A0A0"),
    "/noauth": (None, "#A0A040"),
}


class Handler(http.server.BaseHTTPRequestHandler):
    def record(self, body=b""):
        with open(LOG, "a") as f:
            f.write("%s %s %s\n" % (self.command, self.path, body.decode("latin-1")))

    def do_GET(self):
        self.record()
        self.serve()

    def serve(self):
        challenge = CHALLENGES.get(self.path.split("?")[0])
        if challenge is not None:
            self.send_response(401)
            if challenge[0]:
                self.send_header("WWW-Authenticate", challenge[0])
            self.send_header("Content-Type", "text/html")
            self.end_headers()
            self.wfile.write(("<html><body style='margin:0;background:%s'></body></html>"
                              % challenge[1]).encode())
            return
        page = PAGES.get(self.path.split("?")[0])
        if page is None:
            self.send_response(204)
            self.end_headers()
            return
        kind, disposition, text = page
        self.send_response(200)
        self.send_header("Content-Type", kind)
        if disposition:
            self.send_header("Content-Disposition", disposition)
        self.end_headers()
        self.wfile.write(text.encode())

    def do_POST(self):
        n = int(self.headers.get("Content-Length", 0))
        self.record(self.rfile.read(n))
        self.serve()

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
