#!/usr/bin/env python3
"""What a hostile peer on the LAN costs the program, measured from outside.

Starts the built program on 127.0.0.1 with a home of its own and the offscreen platform (its
window and card list are made as on a desktop), then prints:
  - ten 1 MiB texts of words sent in a row: each upload's time, and "/api/info" asked meanwhile;
  - the time from launch to the first answer with those texts stored;
  - uploads under "ask" from a new device name each time (800 tries): their times, how many
    were held before the program said "Too many waiting", and "/api/info" meanwhile.

    bench/hostile_peers.py [BUILD_DIR]     VESKER=another build's vesker is measured instead
"""
import json
import os
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

build = sys.argv[1] if len(sys.argv) > 1 else "build"
vesker = os.environ.get("VESKER", os.path.join(build, "src", "vesker"))


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def request(port, method, path, body=b"", headers=None, timeout=60):
    """(status, body, seconds) of one request on a connection of its own."""
    head = f"{method} {path} HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
    for name, value in (headers or {}).items():
        head += f"{name}: {value}\r\n"
    if method == "POST":
        head += f"Content-Length: {len(body)}\r\n"
    start = time.perf_counter()
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        s.sendall(head.encode() + b"\r\n" + body)
        data = b""
        while chunk := s.recv(65536):
            data += chunk
    took = time.perf_counter() - start
    status = int(data[9:12]) if data.startswith(b"HTTP/1.") else 0
    return status, data.partition(b"\r\n\r\n")[2], took


class Program:
    def __init__(self, settings):
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
        self.process = subprocess.Popen([vesker], env=env, stdout=subprocess.DEVNULL,
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


long_texts()
waiting_devices()
