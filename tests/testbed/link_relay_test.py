#!/usr/bin/env python3
"""The relay must be a link no faster than the one it stands for, whatever the number of
connections, deliver every byte in order, let the server go when the player drops, and count
the player's connections as they open and close."""
import os
import socket
import struct
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
from testbed import link_relay  # noqa: E402

SIZE = 300_000


class Upstream:
    """A server on 127.0.0.1: answers each byte it receives with SIZE bytes, and records each
    connection's end as the player's side closed it."""

    def __init__(self):
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        self.payload = os.urandom(SIZE)
        self.ended = threading.Event()
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                conn, _ = self.listener.accept()
            except OSError:
                return
            threading.Thread(target=self._serve, args=(conn,), daemon=True).start()

    def _serve(self, conn):
        with conn:
            try:
                while conn.recv(1):
                    conn.sendall(self.payload)
            except OSError:
                pass
        self.ended.set()

    def close(self):
        self.listener.close()


def fetch(port, into, index):
    with socket.create_connection(("127.0.0.1", port)) as conn:
        conn.sendall(b"?")
        data = bytearray()
        while len(data) < SIZE:
            piece = conn.recv(65536)
            if not piece:
                break
            data += piece
        into[index] = bytes(data)


class RelayTest(unittest.TestCase):
    def setUp(self):
        self.upstream = Upstream()
        self.addCleanup(self.upstream.close)

    def relay(self, rtt, rate):
        relay = link_relay.Relay(self.upstream.port, rtt, rate)
        port = relay.start()
        self.addCleanup(relay.stop)
        return port

    def test_connections_share_the_bandwidth_after_a_round_trip(self):
        rtt, rate = 0.2, 1_000_000
        for connections in (1, 3):
            with self.subTest(connections=connections):
                port = self.relay(rtt, rate)
                got = [None] * connections
                threads = [threading.Thread(target=fetch, args=(port, got, i))
                           for i in range(connections)]
                start = time.monotonic()
                for thread in threads:
                    thread.start()
                for thread in threads:
                    thread.join(30)
                elapsed = time.monotonic() - start
                self.assertEqual(got, [self.upstream.payload] * connections)
                self.assertGreaterEqual(elapsed, rtt + connections * SIZE / rate * 0.95)

    def test_a_player_reset_lets_the_server_go(self):
        port = self.relay(0.05, 10_000_000)
        player = socket.create_connection(("127.0.0.1", port))
        player.sendall(b"?")
        player.recv(1)  # the server answered: both legs are up
        player.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        player.close()  # a reset, not an orderly end
        self.assertTrue(self.upstream.ended.wait(5),
                        "the relay kept the server's connection after the player reset")

    def test_counts_connections_open_at_once_as_the_player_opens_and_closes_them(self):
        # Half a round trip of 1 s, and each player's request still in flight when it closes:
        # a close counted only once the relay is done with the bytes would overlap the next
        # connection and count one too many at once.
        relay = link_relay.Relay(self.upstream.port, 2.0, 10_000_000)
        port = relay.start()
        self.addCleanup(relay.stop)

        def wait_for(open_now, most, opened, within=5.0):
            deadline = time.monotonic() + within
            while relay.connections() != (open_now, most, opened):
                if time.monotonic() > deadline:
                    self.fail(f"counts {relay.connections()}, not {(open_now, most, opened)} "
                              f"within {within} s")
                time.sleep(0.01)

        players = [socket.create_connection(("127.0.0.1", port)) for _ in range(3)]
        for player in players:
            self.addCleanup(player.close)
            player.sendall(b"?")
        wait_for(3, 3, 3)
        for player in players:
            player.close()
        wait_for(0, 3, 3, within=0.8)
        with socket.create_connection(("127.0.0.1", port)) as player:
            player.sendall(b"?")
            wait_for(1, 3, 4)
        wait_for(0, 3, 4, within=0.8)
        relay.count_afresh()
        self.assertEqual(relay.connections(), (0, 0, 0))


if __name__ == "__main__":
    unittest.main()
