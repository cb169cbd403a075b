#!/usr/bin/env python3
"""Memory that uploads held for approval leave behind once they are dropped.

Starts each given program at the same time, each on 127.0.0.1 with a home of its own, under
"ask", and sends each the same flood for FLOOD seconds (90 by default): a 0.5 MB PNG photo
over and over, from 1000 addresses of 127.0.0.0/8 with one device each, on 8 connections at a
time. Nobody answers and nobody asks about what is held, so it is dropped as devices of other
addresses come, or once it has waited. Prints each program's resident memory every 10 s, then
after the flood once everything held has expired (EXPIRY seconds later, 130 by default), and
the growth during the flood in MB per 10k uploads (a least-squares line over the samples taken
once what may wait is full).

    bench/held_memory.py VESKER...        e.g. /work/main/build/src/vesker build/src/vesker
"""
import os
import random
import struct
import sys
import threading
import time
import zlib

from hostile_peers import Program, request, status_kib

FLOOD = int(os.environ.get("FLOOD", "90"))
EXPIRY = int(os.environ.get("EXPIRY", "130"))
CONNECTIONS = 8
ADDRESSES = 1000


def noise_png(side):
    """A real picture, so that previews decode it as they would a phone's: `side` pixels
    square of noise, which does not compress, about 3 bytes a pixel."""
    rng = random.Random(7)
    rows = b"".join(b"\0" + rng.randbytes(side * 3) for _ in range(side))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data)))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows, 1)) + chunk(b"IEND", b""))


def rss_mb(pid):
    return status_kib(pid, "VmRSS") * 1.024 / 1000


class Flood:
    """The uploads to one program: `sent`, `held` (202) and `refused` (503) so far."""

    def __init__(self, program, photo):
        self.program, self.photo = program, photo
        self.sent = self.held = self.refused = 0
        self.running = True
        self.lock = threading.Lock()
        self.threads = [threading.Thread(target=self.run, args=(i,), daemon=True)
                        for i in range(CONNECTIONS)]

    def run(self, first):
        n = first
        while self.running:
            host = n % ADDRESSES
            try:
                status = request(self.program.port, "POST", "/upload", self.photo,
                                 {"Content-Type": "image/png", "X-Device": f"phone-{host}"},
                                 timeout=30, source=f"127.0.{10 + host // 250}.{1 + host % 250}")[0]
            except OSError:
                status = 0
            with self.lock:
                self.sent += 1
                self.held += status == 202
                self.refused += status == 503
            n += CONNECTIONS

    def start(self):
        for t in self.threads:
            t.start()

    def stop(self):
        self.running = False
        for t in self.threads:
            t.join()


def slope(samples):
    """MB per 10k uploads of the least-squares line through (uploads, MB)."""
    if len(samples) < 2:
        return float("nan")
    n = len(samples)
    mean_x = sum(x for x, _ in samples) / n
    mean_y = sum(y for _, y in samples) / n
    sxx = sum((x - mean_x) ** 2 for x, _ in samples)
    sxy = sum((x - mean_x) * (y - mean_y) for x, y in samples)
    return sxy / sxx * 10_000 if sxx else float("nan")


def main():
    binaries = sys.argv[1:]
    if not binaries:
        raise SystemExit(__doc__)
    photo = noise_png(410)
    programs = [Program({"accessPolicy": "ask"}, binary) for binary in binaries]
    for program in programs:
        program.start()
    time.sleep(3)
    names = [f"{i + 1}" for i in range(len(programs))]
    for name, binary in zip(names, binaries):
        print(f"{name}: {binary}")
    print(f"a {len(photo) / 1e6:.2f} MB photo over and over for {FLOOD} s; resident MB"
          " (uploads sent, held)")
    start = [rss_mb(p.process.pid) for p in programs]
    print(f"  {'start':>8} " + "".join(f"{mb:>26.0f}" for mb in start))
    floods = [Flood(p, photo) for p in programs]
    for flood in floods:
        flood.start()
    samples = [[] for _ in programs]
    began = time.perf_counter()
    while (elapsed := time.perf_counter() - began) < FLOOD:
        time.sleep(min(10, FLOOD - elapsed))
        row = []
        for i, (program, flood) in enumerate(zip(programs, floods)):
            mb = rss_mb(program.process.pid)
            # Once what may wait is full, memory should stay level.
            if time.perf_counter() - began >= 30:
                samples[i].append((flood.sent, mb))
            row.append(f"{mb:>8.0f} ({flood.sent:>6}, {flood.held:>5})")
        print(f"  {time.perf_counter() - began:>7.0f}s " + "".join(f"{r:>26}" for r in row))
    for flood in floods:
        flood.stop()
    flooded = [rss_mb(p.process.pid) for p in programs]
    time.sleep(EXPIRY)
    after = [rss_mb(p.process.pid) for p in programs]
    print(f"  {'expired':>8} " + "".join(f"{mb:>26.0f}" for mb in after))
    for name, flood, s, up, was, then in zip(names, floods, samples, flooded, start, after):
        print(f"{name}: {flood.sent} uploads ({flood.held} held, {flood.refused} refused 503);"
              f" {slope(s):+.1f} MB per 10k uploads from 30 s on; {up:.0f} MB when the flood"
              f" stopped, {then:.0f} MB once everything expired ({then - was:+.0f} MB on the"
              " start)")
    for program in programs:
        program.stop()


if __name__ == "__main__":
    main()
