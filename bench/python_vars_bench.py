#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""The Python package's typed read of a list beside its raw read of the span.

100 variables of mixed formats over data words 0..400 of DB 1 (the list of
bench/vars_bench.cpp: unsigned, KF, KH, KT, KZ, KY, KM, KC words and every
fifth a KG double word), read by Connection.read(VariableList) into a dict of
values, beside one Connection.read_words of the span (401 words into a list of
ints) on the same handle, alternating which goes first; against an orvasim
program this script starts on pythonVarsBenchSim (tests/loopback.cmake).
Reported: the medians and their ratio (the goal is at most 1.5), what the
typed read costs per variable above the raw one, and where its time goes:
the library calls alone (ORVAVarsRead, and ORVARdW into a buffer made once),
and the Python values made from the results.

The process (and orvasim, started from it) is pinned to one core, as the C++
benchmark runs with its simulator. It listens on loopback: run it in a
private network namespace, from the top of the tree, after building the
targets orvanet, orvavars and orvasim:

    unshare -r -n sh -c 'ip link set lo up && python3 bench/python_vars_bench.py'

It imports the package of this tree (bindings/python/src) unless --installed.
"""

import argparse
import os
import re
import socket
import statistics
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
BLOCK = 1
SPAN_WORDS = 401


def mixed_list():
    """The variables of bench/vars_bench.cpp's mixedList()."""
    formats = ["", ":KF", ":KH", ":KT", ":KZ", ":KY", ":KM", ":KC"]
    texts = [f"DB1.DD{i * 4}:KG" if i % 5 == 4 else f"DB1.DW{i * 4}{formats[i % 8]}" for i in range(99)]
    return texts + ["DB1.DW400:KF"]


def bench_address():
    text = (ROOT / "tests" / "loopback.cmake").read_text()
    match = re.search(r"^\s*pythonVarsBenchSim\s+(\S+)", text, re.M)
    if not match:
        sys.exit("python_vars_bench: tests/loopback.cmake registers no pythonVarsBenchSim")
    return match.group(1)


class Simulator:
    """orvasim with its control channel, started for the run."""

    def __init__(self, program, address):
        self.process = subprocess.Popen([program, "--address", address, "--control", f"{address}:0"],
                                        stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, text=True)
        control = None
        for line in self.process.stdout:
            if line.startswith("orvasim: control on "):
                control = line.split()[-1]
            if line.startswith("orvasim: listening on "):
                break
        if control is None:
            self.process.kill()
            sys.exit(f"python_vars_bench: orvasim did not start on {address} (is this a network namespace?)")
        host, port = control.rsplit(":", 1)
        self.socket = socket.create_connection((host, int(port)), timeout=5)
        self.lines = self.socket.makefile("r", encoding="ascii", newline="\n")

    def call(self, request):
        self.socket.sendall(request.encode("ascii") + b"\n")
        for line in self.lines:
            if line.rstrip("\n") == "ok":
                return
            if line.startswith("error"):
                raise RuntimeError(f"orvasim: {request}: {line}")
        raise RuntimeError("orvasim's control channel closed")

    def stop(self):
        self.lines.close()
        self.socket.close()
        self.process.terminate()
        self.process.wait()


def median_us(samples):
    return statistics.median(samples) / 1000


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=str(ROOT / "build" / "test"), help="build folder (default build/test)")
    parser.add_argument("--reads", type=int, default=20000, help="reads of each kind (default 20000)")
    parser.add_argument("--core", type=int, default=0, help="the core to pin to (default 0)")
    parser.add_argument("--installed", action="store_true", help="import the installed orvanet package")
    args = parser.parse_args()

    build = Path(args.build).resolve()
    os.environ.setdefault("ORVANET_LIBRARY", str(build / "linklib" / "liborvanet.so.1"))
    os.environ.setdefault("ORVAVARS_LIBRARY", str(build / "vars" / "liborvavars.so.1"))
    if not args.installed:
        sys.path.insert(0, str(ROOT / "bindings" / "python" / "src"))
    import orvanet

    os.sched_setaffinity(0, {args.core})  # orvasim, started below, inherits it
    address = bench_address()
    sim = Simulator(str(build / "tools" / "orvasim" / "orvasim"), address)
    try:
        # Valid values for every format: BCD digits for KT and KZ, a KG number.
        sim.call(f"write D {BLOCK} 0 {'1234' * SPAN_WORDS}")
        texts = mixed_list()
        with orvanet.connect(address, receive_timeout_ms=2000, send_timeout_ms=2000,
                             connect_timeout_ms=2000) as plc:
            variables = plc.variables(texts)
            plan = variables.plan()
            first = plc.read(variables)
            failed = [text for text, value in first.items() if isinstance(value, orvanet.OrvaError)]
            if failed or len(plc.read_words(f"DB{BLOCK}", 0, SPAN_WORDS)) != SPAN_WORDS:
                sys.exit(f"python_vars_bench: the first reads failed: {failed}")

            typed, raw, clock = [], [], time.perf_counter_ns
            for i in range(args.reads):
                if i % 1000 == 0:
                    sim.call("reset")  # orvasim's record of telegrams stays short
                for run_typed in ((True, False) if i % 2 == 0 else (False, True)):
                    t0 = clock()
                    if run_typed:
                        plc.read(variables)
                    else:
                        plc.read_words("DB1", 0, SPAN_WORDS)
                    (typed if run_typed else raw).append(clock() - t0)

            # Where the typed read's time goes: the library's call alone (ORVAVarsRead
            # into the results), then the values made from the results, without traffic.
            handle = plc.handle
            call = []
            for _ in range(args.reads // 4):
                t0 = clock()
                plc.library.ORVAVarsRead(handle, variables._pointer(), variables._results, len(texts))
                call.append(clock() - t0)
            import ctypes

            words = (ctypes.c_ushort * SPAN_WORDS)()
            raw_call = []
            for _ in range(args.reads // 4):
                t0 = clock()
                plc.library.ORVARdW(handle, ord("D"), BLOCK, 0, SPAN_WORDS, words)
                raw_call.append(clock() - t0)
            values = []
            for _ in range(args.reads // 4):
                t0 = clock()
                variables._collect("reading", "")
                values.append(clock() - t0)
            once = []
            for _ in range(min(2000, args.reads // 4)):
                t0 = clock()
                plc.read(texts)
                once.append(clock() - t0)
    finally:
        sim.stop()

    t, r = median_us(typed), median_us(raw)
    print(f"python_vars_bench: {len(texts)} variables over DW0..DW400 of DB {BLOCK} at {address}, "
          f"{args.reads} reads of each, pinned to core {args.core}; Python {sys.version.split()[0]}")
    print(f"  plan: {plan.calls} call, {plan.telegrams} telegrams, {plan.bytes} bytes")
    print(f"  typed read (VariableList)  median {t:8.1f} us")
    print(f"  raw read of the span       median {r:8.1f} us")
    print(f"  ratio typed / raw          {t / r:8.3f}   (goal: at most 1.5)")
    print(f"  above the raw read         {(t - r) * 1000 / len(texts):8.0f} ns per variable")
    print(f"  of it: ORVAVarsRead alone  median {median_us(call):8.1f} us (the call, with the traffic)")
    print(f"         (ORVARdW alone      median {median_us(raw_call):8.1f} us: the raw call without read_words' list)")
    print(f"         values from results median {median_us(values):8.1f} us "
          f"({median_us(values) * 1000 / len(texts):.0f} ns per variable)")
    print(f"  one-shot read(texts)       median {median_us(once):8.1f} us (a list made, read and freed)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
