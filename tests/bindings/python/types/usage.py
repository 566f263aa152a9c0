# SPDX-License-Identifier: Apache-2.0
"""The package as docs/python.md uses it, for mypy --strict (Python 3.8): every
line must type-check as written, without casts. Not run."""

from typing import Dict, List, Optional, Union

import orvanet
from orvanet import OrvaError, Result, SocketError, Time, Value, ValueText, VariableError, VariableList


def first_read(address: str) -> Dict[str, Union[Value, OrvaError]]:
    with orvanet.connect(address, receive_timeout_ms=1000) as plc:
        plc.write({"DB10.DD30:KG": 12.5, "MW20:KF": -7, "M20.3": True, "DB10.DW4:KT": ValueText("1.5s")})
        return plc.read(["DB10.DD30:KG", "MW20:KF", "M20.3", "DB10.DW4:KT"])


def set_point(plc: orvanet.Connection) -> float:
    value = plc.read(["DB10.DD30:KG"])["DB10.DD30:KG"]
    if isinstance(value, OrvaError):
        raise value
    assert isinstance(value, float)
    return value


def what_failed(error: OrvaError) -> str:
    # The socket error is a SocketError, whatever number the library gave.
    socket_error: SocketError = error.socket_error
    result: Result = error.result
    code: int = error.code
    return f"{error.name} {result.c_name} {code} {socket_error.name} {int(socket_error)} {socket_error.text}"


def per_variable(plc: orvanet.Connection, variables: VariableList) -> List[str]:
    lines = []
    for text, value in plc.read(variables).items():
        if isinstance(value, OrvaError):
            lines.append(f"{text}: {value.operation} {value.function} {value.socket_error.name}")
        elif isinstance(value, Time):
            lines.append(f"{text}: {int(value)} ms, {value.digits} x {value.base_ms} ms")
        else:
            lines.append(f"{text}: {value!r}")
    return lines


def bytes_and_words(plc: orvanet.Connection) -> int:
    try:
        data: bytes = plc.read_bytes("M", 0, 4)
        words: List[int] = plc.read_words("DB5", 0, 6)
        plc.write_words("DB", 3, [0x1234, 42], db=5)
        return data[0] + words[0]
    except OrvaError as error:
        print(error.socket_error.name, error.result.name)
        raise


def refused(plc: orvanet.Connection) -> Optional[str]:
    try:
        plc.write({"MW10:KF": 40000})
    except VariableError as error:
        return f"{error.text} {error.result.c_name} {error.position}"
    except OrvaError as error:
        return str(error.errors.get("MW10:KF"))
    return None


def handle_once_closed(plc: orvanet.Connection) -> Optional[int]:
    plc.close()
    return plc.handle


def the_library() -> str:
    library = orvanet.load_library()
    return library.path + library.vars_path
