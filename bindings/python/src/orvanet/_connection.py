# SPDX-License-Identifier: Apache-2.0
"""Connection: one handle of the library, as a Python object."""

from __future__ import annotations

import array
import ctypes
import ipaddress
import operator
import threading
import weakref
from typing import Any, Iterable, List, Optional, Union

from ._areas import AreaLike, Target, check_count, check_range, resolve
from ._native import Library, default_library
from ._results import OrvaError, Result, SocketError, as_socket_error

__all__ = ["Connection", "connect"]

MAX_TSAP = 8
MAX_COUNT = 0xFFFF
BytesLike = Union[bytes, bytearray, memoryview, Iterable[int]]
WordsLike = Iterable[int]


def _timeout(value: int, name: str) -> int:
    try:
        ms = operator.index(value)
    except TypeError:
        raise TypeError(f"{name} must be an int number of milliseconds, not {type(value).__name__} {value!r}") \
            from None
    if not 0 <= ms <= 0x7FFFFFFF:
        raise ValueError(f"{name} {ms} is out of range: 0 selects the library's default, else 1..2147483647 ms")
    return ms


def _tsap(value: str, name: str) -> bytes:
    if not isinstance(value, str):
        raise TypeError(f"{name} must be a str, not {type(value).__name__} {value!r}")
    try:
        encoded = value.encode("ascii")
    except UnicodeEncodeError:
        raise ValueError(f"{name} {value!r} is not ASCII text") from None
    if len(encoded) > MAX_TSAP or b"\0" in encoded:
        raise ValueError(f"{name} {value!r} must be at most {MAX_TSAP} characters without NUL")
    return encoded


def _address(value: str) -> bytes:
    if not isinstance(value, str):
        raise TypeError(f"address must be a str such as '192.168.0.10', not {type(value).__name__} {value!r}")
    try:
        ipaddress.IPv4Address(value)
    except ValueError:
        raise ValueError(f"address {value!r} is not a dotted IPv4 address such as '192.168.0.10' "
                         "(host names are not resolved)") from None
    return value.encode("ascii")


def _values(values: Iterable[Any], what: str, high: int) -> List[int]:
    out = []
    for index, value in enumerate(values):
        try:
            number = operator.index(value)
        except TypeError:
            raise TypeError(f"{what} at index {index} is {type(value).__name__} {value!r}, not an int") from None
        if not 0 <= number <= high:
            raise ValueError(f"{what} {number} at index {index} is out of range (0..{high})")
        out.append(number)
    return out


def _byte_buffer(data: BytesLike) -> "ctypes.Array[ctypes.c_ubyte]":
    if isinstance(data, (bytes, bytearray)) or (isinstance(data, memoryview) and data.itemsize == 1):
        raw = bytes(data)
        return (ctypes.c_ubyte * len(raw)).from_buffer_copy(raw)
    if isinstance(data, str):
        raise TypeError("write_bytes takes bytes or ints 0..255, not str: encode the text first")
    numbers = _values(data, "byte", 0xFF)
    return (ctypes.c_ubyte * len(numbers))(*numbers)


def _word_buffer(values: WordsLike) -> "ctypes.Array[ctypes.c_ushort]":
    if isinstance(values, array.array) and values.typecode == "H" and values.itemsize == 2:
        return (ctypes.c_ushort * len(values)).from_buffer_copy(values)
    if isinstance(values, (str, bytes, bytearray)):
        raise TypeError(f"write_words takes ints 0..65535, not {type(values).__name__}")
    numbers = _values(values, "word", 0xFFFF)
    return (ctypes.c_ushort * len(numbers))(*numbers)


def _write_count(count: int, unit: str) -> int:
    if not 1 <= count <= MAX_COUNT:
        raise ValueError(f"a write takes 1..{MAX_COUNT} {unit}s, not {count}")
    return count


def _plural(count: int, unit: str) -> str:
    return f"{count} {unit}" + ("" if count == 1 else "s")


class Connection:
    """One handle to one PLC adapter. Opening sends nothing; the first read or
    write connects, the connection is kept for the next calls, dropped by any
    failed exchange and set up again by the next call.

    Areas: an Area member or a spelling, case-insensitive: A or O outputs, E or
    I inputs, M flags, T timers, Z or C counters, D/DB data block, X/DX extended
    data block, with the block number in the spelling ("DB5", "DX7") or as
    db=5; or the member names ("inputs", "data_block", ...). Start and count are
    bytes for A, E and M (also in the word functions, where a word covers two
    byte addresses), words for D, X, T and Z. Bytes can be read from A, E, M and
    written to A, M; words from every area and written to all but E. The library
    itself refuses the other combinations, with Result.ERR_AREA and no traffic.

    Time-outs in milliseconds; 0 selects the library's defaults (500 ms
    receive, 500 ms send, 5000 ms connect). A call lasts at most about
    connect + send + receive time-out per telegram of 492 data bytes.

    Every failure raises OrvaError. Use it as a context manager, or call
    close(); a Connection left to the garbage collector closes its handle then.
    One Connection may be used from several threads: its calls take turns.
    """

    def __init__(self, address: str, own_tsap: str = "", plc_tsap: str = "", *, receive_timeout_ms: int = 0,
                 send_timeout_ms: int = 0, connect_timeout_ms: int = 0, library: Optional[Library] = None) -> None:
        self._handle: Optional[int] = None
        self._lock = threading.Lock()
        self.address = address
        arguments = (_address(address), _tsap(own_tsap, "own_tsap"), _tsap(plc_tsap, "plc_tsap"),
                     _timeout(receive_timeout_ms, "receive_timeout_ms"), _timeout(send_timeout_ms, "send_timeout_ms"),
                     _timeout(connect_timeout_ms, "connect_timeout_ms"))
        self.library = library if library is not None else default_library()
        handle = self.library.ORVAOpen(*arguments)
        if handle < 0:
            raise OrvaError("ORVAOpen", f"opening a handle for {address}", handle)
        self._handle = handle
        # Closes the handle when the object is collected or the interpreter exits, once.
        self._finalizer = weakref.finalize(self, self.library.ORVAClose, handle)

    def __repr__(self) -> str:
        state = "closed" if self._handle is None else f"handle {self._handle}"
        return f"<orvanet.Connection {self.address} {state}>"

    def __enter__(self) -> "Connection":
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    @property
    def handle(self) -> Optional[int]:
        """The library's handle 0..63, None once closed."""
        return self._handle

    @property
    def closed(self) -> bool:
        return self._handle is None

    def close(self) -> None:
        """Closes the handle (an established connection is reset). Waits for a
        call of another thread on this Connection to end; closing twice is harmless."""
        with self._lock:
            if self._handle is not None:
                self._handle = None
                self._finalizer()

    @property
    def socket_error(self) -> Union[SocketError, int]:
        """ORVAGetSockErr: the last socket error of the handle, SocketError.NONE for none."""
        with self._lock:
            handle = self._open_handle("ORVAGetSockErr", "asking for the socket error")
            return as_socket_error(self.library.ORVAGetSockErr(handle))

    def _open_handle(self, function: str, operation: str) -> int:
        if self._handle is None:
            raise OrvaError(function, f"{operation} at {self.address}", Result.ERR_HANDLE,
                            detail="the Connection is closed")
        return self._handle

    def _call(self, function: str, operation: str, letter: str, block: int, start: int, count: int,
              buffer: "ctypes.Array[Any]") -> None:
        operation = f"{operation} at {self.address}"
        with self._lock:
            handle = self._open_handle(function, operation)
            result = getattr(self.library, function)(handle, ord(letter), block, start, count, buffer)
            if result == Result.OK:
                return
            # Read under the lock: no other thread's call on this handle can change it in between.
            socket_error = self.library.ORVAGetSockErr(handle)
        raise OrvaError(function, operation, result, socket_error)

    def read_bytes(self, area: AreaLike, start: int, count: int, *, db: Optional[int] = None) -> bytes:
        """Reads count bytes (1..65535) from start."""
        target = resolve(area, db)
        count = check_count(count)
        start = check_range(target, start, count, words=False)
        buffer = (ctypes.c_ubyte * count)()
        self._call("ORVARdB", f"reading {_plural(count, 'byte')} from {target.describe(start, count, False)}",
                   target.area.letter, target.block, start, count, buffer)
        return bytes(buffer)

    def read_words(self, area: AreaLike, start: int, count: int, *, db: Optional[int] = None) -> List[int]:
        """Reads count 16-bit words (1..65535) from start, as ints 0..65535."""
        target = resolve(area, db)
        count = check_count(count)
        start = check_range(target, start, count, words=True)
        buffer = (ctypes.c_ushort * count)()
        self._call("ORVARdW", f"reading {_plural(count, 'word')} from {target.describe(start, count, True)}",
                   target.area.letter, target.block, start, count, buffer)
        return list(buffer)

    def write_bytes(self, area: AreaLike, start: int, data: BytesLike, *, db: Optional[int] = None) -> None:
        """Writes data (bytes, or ints 0..255; 1..65535 of them) from start."""
        target = resolve(area, db)
        buffer = _byte_buffer(data)
        count = _write_count(len(buffer), "byte")
        start = check_range(target, start, count, words=False)
        self._call("ORVAWrB", f"writing {_plural(count, 'byte')} to {target.describe(start, count, False)}",
                   target.area.letter, target.block, start, count, buffer)

    def write_words(self, area: AreaLike, start: int, values: WordsLike, *, db: Optional[int] = None) -> None:
        """Writes values (ints 0..65535, or an array('H'); 1..65535 of them) from start."""
        target = resolve(area, db)
        buffer = _word_buffer(values)
        count = _write_count(len(buffer), "word")
        start = check_range(target, start, count, words=True)
        self._call("ORVAWrW", f"writing {_plural(count, 'word')} to {target.describe(start, count, True)}",
                   target.area.letter, target.block, start, count, buffer)


def connect(address: str, own_tsap: str = "", plc_tsap: str = "", *, receive_timeout_ms: int = 0,
            send_timeout_ms: int = 0, connect_timeout_ms: int = 0, library: Optional[Library] = None) -> Connection:
    """Opens a Connection to the adapter at address (dotted IPv4, port 102).
    Nothing is sent yet: the first read or write connects. own_tsap and
    plc_tsap are the transport names (at most 8 characters). Time-outs of 0
    select the library's defaults (500, 500 and 5000 ms)."""
    return Connection(address, own_tsap, plc_tsap, receive_timeout_ms=receive_timeout_ms,
                      send_timeout_ms=send_timeout_ms, connect_timeout_ms=connect_timeout_ms, library=library)
