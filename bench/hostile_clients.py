#!/usr/bin/env python3
"""Hostile clients against a running build of nodeconsole, on 127.0.0.0/8 only.

The hostile connections come from many loopback addresses (127.0.0.2 to
127.0.0.251, four connections each) unless said otherwise, since the service
takes at most 64 connections from one address. Once they have been sent for a
second, a process of its own, from 127.0.0.254, asks GET /health on a new
connection every 5 ms (connecting included in its time); each answer that is
not a 200 within a second counts as refused. The figures: the share of
/health answered 200, its median and p99 latency, and the service's RSS
before, at its peak (VmHWM) and the rise.

0. No flood: the same figures on a quiet service, to compare with (on a
   machine shared with other work they move with its load).
1. Comma flood: 1000 connections, each sending a request line and 31 header
   lines of 8185 commas, reconnecting whenever the service turns them away.
2. Held headers flood: 1000 connections, each sending GET /health, a Host line
   and "X: " with 1300 commas, and nothing more, reconnecting whenever the
   service closes them; once from one address (which mostly finds itself
   refused at accept), once from many (each is charged some 7 KB, so all
   1000 fit in the service's header memory).
3. Held headers at the cap: the same from many addresses, with headers just
   under both per-request caps (2047 values, 59 KiB). 1000 of them are four
   times the header memory of all connections, so the service keeps closing
   the connections that have held their headers longest for newcomers, and
   each newcomer is read and parsed whole: the worst case for the probe.
4. Held headers: 1000 connections each holding a request whose headers stay
   just under the per-request caps, never ending it. Prints the RSS rise.
5. Descriptor exhaustion: the service runs with a descriptor limit of 256;
   1000 clients connect and stay idle; then a new client's GET /health is timed,
   several times.

Usage: bench/hostile_clients.py BINARY [flood seconds, default 10]
"""
import multiprocessing
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
MANY_ADDRESSES = [f"127.0.0.{i}" for i in range(2, 252)]
ONE_ADDRESS = ["127.0.0.2"]
PROBE_ADDRESS = "127.0.0.254"
PROBE_INTERVAL = 0.005
PROBE_TIMEOUT = 1.0
# Lets connect() choose the port of a socket bound to an address, so that
# thousands of reconnections from one address do not run out of ports at bind.
IP_BIND_ADDRESS_NO_PORT = 24
COMMA_FLOOD = b"GET / HTTP/1.1\r\n" + b"".join(
    b"f%d: " % i + b"," * 8185 + b"\r\n" for i in range(31))
# 1301 empty values, charged some 7 KB (four bytes each, plus the line).
HELD_FLOOD = b"GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\nX: " + b"," * 1300 + b"\r\n"
# Just under both per-request caps: 2047 values (a line of 2040 commas and six
# more lines) and 61 KiB of charge, most of it six lines of 8000 characters
# (a line holds at most 8192). 1000 of them are almost four times the header
# memory of all connections.
HELD = (b"GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\nx: " + b"," * 2040 + b"\r\n"
        + b"".join(b"v%d: " % i + b"v" * 8000 + b"\r\n" for i in range(6)))


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


def loopback_socket(source):
    s = socket.socket()
    s.setsockopt(socket.IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, 1)
    s.bind((source, 0))
    return s


def connect_from(source, port):
    s = loopback_socket(source)
    s.connect(("127.0.0.1", port))
    return s


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

    def rss(self, field="VmRSS"):
        return rss_kib(self.process.pid, field)

    def stop(self):
        self.process.kill()
        self.process.wait()
        self.dir.cleanup()


def health(sock):
    """One GET /health; its latency in ms, or None when it is not answered 200."""
    start = time.perf_counter()
    try:
        sock.sendall(b"GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
        reply = b""
        while b"\r\n\r\n" not in reply or not reply.endswith(b"}"):
            chunk = sock.recv(4096)
            if not chunk:
                return None
            reply += chunk
    except OSError:
        return None
    if not reply.startswith(b"HTTP/1.1 200"):
        return None
    return (time.perf_counter() - start) * 1000


def probe(port):
    """GET /health on a new connection from the probe's address, connecting included."""
    start = time.perf_counter()
    try:
        with loopback_socket(PROBE_ADDRESS) as s:
            s.settimeout(PROBE_TIMEOUT)
            s.connect(("127.0.0.1", port))
            answered = health(s)
    except OSError:
        return None
    return None if answered is None else (time.perf_counter() - start) * 1000


def percentile(samples, share):
    ordered = sorted(samples)
    return ordered[min(len(ordered) - 1, int(share * len(ordered)))]


class Flood:
    """Connections that each send `request` and wait; one that is closed or
    answered is replaced by a new one from the same address."""

    def __init__(self, port, request, sources, connections):
        self.port, self.request = port, request
        self.selector = selectors.DefaultSelector()
        self.turned_away = 0
        for i in range(connections):
            self.connect(sources[i % len(sources)])

    def connect(self, source):
        s = loopback_socket(source)
        s.setblocking(False)
        s.connect_ex(("127.0.0.1", self.port))
        self.selector.register(s, selectors.EVENT_WRITE, [0, source])

    def pump(self):
        for key, events in self.selector.select(timeout=0.001):
            s, state = key.fileobj, key.data
            try:
                if events & selectors.EVENT_READ:
                    if s.recv(65536):
                        continue
                else:
                    state[0] += s.send(self.request[state[0]:state[0] + 65536])
                    if state[0] >= len(self.request):
                        # All sent, the request left open: wait for the service.
                        self.selector.modify(s, selectors.EVENT_READ, state)
                    continue
            except BlockingIOError:
                continue
            except OSError:
                pass
            # Answered and closed, refused or reset: flood again on a new connection.
            self.turned_away += 1
            self.selector.unregister(s)
            s.close()
            self.connect(state[1])

    def close(self):
        for key in list(self.selector.get_map().values()):
            key.fileobj.close()


def prober(port, seconds, results):
    """Probes for `seconds` in a process of its own, so that the flood's own
    work does not delay the probes; sends back the latencies and the refusals."""
    latencies, refused = [], 0
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        started = time.monotonic()
        latency = probe(port)
        if latency is None:
            refused += 1
        else:
            latencies.append(latency)
        time.sleep(max(0.0, PROBE_INTERVAL - (time.monotonic() - started)))
    results.send((latencies, refused))


def flood_with_probes(binary, seconds, request, sources, name, connections=FLOOD_CONNECTIONS):
    service = Service(binary)
    try:
        for _ in range(200):
            probe(service.port)
        before = service.rss()
        flood = Flood(service.port, request, sources, connections)
        warm_up = time.monotonic() + 1
        while time.monotonic() < warm_up:
            flood.pump()
        results, sink = multiprocessing.Pipe(duplex=False)
        probing = multiprocessing.Process(target=prober, args=(service.port, seconds, sink))
        probing.start()
        while not results.poll():
            flood.pump()
        latencies, refused = results.recv()
        probing.join()
        peak = service.rss("VmHWM")
        answered = len(latencies) / max(1, len(latencies) + refused) * 100
        timing = (f"median {statistics.median(latencies):.2f} ms, p99 {percentile(latencies, 0.99):.2f} ms"
                  if latencies else "none answered")
        print(f"{name}, {connections} connections from {len(sources)} address(es), {seconds} s: "
              f"/health from {PROBE_ADDRESS} answered 200: {answered:.1f} % of {len(latencies) + refused} "
              f"(goal >= 99), {timing} (goal p99 < 10); RSS before {before / 1024:.1f} MiB, "
              f"peak {peak / 1024:.1f} MiB, rise {(peak - before) / 1024:.1f} MiB (goal < 32); "
              f"flood connections turned away {flood.turned_away}")
        flood.close()
    finally:
        service.stop()


def held_headers(binary):
    service = Service(binary)
    try:
        before = service.rss()
        held = []
        for i in range(FLOOD_CONNECTIONS):
            s = connect_from(MANY_ADDRESSES[i % len(MANY_ADDRESSES)], service.port)
            s.sendall(HELD)
            held.append(s)
        time.sleep(1)
        answered = 0
        for s in held:
            s.setblocking(False)
            try:
                answered += bool(s.recv(100))
            except (BlockingIOError, ConnectionResetError):
                pass
        peak = service.rss("VmHWM")
        print(f"held headers, {FLOOD_CONNECTIONS} connections of 59 KiB charge each: RSS before "
              f"{before / 1024:.1f} MiB, peak {peak / 1024:.1f} MiB, rise {(peak - before) / 1024:.1f} MiB; "
              f"answered before their headers ended: {answered}")
        for s in held:
            s.close()
    finally:
        service.stop()


def descriptor_exhaustion(binary):
    service = Service(binary, DESCRIPTOR_LIMIT)
    try:
        idle = [connect_from(MANY_ADDRESSES[i % len(MANY_ADDRESSES)], service.port) for i in range(IDLE_CONNECTIONS)]
        time.sleep(1)
        times = []
        for i in range(5):
            start = time.perf_counter()
            s = connect_from(PROBE_ADDRESS, service.port)
            s.settimeout(10)
            answered = health(s)
            times.append(f"{(time.perf_counter() - start) * 1000:.0f}" if answered is not None else "refused")
            s.close()
            idle.append(connect_from(MANY_ADDRESSES[i], service.port))
            time.sleep(0.2)
        print(f"descriptor limit {DESCRIPTOR_LIMIT}, {IDLE_CONNECTIONS} idle clients: a new client's /health in "
              + ", ".join(times) + " ms (goal < 1000)")
        for s in idle:
            s.close()
    finally:
        service.stop()


def main():
    binary = sys.argv[1]
    seconds = int(sys.argv[2]) if len(sys.argv) > 2 else 10
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (max(soft, min(hard, 8192)), hard))
    flood_with_probes(binary, seconds, b"", MANY_ADDRESSES, "no flood", 0)
    flood_with_probes(binary, seconds, COMMA_FLOOD, MANY_ADDRESSES, "comma flood")
    flood_with_probes(binary, seconds, HELD_FLOOD, ONE_ADDRESS, "held headers flood")
    flood_with_probes(binary, seconds, HELD_FLOOD, MANY_ADDRESSES, "held headers flood")
    flood_with_probes(binary, seconds, HELD, MANY_ADDRESSES, "held headers at the cap")
    held_headers(binary)
    descriptor_exhaustion(binary)


if __name__ == "__main__":
    main()
