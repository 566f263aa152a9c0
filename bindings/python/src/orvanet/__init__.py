# SPDX-License-Identifier: Apache-2.0
"""orvanet: read and write the data areas of S5 PLCs through liborvanet, as
values in the PLC's own notation and formats through liborvavars.

    import orvanet

    with orvanet.connect("192.168.0.10") as plc:
        plc.write({"DB10.DD30:KG": 12.5, "MW20:KF": -7})
        print(plc.read(["DB10.DD30:KG", "MW20:KF", "M20.3"]))
        # {'DB10.DD30:KG': 12.5, 'MW20:KF': -7, 'M20.3': False}
        plc.write_words("DB5", 10, [0x1234, 42])
        print(plc.read_bytes("M", 0, 4).hex())   # flag bytes MB0..MB3

Every failed call raises OrvaError with .result (a Result), .socket_error (a
SocketError) and the library's message; a list read gives each variable its
value or its own OrvaError. Bad arguments raise ValueError (VariableError for
variables) or TypeError before anything is sent. The native libraries are
loaded on the first connect: liborvanet from $ORVANET_LIBRARY if set, else by
the system's search (liborvanet.so.1, orvanet.dll), else from the install
locations; then liborvavars the same way ($ORVAVARS_LIBRARY), first beside
liborvanet. When either does not load, LibraryNotFoundError says what was
searched and how to fix it.
"""

from ._areas import Area
from ._connection import Connection, connect
from ._native import Library, load_library
from ._results import (RESULT_TEXTS, SOCKET_ERROR_TEXTS, LibraryNotFoundError, OrvaError, Result, SocketError,
                       VariableError)
from ._variables import (DEFAULT_GAP, MAX_VARIABLES, Element, Format, Kind, Plan, Time, Value, ValueText,
                         VariableInfo, VariableList, WriteValue, parse_variable)

__version__ = "1.0.0"

# Tracebacks and reprs name the classes where users import them from.
for _public in (Area, Connection, Library, LibraryNotFoundError, OrvaError, Result, SocketError, VariableError,
                Element, Format, Kind, Plan, Time, ValueText, VariableInfo, VariableList):
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
    "VariableError",
    "Result",
    "SocketError",
    "RESULT_TEXTS",
    "SOCKET_ERROR_TEXTS",
    "Element",
    "Format",
    "Kind",
    "Plan",
    "Time",
    "Value",
    "ValueText",
    "VariableInfo",
    "VariableList",
    "WriteValue",
    "parse_variable",
    "DEFAULT_GAP",
    "MAX_VARIABLES",
]
