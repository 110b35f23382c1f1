"""Slow clients at an HTTPS front: SLOW that finish their handshake, then send a header line every
3 s, and STALLED that never send their handshake. While all are held, another client asks for
PATH. Prints: how many were held, the other client's wait in seconds, and how many the front
had dropped after WAIT seconds.
  slow_clients.py PORT CA_FILE SLOW STALLED PATH WAIT
"""
import asyncio, resource, ssl, sys, time, urllib.request

port, ca_file, slow, stalled, path, wait = int(sys.argv[1]), sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), sys.argv[5], float(sys.argv[6])
resource.setrlimit(resource.RLIMIT_NOFILE, (resource.getrlimit(resource.RLIMIT_NOFILE)[1],) * 2)
context = ssl.create_default_context(cafile=ca_file)


async def client(handshake):
    reader, writer = await asyncio.open_connection("127.0.0.1", port, **({"ssl": context, "server_hostname": "localhost"} if handshake else {}))
    try:
        for line in range(1000 if handshake else 0):
            writer.write(b"GET /api/health HTTP/1.1\r\n" if line == 0 else b"X-Slow: a\r\n")
            try:
                await asyncio.wait_for(reader.read(), 3)  # returns when the front closes it
                return
            except asyncio.TimeoutError:
                pass
        await reader.read()
    except OSError:
        pass  # closed by the front while writing


def other_client():
    started = time.monotonic()
    urllib.request.urlopen(f"https://localhost:{port}{path}", context=context, timeout=10).read()
    return time.monotonic() - started


async def main():
    started = time.monotonic()
    tasks = []
    for index in range(slow + stalled):
        tasks.append(asyncio.ensure_future(client(index < slow)))
        if index % 50 == 49:
            await asyncio.sleep(0.05)  # in bursts, not all in one instant
    await asyncio.sleep(1)
    held = sum(not task.done() for task in tasks)
    waited = await asyncio.get_running_loop().run_in_executor(None, other_client)
    done, _ = await asyncio.wait(tasks, timeout=wait - (time.monotonic() - started))
    print(held, f"{waited:.3f}", sum(task.exception() is None for task in done))


asyncio.run(main())
