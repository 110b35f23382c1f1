# Serves a folder on 127.0.0.1 as python's http.server does (with "not modified" answers), and
# counts the bytes of the bodies it sends; GET /bytes-sent answers the count so far. The folder
# may be a symbolic link that the test points at another build.
import http.server
import sys


class Handler(http.server.SimpleHTTPRequestHandler):
    sent = 0

    def do_GET(self):
        if self.path != "/bytes-sent":
            return super().do_GET()
        body = str(Handler.sent).encode()
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def copyfile(self, source, outputfile):
        while chunk := source.read(1 << 16):
            outputfile.write(chunk)
            Handler.sent += len(chunk)


port, folder = int(sys.argv[1]), sys.argv[2]
server = http.server.ThreadingHTTPServer(("127.0.0.1", port), lambda *a: Handler(*a, directory=folder))
server.serve_forever()
