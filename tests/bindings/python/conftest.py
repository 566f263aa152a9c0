# SPDX-License-Identifier: Apache-2.0
"""The fixture of the Python binding's tests: orvasim programs driven through
their control channel, on loopback addresses 127.0.1.1 to 127.0.1.19.

The tests import the installed orvanet package. Environment:
  ORVASIM           the orvasim program (required)
  ORVANET_LIBRARY   liborvanet.so.1 to test (else the package's own lookup)
  ORVAVARS_LIBRARY  liborvavars.so.1 to test (else the package's own lookup)
  ORVA_VECTORS      tests/vectors/variables.json (else the tree's)
"""

import os
import socket
import subprocess
import time
from pathlib import Path
from typing import Dict, Iterator, List

import pytest

SIM_ADDRESS = "127.0.1.1"
SECOND_SIM_ADDRESS = "127.0.1.2"
REFUSING_ADDRESS = "127.0.1.9"  # nothing listens there
BLACK_HOLE_ADDRESS = "127.0.1.10"  # a listener whose accept queue is full
PORT = 102
REPO = Path(__file__).resolve().parents[3]
VECTORS = Path(os.environ.get("ORVA_VECTORS") or REPO / "tests" / "vectors" / "variables.json")


class Simulator:
    """One orvasim program with its control channel (tools/orvasim/control_channel.h)."""

    def __init__(self, address: str) -> None:
        program = os.environ.get("ORVASIM")
        if not program:
            raise RuntimeError("set ORVASIM to the orvasim program (build/test/tools/orvasim/orvasim)")
        self.address = address
        self.process = subprocess.Popen([program, "--address", address, "--control", f"{address}:0"],
                                        stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                        text=True)
        control = None
        seen = []
        for line in self.process.stdout:  # ends when orvasim exits
            seen.append(line)
            if line.startswith("orvasim: control on "):
                control = line.split()[-1]
            if line.startswith("orvasim: listening on "):
                break
        if control is None or self.process.poll() is not None:
            self.process.kill()
            raise RuntimeError(f"orvasim did not start on {address}: {''.join(seen)}")
        host, port = control.rsplit(":", 1)
        self._socket = socket.create_connection((host, int(port)), timeout=5)
        self._lines = self._socket.makefile("r", encoding="ascii", newline="\n")

    def call(self, request: str) -> List[str]:
        """Sends one request; the data lines of its "ok" reply."""
        self._socket.sendall(request.encode("ascii") + b"\n")
        lines = []
        for line in self._lines:
            line = line.rstrip("\n")
            if line == "ok":
                return lines
            if line.startswith("error"):
                raise RuntimeError(f"orvasim control: {request}: {line}")
            lines.append(line)
        raise RuntimeError(f"orvasim control channel closed during {request}")

    def reset(self) -> None:
        self.call("reset")

    def arm_reply(self, kind: str, value: int = 0, pause_ms: int = 0) -> None:
        self.call(f"fault reply {kind} {value} {pause_ms}")

    def arm_confirm(self, kind: str, value: int = 0, pause_ms: int = 0) -> None:
        self.call(f"fault confirm {kind} {value} {pause_ms}")

    def accepted(self) -> int:
        return int(self.call("accepted")[0])

    def ends(self) -> List[str]:
        """Per accepted connection: open, orderly or reset."""
        return self.call("ends")

    def wait_for_ends(self, count: int, timeout: float = 3.0) -> List[str]:
        deadline = time.monotonic() + timeout
        while True:
            ends = self.ends()
            if sum(end != "open" for end in ends) >= count or time.monotonic() > deadline:
                return ends
            time.sleep(0.01)

    def connect_requests(self) -> List[bytes]:
        return [bytes.fromhex(line) for line in self.call("crs")]

    def requests(self) -> List[bytes]:
        return [bytes.fromhex(line) for line in self.call("dts")]

    def read(self, area: str, block: int, offset: int, count: int) -> bytes:
        """count bytes of memory from byte offset (areas D X M E A T Z)."""
        return bytes.fromhex(self.call(f"read {area} {block} {offset} {count}")[0])

    def write(self, area: str, block: int, offset: int, data: bytes) -> None:
        self.call(f"write {area} {block} {offset} {data.hex()}")

    def stop(self) -> None:
        self._lines.close()
        self._socket.close()
        self.process.terminate()
        try:
            self.process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.process.stdout.close()


class _Simulators:
    """The suite's simulators, each started when a test first asks for it."""

    def __init__(self) -> None:
        self._running: Dict[str, Simulator] = {}

    def lend(self, address: str) -> Iterator[Simulator]:
        """One test's turn: no faults armed and an empty record before and after."""
        simulator = self._running.get(address)
        if simulator is None:
            simulator = self._running[address] = Simulator(address)
        simulator.reset()
        yield simulator
        simulator.reset()

    def stop(self) -> None:
        for simulator in self._running.values():
            simulator.stop()


@pytest.fixture(scope="session")
def _simulators() -> Iterator[_Simulators]:
    simulators = _Simulators()
    yield simulators
    simulators.stop()


@pytest.fixture
def sim(_simulators: _Simulators) -> Iterator[Simulator]:
    """The suite's simulator, with no faults armed and an empty record."""
    yield from _simulators.lend(SIM_ADDRESS)


@pytest.fixture
def second_sim(_simulators: _Simulators) -> Iterator[Simulator]:
    """A second adapter, for tests of two connections."""
    yield from _simulators.lend(SECOND_SIM_ADDRESS)


@pytest.fixture(scope="session")
def black_hole() -> Iterator[str]:
    """An address whose port 102 takes no more connections: a TCP connect to it
    waits until the caller's own time-out."""
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((BLACK_HOLE_ADDRESS, PORT))
    listener.listen(0)
    probes = []
    try:
        for _ in range(16):
            probe = socket.socket()
            probe.settimeout(0.3)
            probes.append(probe)
            try:
                probe.connect((BLACK_HOLE_ADDRESS, PORT))
            except socket.timeout:
                break
        else:
            pytest.fail("the listener's accept queue never filled")
        yield BLACK_HOLE_ADDRESS
    finally:
        for probe in probes:
            probe.close()
        listener.close()
