#!/usr/bin/env python3
"""A loopback TCP relay that adds a fixed one-way delay, for the benchmark.

    python3 bench/latency_relay.py --port PORT --delay-ms MS [--target-port 389]
                                   [--lifetime SECONDS] [--parent-pid PID] [--ready FILE]

Listens on 127.0.0.1:PORT and forwards each connection to 127.0.0.1:TARGET_PORT (the lab's
LDAP port by default). Every chunk read on one side is written to the other side MS
milliseconds after it was read, in each direction: a round trip costs 2 x MS more than it
does directly. Chunks are queued with their due time, so the relay never waits for an
answer before it passes on the next request: what a client pipelines stays pipelined, and
the order of the bytes in each direction is kept.

Only loopback addresses are used, on both sides. The relay ends by itself after LIFETIME
seconds (default 3600), when process PID is gone (checked twice a second), or on SIGTERM or
SIGINT; it writes its port to FILE (if given) once it listens. Standard error gets one line per connection and one at the end.
"""

import argparse
import asyncio
import os
import signal
import sys
import time

LOOPBACK = "127.0.0.1"
CHUNK = 65536
# Bounds: connections at once, and bytes queued in one direction before the reader waits.
MAX_CONNECTIONS = 64
MAX_QUEUED_BYTES = 16 * 1024 * 1024


class Direction:
    """One direction of one connection: a reader that stamps chunks, a writer that holds
    each until it is due. The queue is bounded in bytes so a slow side cannot make the
    relay grow without limit."""

    def __init__(self, reader, writer, delay):
        self.reader = reader
        self.writer = writer
        self.delay = delay
        self.queue = asyncio.Queue()
        self.queued = 0
        self.room = asyncio.Event()
        self.room.set()
        self.bytes = 0
        # What the delay really was: the time from each chunk's read to its write.
        self.chunks = 0
        self.held = 0.0
        self.held_max = 0.0

    async def read_side(self, deadline):
        loop = asyncio.get_running_loop()
        try:
            while loop.time() < deadline:
                data = await self.reader.read(CHUNK)
                if not data:
                    break
                due = loop.time() + self.delay
                self.queued += len(data)
                if self.queued > MAX_QUEUED_BYTES:
                    self.room.clear()
                self.queue.put_nowait((due, data))
                await self.room.wait()
        except (ConnectionError, OSError):
            pass
        finally:
            self.queue.put_nowait((None, None))

    async def write_side(self):
        loop = asyncio.get_running_loop()
        try:
            while True:
                due, data = await self.queue.get()
                if data is None:
                    break
                wait = due - loop.time()
                if wait > 0:
                    await asyncio.sleep(wait)
                self.writer.write(data)
                held = loop.time() - (due - self.delay)
                self.chunks += 1
                self.held += held
                self.held_max = max(self.held_max, held)
                await self.writer.drain()
                self.bytes += len(data)
                self.queued -= len(data)
                if self.queued <= MAX_QUEUED_BYTES:
                    self.room.set()
        except (ConnectionError, OSError):
            pass
        finally:
            # Pass the end of the stream on, after the data that came before it.
            try:
                if self.writer.can_write_eof():
                    self.writer.write_eof()
            except (ConnectionError, OSError, RuntimeError):
                pass


class Relay:
    def __init__(self, target_port, delay, deadline):
        self.target_port = target_port
        self.delay = delay
        self.deadline = deadline
        self.active = 0
        self.served = 0
        self.chunks = 0
        self.held = 0.0
        self.held_max = 0.0

    async def handle(self, client_reader, client_writer):
        if self.active >= MAX_CONNECTIONS:
            client_writer.close()
            return
        self.active += 1
        self.served += 1
        number = self.served
        started = time.monotonic()
        server_writer = None
        try:
            server_reader, server_writer = await asyncio.wait_for(
                asyncio.open_connection(LOOPBACK, self.target_port), timeout=10)
            up = Direction(client_reader, server_writer, self.delay)
            down = Direction(server_reader, client_writer, self.delay)
            await asyncio.gather(up.read_side(self.deadline), up.write_side(),
                                 down.read_side(self.deadline), down.write_side())
            chunks = up.chunks + down.chunks
            held = up.held + down.held
            self.chunks += chunks
            self.held += held
            self.held_max = max(self.held_max, up.held_max, down.held_max)
            print(f"relay: connection {number}: {up.bytes} bytes up, {down.bytes} down, "
                  f"{time.monotonic() - started:.2f} s, {chunks} chunks held "
                  f"{held / max(chunks, 1) * 1e3:.2f} ms on average", file=sys.stderr)
        except (ConnectionError, OSError, asyncio.TimeoutError) as error:
            print(f"relay: connection {number}: {error}", file=sys.stderr)
        finally:
            for writer in (client_writer, server_writer):
                if writer is not None:
                    writer.close()
            self.active -= 1


async def watch_parent(pid, stop):
    """Sets STOP once process PID has ended; bounded by the relay's lifetime, since serve()
    ends and cancels this task then."""
    while not stop.is_set():
        try:
            os.kill(pid, 0)
        except ProcessLookupError:
            print(f"relay: process {pid} is gone", file=sys.stderr)
            stop.set()
            return
        except PermissionError:
            pass
        await asyncio.sleep(0.5)


async def serve(args):
    loop = asyncio.get_running_loop()
    deadline = loop.time() + args.lifetime
    relay = Relay(args.target_port, args.delay_ms / 1000.0, deadline)
    server = await asyncio.start_server(relay.handle, LOOPBACK, args.port,
                                        reuse_address=True, limit=CHUNK)
    port = server.sockets[0].getsockname()[1]
    stop = asyncio.Event()
    for sig in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(sig, stop.set)
    watcher = None
    if args.parent_pid:
        watcher = asyncio.create_task(watch_parent(args.parent_pid, stop))
    if args.ready:
        with open(args.ready, "w") as handle:
            handle.write(f"{port}\n")
    print(f"relay: 127.0.0.1:{port} -> 127.0.0.1:{args.target_port}, "
          f"{args.delay_ms:g} ms each way, for at most {args.lifetime:g} s", file=sys.stderr)
    try:
        await asyncio.wait_for(stop.wait(), timeout=args.lifetime)
    except asyncio.TimeoutError:
        print("relay: lifetime over", file=sys.stderr)
    if watcher is not None:
        watcher.cancel()
    server.close()
    print(f"relay: ending after {relay.served} connections; {relay.chunks} chunks held "
          f"{relay.held / max(relay.chunks, 1) * 1e3:.3f} ms on average, "
          f"{relay.held_max * 1e3:.3f} ms at most (delay {args.delay_ms:g} ms)", file=sys.stderr)


def main():
    parser = argparse.ArgumentParser(description=__doc__.strip().splitlines()[0])
    parser.add_argument("--port", type=int, default=0, help="port to listen on (0: any)")
    parser.add_argument("--delay-ms", type=float, required=True, help="one-way delay")
    parser.add_argument("--target-port", type=int, default=389)
    parser.add_argument("--lifetime", type=float, default=3600.0)
    parser.add_argument("--parent-pid", type=int, help="end when this process is gone")
    parser.add_argument("--ready", help="file that gets the port once the relay listens")
    args = parser.parse_args()
    if args.delay_ms < 0 or args.lifetime <= 0:
        parser.error("the delay must be 0 or more and the lifetime more than 0")
    asyncio.run(serve(args))
    return 0


if __name__ == "__main__":
    sys.exit(main())
