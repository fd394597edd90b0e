#!/usr/bin/env python3
"""Sends a fixed number of GET requests over kept-alive HTTP/1.1 connections,
as wrk does (the same request head), each connection waiting for its reply
before it asks again; all connections stay busy at once. Fails unless every
reply is a 200 with a whole body. Profilers count a server's work per request
over such a batch, which wrk, bounded by time, cannot give.

Usage: bench/fixed_requests.py PORT PATH CONNECTIONS REQUESTS
"""
import selectors
import socket
import sys


def reply_length(head):
    for line in head.split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            return int(value)
    raise RuntimeError("a reply without Content-Length: " + head[:200].decode(errors="replace"))


class Client:
    def __init__(self, port, request):
        self.socket = socket.create_connection(("127.0.0.1", port))
        self.socket.setblocking(False)
        self.request = request
        self.received = b""

    def ask(self):
        self.socket.sendall(self.request)
        self.received = b""

    def take(self):
        """Reads what is there; True once a whole reply has arrived."""
        chunk = self.socket.recv(1 << 20)
        if not chunk:
            raise RuntimeError("the server closed a connection")
        self.received += chunk
        head, found, body = self.received.partition(b"\r\n\r\n")
        if not found:
            return False
        if not head.startswith(b"HTTP/1.1 200"):
            raise RuntimeError("not a 200: " + head[:200].decode(errors="replace"))
        length = reply_length(head)
        if len(body) > length:
            raise RuntimeError("more bytes than the reply's length")
        return len(body) == length


def main():
    port, path, connections, requests = int(sys.argv[1]), sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
    request = f"GET {path} HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n\r\n".encode()
    selector = selectors.DefaultSelector()
    asked = answered = 0
    for _ in range(min(connections, requests)):
        client = Client(port, request)
        selector.register(client.socket, selectors.EVENT_READ, client)
        client.ask()
        asked += 1
    while answered < requests:
        for key, _ in selector.select(timeout=30) or [(None, None)]:
            if key is None:
                raise RuntimeError(f"no reply for 30 s after {answered} replies")
            client = key.data
            if not client.take():
                continue
            answered += 1
            if asked < requests:
                client.ask()
                asked += 1
    print(answered)


if __name__ == "__main__":
    main()
