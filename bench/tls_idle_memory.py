#!/usr/bin/env python3
"""The memory that 1000 idle connections cost a running build of nodeconsole,
in clear and over TLS, on 127.0.0.0/8 only.

Starts the binary on a free loopback port, a new one for each phase (with
TLS, with a pair it makes itself in a temporary folder), and opens from
127.0.0.2 upwards (63 connections per address, under the service's cap of 64):
1. 1000 connections in clear, each asking GET /health once, then idle;
2. 1000 TLS connections, each with a full handshake and one GET /health, then idle;
3. 1000 connections that send half a ClientHello and stop, while a client
   from 127.0.0.254 asks GET /health over TLS.
For each phase it prints the idle service's Private_Dirty (smaps_rollup) and
RSS, then those with the connections open and their rise, then after closing
them (what the allocator keeps).

Usage: bench/tls_idle_memory.py BINARY [connections, default 1000]
"""
import os
import resource
import socket
import ssl
import subprocess
import sys
import tempfile
import time

PER_ADDRESS = 63
HALF_HELLO = b"\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03" + b"\x2a" * 60


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def memory_kb(pid):
    figures = {}
    with open(f"/proc/{pid}/smaps_rollup") as rollup:
        for line in rollup:
            parts = line.split()
            if parts[0] in ("Rss:", "Private_Dirty:"):
                figures[parts[0][:-1]] = int(parts[1])
    return figures


def connect(port, index):
    source = f"127.0.0.{2 + index // PER_ADDRESS}"
    raw = socket.create_connection(("127.0.0.1", port), timeout=10, source_address=(source, 0))
    return raw


def ask_health(stream):
    stream.sendall(b"GET /health HTTP/1.1\r\nHost: localhost\r\n\r\n")
    reply = b""
    while b"\r\n\r\n" not in reply:
        chunk = stream.recv(4096)
        if not chunk:
            raise RuntimeError("closed before a reply")
        reply += chunk
    return reply.split(b" ", 2)[1] == b"200"


def settle_and_measure(pid, label, base):
    time.sleep(1)
    now = memory_kb(pid)
    print(f"{label}: Private_Dirty {now['Private_Dirty'] / 1024:.1f} MB "
          f"(+{(now['Private_Dirty'] - base['Private_Dirty']) / 1024:.1f}), "
          f"RSS {now['Rss'] / 1024:.1f} MB (+{(now['Rss'] - base['Rss']) / 1024:.1f})", flush=True)


def close_all(streams):
    for stream in streams:
        stream.close()
    time.sleep(1)


def plain_phase(port, count):
    streams = [connect(port, i) for i in range(count)]
    assert all(ask_health(stream) for stream in streams)
    return streams


def tls_phase(port, count, context):
    streams = [context.wrap_socket(connect(port, i), server_hostname="localhost") for i in range(count)]
    assert all(ask_health(stream) for stream in streams)
    return streams


def stalled_phase(port, count, context):
    streams = [connect(port, i) for i in range(count)]
    for stream in streams:
        stream.sendall(HALF_HELLO)
    answered, times = 0, []
    for _ in range(20):
        start = time.monotonic()
        raw = socket.create_connection(("127.0.0.1", port), timeout=5, source_address=("127.0.0.254", 0))
        with context.wrap_socket(raw, server_hostname="localhost") as stream:
            answered += ask_health(stream)
        times.append(time.monotonic() - start)
        time.sleep(0.05)
    times.sort()
    print(f"  /health over TLS meanwhile: {answered}/20 answered, median {times[10] * 1000:.1f} ms, "
          f"slowest {times[-1] * 1000:.1f} ms", flush=True)
    return streams


def start_service(binary, folder, tls):
    port = free_port()
    certificate, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
    options = ["--tlsCertificate", certificate, "--tlsKey", key] if tls else []
    service = subprocess.Popen([binary, "-p", str(port), "-d", os.path.join(folder, "db.sqlite3"),
                                "-f", os.path.join(folder, "global_conf.json"), "--forwarderUnitServiceName="]
                               + options, stdout=subprocess.PIPE, text=True)
    # The listening line comes once the pair is made and the port bound.
    while not service.stdout.readline().startswith("Listening"):
        pass
    time.sleep(0.5)
    return service, port, certificate


def measure_phases(service, phases):
    base = memory_kb(service.pid)
    print(f"idle service: Private_Dirty {base['Private_Dirty'] / 1024:.1f} MB, RSS {base['Rss'] / 1024:.1f} MB")
    for label, phase in phases:
        streams = phase()
        settle_and_measure(service.pid, label, base)
        close_all(streams)
    settle_and_measure(service.pid, "after closing them all", base)


def main():
    binary, count = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 1000
    hard = resource.getrlimit(resource.RLIMIT_NOFILE)[1]
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
    phases = ((f"{count} idle plain connections", False, lambda port, context: plain_phase(port, count)),
              (f"{count} idle TLS connections", True, lambda port, context: tls_phase(port, count, context)),
              (f"{count} connections stopped mid-handshake", True,
               lambda port, context: stalled_phase(port, count, context)))
    # Each phase on a service of its own: freed memory stays with the process.
    for label, tls, phase in phases:
        with tempfile.TemporaryDirectory() as folder:
            service, port, certificate = start_service(binary, folder, tls)
            try:
                context = ssl.create_default_context(cafile=certificate) if tls else None
                measure_phases(service, [(label, lambda: phase(port, context))])
            finally:
                service.terminate()
                service.wait(timeout=10)


main()
