# Serves a folder (a link the test may point at another build) on a free port of 127.0.0.1 as
# http.server does, "not modified" answers included, and prints the port. GET /bytes-sent answers
# the bytes of the bodies sent so far.
import http.server
import sys


class Handler(http.server.SimpleHTTPRequestHandler):
    sent = 0

    def do_GET(self):
        if self.path != '/bytes-sent':
            return super().do_GET()
        self.send_response(200)  # an HTTP/1.0 answer, which ends where the connection closes
        self.end_headers()
        self.wfile.write(str(Handler.sent).encode())

    def copyfile(self, source, outputfile):
        while chunk := source.read(1 << 16):
            outputfile.write(chunk)
            Handler.sent += len(chunk)


server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), lambda *a: Handler(*a, directory=sys.argv[1]))
print(server.server_port, flush=True)
server.serve_forever()
