# The real zellworth-board as clients meet it, one started per section (a class and its `options`),
# and the game's --submit against it. Binaries from build/ unless BOARD, MAKER or GAME name others.
import asyncio, atexit, base64, concurrent.futures as futures, http.client, http.server, json, os, re, resource, signal
import shutil, socket, ssl, subprocess, tempfile, threading, time, urllib.parse
from pathlib import Path
import pytest

ROOT = Path(__file__).resolve().parents[2]
BOARD, MAKER, GAME = (str(ROOT / os.environ.get(name, path)) for name, path in (
    ("BOARD", "build/zellworth-board"), ("MAKER", "build/tests/board/board_replay_maker"), ("GAME", "build/zellworth")))
JSON = {"Content-Type": "application/json"}
DAMAGED = lambda: b'{"name": "Eve", "replay": "%s"}' % base64.b64encode(game(22).read_bytes()[:50])
WORK = Path(tempfile.mkdtemp(prefix="board-test-"))
atexit.register(shutil.rmtree, WORK, True)
BUSY = b'{"error":"too many requests from one address; try again in 5 s"}'


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def call(url, body=None, headers=JSON, source=None, tls=None, timeout=30):  # the answer, its body read
    where = urllib.parse.urlsplit(url)
    kind, context = (http.client.HTTPSConnection, {"context": tls}) if where.scheme == "https" else (http.client.HTTPConnection, {})
    connection = kind(where.hostname, where.port, timeout=timeout, source_address=source and (source, 0), **context)
    connection.request("GET" if body is None else "POST", where.path + ("?" + where.query if where.query else ""), body, headers)
    answer = connection.getresponse()
    answer.body = answer.read()
    answer.json = lambda: json.loads(answer.body)
    connection.close()
    return answer


def wait_for(test, tries=150, pause=0.05):
    for _ in range(tries):
        try:
            if test():
                return True
        except OSError:
            pass
        time.sleep(pause)


def raw(port, request, tls=None, source="127.0.0.1"):
    connection = socket.create_connection(("127.0.0.1", port), timeout=3, source_address=(source, 0))
    connection = tls.wrap_socket(connection, server_hostname="localhost") if tls else connection
    connection.sendall(request)
    return connection


def make(*args):  # the replay maker: recorded games of the real frames with fixed seeds, and forgeries made from them
    return subprocess.run([MAKER, *map(str, args)], check=True, capture_output=True, text=True).stdout


def game(seed, operation=None, *extra):
    path = WORK / f"{seed}{operation or ''}{'-'.join(map(str, extra))}.replay"
    if not path.exists():
        make("record", seed, path) if operation is None else make(operation, game(seed), path, *extra)
    return path


def score(seed):
    return int(make("score", game(seed)))


def entry(name, replay):
    return json.dumps({"name": name, "replay": base64.b64encode(Path(replay).read_bytes()).decode()}).encode()


class Board:
    def __init__(self, *options, db):
        self.options, self.db, self.port = options, db, free_port()
        self.url = f"http://127.0.0.1:{self.port}"
        self.start()

    def start(self):
        with open(WORK / "board.log", "a") as log:
            self.process = subprocess.Popen([BOARD, "--listen", f"127.0.0.1:{self.port}", "--db", self.db, *self.options], stdout=log, stderr=log)
        assert wait_for(lambda: self.get("/api/health").status == 200), "the board did not start"

    def stop(self, how=signal.SIGKILL):
        self.process.send_signal(how)
        self.process.wait()

    def get(self, path, **options):
        return call(self.url + path, **options)

    def post(self, body, path="/api/scores", **options):
        return call(self.url + path, body, **options)

    def verifier(self):
        return int(subprocess.check_output(["pgrep", "-P", str(self.process.pid)]))


@pytest.fixture(scope="class")
def board(request):
    started = Board(*request.cls.options, db=WORK / (request.cls.__name__ + ".db"))
    yield started
    started.stop()


def submit(replay, board, **env):  # the desktop's --submit: its lines and exit status
    done = subprocess.run([GAME, "--submit", replay, "--name", "Dee", "--board", board], cwd=WORK, capture_output=True, text=True,
                          env={**os.environ, **env})
    return " ".join(done.stdout.splitlines() + [f"status {done.returncode}"])


@pytest.fixture(scope="module")
def dead_listener():  # never accepts, its queue full: --submit waits out its connect timeout
    server = socket.create_server(("127.0.0.1", 0), backlog=0)
    waiting = [socket.socket() for _ in range(3)]
    for client in waiting:
        client.setblocking(False)
        client.connect_ex(server.getsockname())
    url, started = f"http://127.0.0.1:{server.getsockname()[1]}", time.monotonic()
    yield url, futures.ThreadPoolExecutor(1).submit(lambda: (submit(game(11), url), time.monotonic() - started < 11))
    server.close()


class FakeServer(http.server.ThreadingHTTPServer):  # answers each POST with answer(path, port): status, headers, body
    def __init__(self, answer, tls=None):
        class Handler(http.server.BaseHTTPRequestHandler):
            def do_POST(self):
                self.rfile.read(int(self.headers["Content-Length"]))
                status, headers, body = answer(self.path, self.server.server_address[1])
                self.send_response(status)
                for name, value in {**headers, "Content-Length": str(len(body))}.items():
                    self.send_header(name, value)
                self.end_headers()
                self.wfile.write(body)
            log_message = lambda *_: None
        super().__init__(("127.0.0.1", 0), Handler)
        self.socket = tls.wrap_socket(self.socket, server_side=True) if tls else self.socket
        threading.Thread(target=self.serve_forever, daemon=True).start()
        self.url = f"{'https' if tls else 'http'}://127.0.0.1:{self.server_address[1]}"


@pytest.fixture(scope="module")
def tls():  # a self-signed certificate for the front, a client that trusts it, and a small site
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2", "-subj",
                    "/CN=localhost", "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost", "-keyout", WORK / "key.pem", "-out", WORK / "cert.pem"],
                   check=True, capture_output=True)
    (WORK / "site").mkdir()
    for name in ("index.html", "sw.js"):
        (WORK / "site" / name).write_bytes((ROOT / "web" / name).read_bytes())
    (WORK / "site/page.0123456789ab.js").write_bytes(b"z" * 20000)
    subprocess.run(["gzip", "-k", WORK / "site/page.0123456789ab.js"], check=True)
    return ssl.create_default_context(cafile=WORK / "cert.pem")


class Front:  # the package's nginx site as operators deploy it, on free ports
    def __init__(self, board_ports):
        self.port, self.redirect, self.dir = free_port(), free_port(), WORK / f"front{board_ports}"
        subprocess.run(["bash", ROOT / "scripts/front_config.sh", self.dir, str(self.port), str(self.redirect), board_ports, WORK / "site",
                        WORK / "cert.pem", WORK / "key.pem"], check=True)
        self.process = subprocess.Popen(["/usr/sbin/nginx", "-c", self.dir / "nginx.conf", "-p", self.dir, "-e", self.dir / "error.log"])
        self.url = f"https://127.0.0.1:{self.port}"
        assert wait_for(lambda: call(self.url + "/api/health", tls=ssl._create_unverified_context()).status == 200)

    def another_client(self, tls):  # answered within 1 s
        started = time.monotonic()
        return call(self.url + "/api/scores", tls=tls, timeout=10).status == 200 and time.monotonic() - started < 1


async def slow_clients(port, tls, slow, stalled, wait, meanwhile):
    # SLOW finish their handshake and send a header line every 3 s, STALLED never send theirs. How
    # many were held after 1 s, what `meanwhile` gave then, and how many were dropped within WAIT s.
    async def client(handshake):
        reader, writer = await asyncio.open_connection("127.0.0.1", port, **({"ssl": tls, "server_hostname": "localhost"} if handshake else {}))
        try:
            for line in range(1000 if handshake else 0):
                writer.write(b"GET /api/health HTTP/1.1\r\n" if line == 0 else b"X-Slow: a\r\n")
                try:
                    return await asyncio.wait_for(reader.read(), 3)  # when the front closes it
                except asyncio.TimeoutError:
                    pass
            await reader.read()
        except OSError:
            pass  # closed by the front while writing
    started, tasks = time.monotonic(), []
    for index in range(slow + stalled):
        tasks.append(asyncio.ensure_future(client(index < slow)))
        await asyncio.sleep(0.05 if index % 50 == 49 else 0)  # in bursts, not all in one instant
    await asyncio.sleep(1)
    held = sum(not task.done() for task in tasks)
    answered = await asyncio.get_running_loop().run_in_executor(None, meanwhile)
    done, _ = await asyncio.wait(tasks, timeout=wait - (time.monotonic() - started))
    return held, answered, sum(task.exception() is None for task in done)


class TestAlone:  # alone, then behind the front; killed last
    options = ("--accept-unticketed", "--submissions-per-minute", "100", "--trusted-proxy", "127.0.0.1")

    def test_games_stored_once_ranked_and_served(self, board, dead_listener):
        assert (board.get("/api/health").json()["status"], board.get("/api/scores").body) == ("ok", b'{"next":null,"scores":[],"total":0}')
        first = board.post(entry("Ada", game(11)))
        assert (first.status, first.json()["score"]) == (201, score(11))
        # The same file, a copy under another date, or with fire pressed where the cooldown fires nothing: the same game.
        for copy in (game(11), game(11, "redate", 1000000000), game(11, "neutral")):
            again = board.post(entry("Thief", copy))
            assert (again.status, again.json()["id"], again.json()["name"], again.json()["duplicate"]) == (200, first.json()["id"], "Ada", True)
        board.post(entry("Bea", game(22)))
        board.post(entry('  <b>Cy</b> & "co" ', game(33)), headers={"Content-Type": "application/json; charset=utf-8"})
        listed = board.get("/api/scores").json()
        assert [listed["total"], *(e["score"] for e in listed["scores"])] == [3, *sorted(map(score, (11, 22, 33)), reverse=True)]
        assert '<b>Cy</b> & "co"' in [e["name"] for e in listed["scores"]]
        replay, part, parts = (board.get(f"/api/replays/{first.json()['id']}", headers=h) for h in ({}, {"Range": "bytes=0-9"}, {"Range": "bytes=0-0,2-2"}))
        assert (replay.body, replay.headers["Cache-Control"]) == (game(11).read_bytes(), "public, max-age=300")  # a hide reaches caches
        assert [(part.status, len(part.body)), (parts.status, parts.body)] == [(206, 10), (416, b'{"error":"at most one range is served"}')]

    @pytest.mark.parametrize("body, status, error", [
        (lambda: entry("Eve", game(11, "forge-score")), 422, "the replay does not give the score it claims: it records {s5}, its inputs give {s}"),
        (lambda: entry("Eve", game(11, "forge-rules")), 422, "the rules version .* is not one this board plays .*"),
        (DAMAGED, 422, "the file is damaged"),
        (lambda: b'{"name": "x", "replay": ', 400, "the body is not a JSON object"),
        (lambda: b'{"name": "\xff\xfe", "replay": "WldSUA=="}', 400, "the body is not a JSON object"),
        (lambda: b'{"name": "\\u0007\\u001b[2J<script>", "replay": "WldSUA=="}', 400, "the name is not allowed: it holds a control character"),
    ], ids=["forged", "rules", "damaged", "json", "utf8", "controls"])  # the other names: submission_test
    def test_refusals(self, board, body, status, error):
        answer = board.post(body())
        assert answer.status == status and re.fullmatch(error.format(s=score(11), s5=score(11) + 5), answer.json()["error"])

    @pytest.mark.parametrize("query, status, ranks", [("limit=100", 200, [1, 2, 3]), ("limit=101", 400, []), ("limit=1&offset=0", 200, [1]),
                                                      ("limit=0", 400, []), ("offset=-1", 400, []), ("offset=2", 200, [3])])
    def test_list_limits(self, board, query, status, ranks):
        answer = board.get("/api/scores?" + query)
        assert (answer.status, [e["rank"] for e in answer.json().get("scores", [])]) == (status, ranks)

    @pytest.mark.parametrize("headers, body, answer", [  # refused from the head alone, the connection closed
        ("Transfer-Encoding: chunked", b"", '411 {"error":"send the body with a Content-Length, not in chunks"}'),
        ("", b"", '411 {"error":"a POST needs a Content-Length"}'),
        ("Content-Type: text/plain\r\nOrigin: https://elsewhere.example\r\nContent-Length: 300", b"", '415 {"error":"send the body as application/json"}'),
        ("Content-Length: 65537", b"", '413 {"error":"the body is larger than 65536 bytes"}'),
        ("Content-Length: 10000000", b"a" * 100000, '413 {"error":"the body is larger than 65536 bytes"}'),
        ("Content-Length: 65536\r\nConnection: close", b"a" * 65536, '400 {"error":"the body is not a JSON object"}'),
    ], ids=["chunked", "no-length", "text-plain", "65537", "10MB", "65536"])
    def test_refused_from_the_head(self, board, headers, body, answer):
        head = ["POST /api/scores HTTP/1.1", "Host: x", *(["Content-Type: application/json"] if "Type" not in headers else []), headers]
        connection = raw(board.port, "\r\n".join(filter(None, head)).encode() + b"\r\n\r\n" + body)
        data = b"".join(iter(lambda: connection.recv(65536), b""))  # until the board closes it
        assert b"%s %s" % (data.split(b" ")[1], data.partition(b"\r\n\r\n")[2]) == answer.encode()

    def test_idle_and_half_sent_connections_keep_no_one_waiting(self, board):
        held = [raw(board.port, b"POST /api/scores HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\nContent-Length: 1000\r\n\r\n{\"na"[:index % 2 * 99])
                for index in range(40)]
        time.sleep(0.5)
        started = time.monotonic()
        assert board.get("/api/scores").status == 200 and time.monotonic() - started < 2

    def test_a_date_ahead_of_the_clock(self, board):
        # Kept at 24 h ahead; a second more becomes the clock's. Sent at the start of a second, again
        # when the first reached the board in the next one.
        for attempt in range(5):
            time.sleep(1 - time.time() % 1)
            now = int(time.time())
            dates = [board.post(entry("D", game(60 + 2 * attempt + plus, "redate", now + ahead))).json()["date"]
                     for plus, ahead in ((1, 86401), (0, 86400))]
            if dates[0] != time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(now + 86401)):
                break
        assert dates == [time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(now + ahead)) for ahead in (0, 86400)]

    @pytest.mark.parametrize("seed, where, said", [
        (44, "", "Submitted: rank {rank} on the board with {score} points (entry {id}). status 0"),
        (11, "", "Already there: rank {rank} on the board with {score} points (entry {id}). status 0"),
        ("damaged", "", "The board refused it: the file is damaged. status 3"),
        (11, "http://127.0.0.1:1", "No leaderboard answered at http://127.0.0.1:1: the connection was refused. status 5"),
        (11, "http://board.invalid", "No leaderboard answered at http://board.invalid: the name does not resolve. status 5"),
        (11, "ftp://127.0.0.1", "status 2"),
    ], ids=["stored", "there", "refused", "no-connection", "no-name", "not-http"])
    def test_submit(self, board, seed, where, said):
        (WORK / "damaged.replay").write_bytes(game(22).read_bytes()[:50])
        line = submit(WORK / "damaged.replay" if seed == "damaged" else game(seed), where or board.url)
        shown = int((re.search(r"\(entry (\d+)\)", line) or [0, 0])[1])
        ranks = {e["id"]: e["rank"] for e in board.get("/api/scores?limit=100").json()["scores"]}
        assert line == said.format(rank=ranks.get(shown), score=seed != "damaged" and score(seed), id=shown)

    @pytest.mark.parametrize("path, status, body, said", [  # servers that are not boards: no text of theirs is trusted
        ("/page", 200, b"<html>hello</html>", "The address {url}/page answered 200, not as a leaderboard does. status 5"),
        ("/fake", 201, json.dumps({"id": 1, "rank": "\x1b[31m1", "score": 5}).encode(), "The address {url}/fake answered 201, not as a leaderboard does. status 5"),
        ("/full", 422, b'{"error": "' + b"a" * (65536 - 13) + b'"}', "The board refused it: " + "a" * 200 + "\u2026. status 3"),
        ("/huge", 422, b'{"error": "' + b"a" * (65537 - 13) + b'"}', "No leaderboard answered at {url}/huge: its answer is larger than 65536 bytes. status 5"),
    ], ids=["page", "text-entry", "65536", "65537"])
    def test_submit_to_a_server_that_is_not_a_board(self, path, status, body, said):
        server = FakeServer(lambda *_: (status, {}, body))
        assert submit(game(11), server.url + path) == said.format(url=server.url)
        server.shutdown()

    def test_hide(self, board):  # by the command line while the board runs: off its list, its replay gone
        listed = board.get("/api/scores").json()
        top = listed["scores"][0]["id"]
        hide = lambda: subprocess.run([BOARD, "--db", board.db, "--hide", str(top)], capture_output=True, text=True)
        assert [(done.stdout, done.returncode) for done in (hide(), hide())] == [(f"entry {top} is hidden\n", 0), (f"no listed entry {top}\n", 1)]
        after = board.get("/api/scores").json()
        assert (after["total"], after["scores"][0]["id"], after["scores"][0]["rank"], board.get(f"/api/replays/{top}").status) == \
            (listed["total"] - 1, listed["scores"][1]["id"], 1, 404)

    @pytest.fixture(scope="class")
    def front(self, board, tls):
        started = Front(str(board.port))
        yield started
        started.process.terminate()

    def test_headers_redirect_and_ranges(self, front, tls):
        page, file = call(front.url + "/", tls=tls).headers, call(front.url + "/page.0123456789ab.js", headers={"Accept-Encoding": "gzip"}, tls=tls)
        policy = re.search(r'http-equiv="Content-Security-Policy" content="([^"]*)"', (ROOT / "web/index.html").read_text())[1]
        assert [page[name] for name in ("Content-Security-Policy", "X-Content-Type-Options", "Referrer-Policy", "Strict-Transport-Security", "Cache-Control")] \
            == [policy + "; frame-ancestors 'none'", "nosniff", "no-referrer", "max-age=31536000", "no-cache"]  # the page revalidated
        assert (file.headers["Cache-Control"], file.headers["Content-Encoding"], file.body) == \
            ("public, max-age=31536000, immutable", "gzip", (WORK / "site/page.0123456789ab.js.gz").read_bytes())  # named by its content
        moved = call(f"http://127.0.0.1:{front.redirect}/api/scores?limit=2")
        assert (moved.status, moved.headers["Location"]) == (301, "https://127.0.0.1/api/scores?limit=2")
        ranged = [call(front.url + "/page.0123456789ab.js", headers={"Range": "bytes=" + r}, tls=tls) for r in ("0-4", "0-4,10-14")]
        assert [(a.status, len(a.body)) for a in ranged] == [(206, 5), (200, 20000)]
        tls13 = ssl.create_default_context(cafile=WORK / "cert.pem")
        tls13.minimum_version = ssl.TLSVersion.TLSv1_3
        assert call(front.url + "/api/health", tls=tls13).status == 200

    def test_floods(self, board, front, tls):
        # 20 requests of 2,700 ranges on a replay, a 60 MB chunked body, 200 clients sending a header
        # line every 3 s and 100 handshakes never sent: each bounded, another client served meanwhile.
        replay_id = board.post(entry("Flo", game(77))).json()["id"]
        with futures.ThreadPoolExecutor(20) as pool:
            ranged = [pool.submit(call, f"{front.url}/api/replays/{replay_id}", headers={"Range": "bytes=" + "0-," * 2699 + "0-"}, tls=tls)
                      for _ in range(20)]
            assert front.another_client(tls)
        assert [a.result().body for a in ranged] == [game(77).read_bytes()] * 20
        memory = lambda: int(re.search(r"VmHWM:\s*(\d+) kB", Path(f"/proc/{board.process.pid}/status").read_text())[1])
        before = memory()

        def chunked():
            connection = raw(front.port, b"POST /api/scores HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\nTransfer-Encoding: chunked\r\n\r\n", tls)
            connection.settimeout(20)
            try:
                for _ in range(915):
                    connection.sendall(b"10000\r\n" + b"\0" * 65536 + b"\r\n")
            except OSError:
                pass
            return connection.recv(65536).split(b" ", 2)[1:]
        with futures.ThreadPoolExecutor(1) as pool:
            refused = pool.submit(chunked)
            time.sleep(0.2)
            assert front.another_client(tls)
        assert refused.result()[0] == b"413" and refused.result()[1].endswith(b'\r\n\r\n{"error":"the body is larger than 65536 bytes"}')
        assert memory() - before < 2048  # the board's memory unchanged
        assert asyncio.run(slow_clients(front.port, tls, 200, 100, 16, lambda: front.another_client(tls))) == (300, True, 300)

    def test_limits_per_address(self, front, tls):
        def burst(source, count, path, body):  # how many of each status, and the refusals
            with futures.ThreadPoolExecutor(count) as pool:
                answers = list(pool.map(lambda _: call(front.url + path, body, tls=tls, source=source), range(count)))
            statuses = [a.status for a in answers]
            return {s: statuses.count(s) for s in statuses}, {(a.body, a.headers["Retry-After"]) for a in answers if a.status == 429}
        assert burst("127.0.0.2", 14, "/api/scores", b'{"name": "x", "replay": "WldSUA=="}') == ({422: 13, 429: 1}, {(BUSY, "5")})
        assert burst("127.0.0.3", 32, "/api/tickets", b"{}") == ({201: 31, 429: 1}, {(BUSY, "5")})
        held, answers = [], []  # requests at once from one address: 31 held let one more in, 32 do not
        for count in (31, 32):
            held += [raw(front.port, b"POST /api/health HTTP/1.1\r\nHost: x\r\nContent-Length: 100\r\n\r\n{", tls, "127.0.0.4") for _ in range(count - len(held))]
            for _ in range(10):  # until the front has read the held requests' heads
                time.sleep(0.5)
                answer = raw(front.port, b"GET /api/health HTTP/1.1\r\nHost: x\r\n\r\n", tls, "127.0.0.4").recv(100).split(b" ")[1]
                if count == 31 or answer == b"429":
                    break
            answers.append(answer)
        assert answers == [b"200", b"429"]
        too_big = call(front.url + "/api/scores", b"a" * 65537, tls=tls)  # the front's to refuse: the board's would say no-store
        assert (too_big.status, too_big.body, too_big.headers["Cache-Control"]) == (413, b'{"error":"the body is larger than 65536 bytes"}', None)

    def test_submit_over_https(self, front):
        trusted = {"SSL_CERT_FILE": str(WORK / "cert.pem")}
        assert re.fullmatch(rf"Submitted: rank \d+ on the board with {score(45)} points \(entry \d+\)\. status 0", submit(game(45), front.url, **trusted))
        os.environ.pop("SSL_CERT_FILE", None)
        assert submit(game(11), front.url) == f"No leaderboard answered at {front.url}: its certificate is not trusted. status 5"

        def hop(path, port):  # sent on three times at most, and only to https
            hop = path.split("/")[1]
            return (201, {}, b'{"id": 7, "rank": 1, "score": 5}') if hop == "hop0" else \
                (307, {"Location": f"http://127.0.0.1:{port}/hop0/api/scores" if hop == "plain" else f"/hop{int(hop[3:]) - 1}/api/scores"}, b"")
        server_tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        server_tls.load_cert_chain(WORK / "cert.pem", WORK / "key.pem")
        hops = FakeServer(hop, server_tls)
        assert [submit(game(45), hops.url + path, **trusted) for path in ("/hop3", "/hop4", "/plain")] == [
            "Submitted: rank 1 on the board with 5 points (entry 7). status 0",
            f"No leaderboard answered at {hops.url}/hop4: it sent the request on too many times. status 5",
            f"No leaderboard answered at {hops.url}/plain: it sent the request on to an address that is not https. status 5"]
        hops.shutdown()

    def test_the_board_killed_behind_the_front(self, board, front, tls):  # a JSON 503; started again, it lists the same
        listed = call(front.url + "/api/scores?limit=100", tls=tls).body
        board.stop()
        down = call(front.url + "/api/scores", tls=tls)
        assert (down.body, down.status, down.headers["Retry-After"]) == (b'{"error":"the board is not answering; try again in a few seconds"}', 503, "5")
        board.start()
        assert call(front.url + "/api/scores?limit=100", tls=tls).body == listed

    def test_answered_submissions_outlive_sigkill(self, board, dead_listener):
        answered = []
        for round in (1, 2, 3):
            with futures.ThreadPoolExecutor(4) as pool:
                sent = [pool.submit(board.post, entry(f"K{seed}", game(seed))) for seed in range(round * 100, round * 100 + 4)]
                time.sleep(0.3)
                board.stop()
            answered += [a.result().json()["id"] for a in sent if not a.exception() and a.result().status == 201]
            board.start()
        assert set(answered) <= {e["id"] for e in board.get("/api/scores?limit=100").json()["scores"]}
        url, running = dead_listener  # begun with the first test
        assert running.result() == (f"No leaderboard answered at {url}: it did not answer in time. status 5", True)

class TestTickets:  # each good for one game, which must take as long to arrive as it took to play
    options = ()

    def test_tickets(self, board):
        assert submit(game(11), board.url) == "The board refused it: this board takes only games started on its ticket. status 3"

        def played(name, ticket, frames=0, idle=0):
            make("record-ticket", ticket, WORK / name, idle)
            if frames:
                make("give-up", WORK / name, WORK / name, frames)
            return entry(name, WORK / name)
        ticket = lambda: board.post(b"{}", "/api/tickets").json()["ticket"]
        early = board.post(played("Early", ticket(), idle=2400)).json()["error"]
        assert re.fullmatch(r"the game arrived \d s after its ticket, sooner than its \d+ frames can be played \(\d+ s\)", early)
        long = ticket()  # a character of its signature changed, the 41st of 59: whole bytes either side
        forged = played("Forger", long[:40] + ("B" if long[40] == "A" else "A") + long[41:], 120)
        assert board.post(forged).body == b'{"error":"the ticket was not issued by this board"}'
        shared = ticket()
        twice, again = played("Twice", shared, 120), played("Again", shared, 130)
        time.sleep(2)  # 3 s of frames, less the margin
        assert [(a.status, a.json().get("error", a.json().get("duplicate"))) for a in map(board.post, (twice, again, twice))] == \
            [(201, None), (409, "the ticket was used for another game: each ticket is good for one entry"), (200, True)]


class TestRateLimit:  # by client address: the connection's, or the last forwarded by the trusted front; within one minute
    options = ("--accept-unticketed", "--submissions-per-minute", "2", "--verifiers", "1", "--verify-queue", "0", "--trusted-proxy", "127.0.0.2")

    def test_rate_limit(self, board):
        time.sleep(61 - time.time() % 60 if time.time() % 60 >= 50 else 0)
        for forged in ("198.51.100.1", "198.51.100.2"):
            board.post(DAMAGED(), headers={**JSON, "X-Forwarded-For": forged})
        (WORK / "damaged.replay").write_bytes(game(22).read_bytes()[:50])
        assert re.sub(r"in \d+ s\.", "in N s.", submit(WORK / "damaged.replay", board.url)) == \
            "The board refused it: too many submissions: at most 2 a minute from one address; try again in N s. status 4"
        front = lambda client: board.post(DAMAGED(), headers={**JSON, "X-Forwarded-For": client}, source="127.0.0.2").status
        assert [front(c) for c in ("198.51.100.1", "10.9.9.9, 198.51.100.1", "198.51.100.1", "198.51.100.2")] == [422, 422, 429, 422]
        assert 1 <= int(board.post(DAMAGED()).headers["Retry-After"]) <= 60


class TestVerifiers:  # one that dies idle is replaced unnoticed; one held stopped times out alone, two wait, more are turned away
    options = ("--accept-unticketed", "--submissions-per-minute", "100", "--verifiers", "1", "--verify-queue", "2", "--verify-timeout", "3")

    def test_verifiers(self, board):
        os.kill(board.verifier(), signal.SIGKILL)
        assert board.post(entry("W", game(901))).status == 201
        os.kill(board.verifier(), signal.SIGSTOP)
        with futures.ThreadPoolExecutor(4) as pool:
            answers = [pool.submit(board.post, entry(f"Q{seed}", game(seed))) for seed in range(401, 405) if not time.sleep(0.3)]
            busy = submit(game(904), board.url)
        assert [a.result().status for a in answers] + [answers[0].result().json()["error"], answers[3].result().headers["Retry-After"], busy] == \
            [422, 201, 201, 503, "the replay could not be played to its end", "5", "The board refused it: busy, try again in a few seconds. status 4"]
        assert board.post(entry("W", game(903))).status == 201

    def test_a_verifier_that_cannot_start_again(self, board):
        # Open files limited to two more than the board holds without its verifier: a connection
        # fits, a verifier's four pipe ends do not. The board stays up, saying so, until one starts.
        fds = lambda pid: {int(fd): os.readlink(f"/proc/{pid}/fd/{fd}") for fd in os.listdir(f"/proc/{pid}/fd")}
        worker = fds(board.verifier())
        kept = [fd for fd, target in fds(board.process.pid).items() if target not in (worker[0], worker[1])]
        soft, hard = resource.prlimit(board.process.pid, resource.RLIMIT_NOFILE)
        resource.prlimit(board.process.pid, resource.RLIMIT_NOFILE, (next(n for n in range(4096) if n - sum(fd < n for fd in kept) == 2), hard))
        os.kill(board.verifier(), signal.SIGKILL)
        health = lambda status: wait_for(lambda: board.get("/api/health").status == status, pause=0.1) and board.get("/api/health").body
        assert (health(503), board.post(entry("W", game(905))).status) == \
            (b'{"error":"no verifier runs: submissions are refused until one starts again","status":"degraded","verifiers":0}', 503)
        time.sleep(1.2)  # a second failed start, after a longer wait
        resource.prlimit(board.process.pid, resource.RLIMIT_NOFILE, (soft, hard))
        assert (health(200), board.post(entry("W", game(905))).status) == (b'{"status":"ok","verifiers":1}', 201)
        assert re.findall(r"cannot start a verifier: Too many open files; trying again in (\d+) ms", (WORK / "board.log").read_text())[:2] == ["500", "1000"]


def test_two_boards_on_postgresql(tls):  # behind the front on one database, sharing the ticket key
    postgres = lambda *args: subprocess.run(["bash", ROOT / "tests/support/postgres.sh", *args], check=True, capture_output=True, text=True).stdout
    directory, url = postgres("start", "fsync=off").split()
    options = ("--ticket-key", WORK / "shared.key", "--submissions-per-minute", "100", "--accept-unticketed", "--trusted-proxy", "127.0.0.1")
    boards = [Board(*options, db=url) for _ in range(2)]
    front = Front(f"{boards[0].port},{boards[1].port}")
    try:
        # A game sent to both at once is the storage test's; a ticket is good on the other board, once.
        make("record-ticket", boards[0].post(b"{}", "/api/tickets").json()["ticket"], WORK / "dealt")
        for frames in (40, 50):
            make("give-up", WORK / "dealt", WORK / f"dealt{frames}", frames)
        assert [boards[1].post(entry("Tia", WORK / "dealt40")).status, boards[0].post(entry("Tia", WORK / "dealt50")).status] == [201, 409]
        total = call(front.url + "/api/scores", tls=tls).json()["total"]
        boards[0].stop()  # the other answers everything
        assert [call(front.url + "/api/scores", tls=tls).status for _ in range(5)] + \
            [call(front.url + "/api/scores", entry("Kit", game(506)), tls=tls).status] == [200] * 5 + [201]
        postgres("pause", directory)
        stopped = call(front.url + "/api/scores?limit=11", tls=tls)  # a list not kept by the front
        assert (stopped.status, stopped.body, stopped.headers["Retry-After"]) == \
            (503, b'{"error":"the scores cannot be reached for now; try again in a few seconds"}', "5")
        postgres("resume", directory)
        assert wait_for(lambda: call(front.url + "/api/scores?limit=12", tls=tls).status == 200, 50, 0.1)  # by itself within 5 s
        assert call(front.url + "/api/scores?limit=12", tls=tls).json()["total"] == total + 1
    finally:
        front.process.terminate()
        for board in boards:
            board.stop()
        postgres("stop", directory)


@pytest.mark.parametrize("boards", ["0", "100"])
def test_board_sh_takes_1_to_99_boards(boards):
    done = subprocess.run(["bash", ROOT / "board.sh", "--front", "1", "--boards", boards], capture_output=True, text=True)
    assert (done.returncode, done.stderr) == (2, "./board.sh: --boards needs a number from 1 to 99\n")


# Address blocks, ranges of a bare board, checks in order of cost and the operator's metrics: one
# board that trusts 127.0.0.1 (a front of its own, or the test naming clients), one submission a
# minute per block, two blocks at most in its table.
METRICS = free_port()


def scrape():  # every sample as Prometheus's own parser reads the text, by name and labels
    from prometheus_client.parser import text_string_to_metric_families
    return {s.name + "".join(f" {k}={v}" for k, v in sorted(s.labels.items())): s.value
            for f in text_string_to_metric_families(call(f"http://127.0.0.1:{METRICS}/metrics").body.decode()) for s in f.samples}


@pytest.fixture(scope="module")
def ipv6_clients():  # two addresses of one /64 and one of the next, on the loopback, of this run alone
    net = "fd5a:%x:%x" % (os.getpid() & 0xFFFF, int.from_bytes(os.urandom(2), "little"))
    clients = [net + ":1::1", net + ":1::2", net + ":2::1"]
    for client in clients:
        subprocess.run(["ip", "-6", "addr", "add", client + "/128", "dev", "lo", "nodad"], check=True)
    yield clients
    for client in clients:
        subprocess.run(["ip", "-6", "addr", "del", client + "/128", "dev", "lo"])


class TestOperators:
    options = ("--accept-unticketed", "--submissions-per-minute", "1", "--tracked-addresses", "2", "--trusted-proxy", "127.0.0.1",
               "--metrics", f"127.0.0.1:{METRICS}")

    def test_address_blocks_and_a_full_table(self, board, tls, ipv6_clients):
        time.sleep(61 - time.time() % 60 if time.time() % 60 >= 45 else 0)
        # An IPv6 /64 is one client, the next /64 another; a third block pushes out the first met.
        clients = ["2001:db8:0:1::1", "2001:db8:0:1:ffff:ffff:ffff:ffff", "2001:db8:0:2::1", "2001:db8:0:1::9", "198.51.100.7",
                   "::ffff:198.51.100.7", "198.51.100.8", "2001:db8:0:1::1"]
        assert [board.post(DAMAGED(), headers={**JSON, "X-Forwarded-For": c}).status for c in clients] == [422, 429, 422, 429, 422, 429, 422, 422]
        front = Front(str(board.port))  # the front counts by /64 too: its 14th from one /64 is its own 429
        try:
            sent = [call(front.url.replace("127.0.0.1", "[::1]") + "/api/scores", DAMAGED(), source=ipv6_clients[i % 2 if i < 14 else 2],
                         tls=ssl._create_unverified_context()) for i in range(15)]
        finally:
            front.process.terminate()
        assert [(a.status, a.body == BUSY) for a in sent] == [(422, False)] + [(429, False)] * 12 + [(429, True), (422, False)]

    @pytest.mark.parametrize("path, body, status", [("/api/replays/999999", None, 404), ("/api/tickets", b"{}", 201), ("/api/scores", None, 200),
                                                    ("/api/nothing", None, 404)])
    def test_ranges_only_on_a_file(self, board, path, body, status):
        answer = board.get(path, body=body, headers={**JSON, "Range": "bytes=0-3", "X-Forwarded-For": "192.0.2.1"})
        assert (answer.status, "Content-Range" in answer.headers, answer.json() is not None) == (status, False, True)

    def test_checks_in_order_of_cost_and_the_metrics_they_move(self, board):
        def played(name, ticket, frames):
            make("record-ticket", ticket, WORK / name)
            make("give-up", WORK / name, WORK / name, frames)
            return entry(name, WORK / name)
        post = lambda body, client: board.post(body, headers={**JSON, "X-Forwarded-For": f"192.0.2.{client}"})
        before, ticket = scrape(), board.post(b"{}", "/api/tickets").json()["ticket"]
        first, second = played("Cost1", ticket, 120), played("Cost2", ticket, 130)
        forged = played("Cost3", ticket[:40] + ("B" if ticket[40] == "A" else "A") + ticket[41:], 110)
        time.sleep(2)  # 3 s of frames, less the margin
        answers = [post(body, client) for client, body in enumerate((first, second, first, forged, entry("Eve", game(11, "go-on", 40))), 10)]
        frames = int.from_bytes(game(11).read_bytes()[28:32], "little")
        assert [(a.status, a.json().get("error")) for a in answers] == [(201, None), (409, "the ticket was used for another game: each ticket is good for one entry"),
            (200, None), (422, "the ticket was not issued by this board"),
            (422, f"the replay's inputs go on past the game over: the game ends at frame {frames}, the file records {frames + 40} frames")]
        import sqlite3
        held = sqlite3.connect(board.db, isolation_level=None)  # the write lock held past the board's busy timeout
        held.execute("BEGIN IMMEDIATE")
        locked = post(entry("Lock", game(12)), 20).status
        held.close()
        after = scrape()
        moved = {name: after[name] - before.get(name, 0) for name in after if after[name] != before.get(name, 0) and "_bucket" not in name and "_sum" not in name}
        assert (locked, moved, board.get("/metrics").status) == (503, {
            **{f"zellworth_board_requests_total method=POST route=/api/scores status={s}": n for s, n in ((201, 1), (409, 1), (200, 1), (422, 2), (503, 1))},
            "zellworth_board_requests_total method=POST route=/api/tickets status=201": 1, "zellworth_board_tickets_issued_total": 1,
            "zellworth_board_request_duration_seconds_count method=POST route=/api/scores": 6,
            "zellworth_board_request_duration_seconds_count method=POST route=/api/tickets": 1,
            "zellworth_board_verifications_total result=verified": 2, "zellworth_board_verifications_total result=refused": 1,
            "zellworth_board_verification_duration_seconds_count": 3, "zellworth_board_storage_errors_total": 1}, 404)
        assert [after[name] for name in ("zellworth_board_database_up", "zellworth_board_verifiers_running", "zellworth_board_verify_queue_length")] == [1, 2, 0]


# Deep pages: 29 listed of 30 written by SQL, 20 of them of one score, in an order that puts some
# before entries of their score, one hidden; on each backend.
PLACED = [(i, 700 if i <= 5 else 500 if i <= 25 else 300) for i in [*range(30, 0, -2), *range(1, 30, 2)]]
LISTED, EMPTY = [i for _, i in sorted((-points, i) for i, points in PLACED if i != 10)], {"next": None, "scores": [], "total": 29}


@pytest.fixture(scope="module", params=["sqlite", "postgresql"])
def deep(request):
    sql = "".join(f"INSERT INTO scores (id, name, score, frames, rules_version, seed, played_at, submitted_at, replay_hash, replay, game_id)"
                  f" VALUES ({i}, 'P{i}', {points}, 1, 1, 1, 0, 0, 'h{i}', 'r', 'g{i}');" for i, points in PLACED) + "UPDATE scores SET hidden = 1 WHERE id = 10;"
    postgres = lambda *args: subprocess.check_output(["bash", ROOT / "tests/support/postgres.sh", *args], text=True)
    directory, db = postgres("start", "fsync=off").split() if request.param == "postgresql" else (None, WORK / "deep.db")
    board = Board("--ticket-key", WORK / "deep.key", db=db)
    subprocess.run(["psql", "-q", db, "-c", sql], check=True) if directory else __import__("sqlite3").connect(db).executescript(sql)
    yield board
    board.stop()
    directory and postgres("stop", directory)


def test_next_pages_through_ties(deep):
    seen, path = [], "/api/scores?limit=4"
    while path:
        page = deep.get(path).json()
        seen, path = seen + [(e["rank"], e["id"]) for e in page["scores"]], page["next"] and "/api/scores?limit=4&after=" + page["next"]
    assert seen == list(enumerate(LISTED, 1))


@pytest.mark.parametrize("query, status, answer", [
    ("offset=10000", 200, EMPTY), ("after=300.30", 200, EMPTY),
    ("offset=10001", 400, {"error": "offset must be a whole number from 0 to 10000; page further with after, from the list's next"}),
    ("limit=1&after=500.25", 200, {**EMPTY, "next": "300.26", "scores": [{"date": "1970-01-01T00:00:00Z", "id": 26, "name": "P26", "rank": 25, "score": 300}]}),
    ("after=500", 400, {"error": "after must be SCORE.ID, as the list's next gives it"}),
    ("after=500.1&offset=0", 400, {"error": "give offset or after, not both"})])
def test_list_depths(deep, query, status, answer):
    got = deep.get("/api/scores?" + query)
    assert (got.status, got.json()) == (status, answer)


class TestFrontLists:
    options = ("--accept-unticketed", "--trusted-proxy", "127.0.0.1")

    def test_ciphers_cache_and_reads(self, board, tls):  # TLS 1.2 with an ECDSA key: each ECDHE-ECDSA cipher asked for alone
        front, offered = Front(str(board.port)), subprocess.check_output(["openssl", "ciphers", "-s", "-tls1_2", "aECDSA:@SECLEVEL=0"], text=True).strip().split(":")
        hello = lambda c: subprocess.run(["openssl", "s_client", "-connect", f"127.0.0.1:{front.port}", "-tls1_2", "-cipher", c + ":@SECLEVEL=0"],
                                         input="", capture_output=True, text=True).stdout
        with futures.ThreadPoolExecutor(8) as pool:
            taken = {c for c, said in zip(offered, pool.map(hello, offered)) if f"Cipher is {c}" in said}
        assert len(offered) > 10 and taken == {"ECDHE-ECDSA-AES128-GCM-SHA256", "ECDHE-ECDSA-AES256-GCM-SHA384", "ECDHE-ECDSA-CHACHA20-POLY1305"}
        # A list kept 1 s, counted in whole seconds of nginx's clock (up to 2 s); GETs sent at once from one address: 41 answered.
        totals = [call(front.url + "/api/scores", tls=tls).json()["total"], board.post(entry("Lu", game(61))).status]
        totals += [call(front.url + "/api/scores", tls=tls).json()["total"], time.sleep(2.1), call(front.url + "/api/scores", tls=tls).json()["total"]]
        reads = raw(front.port, b"GET /api/scores HTTP/1.1\r\nHost: x\r\n\r\n" * 41 + b"GET /api/scores HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", tls, "127.0.0.5")
        statuses = re.findall(rb"HTTP/1.1 (\d+)", b"".join(iter(lambda: reads.recv(65536), b"")))
        front.process.terminate()
        assert (totals, statuses) == ([0, 201, 0, None, 1], [b"200"] * 41 + [b"429"])


@pytest.mark.parametrize("args, status", [(["--help"], 0), (["-h"], 0), (["--bogus"], 2), (["8000", "x"], 2), (["--front", "1", "--bogus"], 2)])
def test_board_sh_usage_before_anything_is_made(args, status, tmp_path):
    shutil.copy(ROOT / "board.sh", tmp_path)  # alone: a build or setup tried would fail, not exit 2
    done = subprocess.run(["bash", tmp_path / "board.sh", *args], capture_output=True, text=True)
    assert (done.returncode, (done.stdout, done.stderr)[status != 0].startswith("usage: ./board.sh [PORT]\n"), os.listdir(tmp_path)) == (status, True, ["board.sh"])


@pytest.mark.parametrize("args, said", [  # the new limits at their edges: the last good value passes on to the next word
    ("--tracked-addresses 0", "--tracked-addresses needs a whole number from 1 to 10000000"),
    ("--tracked-addresses 10000001", "--tracked-addresses needs a whole number from 1 to 10000000"),
    ("--tracked-addresses 1 --bogus", "unknown option or missing value: --bogus"),
    ("--tracked-addresses 10000000 --bogus", "unknown option or missing value: --bogus"),
    ("--offset-max 10001", "--offset-max needs a whole number from 0 to 10000"),
    ("--offset-max 10000 --bogus", "unknown option or missing value: --bogus"),
    ("--metrics 127.0.0.1", "--metrics needs HOST:PORT")])
def test_new_limits_at_their_edges(args, said):
    done = subprocess.run([BOARD, *args.split()], capture_output=True, text=True)
    assert (done.returncode, done.stderr.splitlines()[0]) == (2, "zellworth-board: " + said)
