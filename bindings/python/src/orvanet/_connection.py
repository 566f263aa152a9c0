# SPDX-License-Identifier: Apache-2.0
"""Connection: one handle of the library, as a Python object."""

from __future__ import annotations

import array
import ctypes
import ipaddress
import operator
import threading
import weakref
from typing import Any, Callable, Dict, Iterable, List, Mapping, Optional, Union

from ._areas import AreaLike, Target, check_count, check_range, resolve
from ._native import Library, default_library
from ._results import OrvaError, Result, SocketError
from ._variables import Value, VariableList, WriteValue, _variable_text

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


# What each of the four transfers does, and whether its unit is the word.
_TRANSFERS = {
    "ORVARdB": ("reading", False),
    "ORVARdW": ("reading", True),
    "ORVAWrB": ("writing", False),
    "ORVAWrW": ("writing", True),
}


class Connection:
    """One handle to one PLC adapter. Opening sends nothing; the first read or
    write connects, the connection is kept for the next calls, dropped by any
    failed exchange and set up again by the next call.

    Variables: read() and write() take the PLC's notation ("DB10.DD30:KG",
    "MW20:KF", "M20.3", "T3"; docs/variables.md) and give and take values.

    Bytes and words: areas are an Area member or a spelling as liborvavars
    reads it, in either case: A or O outputs, E or I inputs, M flags, T timers,
    Z or C counters, DB<n> or D<n> data block n, DX<n> or X<n> extended data
    block n (also "DB 5"), or "DB" and "DX" with db=5. Start and count are
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
            raise self.library.error("ORVAOpen", f"opening a handle for {address}", handle)
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
    def socket_error(self) -> SocketError:
        """ORVAGetSockErr: the last socket error of the handle, SocketError.NONE for none."""
        with self._lock:
            handle = self._open_handle("ORVAGetSockErr", lambda: "asking for the socket error")
            return SocketError(self.library.ORVAGetSockErr(handle))

    def _open_handle(self, function: str, operation: Callable[[], str]) -> int:
        """The open handle; on a closed Connection the library's ORVA_ERR_HANDLE, without a call."""
        if self._handle is None:
            raise self.library.error(function, f"{operation()} at {self.address}", Result.ERR_HANDLE)
        return self._handle

    def _call(self, function: str, operation: Callable[[], str], letter: str, block: int, start: int, count: int,
              buffer: "ctypes.Array[Any]") -> None:
        # operation is worded only when the call fails.
        with self._lock:
            handle = self._open_handle(function, operation)
            result = getattr(self.library, function)(handle, ord(letter), block, start, count, buffer)
            if result == Result.OK:
                return
            # Read under the lock: no other thread's call on this handle can change it in between.
            socket_error = self.library.ORVAGetSockErr(handle)
        raise self.library.error(function, f"{operation()} at {self.address}", result, socket_error)

    def _range(self, verb: str, target: Target, start: int, count: int, words: bool) -> Callable[[], str]:
        unit = "word" if words else "byte"
        where = "to" if verb == "writing" else "from"
        return lambda: (f"{verb} {_plural(count, unit)} {where} "
                        f"{target.describe(self.library, start, count, words)}")

    def _transfer(self, function: str, target: Target, start: int, buffer: "ctypes.Array[Any]") -> None:
        verb, words = _TRANSFERS[function]
        count = len(buffer)
        start = check_range(target, start, count, words=words)
        self._call(function, self._range(verb, target, start, count, words), target.area.letter,
                   target.block, start, count, buffer)

    def read_bytes(self, area: AreaLike, start: int, count: int, *, db: Optional[int] = None) -> bytes:
        """Reads count bytes (1..65535) from start."""
        target = resolve(self.library, area, db)
        buffer = (ctypes.c_ubyte * check_count(count))()
        self._transfer("ORVARdB", target, start, buffer)
        return bytes(buffer)

    def read_words(self, area: AreaLike, start: int, count: int, *, db: Optional[int] = None) -> List[int]:
        """Reads count 16-bit words (1..65535) from start, as ints 0..65535."""
        target = resolve(self.library, area, db)
        buffer = (ctypes.c_ushort * check_count(count))()
        self._transfer("ORVARdW", target, start, buffer)
        # At C speed: a list() of a ctypes array makes each int through ctypes, about 80 ns a word.
        return memoryview(buffer).cast("B").cast("H").tolist()

    def write_bytes(self, area: AreaLike, start: int, data: BytesLike, *, db: Optional[int] = None) -> None:
        """Writes data (bytes, or ints 0..255; 1..65535 of them) from start."""
        target = resolve(self.library, area, db)
        buffer = _byte_buffer(data)
        _write_count(len(buffer), "byte")
        self._transfer("ORVAWrB", target, start, buffer)

    def write_words(self, area: AreaLike, start: int, values: WordsLike, *, db: Optional[int] = None) -> None:
        """Writes values (ints 0..65535, or an array('H'); 1..65535 of them) from start."""
        target = resolve(self.library, area, db)
        buffer = _word_buffer(values)
        _write_count(len(buffer), "word")
        self._transfer("ORVAWrW", target, start, buffer)

    # --- Variables -------------------------------------------------------------------

    def variables(self, variables: Iterable[str], *, gap: int = 32) -> VariableList:
        """A VariableList for this Connection's library: planned once, read again and again by read()."""
        return VariableList(variables, gap=gap, library=self.library)

    def read(self, variables: Union[VariableList, Iterable[str]]) -> Dict[str, Union[Value, OrvaError]]:
        """Reads a list of variables in the fewest calls (one trip into the
        library) and gives each text its value: bool for bits, int for the
        integer formats (a Time, which is an int of milliseconds, for KT), float
        for KG, str for KC and KS; or, where that variable was not read, its own
        OrvaError (not raised). A VariableList is planned once and is the fast
        way to read the same variables again; texts make a list for this read.
        A text that is not a variable raises VariableError (a ValueError) before
        any traffic; a closed Connection raises OrvaError."""
        if isinstance(variables, VariableList):
            if variables.library is not self.library:
                raise ValueError("the VariableList was made for another Library than this Connection's")
            return self._read(variables)
        with VariableList(variables, library=self.library) as once:
            return self._read(once)

    def _read(self, variables: VariableList) -> Dict[str, Union[Value, OrvaError]]:
        with variables._lock:
            with self._lock:
                handle = self._open_handle("ORVAVarsRead", lambda: f"reading {_plural(len(variables), 'variable')}")
                return variables._read(handle, "reading", f" at {self.address}")

    def write(self, values: Mapping[str, WriteValue], *, round_times: bool = False, no_modify: bool = False) -> None:
        """Writes variables, each text to its value, in as few calls as the
        values allow. Values by their type: bool, int (milliseconds for KT), float,
        str (for KC and KS the characters, Latin-1; else a value as typed, such as
        "1.5s" or "0x1F"), ValueText (as typed, also for KC and KS), bytes (KC, KS).
        Bits and bytes of data words are read-modify-write: read, changed and
        written back, overwriting what another writer changed in between;
        no_modify refuses such writes. round_times rounds a KT time to its time
        base instead of refusing it.
        A text that is not a variable or a value the library refuses raises
        VariableError (a ValueError), a value of another type TypeError, both
        before any traffic. When a variable is not written, OrvaError is raised:
        that of the first variable that failed (not of one left untried after a
        lost connection), with .errors holding each one's error by its text
        (all others were written)."""
        texts = [_variable_text(text) for text in values]
        with VariableList(texts, round_times=round_times, no_modify=no_modify, library=self.library) as once:
            with once._lock:
                for index, value in enumerate(values.values()):
                    once._set(index, value)
                with self._lock:
                    handle = self._open_handle("ORVAVarsWrite", lambda: f"writing {_plural(len(texts), 'variable')}")
                    results = once._write(handle, "writing", f" at {self.address}")
        errors = {text: outcome for text, outcome in results.items() if outcome is not None}
        if errors:
            # The cause, not a variable that was not tried after it.
            causes = [e for e in errors.values() if e.result is not Result.ERR_NOT_TRIED]
            first = (causes or list(errors.values()))[0]
            raise OrvaError(first.function, first.operation, first.code, first.socket_error, first.failure, errors)


def connect(address: str, own_tsap: str = "", plc_tsap: str = "", *, receive_timeout_ms: int = 0,
            send_timeout_ms: int = 0, connect_timeout_ms: int = 0, library: Optional[Library] = None) -> Connection:
    """Opens a Connection to the adapter at address (dotted IPv4, port 102).
    Nothing is sent yet: the first read or write connects. own_tsap and
    plc_tsap are the transport names (at most 8 characters). Time-outs of 0
    select the library's defaults (500, 500 and 5000 ms)."""
    return Connection(address, own_tsap, plc_tsap, receive_timeout_ms=receive_timeout_ms,
                      send_timeout_ms=send_timeout_ms, connect_timeout_ms=connect_timeout_ms, library=library)
