"""Slow clients against an HTTPS front: SLOW connections that finish their TLS handshake and then
send one header line every few seconds, and STALLED ones that open TCP and never send their
handshake. While they are all held, another client asks for URL_PATH. Prints one JSON line: how
many were held, how long the other client waited, and how long the front took to drop the
last of them (or null for each still open after WAIT seconds).
  slow_clients.py PORT CA_FILE SLOW STALLED URL_PATH WAIT
"""
import asyncio
import json
import resource
import ssl
import sys
import time
import urllib.request

port, ca_file = int(sys.argv[1]), sys.argv[2]
slow_count, stalled_count = int(sys.argv[3]), int(sys.argv[4])
path, wait = sys.argv[5], float(sys.argv[6])
soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
context = ssl.create_default_context(cafile=ca_file)


async def slow(started, dropped):
    reader, writer = await asyncio.open_connection("127.0.0.1", port, ssl=context, server_hostname="localhost")
    writer.write(b"GET /api/health HTTP/1.1\r\n")
    try:
        for line in range(1000):
            await asyncio.sleep(3)
            writer.write(b"X-Slow-%d: a\r\n" % line)
            await writer.drain()
            if reader.at_eof():
                break
    except (ConnectionError, ssl.SSLError):
        pass
    await reader.read()  # the front's 408 or close
    dropped.append(time.monotonic() - started)


async def stalled(started, dropped):
    reader, writer = await asyncio.open_connection("127.0.0.1", port)
    await reader.read()
    dropped.append(time.monotonic() - started)


def other_client():
    started = time.monotonic()
    with urllib.request.urlopen(f"https://localhost:{port}{path}", context=context, timeout=10) as answer:
        answer.read()
    return time.monotonic() - started


async def main():
    started = time.monotonic()
    dropped = []
    tasks = []
    for index in range(max(slow_count, stalled_count)):
        if index < stalled_count:
            tasks.append(asyncio.ensure_future(stalled(started, dropped)))
        if index < slow_count:
            tasks.append(asyncio.ensure_future(slow(started, dropped)))
        if index % 50 == 49:
            await asyncio.sleep(0.05)  # connections arrive in bursts, not all in one instant
    await asyncio.sleep(1)
    held = len(tasks) - len(dropped)
    waited = await asyncio.get_running_loop().run_in_executor(None, other_client)
    done, pending = await asyncio.wait(tasks, timeout=max(0.0, wait - (time.monotonic() - started)))
    for task in pending:
        task.cancel()
    failed = sum(1 for task in done if task.exception() is not None)
    print(json.dumps({"held": held, "other_client_s": round(waited, 3), "failed": failed,
                      "last_dropped_s": None if pending else round(max(dropped), 1)}))


asyncio.run(main())
