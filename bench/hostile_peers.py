#!/usr/bin/env python3
"""What a hostile peer on the LAN costs the program, measured from outside.

Starts the built program on 127.0.0.1 with a home of its own and the offscreen platform (its
window and card list are made as on a desktop), then prints:
  - ten 1 MiB texts of words sent in a row: each upload's time, and "/api/info" asked meanwhile;
  - the time from launch to the first answer with those texts stored;
  - uploads under "ask" from a new device name each time (800 tries): their times, how many
    were held before the program said "Too many waiting", and "/api/info" meanwhile;
  - four attacks from 127.0.0.1 (and, for guessing, 250 addresses of 127.0.1.0/24 and
    127.0.2.0/24), each beside 20 normal requests from 127.0.0.2: how many of those were
    answered (200, or 202 where a new device waits) within 2 s, their p99, and the program's
    peak resident memory:
      1. 300 readers of a 58 MB item that never read it;
      2. made-up devices under "ask": nine 58 MB uploads over three device names, then 100
         small uploads of a device each, and how long until uploads nobody asks about are
         dropped;
      3. wrong access codes for 60 s: how many were checked (answered 401), and how long after
         the flood stops the right code from a new address gets in;
      4. 300 uploads declaring 60 MB and sending 6 KB a second;
  - twelve 8000 x 8000 PNGs of 16 bits a channel and twelve palette PNGs of that size sent at
    once, with recognition on and the browser screen asking for each thumbnail: the program's
    peak resident memory once every picture has been decoded, and how long from sending them
    until the program has nothing left to do (medians of three runs, and with BASELINE=another
    build's vesker, that build's beside them and the ratios).

    bench/hostile_peers.py [BUILD_DIR]     VESKER=another build's vesker is measured instead
                                           ATTACKS=readers,guessing,... runs only those
                                           BASELINE=a vesker to compare pictures with
"""
import json
import os
import struct
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import zlib

build = sys.argv[1] if len(sys.argv) > 1 else "build"
vesker = os.environ.get("VESKER", os.path.join(build, "src", "vesker"))


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def request(port, method, path, body=b"", headers=None, timeout=60, source=None, pause=0):
    """(status, body, seconds) of one request on a connection of its own, from `source`, sent
    `pause` seconds after the connection is made."""
    head = f"{method} {path} HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
    for name, value in (headers or {}).items():
        head += f"{name}: {value}\r\n"
    if method == "POST":
        head += f"Content-Length: {len(body)}\r\n"
    start = time.perf_counter()
    with socket.create_connection(("127.0.0.1", port), timeout=timeout,
                                  source_address=(source, 0) if source else None) as s:
        time.sleep(pause)
        s.sendall(head.encode() + b"\r\n" + body)
        data = b""
        while chunk := s.recv(65536):
            data += chunk
    took = time.perf_counter() - start
    status = int(data[9:12]) if data.startswith(b"HTTP/1.") else 0
    return status, data.partition(b"\r\n\r\n")[2], took


def status_kib(pid, field):
    """A memory figure of /proc/PID/status, in KiB."""
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return 0


class Program:
    def __init__(self, settings, binary=None):
        self.binary = binary or vesker
        self.home = tempfile.mkdtemp(prefix="vesker-bench-")
        self.port = free_port()
        os.makedirs(f"{self.home}/.config/Vesker")
        all_settings = {"serverPort": self.port, "advertiseOnNetwork": False,
                        "recognizeOnArrival": False, "didSeedWelcome": True,
                        "checkForUpdatesAutomatically": False}
        all_settings.update(settings)
        with open(f"{self.home}/.config/Vesker/defaults.json", "w") as f:
            json.dump(all_settings, f)
        self.process = None

    def start(self):
        env = dict(os.environ, HOME=self.home, XDG_CONFIG_HOME=f"{self.home}/.config",
                   XDG_RUNTIME_DIR=self.home, QT_QPA_PLATFORM="offscreen")
        env.pop("XDG_DATA_HOME", None)
        env.pop("XDG_CACHE_HOME", None)
        launched = time.perf_counter()
        self.process = subprocess.Popen([self.binary], env=env, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        while time.perf_counter() - launched < 120:
            try:
                if request(self.port, "GET", "/api/info", timeout=60)[0] == 200:
                    return time.perf_counter() - launched
            except OSError:
                time.sleep(0.01)
        raise SystemExit("the program did not answer within 120 s")

    def stop(self):
        self.process.terminate()
        self.process.wait(60)

    def cpu_seconds(self):
        with open(f"/proc/{self.process.pid}/stat") as f:
            fields = f.read().rpartition(")")[2].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def peak_mib(self):
        return status_kib(self.process.pid, "VmHWM") / 1024


class InfoPoller(threading.Thread):
    """Asks "/api/info" every 50 ms until stopped, keeping each answer's time."""

    def __init__(self, port):
        super().__init__(daemon=True)
        self.port, self.times, self.running = port, [], True

    def run(self):
        while self.running:
            self.times.append(request(self.port, "GET", "/api/info")[2])
            time.sleep(0.05)

    def stop(self):
        self.running = False
        self.join()
        return self.times


def ms(seconds):
    return f"{seconds * 1000:8.1f} ms"


def figures(label, times):
    print(f"  {label:34} median {ms(statistics.median(times))}   max {ms(max(times))}"
          f"   ({len(times)})")


def long_texts():
    program = Program({})
    program.start()
    words = b"words of a long letter, " * (1024 * 1024 // 24 + 1)
    text = words[: 1024 * 1024]
    poller = InfoPoller(program.port)
    poller.start()
    uploads = []
    for i in range(10):
        status, _, took = request(program.port, "POST", "/text", text,
                                  {"Content-Type": "text/plain; charset=utf-8"})
        assert status == 200, status
        uploads.append(took)
    info = poller.stop()
    print("ten 1 MiB texts of words in a row")
    figures("upload", uploads)
    figures('"/api/info" meanwhile', info)
    program.stop()
    print(f"  {'first answer after a restart':34} {ms(program.start())}   (10 texts stored)")
    program.stop()


def waiting_devices():
    program = Program({"accessPolicy": "ask"})
    program.start()
    poller = InfoPoller(program.port)
    poller.start()
    held, refused, uploads = 0, 0, []
    for device in range(800):
        status, body, took = request(program.port, "POST", "/text", b"hello",
                                     {"Content-Type": "text/plain", "X-Device": f"flood-{device}"})
        uploads.append(took)
        held += status == 202
        refused += status == 503
    info = poller.stop()
    print(f"800 uploads under \"ask\", a new device each: {held} held, {refused} refused 503")
    figures("upload", uploads)
    figures('"/api/info" meanwhile', info)
    program.stop()


PHONE = "127.0.0.2"


def normal_requests(port, code=None, device=None, count=20, spacing=0.4):
    """`count` requests from PHONE, "/api/info" and a small text in turn, each sent a moment
    after its connection is made, as over a real network: (answered, times)."""
    answered, times = 0, []
    for n in range(count):
        try:
            if n % 2:
                headers = {"Content-Type": "text/plain", "X-Device": device or f"phone-{n}"}
                if code:
                    headers["X-Code"] = code
                status, _, took = request(port, "POST", "/text", b"hello", headers, timeout=10,
                                          source=PHONE, pause=0.03)
            else:
                status, _, took = request(port, "GET", "/api/info", timeout=10, source=PHONE,
                                          pause=0.03)
        except OSError:
            status, took = 0, 10.0
        times.append(took)
        answered += status in (200, 202) and took <= 2
        time.sleep(spacing)
    return answered, times


def report(label, program, answered, times, extra=""):
    p99 = sorted(times)[min(len(times), -(-len(times) * 99 // 100)) - 1]
    print(f"  {label:34} {answered}/{len(times)} answered within 2 s, p99 {ms(p99)},"
          f" peak {program.peak_mib():6.0f} MiB{extra}")


class Crowd(threading.Thread):
    """`size` connections from 127.0.0.1, each opened with `opening` and then fed `feed()` every
    `every` seconds (nothing when it gives b""); one the program closed is opened again."""

    def __init__(self, port, size, opening, feed=lambda: b"", every=0.1, receive_buffer=0):
        super().__init__(daemon=True)
        self.port, self.size, self.opening, self.feed = port, size, opening, feed
        self.every, self.receive_buffer, self.running, self.reopened = every, receive_buffer, True, 0

    def open(self):
        s = socket.socket()
        if self.receive_buffer:
            s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, self.receive_buffer)
        s.settimeout(2)
        try:
            s.connect(("127.0.0.1", self.port))
            s.sendall(self.opening)
        except OSError:
            pass
        s.setblocking(False)
        return s

    def run(self):
        import select
        sockets = [self.open() for _ in range(self.size)]
        while self.running:
            poller = select.poll()
            for s in sockets:
                poller.register(s, select.POLLRDHUP | select.POLLHUP | select.POLLERR)
            gone = {fd for fd, _ in poller.poll(0)}
            for i, s in enumerate(sockets):
                data = self.feed()
                try:
                    if s.fileno() in gone:
                        raise OSError
                    if data:
                        s.send(data)
                except OSError:
                    s.close()
                    sockets[i] = self.open()
                    self.reopened += 1
            time.sleep(self.every)
        for s in sockets:
            s.close()

    def stop(self):
        self.running = False
        self.join()


def beside_crowd(program, label, members, crowd):
    """The normal requests while `crowd` runs; then the program stops."""
    crowd.start()
    time.sleep(3)
    answered, times = normal_requests(program.port)
    crowd.stop()
    report(label, program, answered, times, f", {crowd.reopened} {members} ended")
    program.stop()


def stalled_readers():
    program = Program({"allowBrowserScreens": True})
    program.start()
    pdf = b"%PDF-1.4\n" + b"%" * 58_000_000 + b"\n%%EOF"
    status, body, _ = request(program.port, "POST", "/file", pdf,
                              {"Content-Type": "application/pdf"})
    assert status == 200, status
    item = json.loads(body)["id"]
    beside_crowd(program, "300 readers that never read", "readers",
                 Crowd(program.port, 300,
                       f"GET /api/image/{item} HTTP/1.1\r\nHost: x\r\n\r\n".encode(),
                       every=1.0, receive_buffer=4096))


def waiting_flood():
    program = Program({"accessPolicy": "ask"})
    program.start()
    big = b"\xff\xd8\xff" + b"\0" * 57_999_999
    held_big = sum(request(program.port, "POST", "/upload", big,
                           {"Content-Type": "image/jpeg", "X-Device": f"big-{n % 3}"})[0] == 202
                   for n in range(9))
    small = b"x" * 35_000
    held = sum(request(program.port, "POST", "/text", small,
                       {"Content-Type": "text/plain", "X-Device": f"dev-{n}"})[0] == 202
               for n in range(100))
    answered, times = normal_requests(program.port)
    report("made-up devices under \"ask\"", program, answered, times,
           f", held {held}/100 small and {held_big}/9 large")
    # Nobody asks about the held uploads: a new device of the flood's address is refused until
    # they are dropped.
    dropped_after = None
    start = time.perf_counter()
    while time.perf_counter() - start < 300:
        status = request(program.port, "POST", "/text", b"x",
                         {"Content-Type": "text/plain",
                          "X-Device": f"probe-{time.perf_counter()}"})[0]
        if status == 202:
            dropped_after = time.perf_counter() - start
            break
        time.sleep(5)
    print(f"  {'uploads nobody asks about':34} room again after "
          + (f"{dropped_after:.0f} s" if dropped_after is not None else "more than 300 s")
          + f", peak {program.peak_mib():.0f} MiB")
    program.stop()


def guessing():
    program = Program({"accessPolicy": "code", "accessCode": "428913"})
    program.start()
    assert request(program.port, "POST", "/text", b"hello",
                   {"X-Code": "428913", "X-Device": "phone"})[0] == 200
    counts, checked_at = {}, []
    lock = threading.Lock()
    flooding = True

    def flood(first):
        n = first
        while flooding:
            address = f"127.0.{1 + n % 250 // 125}.{1 + n % 125}"
            try:
                status = request(program.port, "POST", "/text", b"guess",
                                 {"X-Code": str(100000 + n)}, timeout=10, source=address)[0]
            except OSError:
                status = 0
            with lock:
                counts[status] = counts.get(status, 0) + 1
                if status == 401:
                    checked_at.append(time.perf_counter())
            n += 8

    threads = [threading.Thread(target=flood, args=(i,), daemon=True) for i in range(8)]
    for t in threads:
        t.start()
    time.sleep(3)
    answered, times = normal_requests(program.port, code="428913", device="phone", spacing=2.5)
    time.sleep(max(0, 60 - 3 - sum(times) - 20 * 2.5))
    flooding = False
    for t in threads:
        t.join()
    stopped = time.perf_counter()
    # The most wrong codes checked within any one minute.
    checked_at.sort()
    per_minute, first = 0, 0
    for last, t in enumerate(checked_at):
        while checked_at[first] <= t - 60:
            first += 1
        per_minute = max(per_minute, last - first + 1)
    report("wrong codes from 250 addresses", program, answered, times,
           f", {per_minute} answered as wrong within a minute ({counts.get(401, 0)} in all), "
           f"{counts.get(429, 0)} told to wait, of {sum(counts.values())}")
    n, let_in = 0, None
    while time.perf_counter() - stopped < 120:
        n += 1
        status = request(program.port, "POST", "/text", b"hello",
                         {"X-Code": "428913", "X-Device": f"new-{n}"},
                         source=f"127.0.3.{n % 250 + 1}")[0]
        if status == 200:
            let_in = time.perf_counter() - stopped
            break
        time.sleep(0.2)
    print(f"  {'the right code from a new address':34} let in "
          + (f"{let_in:.1f} s after the flood stopped" if let_in is not None
             else "not within 120 s"))
    program.stop()


def slow_uploads():
    program = Program({})
    program.start()
    beside_crowd(program, "300 uploads at 6 KB/s", "uploads",
                 Crowd(program.port, 300, b"POST /upload HTTP/1.1\r\nHost: x\r\nContent-Type: "
                       b"image/jpeg\r\nContent-Length: 60000000\r\n\r\n",
                       feed=lambda: b"j" * 600, every=0.1))


def png(width, height, depth, colour, first_row, plte=b""):
    """A PNG whose rows after the first repeat it (each filtered as "up": all zero)."""
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xffffffff))
    packer = zlib.compressobj(9)
    data = packer.compress(b"\0" + first_row)
    same = b"\2" + bytes(len(first_row))
    for _ in range(height - 1):
        data += packer.compress(same)
    data += packer.flush()
    head = struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", head) + (chunk(b"PLTE", plte) if plte else b"")
            + chunk(b"IDAT", data) + chunk(b"IEND", b""))


def pictures_at_once():
    side = 8000
    deep = png(side, side, 16, 2, b"".join(struct.pack(">HHH", x * 8, 65535 - x * 8, x * 37 % 65536)
                                         for x in range(side)))
    palette = png(side, side, 2, 3, bytes(x * 7 % 256 for x in range(side // 4)),
                  bytes([0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255]))
    pictures = [deep] * 12 + [palette] * 12

    def peak(binary):
        program = Program({"recognizeOnArrival": True, "allowBrowserScreens": True}, binary)
        program.start()
        ids = [None] * len(pictures)

        def send(n):
            status, body, _ = request(program.port, "POST", "/upload", pictures[n],
                                      {"Content-Type": "image/png", "X-Device": f"peer-{n}"},
                                      timeout=300)
            if status == 200:
                ids[n] = json.loads(body)["id"]
            threading.Thread(target=request, daemon=True,
                             args=(program.port, "GET", f"/api/thumb/{ids[n]}"),
                             kwargs={"timeout": 600}).start()

        senders = [threading.Thread(target=send, args=(n,)) for n in range(len(pictures))]
        sent = time.perf_counter()
        for t in senders:
            t.start()
        for t in senders:
            t.join()
        # Decoded and read once the program has had nothing to do for five seconds.
        started, quiet_since, last = time.perf_counter(), time.perf_counter(), 0
        while time.perf_counter() - started < 900 and time.perf_counter() - quiet_since < 5:
            time.sleep(0.5)
            now = program.cpu_seconds()
            if now - last > 0.1:
                quiet_since, last = time.perf_counter(), now
        stored = sum(i is not None for i in ids)
        mib = program.peak_mib()
        program.stop()
        return mib, quiet_since - sent, stored

    runs = [("this build", vesker)]
    if os.environ.get("BASELINE"):
        runs.insert(0, ("baseline", os.environ["BASELINE"]))
    peaks = {label: [] for label, _ in runs}
    busy = {label: [] for label, _ in runs}
    for _ in range(3):
        for label, binary in runs:
            mib, seconds, stored = peak(binary)
            peaks[label].append(mib)
            busy[label].append(seconds)
            print(f"    {label:12} peak {mib:6.0f} MiB, shown and read in {seconds:5.0f} s"
                  f"  ({stored}/{len(pictures)} stored)", flush=True)
    print(f"{len(pictures)} large PNGs at once (12 of 16 bits, 12 palette)")
    for label, _ in runs:
        print(f"  {label:34} peak {statistics.median(peaks[label]):6.0f} MiB,"
              f" shown and read in {statistics.median(busy[label]):5.0f} s (medians of 3)")
    if len(runs) == 2:
        ratio = statistics.median(peaks["this build"]) / statistics.median(peaks["baseline"])
        slower = statistics.median(busy["this build"]) / statistics.median(busy["baseline"])
        print(f"  {'this build / baseline':34} peak {ratio:.2f}, time {slower:.2f}")


def main():
    attacks = os.environ.get(
        "ATTACKS", "texts,devices,readers,waiting,guessing,slow,pictures").split(",")
    headed = False
    for name, run in [("texts", long_texts), ("devices", waiting_devices),
                      ("readers", stalled_readers), ("waiting", waiting_flood),
                      ("guessing", guessing), ("slow", slow_uploads),
                      ("pictures", pictures_at_once)]:
        if name not in attacks:
            continue
        if name not in ("texts", "devices", "pictures") and not headed:
            print("attacks from 127.0.0.1, each beside 20 normal requests from 127.0.0.2")
            headed = True
        run()


if __name__ == "__main__":
    main()
