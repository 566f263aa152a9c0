"""orvanet for Python: the seven functions of liborvanet through ctypes.

    from orvanet import Connection

    with Connection("127.0.0.1") as plc:
        plc.write_words("D", 10, [0x1234, 42], db=5)
        print(plc.read_words("D", 10, 2, db=5))    # [4660, 42]
        print(plc.read_bytes("M", 0, 4).hex())

Every failed call raises OrvaError with the result code (a Result) and the
socket error number of the handle. The library is looked up as
$ORVANET_LIBRARY, then by the system's usual search (liborvanet.so.1,
orvanet.dll).
"""

import ctypes
import ctypes.util
import enum
import os
import sys

__all__ = ["Result", "SocketError", "OrvaError", "Library", "Connection", "load_library"]


class Result(enum.IntEnum):
    """Result codes of the library's functions."""

    OK = 0
    PLC_ERROR = 2  # the PLC side refused: data area missing or too small; connection kept
    DROPPED = -1  # an exchange failed, the connection was dropped (no socket error)
    NO_FREE_HANDLE = -2  # ORVAOpen: all 64 handles are in use
    FAILED = -5  # failed with no recorded cause
    CONNECT_FAILED = -6  # setting up the transport connection failed (no socket error)
    SOCKET_ERROR = -7  # a socket error was recorded: see OrvaError.socket_error
    BAD_AREA = -10  # area letter not supported by this function
    BAD_HANDLE = -99  # handle outside 0..63 or not open


class SocketError(enum.IntEnum):
    """The socket error numbers met most often (Windows Sockets numbers on every platform)."""

    NONE = 0
    CONNECTION_RESET = 10054  # the adapter reset the connection
    TIMED_OUT = 10060  # no answer within the receive or send time-out
    CONNECTION_REFUSED = 10061  # nothing listens on port 102 at that address
    HOST_UNREACHABLE = 10065  # the TCP connect did not finish within the connect time-out


class OrvaError(Exception):
    """A library call that did not return Result.OK."""

    def __init__(self, function, result, socket_error=0):
        try:
            result = Result(result)
        except ValueError:
            pass
        self.function = function
        self.result = result
        self.socket_error = socket_error
        name = result.name if isinstance(result, Result) else "unknown result"
        text = f"{function} failed: {name} ({int(result)})"
        if socket_error:
            try:
                text += f", socket error {socket_error} ({SocketError(socket_error).name})"
            except ValueError:
                text += f", socket error {socket_error}"
        super().__init__(text)


def load_library(path=None):
    """Loads liborvanet: path, else $ORVANET_LIBRARY, else the system's search."""
    path = path or os.environ.get("ORVANET_LIBRARY") or ctypes.util.find_library("orvanet")
    if path is None:
        path = "orvanet.dll" if sys.platform == "win32" else "liborvanet.so.1"
    # The Windows library uses the stdcall convention (which 64-bit Windows ignores).
    loader = ctypes.WinDLL if sys.platform == "win32" else ctypes.CDLL
    return loader(path)


_bytes_p = ctypes.POINTER(ctypes.c_ubyte)
_words_p = ctypes.POINTER(ctypes.c_ushort)

# The C signatures of the seven functions; each returns an int.
SIGNATURES = {
    "ORVAOpen": [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int, ctypes.c_int, ctypes.c_int],
    "ORVAClose": [ctypes.c_int],
    "ORVARdB": [ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int, _bytes_p],
    "ORVARdW": [ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int, _words_p],
    "ORVAWrB": [ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int, _bytes_p],
    "ORVAWrW": [ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int, _words_p],
    "ORVAGetSockErr": [ctypes.c_int],
}


class Library:
    """The seven functions with their C signatures; each returns the plain int result."""

    def __init__(self, path=None):
        self.dll = load_library(path)
        for name, argtypes in SIGNATURES.items():
            function = getattr(self.dll, name)
            function.argtypes = argtypes
            function.restype = ctypes.c_int
            setattr(self, name, function)


_default_library = None


def _library():
    global _default_library
    if _default_library is None:
        _default_library = Library()
    return _default_library


def _letter(area):
    if not isinstance(area, str) or len(area) != 1:
        raise ValueError(f"area must be one letter (A E I M O D X T Z C), not {area!r}")
    return ord(area)


class Connection:
    """One handle to one PLC adapter. Opening sends nothing; the first read or
    write connects, and a dropped connection is set up again by the next call.

    Areas (one letter, either case): A/O outputs, E/I inputs, M flags (start in
    bytes); D data block db, X extended data block db, T timers, Z/C counters
    (start in words, words only). Time-outs of 0 select 500, 500 and 5000 ms.
    """

    def __init__(self, address, own_tsap="", plc_tsap="", receive_timeout_ms=0, send_timeout_ms=0,
                 connect_timeout_ms=0, library=None):
        self.lib = library or _library()
        handle = self.lib.ORVAOpen(address.encode("ascii"), own_tsap.encode("ascii"), plc_tsap.encode("ascii"),
                                   receive_timeout_ms, send_timeout_ms, connect_timeout_ms)
        if handle < 0:
            raise OrvaError("ORVAOpen", handle)
        self.handle = handle

    def close(self):
        if self.handle is not None:
            self.lib.ORVAClose(self.handle)
            self.handle = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __del__(self):
        self.close()

    def socket_error(self):
        """The handle's last socket error number, 0 for none."""
        return self.lib.ORVAGetSockErr(self.handle)

    def _check(self, function, result):
        if result != Result.OK:
            raise OrvaError(function, result, self.socket_error())

    def read_bytes(self, area, start, count, db=0):
        buffer = (ctypes.c_ubyte * count)()
        self._check("ORVARdB", self.lib.ORVARdB(self.handle, _letter(area), db, start, count, buffer))
        return bytes(buffer)

    def read_words(self, area, start, count, db=0):
        buffer = (ctypes.c_ushort * count)()
        self._check("ORVARdW", self.lib.ORVARdW(self.handle, _letter(area), db, start, count, buffer))
        return list(buffer)

    def write_bytes(self, area, start, data, db=0):
        data = bytes(data)
        buffer = (ctypes.c_ubyte * len(data)).from_buffer_copy(data)
        self._check("ORVAWrB", self.lib.ORVAWrB(self.handle, _letter(area), db, start, len(data), buffer))

    def write_words(self, area, start, values, db=0):
        values = list(values)
        if any(not 0 <= v <= 0xFFFF for v in values):
            raise ValueError("each word must be 0..65535")
        buffer = (ctypes.c_ushort * len(values))(*values)
        self._check("ORVAWrW", self.lib.ORVAWrW(self.handle, _letter(area), db, start, len(values), buffer))
