#!/usr/bin/env python3
"""A player's link between the patcher and the patch server, on 127.0.0.1: every byte takes
half the round trip to cross each way, and the bytes towards the player share one bandwidth,
whatever the number of connections.

  link_relay.py --to PORT [--rtt-ms 100] [--rate-mbit 20]

Prints "port N" (where the patcher is to connect) on its first line, then relays until it is
ended. Usable as a module: Relay(port, rtt, rate).start() in a thread of its own; its
connections() tells how many of the player's connections were open at most at once and how
many were opened, since the start or the last count_afresh().
"""
import argparse
import asyncio
import threading
import time
from typing import NamedTuple

CHUNK = 16 * 1024


class Connections(NamedTuple):
    open: int  # now
    most: int  # open at once
    opened: int


class Relay:
    def __init__(self, upstream_port, rtt_seconds, bytes_per_second):
        self.upstream_port = upstream_port
        self.delay = rtt_seconds / 2
        self.rate = bytes_per_second
        self.downstream_free = 0.0  # when the shared downstream bandwidth is next free
        self.port = None
        self._main_task = None
        self._thread = None
        self._ready = threading.Event()
        self._counts = threading.Lock()  # the loop counts, the caller's thread reads
        self._open = self._most = self._opened = 0

    def connections(self):
        with self._counts:
            return Connections(self._open, self._most, self._opened)

    def count_afresh(self):
        """Starts the counts again from the connections open now."""
        with self._counts:
            self._most, self._opened = self._open, 0

    def _count(self, change):
        with self._counts:
            self._open += change
            self._opened += max(change, 0)
            self._most = max(self._most, self._open)

    async def _pump(self, reader, writer, shaped, received_all=None):
        """Copies one direction: each chunk leaves `delay` after it came, and towards the
        player no sooner than the shared bandwidth lets it. Calls received_all() as soon as
        the reader's side has ended."""
        queue = asyncio.Queue()

        async def receive():
            try:
                while data := await reader.read(CHUNK):
                    queue.put_nowait((time.monotonic(), data))
            except (ConnectionError, OSError):
                pass  # a reset ends this direction as an orderly end does
            if received_all:
                received_all()
            # Without it, send() would wait forever and hold the other side's connection.
            queue.put_nowait((time.monotonic(), b""))

        async def send():
            while True:
                came, data = await queue.get()
                if not data:
                    break
                leave = came + self.delay
                if shaped:
                    start = max(leave, self.downstream_free)
                    self.downstream_free = start + len(data) / self.rate
                    leave = self.downstream_free
                wait = leave - time.monotonic()
                if wait > 0:
                    await asyncio.sleep(wait)
                writer.write(data)
                await writer.drain()
            if writer.can_write_eof():
                writer.write_eof()

        receiving = asyncio.ensure_future(receive())
        try:
            await send()
        except (ConnectionError, OSError):
            pass
        finally:
            receiving.cancel()

    async def _serve(self, player_reader, player_writer):
        server_writer = None
        self._count(+1)
        counted = [True]

        def player_gone():
            # Counted when the player's close arrives, not after the delay: a player that
            # closes one connection and then opens the next never had two open at once.
            if counted:
                counted.clear()
                self._count(-1)

        try:
            server_reader, server_writer = await asyncio.open_connection("127.0.0.1",
                                                                         self.upstream_port)
            await asyncio.gather(self._pump(player_reader, server_writer, shaped=False,
                                            received_all=player_gone),
                                 self._pump(server_reader, player_writer, shaped=True),
                                 return_exceptions=True)
        except OSError:
            pass  # no server: the player's connection ends
        except asyncio.CancelledError:
            pass  # the relay stops; asyncio would report a handler that ends cancelled
        finally:
            for writer in (player_writer, server_writer):
                if writer is not None:
                    writer.close()
            player_gone()

    async def _main(self):
        self._main_task = asyncio.current_task()
        server = await asyncio.start_server(self._serve, "127.0.0.1", 0)
        self.port = server.sockets[0].getsockname()[1]
        self._ready.set()
        async with server:
            await server.serve_forever()

    def start(self):
        """Runs the relay on a daemon thread; returns its port."""
        def run():
            try:
                asyncio.run(self._main())
            except asyncio.CancelledError:
                pass  # stopped
        self._thread = threading.Thread(target=run, daemon=True)
        self._thread.start()
        self._ready.wait()
        return self.port

    def stop(self):
        """Ends the relay and every connection through it."""
        if self._thread is not None:
            self._main_task.get_loop().call_soon_threadsafe(self._main_task.cancel)
            self._thread.join()
            self._thread = None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--to", type=int, required=True, help="the server's port")
    parser.add_argument("--rtt-ms", type=float, default=100)
    parser.add_argument("--rate-mbit", type=float, default=20, help="towards the player")
    options = parser.parse_args()
    relay = Relay(options.to, options.rtt_ms / 1000, options.rate_mbit * 1e6 / 8)
    print(f"port {relay.start()}", flush=True)
    try:
        threading.Event().wait()
    except KeyboardInterrupt:
        relay.stop()


if __name__ == "__main__":
    main()
