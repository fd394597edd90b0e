#!/usr/bin/env python3
"""Hostile clients against a running build of nodeconsole, on 127.0.0.1 only.

1. Header flood: 1000 connections, each sending a request line and 31 header
   lines of 8185 commas, reconnecting whenever the service turns them away, for
   a fixed time. Meanwhile one client asks GET /health in a loop on its own
   connection. Prints the service's RSS before, its peak (VmHWM) and the rise,
   and the /health latency median and p99.
2. Held headers: 1000 connections each holding a request whose headers stay
   just under the per-request cap, never ending it. Prints the RSS rise.
3. Descriptor exhaustion: the service runs with a descriptor limit of 256;
   1000 clients connect and stay idle; then a new client's GET /health is timed,
   several times.

Usage: bench/hostile_clients.py BINARY [flood seconds, default 10]
"""
import os
import resource
import selectors
import socket
import statistics
import subprocess
import sys
import tempfile
import time

FLOOD_CONNECTIONS = 1000
IDLE_CONNECTIONS = 1000
DESCRIPTOR_LIMIT = 256
FLOOD = b"GET / HTTP/1.1\r\n" + b"".join(
    b"f%d: " % i + b"," * 8185 + b"\r\n" for i in range(31))
# 60 KiB of charge: one header line of 1200 commas (48 bytes each, plus its own).
HELD = b"GET / HTTP/1.1\r\nx: " + b"," * 1200 + b"\r\n"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def rss_kib(pid, field):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return 0


class Service:
    def __init__(self, binary, descriptor_limit=None):
        self.dir = tempfile.TemporaryDirectory()
        self.port = free_port()
        config = os.path.join(self.dir.name, "global_conf.json")
        with open(config, "w") as f:
            f.write("{}")

        def limit():
            if descriptor_limit:
                resource.setrlimit(resource.RLIMIT_NOFILE, (descriptor_limit, descriptor_limit))

        self.process = subprocess.Popen(
            [binary, "--listen", "127.0.0.1", "--port", str(self.port), "--forwarderConfigPath", config,
             "--forwarderUnitServiceName=", "--dataPath", os.path.join(self.dir.name, "db.sqlite3")],
            stdout=subprocess.DEVNULL, preexec_fn=limit)
        for _ in range(100):
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return
            except OSError:
                time.sleep(0.1)
        raise RuntimeError("the service did not start")

    def stop(self):
        self.process.kill()
        self.process.wait()
        self.dir.cleanup()


def health(sock):
    """One GET /health on a kept-alive connection; its latency in ms."""
    start = time.perf_counter()
    sock.sendall(b"GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
    reply = b""
    while b"\r\n\r\n" not in reply or not reply.endswith(b"}"):
        chunk = sock.recv(4096)
        if not chunk:
            raise RuntimeError("health connection closed")
        reply += chunk
    if not reply.startswith(b"HTTP/1.1 200"):
        raise RuntimeError("health check failed: " + reply[:60].decode(errors="replace"))
    return (time.perf_counter() - start) * 1000


def percentile(samples, share):
    ordered = sorted(samples)
    return ordered[min(len(ordered) - 1, int(share * len(ordered)))]


def header_flood(binary, seconds):
    service = Service(binary)
    try:
        probe = socket.create_connection(("127.0.0.1", service.port))
        for _ in range(200):
            health(probe)
        before = rss_kib(service.process.pid, "VmRSS")
        selector = selectors.DefaultSelector()

        def connect():
            s = socket.socket()
            s.setblocking(False)
            s.connect_ex(("127.0.0.1", service.port))
            selector.register(s, selectors.EVENT_WRITE, [0])

        for _ in range(FLOOD_CONNECTIONS):
            connect()
        latencies = []
        turned_away = 0
        end = time.monotonic() + seconds
        next_probe = time.monotonic()
        while time.monotonic() < end:
            for key, events in selector.select(timeout=0.001):
                s, sent = key.fileobj, key.data
                try:
                    if events & selectors.EVENT_READ:
                        if s.recv(65536):
                            continue
                    else:
                        sent[0] += s.send(FLOOD[sent[0]:sent[0] + 65536])
                        if sent[0] >= len(FLOOD):
                            # All sent, the request left open: wait for the service.
                            selector.modify(s, selectors.EVENT_READ, sent)
                        continue
                except BlockingIOError:
                    continue
                except OSError:
                    pass
                # Answered and closed, or reset: flood again on a new connection.
                turned_away += 1
                selector.unregister(s)
                s.close()
                connect()
            if time.monotonic() >= next_probe:
                latencies.append(health(probe))
                next_probe = time.monotonic() + 0.005
        peak = rss_kib(service.process.pid, "VmHWM")
        print(f"header flood, {FLOOD_CONNECTIONS} connections, {seconds} s: RSS before {before / 1024:.1f} MiB, "
              f"peak {peak / 1024:.1f} MiB, rise {(peak - before) / 1024:.1f} MiB (goal <= 32); "
              f"connections turned away {turned_away}; /health n={len(latencies)} "
              f"median {statistics.median(latencies):.2f} ms, p99 {percentile(latencies, 0.99):.2f} ms (goal < 5)")
        for key in list(selector.get_map().values()):
            key.fileobj.close()
    finally:
        service.stop()


def held_headers(binary):
    service = Service(binary)
    try:
        before = rss_kib(service.process.pid, "VmRSS")
        held = []
        for _ in range(FLOOD_CONNECTIONS):
            s = socket.create_connection(("127.0.0.1", service.port))
            s.sendall(HELD)
            held.append(s)
        time.sleep(1)
        answered = 0
        for s in held:
            s.setblocking(False)
            try:
                answered += bool(s.recv(100))
            except BlockingIOError:
                pass
        peak = rss_kib(service.process.pid, "VmHWM")
        print(f"held headers, {FLOOD_CONNECTIONS} connections of 60 KiB charge each: RSS before "
              f"{before / 1024:.1f} MiB, peak {peak / 1024:.1f} MiB, rise {(peak - before) / 1024:.1f} MiB; "
              f"turned away with 503: {answered}")
        for s in held:
            s.close()
    finally:
        service.stop()


def descriptor_exhaustion(binary):
    service = Service(binary, DESCRIPTOR_LIMIT)
    try:
        idle = [socket.create_connection(("127.0.0.1", service.port)) for _ in range(IDLE_CONNECTIONS)]
        time.sleep(1)
        times = []
        for _ in range(5):
            start = time.perf_counter()
            s = socket.create_connection(("127.0.0.1", service.port))
            s.settimeout(10)
            health(s)
            times.append((time.perf_counter() - start) * 1000)
            s.close()
            idle.append(socket.create_connection(("127.0.0.1", service.port)))
            time.sleep(0.2)
        print(f"descriptor limit {DESCRIPTOR_LIMIT}, {IDLE_CONNECTIONS} idle clients: a new client's /health in "
              + ", ".join(f"{t:.0f}" for t in times) + " ms (goal < 1000)")
        for s in idle:
            s.close()
    finally:
        service.stop()


def main():
    binary = sys.argv[1]
    seconds = int(sys.argv[2]) if len(sys.argv) > 2 else 10
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (max(soft, min(hard, 8192)), hard))
    header_flood(binary, seconds)
    held_headers(binary)
    descriptor_exhaustion(binary)


if __name__ == "__main__":
    main()
