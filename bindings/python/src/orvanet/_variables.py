# SPDX-License-Identifier: Apache-2.0
"""Variables in the PLC's notation ("DB10.DD30:KG", "MW20:KF", "M20.3", "T3")
through liborvavars: the notation and the data formats are the library's; here
only the Python values they become."""

from __future__ import annotations

import ctypes
import enum
import functools
import operator
import struct
import threading
import weakref
from typing import Any, Callable, Dict, Iterable, Iterator, List, Mapping, NamedTuple, Optional, Sequence, Tuple, Union

from ._areas import Area
from ._native import Library, VarInfo, VarResult, VarsError, VarsPlanInfo, c_text, default_library
from ._results import OrvaError, Result, VariableError

__all__ = ["Element", "Format", "Kind", "Time", "ValueText", "VariableInfo", "Plan", "VariableList",
           "parse_variable", "Value", "WriteValue", "MAX_VARIABLES", "DEFAULT_GAP"]

# orvavars.h's limits and options (a test holds them to the header).
MAX_VARIABLES = 65535
DEFAULT_GAP = 32
_OPTION_GAP = 1
_OPTION_ROUND_TIMES = 2
_OPTION_NO_MODIFY = 3


class Element(enum.IntEnum):
    """What a variable addresses (ORVAVARS_ELEMENT_)."""

    BIT = 1
    BYTE = 2
    WORD = 3
    DOUBLE = 4
    LEFT_BYTE = 5
    RIGHT_BYTE = 6


class Format(enum.IntEnum):
    """The data formats (ORVAVARS_FORMAT_): BOOLEAN and UNSIGNED are the defaults
    of a bit and of everything else."""

    BOOLEAN = 1
    UNSIGNED = 2
    KF = 3
    KH = 4
    KM = 5
    KY = 6
    KC = 7
    KT = 8
    KZ = 9
    KG = 10
    DH = 11
    KS = 12


class Kind(enum.IntEnum):
    """The kind of a value (ORVAVARS_KIND_): bool, int, float, str or Time in Python."""

    NONE = 0
    BOOLEAN = 1
    INTEGER = 2
    REAL = 3
    TEXT = 4
    TIME = 5


_TIME_BASE_MS = (10, 100, 1000, 10000)


class Time(int):
    """A KT time value: an int number of milliseconds, with the time base and the
    three digits as the PLC stores them (127000 is 127 x 1 s: time_base 2, digits 127)."""

    time_base: int
    digits: int

    def __new__(cls, milliseconds: int, time_base: int, digits: int) -> "Time":
        value = super().__new__(cls, milliseconds)
        value.time_base = time_base
        value.digits = digits
        return value

    @property
    def base_ms(self) -> int:
        """The time base in milliseconds: 10, 100, 1000 or 10000."""
        return _TIME_BASE_MS[self.time_base]

    def __repr__(self) -> str:
        return f"Time({int(self)}, time_base={self.time_base}, digits={self.digits})"

    def __reduce__(self) -> Tuple[type, Tuple[int, int, int]]:
        return (type(self), (int(self), self.time_base, self.digits))


_new_int = int.__new__


def _time(milliseconds: int, time_base: int, digits: int) -> Time:
    """Time(...) without the call of its __new__: a read makes many."""
    value: Time = _new_int(Time, milliseconds)
    value.time_base = time_base
    value.digits = digits
    return value


class ValueText(str):
    """A value to write in the text form the tools print and take: "12.5",
    "-3", "0x1F", "true", "1.5s", "18,52", "A\\x00B" (ORVAVarsSetText). A plain
    str is taken so too, except for KC and KS, where it is the characters
    themselves (Latin-1), as a read gives them."""


Value = Union[bool, int, float, str]
"""A value read: bool for bits, int for the integer formats (Time for KT), float for KG, str for KC and KS."""
WriteValue = Union[bool, int, float, str, bytes, bytearray]


class VariableInfo(NamedTuple):
    """One variable as the library parsed it."""

    text: str  # as the tools print it: DB10.DD30:KG, M10.3, T3
    area: Area
    block: int  # 0..255 for DB and DX, else 0
    element: Element
    address: int  # as written: the byte (A E M), the data word (D X), the cell (T Z)
    bit: Optional[int]  # 0..7 of a byte, 0..15 of a data word; None for no bit
    format: Format
    length: int  # characters of a KS string, else 0
    byte_offset: int  # its first byte, from byte 0 of the area
    byte_count: int  # the bytes it covers


class Plan(NamedTuple):
    """What one read of a list costs."""

    variables: int
    calls: int  # liborvanet calls
    telegrams: int  # fetch telegrams of at most 492 data bytes
    bytes: int  # data bytes fetched, the bytes between variables included


def _info(raw: VarInfo) -> VariableInfo:
    return VariableInfo(raw.text.decode("utf-8"), Area(chr(raw.area)), raw.block, Element(raw.element),
                        raw.address, raw.bit if raw.bit >= 0 else None, Format(raw.format), raw.length,
                        raw.byteOffset, raw.byteCount)


def _variable_text(text: object) -> str:
    if not isinstance(text, str):
        raise TypeError(f"a variable must be a str such as 'DB10.DD30:KG', not {type(text).__name__} {text!r}")
    return text


def _gap(value: object) -> int:
    try:
        gap = operator.index(value)  # type: ignore[arg-type]
    except TypeError:
        raise TypeError(f"gap must be an int number of bytes, not {type(value).__name__} {value!r}") from None
    if not 0 <= gap <= 0xFFFF:
        raise ValueError(f"gap {gap} is out of range (0..65535)")
    return gap


def parse_variable(text: str, library: Optional[Library] = None) -> VariableInfo:
    """The variable text names (ORVAVarsParse); VariableError with the library's
    message (position and what was expected) when it is not one."""
    library = library if library is not None else default_library()
    raw, error = VarInfo(), VarsError()
    result = library.ORVAVarsParse(c_text(_variable_text(text), "the variable"), ctypes.byref(raw),
                                   ctypes.byref(error))
    if result != 0:
        raise VariableError(error.message.decode("utf-8"), text, result, error.position)
    return _info(raw)


def _field_layout() -> Dict[str, Tuple[int, str, int]]:
    """Each field of ORVAVarResult by ctypes' own layout: its offset, its struct
    code (standard sizes) and its size."""
    layout: Dict[str, Tuple[int, str, int]] = {}
    fields: List[Tuple[str, Any]] = VarResult._fields_
    for name, ctype in fields:
        size = ctypes.sizeof(ctype)
        if ctype is ctypes.c_double:
            code = "d"
        elif ctype is ctypes.c_void_p:
            code = {4: "I", 8: "Q"}[size]
        else:
            code = {4: "i", 8: "q"}[size]
        layout[name] = (getattr(VarResult, name).offset, code, size)
    return layout


_LAYOUT = _field_layout()
_RECORD_SIZE = ctypes.sizeof(VarResult)


def _field_reader(name: str, count: int) -> Callable[[Any], Tuple[Any, ...]]:
    """Reads one field of count ORVAVarResults at once, skipping the others' bytes."""
    offset, code, size = _LAYOUT[name]
    return struct.Struct("=" + f"{offset}x{code}{_RECORD_SIZE - offset - size}x" * count).unpack_from


# One-shot reads of lists of a size seen before reuse the readers; a reader
# holds a few dozen bytes per variable, so only short lists' are kept here.
_shared_field_reader = functools.lru_cache(maxsize=32)(_field_reader)
_SHARED_READERS_UP_TO = 1024


_LIST_ERRORS = (Result.ERR_ARGUMENT, Result.ERR_NO_MEMORY, Result.ERR_TOO_MANY)


class VariableList:
    """A list of variables, planned once and read with the fewest calls: the fast
    way to read the same variables again and again (Connection.read(list)). Each
    variable keeps its own result. Used by one thread at a time: calls from
    several threads take turns. close() frees it; a collected list frees itself.

    gap          ranges of one area and block at most this many bytes apart are
                 read by one call (0..65535, default 32)
    round_times  a KT time that is no whole number of its time base is rounded
                 to the nearest, not refused (for writes)
    no_modify    writes that must read the PLC first (a bit, a byte of a data
                 word) are refused with Result.ERR_MODIFY_REFUSED
    """

    def __init__(self, variables: Iterable[str], *, gap: int = DEFAULT_GAP, round_times: bool = False,
                 no_modify: bool = False, library: Optional[Library] = None) -> None:
        self.library = library if library is not None else default_library()
        self._lock = threading.RLock()  # reentrant: a method may use another under it
        self._list: Optional[int] = None
        # Views of the text values the list holds, by variable: (address, length, view).
        self._text_views: Dict[int, Tuple[int, int, "ctypes.Array[ctypes.c_char]"]] = {}
        texts = tuple(_variable_text(text) for text in variables)
        gap = _gap(gap)
        if len(texts) > MAX_VARIABLES:
            raise ValueError(f"a list holds at most {MAX_VARIABLES} variables, not {len(texts)}")
        lib = self.library
        pointer = lib.ORVAVarsNewList()
        if not pointer:
            raise MemoryError("ORVAVarsNewList: out of memory")
        self._list = pointer
        self._finalizer = weakref.finalize(self, lib.ORVAVarsFreeList, pointer)
        error = VarsError()
        error_p = ctypes.byref(error)
        add = lib.ORVAVarsAdd
        for text in texts:
            added = add(pointer, c_text(text, "the variable"), error_p)
            if added < 0:
                self.close()
                raise VariableError(error.message.decode("utf-8"), text, added, error.position)
        for option, value in ((_OPTION_GAP, gap), (_OPTION_ROUND_TIMES, round_times), (_OPTION_NO_MODIFY, no_modify)):
            if lib.ORVAVarsSetOption(pointer, option, int(value)) != 0:
                self.close()
                raise ValueError(f"option {option} = {value!r} refused by ORVAVarsSetOption")
        self.texts: Tuple[str, ...] = texts
        self._index: Dict[str, int] = {}
        for index, text in enumerate(texts):
            self._index.setdefault(text, index)
        self._infos: Optional[Tuple[VariableInfo, ...]] = None
        self._results = (VarResult * len(texts))()
        # What the last read's kinds were, and where each kind other than an integer lies.
        self._kinds: Optional[Tuple[int, ...]] = None
        self._by_kind: Dict[int, Tuple[int, ...]] = {}
        self._readers: Dict[str, Callable[[Any], Tuple[Any, ...]]] = {}

    def __len__(self) -> int:
        return len(self.texts)

    def __iter__(self) -> Iterator[str]:
        return iter(self.texts)

    def __repr__(self) -> str:
        return f"<orvanet.VariableList of {len(self.texts)}{' closed' if self._list is None else ''}>"

    def __enter__(self) -> "VariableList":
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    def close(self) -> None:
        """Frees the native list; closing twice is harmless."""
        with self._lock:
            self._list = None
            self._text_views.clear()
            self._finalizer()

    def _pointer(self) -> int:
        if self._list is None:
            raise ValueError("the VariableList is closed")
        return self._list

    @property
    def infos(self) -> Tuple[VariableInfo, ...]:
        """Each variable as the library parsed it, in the list's order."""
        if self._infos is None:
            raw = VarInfo()
            with self._lock:
                pointer = self._pointer()
                infos = []
                for index in range(len(self.texts)):
                    self.library.ORVAVarsGetInfo(pointer, index, ctypes.byref(raw))
                    infos.append(_info(raw))
            self._infos = tuple(infos)
        return self._infos

    def key(self, key: Union[int, str]) -> int:
        """The index of a variable: its position, or its text as given."""
        if isinstance(key, str):
            try:
                return self._index[key]
            except KeyError:
                raise KeyError(f"{key!r} is not a variable of this list") from None
        if not isinstance(key, int) or not -len(self.texts) <= key < len(self.texts):
            raise IndexError(f"variable index {key!r} is outside the list of {len(self.texts)}")
        return key % len(self.texts)

    def plan(self) -> Plan:
        """Plans the read now (the first read does it anyway) and says what it costs."""
        info = VarsPlanInfo()
        with self._lock:
            self.library.ORVAVarsPlan(self._pointer(), ctypes.byref(info))
        return Plan(info.variables, info.calls, info.telegrams, info.bytes)

    # --- Values ------------------------------------------------------------------
    # The results are read field by field (one struct unpack of all variables
    # each), so that a value costs little more than the Python object it becomes.

    def _field(self, name: str) -> Tuple[Any, ...]:
        reader = self._readers.get(name)
        if reader is None:
            count = len(self.texts)
            if count <= _SHARED_READERS_UP_TO:
                reader = _shared_field_reader(name, count)
            else:
                reader = _field_reader(name, count)
            self._readers[name] = reader
        return reader(self._results)

    def _text_at(self, index: int, address: int, length: int) -> str:
        """A text value, Latin-1, from the list's own memory (valid until its next read)."""
        cached = self._text_views.get(index)
        if cached is None or cached[0] != address or cached[1] != length:
            cached = (address, length, (ctypes.c_char * length).from_address(address))
            self._text_views[index] = cached
        return cached[2].raw.decode("latin-1")

    def _failure(self, function: str, operation: str, status: int, socket_error: int,
                 failures: Dict[Tuple[int, int], str]) -> OrvaError:
        failure = failures.get((status, socket_error))
        if failure is None:
            failure = failures[(status, socket_error)] = self.library.failure_text(status, socket_error)
        return OrvaError(function, operation, status, socket_error, failure)

    def _value(self, index: int, record: Mapping[str, Any], function: str, operation: str,
               failures: Dict[Tuple[int, int], str]) -> Union[Value, OrvaError]:
        kind = record["kind"]
        if record["status"] != 0 or kind == Kind.NONE:
            return self._failure(function, operation, record["status"] or Result.ERR_NO_VALUE,
                                 record["socketError"], failures)
        if kind == Kind.REAL:
            return float(record["real"])
        if kind == Kind.BOOLEAN:
            return bool(record["integer"] != 0)
        if kind == Kind.TIME:
            return Time(record["integer"], record["timeBase"], record["timeDigits"])
        if kind == Kind.TEXT:
            return self._text_at(index, record["text"], record["length"])
        return int(record["integer"])

    def _collect(self, verb: str, where: str) -> Dict[str, Union[Value, OrvaError]]:
        """Each variable's value or error from the results of the last read."""
        statuses, kinds, integers = self._field("status"), self._field("kind"), self._field("integer")
        if any(statuses):
            fields = {name: self._field(name) for name in _LAYOUT}
            failures: Dict[Tuple[int, int], str] = {}
            out: Dict[str, Union[Value, OrvaError]] = {}
            for index, text in enumerate(self.texts):
                record = {name: values[index] for name, values in fields.items()}
                out.setdefault(text, self._value(index, record, "ORVAVarsRead",
                                                 f"{verb} {self.infos[index].text}{where}", failures))
            return out
        # Every variable read: the values taken by kind, most of them integers as they are.
        if kinds != self._kinds:
            self._kinds = kinds
            self._by_kind = {kind: tuple(i for i, k in enumerate(kinds) if k == kind)
                             for kind in (Kind.BOOLEAN, Kind.REAL, Kind.TIME, Kind.TEXT)}
        by_kind = self._by_kind
        values: List[Value] = list(integers)
        if by_kind[Kind.REAL]:
            reals = self._field("real")
            for i in by_kind[Kind.REAL]:
                values[i] = reals[i]
        for i in by_kind[Kind.BOOLEAN]:
            values[i] = integers[i] != 0
        if by_kind[Kind.TIME]:
            bases, digits = self._field("timeBase"), self._field("timeDigits")
            for i in by_kind[Kind.TIME]:
                values[i] = _time(integers[i], bases[i], digits[i])
        if by_kind[Kind.TEXT]:
            addresses, lengths = self._field("text"), self._field("length")
            for i in by_kind[Kind.TEXT]:
                values[i] = self._text_at(i, addresses[i], lengths[i])
        return dict(zip(self.texts, values))

    def _read(self, handle: int, verb: str, where: str) -> Dict[str, Union[Value, OrvaError]]:
        """ORVAVarsRead on handle (the caller holds this list's lock and its connection's).
        A variable's error says "<verb> <variable><where> failed: ..."."""
        result = self.library.ORVAVarsRead(handle, self._pointer(), self._results, len(self.texts))
        if result in _LIST_ERRORS:
            raise self.library.error("ORVAVarsRead", f"{verb} {len(self.texts)} variables{where}", result)
        return self._collect(verb, where)

    def _write(self, handle: int, verb: str, where: str) -> Dict[str, Optional[OrvaError]]:
        """ORVAVarsWrite on handle of the values set: each variable's error, None where it was written."""
        result = self.library.ORVAVarsWrite(handle, self._pointer(), self._results, len(self.texts))
        if result in _LIST_ERRORS:
            raise self.library.error("ORVAVarsWrite", f"{verb} {len(self.texts)} variables{where}", result)
        statuses, sockets = self._field("status"), self._field("socketError")
        failures: Dict[Tuple[int, int], str] = {}
        out: Dict[str, Optional[OrvaError]] = {}
        for index, text in enumerate(self.texts):
            out[text] = None if statuses[index] == 0 else self._failure(
                "ORVAVarsWrite", f"{verb} {self.infos[index].text}{where}", statuses[index], sockets[index],
                failures)
        return out

    def _set(self, index: int, value: object) -> None:
        """The value to write to variable index, by its type; VariableError when the library refuses it."""
        lib, pointer, error = self.library, self._pointer(), VarsError()
        error_p = ctypes.byref(error)
        if isinstance(value, bool):
            result = lib.ORVAVarsSetBoolean(pointer, index, int(value), error_p)
        elif isinstance(value, ValueText):
            result = lib.ORVAVarsSetText(pointer, index, self._value_text(index, value), error_p)
        elif isinstance(value, int):
            if -(1 << 63) <= value < (1 << 63):
                result = lib.ORVAVarsSetInteger(pointer, index, value, error_p)
            else:  # past 64 bits: the library words the refusal of its digits
                result = lib.ORVAVarsSetText(pointer, index, str(int(value)).encode("ascii"), error_p)
        elif isinstance(value, float):
            result = lib.ORVAVarsSetReal(pointer, index, value, error_p)
        elif isinstance(value, str):
            latin1: Optional[bytes] = None
            if self.infos[index].format in (Format.KC, Format.KS):
                try:
                    latin1 = value.encode("latin-1")
                except UnicodeEncodeError:
                    pass  # the library names the character it cannot write
            if latin1 is not None:
                result = lib.ORVAVarsSetString(pointer, index, latin1, len(latin1), error_p)
            else:
                result = lib.ORVAVarsSetText(pointer, index, self._value_text(index, value), error_p)
        elif isinstance(value, (bytes, bytearray, memoryview)):
            data = bytes(value)
            result = lib.ORVAVarsSetString(pointer, index, data, len(data), error_p)
        else:
            raise TypeError(f"the value for {self.infos[index].text} must be a bool, int, float, str or bytes, not "
                            f"{type(value).__name__} {value!r}")
        if result != 0:
            raise VariableError(error.message.decode("utf-8"), self.texts[index], result)

    def _value_text(self, index: int, value: str) -> bytes:
        return c_text(value, f"the value for {self.infos[index].text}")

    def decode(self, key: Union[int, str], data: bytes) -> Union[Value, OrvaError]:
        """Without traffic: the value of the variable's own bytes (byte_count of
        them, in the PLC's order), as a read would give it, or its OrvaError
        (Result.ERR_INVALID_BCD for a KT or KZ digit above 9)."""
        index = self.key(key)
        data = bytes(data)
        info = self.infos[index]
        if len(data) != info.byte_count:
            raise ValueError(f"{info.text} covers {info.byte_count} bytes, not {len(data)}")
        with self._lock:
            buffer = (ctypes.c_ubyte * len(data)).from_buffer_copy(data)
            raw = VarResult()
            self.library.ORVAVarsDecode(self._pointer(), index, buffer, len(data), ctypes.byref(raw))
            record = {name: getattr(raw, name) for name in _LAYOUT}
            record["text"] = record["text"] or 0
            return self._value(index, record, "ORVAVarsDecode", f"decoding {info.text}", {})

    def encode(self, key: Union[int, str], value: WriteValue) -> bytes:
        """Without traffic: the bytes a write of value gives the variable
        (byte_count of them; a bit: its byte with only that bit set or clear).
        Raises VariableError, TypeError as a write would."""
        index = self.key(key)
        count = self.infos[index].byte_count
        with self._lock:
            self._set(index, value)
            out = (ctypes.c_ubyte * count)()
            written = self.library.ORVAVarsEncoded(self._pointer(), index, out, count)
            return bytes(out[:written])

    def value_text(self, key: Union[int, str]) -> Optional[str]:
        """The variable's current value (the last read, decoded or set) as the tools
        print it ("12.34567", "127s", "A\\x00"); None when it has none."""
        index = self.key(key)
        with self._lock:
            pointer = self._pointer()
            size = 64
            while True:
                out = ctypes.create_string_buffer(size)
                length = self.library.ORVAVarsValueText(pointer, index, out, size)
                if length < 0:
                    return None
                if length < size:
                    return out.value.decode("utf-8")
                size = length + 1
