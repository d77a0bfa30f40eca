#!/usr/bin/env python3
"""The load side of bench/soak.sh: level-0 telegrams 1 to COUNT (after
telegram 0 alone) over keep-alive connections, each one numbered, each answer checked against the telegram it
answers. Measures the server's resident memory, threads and open files from
/proc while it runs and after the connections are closed.

  soak_client.py PORT SERVER_PID COUNT CONNECTIONS ACKED_FILE

Writes the number of every acknowledged telegram to ACKED_FILE (one per
line) and the figures as "name value" lines to standard output. Exits 1 on
any error answer, out-of-order or mismatched answer, or broken connection.
"""
import asyncio
import os
import sys
import time

port, pid, count, connections, acked_file = (int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]),
                                             int(sys.argv[4]), sys.argv[5])
PLANNED = (b"beep=3", b"qx_msg=Hello from the test server,5,1,0")  # level 0 drops the "qx_" of qx_beep


def proc_status(field):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    raise RuntimeError(f"no {field} in /proc/{pid}/status")


def open_files():
    return len(os.listdir(f"/proc/{pid}/fd"))


def telegram(number):
    value = str(number)
    checksum = sum(b"T") + sum(value.encode())
    return (f"GET /qx/data?table=T&a={value}&checksum={checksum} HTTP/1.1\r\n"
            f"Host: 127.0.0.1\r\n\r\n").encode(), f"checksum={checksum}".encode()


class Load:
    def __init__(self):
        self.next = 0
        self.done = 0
        self.acked = []
        self.errors = []
        self.rss_at_tenth = None
        self.rss_by_tenth = []  # after each tenth of the telegrams

    async def connection(self):
        await self.connection_until(count + 1)

    async def connection_until(self, end):
        reader, writer = await asyncio.open_connection("127.0.0.1", port)
        try:
            while self.next < end and not self.errors:
                number = self.next
                self.next += 1
                request, echo = telegram(number)
                writer.write(request)
                head = await reader.readuntil(b"\r\n\r\n")
                status = head.split(b"\r\n", 1)[0]
                length = None
                for line in head.split(b"\r\n")[1:]:
                    name, _, value = line.partition(b":")
                    if name.strip().lower() == b"content-length":
                        length = int(value)
                if length is None:
                    self.errors.append(f"#{number}: answer without Content-Length: {head!r}")
                    return
                body = await reader.readexactly(length)
                items = body.rstrip(b"\r\n").split(b"&")
                if (not status.startswith(b"HTTP/1.1 200") or b"status=ok" not in items or echo not in items
                        or any(item not in items for item in PLANNED)):
                    self.errors.append(f"#{number}: wrong or out-of-order answer {status!r} {body!r}")
                    return
                self.acked.append(number)
                self.done += 1
                if self.done >= 1 + (len(self.rss_by_tenth) + 1) * count // 10:
                    self.rss_by_tenth.append(proc_status("VmRSS"))
                    if self.rss_at_tenth is None:
                        self.rss_at_tenth = self.rss_by_tenth[0]
        except (OSError, asyncio.IncompleteReadError, asyncio.LimitOverrunError) as error:
            self.errors.append(f"connection broken after {self.done} answers: {error!r}")
        finally:
            writer.close()
            try:
                await writer.wait_closed()
            except OSError:
                pass


async def main():
    load = Load()
    # Telegram 0 on a connection of its own: the pool keeps one handler
    # thread for good once it has made it, so the baseline is taken after
    # that connection has closed and the count of threads has settled.
    await load.connection_until(1)
    settled, last = time.monotonic(), None
    while time.monotonic() - settled < 1.0:
        now = (proc_status("Threads"), open_files())
        if now != last:
            settled, last = time.monotonic(), now
        await asyncio.sleep(0.1)
    threads_before, files_before, rss_before = proc_status("Threads"), open_files(), proc_status("VmRSS")
    started = time.monotonic()
    progress = asyncio.ensure_future(report(load, started))
    await asyncio.gather(*(load.connection() for _ in range(connections)))
    progress.cancel()
    seconds = time.monotonic() - started
    rss_end = proc_status("VmRSS")
    threads_loaded, files_loaded = proc_status("Threads"), open_files()
    # The idle cleanup ends one handler thread per interval.
    deadline = time.monotonic() + 120
    while time.monotonic() < deadline:
        if proc_status("Threads") <= threads_before and open_files() <= files_before:
            break
        await asyncio.sleep(0.2)
    with open(acked_file, "w") as out:
        out.write("".join(f"{number}\n" for number in load.acked))
    figures = {
        "telegrams_acknowledged": len(load.acked),
        "seconds": round(seconds, 1),
        "telegrams_per_second": round(len(load.acked) / seconds),
        "rss_kib_idle": rss_before,
        "rss_kib_after_tenth": load.rss_at_tenth,
        "rss_kib_end": rss_end,
        "rss_kib_by_tenth": ",".join(str(kib) for kib in load.rss_by_tenth),
        "threads_baseline": threads_before,
        "threads_under_load": threads_loaded,
        "threads_after_cleanup": proc_status("Threads"),
        "fds_baseline": files_before,
        "fds_under_load": files_loaded,
        "fds_after_cleanup": open_files(),
    }
    for name, value in figures.items():
        print(name, value)
    for error in load.errors[:10]:
        print("error", error, file=sys.stderr)
    return 1 if load.errors or len(load.acked) != count + 1 else 0


async def report(load, started):
    while True:
        await asyncio.sleep(30)
        print(f"soak: {load.done} answers after {time.monotonic() - started:.0f} s", file=sys.stderr)


sys.exit(asyncio.run(main()))
