#!/usr/bin/env python3
"""The demo game server, run as its own process and spoken to over real loopback sockets."""

import os
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

SERVER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "game_server.py")
TIMEOUT = 5.0


def wait_for(predicate, timeout=TIMEOUT):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.02)
    return predicate()


def read_port(path):
    try:
        with open(path) as f:
            text = f.read()
    except FileNotFoundError:
        return None
    return int(text) if text.strip() else None


class Line:
    """A client that reads the server's answers line by line."""

    def __init__(self, port, rcvbuf=None):
        self.sock = socket.socket()
        if rcvbuf:
            self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, rcvbuf)
        self.sock.settimeout(TIMEOUT)
        self.sock.connect(("127.0.0.1", port))
        self.pending = b""

    def send(self, data):
        self.sock.sendall(data.encode("utf-8") if isinstance(data, str) else data)

    def line(self):
        while b"\n" not in self.pending:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise EOFError("the server closed the connection; unread: %r" % self.pending)
            self.pending += chunk
        line, self.pending = self.pending.split(b"\n", 1)
        return line.decode("utf-8")

    def ask(self, request):
        self.send(request + "\n")
        return self.line()

    def closed_by_server(self):
        """True once the server has closed: end of stream (or a reset) after any pending lines."""
        try:
            while True:
                if not self.sock.recv(65536):
                    return True
        except (ConnectionResetError, BrokenPipeError):
            return True
        except socket.timeout:
            return False

    def close(self):
        self.sock.close()


class ServerProcess:
    def __init__(self, argv_prefix=()):
        self.dir = tempfile.TemporaryDirectory()
        self.port_file = os.path.join(self.dir.name, "port")
        self.proc = subprocess.Popen(
            [*argv_prefix, sys.executable, SERVER, "--port-file", self.port_file],
            stderr=subprocess.PIPE,
        )
        self.port = wait_for(lambda: read_port(self.port_file))
        if self.port is None:
            self.stop()
            raise RuntimeError("the game server wrote no port")

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait()
        self.proc.stderr.close()
        self.dir.cleanup()


class GameServerTest(unittest.TestCase):
    def setUp(self):
        self.server = ServerProcess()
        self.clients = []

    def tearDown(self):
        for c in self.clients:
            c.close()
        self.server.stop()

    def connect(self, **kw):
        c = Line(self.server.port, **kw)
        self.clients.append(c)
        return c

    def test_requests_and_answers(self):
        # One conversation on one connection, in order: (request, answer).
        conversation = [
            ("PING", "PONG"),
            ("ECHO hello world", "ECHO hello world"),
            ("ECHO 中文 ünïcode", "ECHO 中文 ünïcode"),
            ("ECHO", "ECHO"),
            ("SAY too early", "ERR say HELLO first"),
            ("SCORE 3", "ERR say HELLO first"),
            ("HELLO", "ERR missing name"),
            ("HELLO 玩家一", "WELCOME 玩家一 online=1"),
            ("SCORE 40", "RANK 1 best=40"),
            ("SCORE 12", "RANK 1 best=40"),
            ("SCORE -5", "RANK 1 best=40"),
            ("SCORE ten", "ERR bad score"),
            ("SCORE", "ERR bad score"),
            ("SCORE 1.5", "ERR bad score"),
            ("ping", "ERR unknown command"),
            ("PING extra", "ERR unknown command"),
            ("", "ERR unknown command"),
            ("QUIT", "ERR unknown command"),
            ("<policy-file-request/>", "ERR unknown command"),  # only a first request, with its NUL, is one
        ]
        c = self.connect()
        for request, answer in conversation:
            with self.subTest(request=request):
                self.assertEqual(c.ask(request), answer)

    def test_line_framing(self):
        # (bytes sent in pieces, answers expected)
        cases = [
            ([b"PING\r\n"], ["PONG"]),
            ([b"PI", b"NG", b"\n"], ["PONG"]),
            ([b"PING\nECHO a\nPING\n"], ["PONG", "ECHO a", "PONG"]),
            ([b"ECHO \xe4\xb8", b"\xad\n"], ["ECHO 中"]),  # a character split between packets
            ([b"ECHO \xff\xfe\n", b"PING\n"], ["ERR not utf-8", "PONG"]),
            ([b"\xc3\x28\nPING\n"], ["ERR not utf-8", "PONG"]),
            ([b"ECHO " + b"x" * 4091 + b"\r\n"], ["ECHO " + "x" * 4091]),  # 4096 bytes: the longest allowed
        ]
        for pieces, answers in cases:
            with self.subTest(pieces=pieces[0][:20]):
                c = self.connect()
                for piece in pieces:
                    c.send(piece)
                    time.sleep(0.02)
                self.assertEqual([c.line() for _ in answers], answers)

    def test_too_long_line_closes_the_connection(self):
        for what, data in [
            ("complete", b"ECHO " + b"y" * 4092 + b"\n"),
            ("never ended", b"z" * 10000),
        ]:
            with self.subTest(what):
                c = self.connect()
                c.send(data)
                self.assertEqual(c.line(), "ERR line too long")
                self.assertTrue(c.closed_by_server())
        self.assertEqual(self.connect().ask("PING"), "PONG")

    def test_policy_request(self):
        c = self.connect()
        c.send(b"<policy-file-request/>\0")
        chunks = b""
        while True:
            chunk = c.sock.recv(4096)
            if not chunk:
                break
            chunks += chunk
        self.assertTrue(chunks.endswith(b"\0"))
        self.assertIn(b'to-ports="%d"' % self.server.port, chunks)

    def test_say_reaches_every_client_and_online_counts_names(self):
        a, b, anonymous = self.connect(), self.connect(), self.connect()
        self.assertEqual(a.ask("HELLO 甲"), "WELCOME 甲 online=1")
        self.assertEqual(b.ask("HELLO 乙"), "WELCOME 乙 online=2")
        a.send("SAY 你好，竞技场\n")
        for c in (a, b, anonymous):
            self.assertEqual(c.line(), "SAID 甲: 你好，竞技场")
        b.close()
        self.clients.remove(b)
        c = self.connect()
        self.assertEqual(wait_for(lambda: c.ask("HELLO 丙") == "WELCOME 丙 online=2"), True)

    def test_ranks_follow_best_scores_across_connections(self):
        steps = [  # (name, score, answer)
            ("alice", 10, "RANK 1 best=10"),
            ("bob", 20, "RANK 1 best=20"),
            ("alice", 5, "RANK 2 best=10"),
            ("carol", 10, "RANK 2 best=10"),  # a tie shares the rank
            ("alice", 30, "RANK 1 best=30"),
            ("bob", 1, "RANK 2 best=20"),
        ]
        for name, score, answer in steps:
            with self.subTest(name=name, score=score):
                c = self.connect()  # a new connection each time: the best score outlives it
                c.ask("HELLO " + name)
                self.assertEqual(c.ask("SCORE %d" % score), answer)
                c.close()
                self.clients.remove(c)

    def test_the_65th_client_is_turned_away(self):
        first = [self.connect() for _ in range(64)]
        for c in first:
            self.assertEqual(c.ask("PING"), "PONG")
        extra = self.connect()
        self.assertEqual(extra.line(), "ERR full")
        self.assertTrue(extra.closed_by_server())
        first[0].close()
        self.clients.remove(first[0])

        # The freed place goes to the next client once the server has seen the close.
        def try_one():
            c = Line(self.server.port)
            self.clients.append(c)
            try:
                return c.ask("PING") == "PONG"
            except (EOFError, ConnectionResetError):
                return False

        self.assertTrue(wait_for(try_one))

    def test_a_client_that_does_not_read_is_dropped(self):
        reader = self.connect()
        greedy = self.connect(rcvbuf=4096)
        request = ("ECHO " + "w" * 4000 + "\n").encode()
        sent = 0
        dropped = False
        try:
            while sent < 64 * 1024 * 1024:
                greedy.sock.sendall(request * 16)
                sent += 16
        except (ConnectionResetError, BrokenPipeError):
            dropped = True
        if not dropped:
            # Everything went out; the server must still have given up on the answers.
            got = 0
            try:
                while got < sent:
                    greedy.line()
                    got += 1
            except (EOFError, ConnectionResetError):
                dropped = True
        self.assertTrue(dropped, "all %d answers arrived" % sent)
        self.assertEqual(reader.ask("PING"), "PONG")
        self.server.proc.terminate()
        self.assertIn(b"dropped a client that does not read", self.server.proc.stderr.read())

    def test_sigterm_ends_it(self):
        self.server.proc.send_signal(signal.SIGTERM)
        self.assertEqual(self.server.proc.wait(TIMEOUT), 0)

    def test_it_ends_when_its_parent_goes_away(self):
        # A shell starts the server and ends a moment later, leaving it an orphan.
        with tempfile.TemporaryDirectory() as d:
            port_file = os.path.join(d, "port")
            shell = subprocess.Popen(
                ["sh", "-c", '"$0" "$1" --port-file "$2" & echo $!; sleep 1', sys.executable, SERVER, port_file],
                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
            )
            orphan = int(shell.stdout.readline())
            shell.stdout.close()
            try:
                port = wait_for(lambda: read_port(port_file))
                self.assertIsNotNone(port)
                c = Line(port)
                self.assertEqual(c.ask("PING"), "PONG")
                c.close()
                shell.wait()

                def refused():
                    try:
                        socket.create_connection(("127.0.0.1", port), timeout=1).close()
                        return False
                    except ConnectionRefusedError:
                        return True

                self.assertTrue(wait_for(refused, timeout=5))
            finally:
                try:
                    os.kill(orphan, signal.SIGKILL)  # only if it outlived the test
                except ProcessLookupError:
                    pass

    def test_bad_arguments(self):
        result = subprocess.run([sys.executable, SERVER], capture_output=True, text=True, timeout=TIMEOUT)
        self.assertEqual(result.returncode, 2)
        self.assertIn("--port-file", result.stderr)
        result = subprocess.run(
            [sys.executable, SERVER, "--port-file", "/nonexistent-dir/port"],
            capture_output=True, text=True, timeout=TIMEOUT,
        )
        self.assertEqual(result.returncode, 1)
        self.assertIn("/nonexistent-dir/port", result.stderr)


if __name__ == "__main__":
    unittest.main()
