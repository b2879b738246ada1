#!/usr/bin/env python3
"""A relay on 127.0.0.1 in front of a server that cuts its first answer short.

Usage: cutting_relay.py SERVER_PORT CUT_AFTER_BYTES LOG
Prints its own port, then relays each connection to SERVER_PORT: the first answer ends after
CUT_AFTER_BYTES bytes (the connection closes), later ones pass whole. Each request head goes
to LOG. Ends by itself after 30 s without a new connection.
"""
import socket
import sys
import threading

server_port, cut_after, log_path = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(8)
listener.settimeout(30)
print(listener.getsockname()[1], flush=True)
log_lock = threading.Lock()


def relay(client, limit):
    with client, socket.create_connection(("127.0.0.1", server_port)) as upstream:
        head = b""
        while b"\r\n\r\n" not in head:
            piece = client.recv(4096)
            if not piece:
                return
            head += piece
        with log_lock, open(log_path, "a") as log:
            log.write(head.split(b"\r\n\r\n")[0].decode("latin-1") + "\n\n")
        upstream.sendall(head)
        sent = 0
        while limit is None or sent < limit:
            data = upstream.recv(65536)
            if not data:
                break
            if limit is not None:
                data = data[: limit - sent]
            client.sendall(data)
            sent += len(data)


connections = 0
while True:
    try:
        client, _ = listener.accept()
    except socket.timeout:
        break
    connections += 1
    threading.Thread(target=relay, args=(client, cut_after if connections == 1 else None),
                     daemon=True).start()
