# SPDX-License-Identifier: Apache-2.0
"""orvanet: read and write the data areas of S5 PLCs through liborvanet.

    import orvanet

    with orvanet.connect("192.168.0.10") as plc:
        plc.write_words("DB5", 10, [0x1234, 42])
        print(plc.read_words("DB5", 10, 2))      # [4660, 42]
        print(plc.read_bytes("M", 0, 4).hex())   # flag bytes MB0..MB3

Every failure raises OrvaError with .result (a Result), .socket_error (a
SocketError) and a message in words; bad arguments raise ValueError or
TypeError before anything is sent. The native library is loaded on the first
connect: from $ORVANET_LIBRARY if set, else by the system's search
(liborvanet.so.1, orvanet.dll), else from the install locations; when none
loads, LibraryNotFoundError says what was searched and how to fix it.
"""

from ._areas import Area
from ._connection import Connection, connect
from ._native import Library, load_library
from ._results import RESULT_TEXTS, SOCKET_ERROR_TEXTS, LibraryNotFoundError, OrvaError, Result, SocketError

__version__ = "1.0.0"

# Tracebacks and reprs name the classes where users import them from.
for _public in (Area, Connection, Library, LibraryNotFoundError, OrvaError, Result, SocketError):
    _public.__module__ = __name__
del _public

__all__ = [
    "Area",
    "Connection",
    "connect",
    "Library",
    "load_library",
    "LibraryNotFoundError",
    "OrvaError",
    "Result",
    "SocketError",
    "RESULT_TEXTS",
    "SOCKET_ERROR_TEXTS",
]
