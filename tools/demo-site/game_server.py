#!/usr/bin/env python3
"""The demo game server: chat and scores over plain TCP, one UTF-8 text line per message.

Usage: game_server.py --port-file FILE

Listens on 127.0.0.1 on a free port and writes that port number to FILE once it accepts
connections. Lines end in "\\n" ("\\r\\n" is accepted too). Requests and answers:

    HELLO name   ->  WELCOME name online=N      (N: clients that have said HELLO)
    SAY text     ->  SAID name: text            (to every connected client)
    SCORE n      ->  RANK r best=b              (best score of this name; r counts names above, plus one)
    ECHO text    ->  ECHO text
    PING         ->  PONG
    anything else -> ERR unknown command

Bad input is answered, never fatal: "ERR missing name", "ERR say HELLO first", "ERR bad score",
"ERR not utf-8". A line longer than 4096 bytes gets "ERR line too long" and the connection is
closed; the 65th simultaneous client gets "ERR full" and is closed; a client that lets more
than 1 MiB of answers pile up unread is dropped. A Flash Player's socket policy request is
answered with a policy that allows this port.

The server ends by itself when its parent process goes away, and on SIGTERM or SIGINT.
"""

import argparse
import asyncio
import os
import re
import signal
import sys

MAX_LINE = 4096
MAX_CLIENTS = 64
MAX_UNSENT = 1024 * 1024
PARENT_POLL_S = 1.0
POLICY_REQUEST = b"<policy-file-request/>\0"
SCORE = re.compile(r"-?[0-9]{1,15}")


class Lobby:
    """Everything the clients share: who is connected, and the best score of each name."""

    def __init__(self):
        self.clients = set()
        self.best = {}

    def online(self):
        return sum(1 for c in self.clients if c.name is not None)

    def rank(self, name):
        mine = self.best[name]
        return 1 + sum(1 for score in self.best.values() if score > mine)


class Client(asyncio.Protocol):
    def __init__(self, lobby, port):
        self.lobby = lobby
        self.port = port
        self.transport = None
        self.buffer = b""
        self.name = None
        self.first = True

    # ---- connection ----------------------------------------------------------------------

    def connection_made(self, transport):
        self.transport = transport
        if len(self.lobby.clients) >= MAX_CLIENTS:
            self.send("ERR full")
            self.close()
            return
        self.lobby.clients.add(self)

    def connection_lost(self, exc):
        self.lobby.clients.discard(self)
        self.transport = None

    def data_received(self, data):
        if self.transport is None or self.transport.is_closing():
            return
        self.buffer += data
        if self.first and POLICY_REQUEST.startswith(self.buffer[: len(POLICY_REQUEST)]):
            if len(self.buffer) < len(POLICY_REQUEST):
                return  # maybe the rest of a policy request is still on its way
            self.send_raw(
                b'<?xml version="1.0"?><cross-domain-policy><allow-access-from domain="*" to-ports="%d"/>'
                b"</cross-domain-policy>\0" % self.port
            )
            self.close()
            return
        self.first = False
        start = 0
        while self.transport is not None and not self.transport.is_closing():
            end = self.buffer.find(b"\n", start)
            if end < 0:
                self.buffer = self.buffer[start:]
                # Room for a line of MAX_LINE bytes and its "\r" before the "\n" arrives.
                if len(self.buffer) > MAX_LINE + 1:
                    self.too_long()
                return
            line, start = self.buffer[start:end], end + 1
            if line.endswith(b"\r"):
                line = line[:-1]
            if len(line) > MAX_LINE:
                self.too_long()
                return
            try:
                text = line.decode("utf-8")
            except UnicodeDecodeError:
                self.send("ERR not utf-8")
                continue
            self.handle(text)
        self.buffer = b""

    def too_long(self):
        self.buffer = b""
        self.send("ERR line too long")
        self.close()

    def close(self):
        if self.transport is not None and not self.transport.is_closing():
            self.transport.close()  # after what is already queued has been sent

    def send(self, line):
        self.send_raw(line.encode("utf-8") + b"\n")

    def send_raw(self, data):
        transport = self.transport
        if transport is None or transport.is_closing():
            return
        transport.write(data)
        if transport.get_write_buffer_size() > MAX_UNSENT:
            # Nobody reads this client's answers: stop holding memory for it.
            print("game server: dropped a client that does not read", file=sys.stderr)
            self.lobby.clients.discard(self)
            transport.abort()

    # ---- protocol --------------------------------------------------------------------------

    def handle(self, text):
        command, _, rest = text.partition(" ")
        if command == "HELLO":
            name = rest.strip()
            if not name:
                self.send("ERR missing name")
                return
            self.name = name
            self.send("WELCOME %s online=%d" % (name, self.lobby.online()))
        elif command == "SAY":
            if self.name is None:
                self.send("ERR say HELLO first")
                return
            said = "SAID %s: %s" % (self.name, rest)
            for client in list(self.lobby.clients):
                client.send(said)
        elif command == "SCORE":
            if self.name is None:
                self.send("ERR say HELLO first")
                return
            if not SCORE.fullmatch(rest.strip()):
                self.send("ERR bad score")
                return
            score = int(rest.strip())
            best = max(score, self.lobby.best.get(self.name, score))
            self.lobby.best[self.name] = best
            self.send("RANK %d best=%d" % (self.lobby.rank(self.name), best))
        elif command == "ECHO":
            self.send("ECHO " + rest if rest else "ECHO")
        elif command == "PING" and not rest:
            self.send("PONG")
        else:
            self.send("ERR unknown command")


async def serve(port_file):
    loop = asyncio.get_running_loop()
    stop = loop.create_future()
    for sig in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(sig, lambda: stop.done() or stop.set_result(None))

    lobby = Lobby()
    ports = []
    server = await loop.create_server(lambda: Client(lobby, ports[0]), "127.0.0.1", 0)
    ports.append(server.sockets[0].getsockname()[1])
    # Written whole or not at all, so a reader polling the file never sees half a number.
    temporary = port_file + ".tmp"
    with open(temporary, "w") as f:
        f.write("%d\n" % ports[0])
    os.replace(temporary, port_file)

    parent = os.getppid()

    async def watch_parent():
        while os.getppid() == parent:
            await asyncio.sleep(PARENT_POLL_S)
        stop.done() or stop.set_result(None)

    watcher = loop.create_task(watch_parent())
    try:
        await stop
    finally:
        watcher.cancel()
        server.close()
        for client in list(lobby.clients):
            if client.transport is not None:
                client.transport.abort()
        await server.wait_closed()


def main(argv=None):
    parser = argparse.ArgumentParser(description="The demo game server (chat and scores) on 127.0.0.1.")
    parser.add_argument("--port-file", required=True, help="where to write the port once listening")
    args = parser.parse_args(argv)
    try:
        asyncio.run(serve(args.port_file))
    except OSError as e:
        print("game server: %s" % e, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
