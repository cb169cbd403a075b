#!/usr/bin/env python3
"""What the texts one phone sends cost the program's memory, beside another build.

One phone sends 300 texts of 1 MiB to the built program on 127.0.0.1 as fast as it answers them
(each must be answered 200), and the program's resident memory is printed: its peak while they
come, once it has settled afterwards, and once it has settled after a restart with the texts
stored; beside the size of index.json and the memory per MiB of text kept (the settled figure
less the program's own at its start, over the 300 MiB). Each build runs RUNS times (3), in turn
with the other, and the medians are printed with their ratio.

    bench/kept_texts.py [BUILD_DIR]     BEFORE=another build's vesker, measured beside it
                                        RUNS=how many times each build runs
"""
import os
import shutil
import statistics
import sys
import time

from hostile_peers import Program, request, vesker

TEXTS = 300
TEXT_BYTES = 1024 * 1024
WORDS = b"words of a long letter, " * (TEXT_BYTES // 24 + 1)


def rss_mib(program, field="VmRSS:"):
    with open(f"/proc/{program.process.pid}/status") as f:
        for line in f:
            if line.startswith(field):
                return int(line.split()[1]) / 1024
    return 0


def settled_mib(program, longest=60):
    """The resident memory once it has changed by less than 1% over 3 s (folds and frees
    done), or after `longest` seconds."""
    samples = []
    start = time.perf_counter()
    while time.perf_counter() - start < longest:
        samples.append(rss_mib(program))
        recent = samples[-6:]
        if len(recent) == 6 and max(recent) - min(recent) < max(recent) / 100:
            break
        time.sleep(0.5)
    return samples[-1]


def run_once(binary):
    program = Program({}, binary)
    program.start()
    at_start = settled_mib(program)
    started = time.perf_counter()
    for n in range(TEXTS):
        text = (b"%04d " % n + WORDS)[:TEXT_BYTES]
        status, body, _ = request(program.port, "POST", "/text", text,
                                  {"Content-Type": "text/plain; charset=utf-8",
                                   "X-Device": "phone-1"})
        assert status == 200, (status, body)
    sending = time.perf_counter() - started
    figures = {"sending s": sending, "at start": at_start,
               "peak": rss_mib(program, "VmHWM:"), "idle after": settled_mib(program)}
    program.stop()
    program.start()
    figures["after restart"] = settled_mib(program)
    program.stop()
    index = f"{program.home}/Pictures/Vesker/index.json"
    figures["index.json MiB"] = os.path.getsize(index) / 2**20
    figures["per MiB kept"] = (figures["after restart"] - at_start) / (TEXTS * TEXT_BYTES / 2**20)
    shutil.rmtree(program.home, ignore_errors=True)
    return figures


def main():
    builds = {"after": vesker}
    if os.environ.get("BEFORE"):
        builds = {"before": os.environ["BEFORE"], **builds}
    runs = int(os.environ.get("RUNS", "3"))
    results = {name: [] for name in builds}
    for _ in range(runs):
        for name, binary in builds.items():
            results[name].append(run_once(binary))
    print(f"{TEXTS} texts of 1 MiB from one phone; resident memory in MiB, medians of {runs}")
    keys = list(results[next(iter(results))][0])
    print(f"  {'':16}" + "".join(f"{name:>12}" for name in builds)
          + ("       ratio" if len(builds) == 2 else ""))
    for key in keys:
        medians = [statistics.median(r[key] for r in results[name]) for name in builds]
        line = f"  {key:16}" + "".join(f"{m:12.2f}" for m in medians)
        if len(medians) == 2 and medians[0]:
            line += f"{medians[1] / medians[0]:12.2f}"
        print(line)


if __name__ == "__main__":
    sys.exit(main())
