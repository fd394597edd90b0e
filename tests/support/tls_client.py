#!/usr/bin/env python3
"""Python's own TLS client against a test server: two requests and a body on
one kept-alive connection, an embedded file saved to a folder, three requests
sent at once in records of their own, a second
connection resuming the first one's session and given a fresh ticket, a
third whose body is too large, and a fourth that ends without close_notify.
Prints one JSON object.

Usage: tls_client.py PORT CA_FILE OUT_FOLDER
"""
import json
import pathlib
import socket
import ssl
import sys

TIMEOUT_SECONDS = 10


def read_reply(stream):
    head = b""
    while b"\r\n\r\n" not in head:
        chunk = stream.recv(1)
        if not chunk:
            return head.decode(), b""
        head += chunk
    length = 0
    for line in head.decode().split("\r\n"):
        if line.lower().startswith("content-length:"):
            length = int(line.split(":", 1)[1])
    body = b""
    while len(body) < length:
        chunk = stream.recv(length - len(body))
        if not chunk:
            break
        body += chunk
    return head.decode(), body


def connect(context, port, session=None):
    raw = socket.create_connection(("127.0.0.1", port), timeout=TIMEOUT_SECONDS)
    return context.wrap_socket(raw, server_hostname="localhost", session=session)


def main():
    port, ca_file, out = int(sys.argv[1]), sys.argv[2], pathlib.Path(sys.argv[3])
    context = ssl.create_default_context(cafile=ca_file)
    context.set_alpn_protocols(["h2", "http/1.1"])
    result = {}
    with connect(context, port) as stream:
        result["version"] = stream.version()
        result["alpn"] = stream.selected_alpn_protocol()
        stream.sendall(b"GET /first HTTP/1.1\r\nHost: localhost\r\n\r\n")
        result["first"] = read_reply(stream)[1].decode()
        stream.sendall(b"POST /second HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello")
        result["second"] = read_reply(stream)[1].decode()
        stream.sendall(b"GET /embedded HTTP/1.1\r\n\r\n")
        (out / "embedded").write_bytes(read_reply(stream)[1])
        # Three requests in three records sent at once: the server reads
        # ahead, and must answer the records it holds before it waits for
        # the socket, where nothing more comes.
        for name in (b"a", b"b", b"c"):
            stream.sendall(b"GET /" + name + b" HTTP/1.1\r\n\r\n")
        result["pipelined"] = [read_reply(stream)[1].decode().split(" ")[1] for _ in range(3)]
        session = stream.session
    with connect(context, port, session) as stream:
        result["reused"] = stream.session_reused
        stream.sendall(b"GET /resumed HTTP/1.1\r\n\r\n")
        result["resumed"] = read_reply(stream)[1].decode()
        # TLS 1.3 tickets are used once: a resumption brings a fresh one.
        result["freshTicket"] = stream.session.has_ticket and stream.session.id != session.id
    # A body over the limit is refused, in TLS, while the client still sends it.
    with connect(context, port) as stream:
        stream.sendall(b"POST /large HTTP/1.1\r\nContent-Length: 200000\r\n\r\n" + b"b" * 150000)
        result["refused"] = read_reply(stream)[0].split("\r\n")[0]
    # A client that ends its side without close_notify, still reading (TLS
    # dropped, the socket's sending direction shut): whatever the server
    # writes now arrives as it is, and it should write nothing.
    with connect(context, port) as stream:
        stream.sendall(b"GET /last HTTP/1.1\r\n\r\n")
        read_reply(stream)
        stream.shutdown(socket.SHUT_WR)
        after_end = b""
        while chunk := stream.recv(64):
            after_end += chunk
        result["afterEnd"] = after_end.hex()
    print(json.dumps(result))


main()
