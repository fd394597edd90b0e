#!/usr/bin/env python3
"""A slow uplink between a browser and the service, for bench/ui_throttled.mjs.

Relays TCP from 127.0.0.1:LISTEN to 127.0.0.1:TARGET as a link of RATE
bit/s each way and RTT ms of round trip would: every connection's TCP
handshake costs one round trip before its first byte leaves, each byte waits
its turn on the direction's one shared link (all connections together, as on
a real uplink) and then half the round trip. So a TLS handshake's round trips
are in the times, which Chromium's own emulation (a delay per request) leaves
out. Prints "ready PORT" once listening (LISTEN 0 takes a free port); runs
until killed.

  python3 bench/slow_link.py LISTEN TARGET RATE RTT     e.g. 0 9001 256000 300
"""
import asyncio
import sys
import time

CHUNK = 1400  # about one TCP segment


class Link:
    """One direction: bytes leave one after another at `rate`, and arrive `delay` s later."""

    def __init__(self, rate, delay):
        self.rate = rate
        self.delay = delay
        self.free_at = 0.0

    def arrival(self, size):
        leaves = max(time.monotonic(), self.free_at) + size * 8 / self.rate
        self.free_at = leaves
        return leaves + self.delay


async def carry(reader, writer, link):
    queue = asyncio.Queue()

    async def deliver():
        while True:
            arrives, data = await queue.get()
            await asyncio.sleep(max(0.0, arrives - time.monotonic()))
            if data is None:
                break
            writer.write(data)
            await writer.drain()
        writer.close()

    delivering = asyncio.create_task(deliver())
    try:
        while data := await reader.read(CHUNK):
            await queue.put((link.arrival(len(data)), data))
    except ConnectionError:
        pass
    await queue.put((time.monotonic() + link.delay, None))
    await delivering


async def main(listen, target, rate, rtt):
    up, down = Link(rate, rtt / 2), Link(rate, rtt / 2)

    async def relay(client_reader, client_writer):
        try:
            # SYN, SYN-ACK: the client's first byte leaves one round trip after its connect.
            await asyncio.sleep(rtt)
            server_reader, server_writer = await asyncio.open_connection('127.0.0.1', target)
            await asyncio.gather(carry(client_reader, server_writer, up), carry(server_reader, client_writer, down))
        except ConnectionError:
            client_writer.close()

    server = await asyncio.start_server(relay, '127.0.0.1', listen)
    print('ready', server.sockets[0].getsockname()[1], flush=True)
    async with server:
        await server.serve_forever()


if __name__ == '__main__':
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    asyncio.run(main(int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3]), float(sys.argv[4]) / 1000))
