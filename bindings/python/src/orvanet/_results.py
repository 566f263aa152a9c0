# SPDX-License-Identifier: Apache-2.0
"""Result codes of liborvanet and liborvavars, socket error numbers, the
words of orvanet.h for them, and the exceptions that carry them."""

from __future__ import annotations

import enum
from typing import Dict, List, Mapping, Optional, Tuple, Type, TypeVar

__all__ = ["Result", "SocketError", "OrvaError", "LibraryNotFoundError", "RESULT_TEXTS", "SOCKET_ERROR_TEXTS"]

_Code = TypeVar("_Code", "Result", "SocketError")

# Codes of orvavars.h lie below this; those of orvanet.h above it.
_FIRST_VARS_CODE = -100


def _unknown(cls: Type[_Code], value: object) -> Optional[_Code]:
    """A member for a number neither header lists (from a newer library): named
    UNKNOWN, its int value the number itself, so that the type stays exact."""
    if not isinstance(value, int) or isinstance(value, bool):
        return None
    member = int.__new__(cls, value)
    member._name_ = "UNKNOWN"
    member._value_ = value
    return member


class Result(enum.IntEnum):
    """What a library function or a variable reported: the ORVA_ constants of
    orvanet.h and the ORVAVARS_ constants of orvavars.h without their prefix.
    A code neither header lists is a Result named UNKNOWN with that value."""

    OK = 0
    # orvanet.h
    ERR_PLC = 2
    ERR_DROPPED = -1
    ERR_NO_FREE_HANDLE = -2
    ERR_FAILED = -5
    ERR_CONNECT = -6
    ERR_SOCKET = -7
    ERR_AREA = -10
    ERR_HANDLE = -99
    # orvavars.h: the text of a variable
    ERR_SYNTAX = -101
    ERR_UNKNOWN_AREA = -102
    ERR_UNKNOWN_FORMAT = -103
    ERR_FORMAT_UNIT = -104
    ERR_OUT_OF_RANGE = -105
    # values
    ERR_VALUE_TEXT = -110
    ERR_VALUE_RANGE = -111
    ERR_VALUE_PRECISION = -112
    ERR_VALUE_KIND = -113
    ERR_NOT_FINITE = -114
    ERR_INVALID_BCD = -120
    # lists
    ERR_NO_VALUE = -130
    ERR_MODIFY_REFUSED = -131
    ERR_NOT_TRIED = -132
    ERR_ARGUMENT = -140
    ERR_NO_MEMORY = -141
    ERR_TOO_MANY = -142

    @classmethod
    def _missing_(cls, value: object) -> Optional["Result"]:
        return _unknown(cls, value)

    @property
    def c_name(self) -> str:
        """The name in the header, such as ORVA_ERR_PLC or ORVAVARS_ERR_INVALID_BCD
        (ORVAVarsResultName); "" for a code neither header lists."""
        if self.name == "UNKNOWN":
            return ""
        return ("ORVAVARS_" if self < _FIRST_VARS_CODE else "ORVA_") + self.name

    @property
    def text(self) -> str:
        """The result in words (ORVAVarsResultText of the library that connections use)."""
        from ._native import default_library

        return default_library().result_text(self)


class SocketError(enum.IntEnum):
    """Socket error numbers of ORVAGetSockErr: Windows Sockets numbers on every
    platform (the ORVA_WSAE constants of orvanet.h without the prefix). A number
    the header does not list is a SocketError named UNKNOWN with that value."""

    NONE = 0
    WSAEINTR = 10004
    WSAEACCES = 10013
    WSAEFAULT = 10014
    WSAEINVAL = 10022
    WSAEMFILE = 10024
    WSAEINPROGRESS = 10036
    WSAENOTSOCK = 10038
    WSAEMSGSIZE = 10040
    WSAEADDRINUSE = 10048
    WSAEADDRNOTAVAIL = 10049
    WSAENETDOWN = 10050
    WSAENETUNREACH = 10051
    WSAENETRESET = 10052
    WSAECONNABORTED = 10053
    WSAECONNRESET = 10054
    WSAENOBUFS = 10055
    WSAEISCONN = 10056
    WSAENOTCONN = 10057
    WSAESHUTDOWN = 10058
    WSAETIMEDOUT = 10060
    WSAECONNREFUSED = 10061
    WSAEHOSTDOWN = 10064
    WSAEHOSTUNREACH = 10065

    @classmethod
    def _missing_(cls, value: object) -> Optional["SocketError"]:
        return _unknown(cls, value)

    @property
    def text(self) -> str:
        """The number in words, with its usual cause (ORVASocketErrorText in
        orvanet.h); "" for a number the header does not list."""
        return SOCKET_ERROR_TEXTS.get(self, "")


# Word for word the texts of ORVAResultName and ORVASocketErrorText of orvanet.h;
# a test holds them to the header. Messages take their words from the library.
RESULT_TEXTS: Dict[Result, str] = {
    Result.OK: "success",
    Result.ERR_PLC: "the PLC refused: data block missing, or the range runs past the end of the area",
    Result.ERR_DROPPED: "the connection was dropped: closed, reset without a socket error, or a reply that did not fit",
    Result.ERR_NO_FREE_HANDLE: "all 64 handles are in use",
    Result.ERR_FAILED: "failed with no recorded cause: out of memory, a null buffer, nothing to transfer, a range past address 65535, or a data block number past 255",
    Result.ERR_CONNECT: "setting up the transport connection failed: check the TSAPs and the adapter's configuration",
    Result.ERR_SOCKET: "socket error: ORVAGetSockErr tells which",
    Result.ERR_AREA: "area not supported by this function",
    Result.ERR_HANDLE: "invalid handle: outside 0..63 or not open",
}
UNKNOWN_RESULT_TEXT = "unknown result"

SOCKET_ERROR_TEXTS: Dict[SocketError, str] = {
    SocketError.NONE: "none",
    SocketError.WSAEINTR: "interrupted",
    SocketError.WSAEACCES: "permission denied",
    SocketError.WSAEFAULT: "bad address: the socket layer was handed memory it cannot use",
    SocketError.WSAEINVAL: "invalid argument",
    SocketError.WSAEMFILE: "too many open sockets",
    SocketError.WSAEINPROGRESS: "an operation is already in progress on the socket",
    SocketError.WSAENOTSOCK: "not a socket",
    SocketError.WSAEMSGSIZE: "message too long",
    SocketError.WSAEADDRINUSE: "address in use: no local port was free for the connection",
    SocketError.WSAEADDRNOTAVAIL: "address not usable: not an IPv4 address a connection can be made to",
    SocketError.WSAENETDOWN: "network is down",
    SocketError.WSAENETUNREACH: "network unreachable: no route to that address",
    SocketError.WSAENETRESET: "connection broken by the network while it was in use",
    SocketError.WSAECONNABORTED: "connection aborted by the local system",
    SocketError.WSAECONNRESET: "connection reset by the adapter",
    SocketError.WSAENOBUFS: "no buffer space",
    SocketError.WSAEISCONN: "already connected",
    SocketError.WSAENOTCONN: "not connected",
    SocketError.WSAESHUTDOWN: "the connection was already shut down for sending",
    SocketError.WSAETIMEDOUT: "timed out: no answer within the receive or send time-out",
    SocketError.WSAECONNREFUSED: "connection refused: nothing listens on port 102 at that address",
    SocketError.WSAEHOSTDOWN: "host is down",
    SocketError.WSAEHOSTUNREACH: "host unreachable: the TCP connect did not finish within the connect time-out",
}


class OrvaError(Exception):
    """A failed library call, or one variable of a list that was not read or
    written. The message is "<what was asked> failed: " and the library's own
    words for the result (ORVAVarsFailureText), the same in every binding.

    result        the Result (every code of orvanet.h and orvavars.h is a member)
    code          the result as an int, -7
    name          its C name, "ORVA_ERR_SOCKET" ("" for a code neither header lists)
    socket_error  ORVAGetSockErr right after the call, a SocketError; NONE for none
    function      the library function that failed, such as "ORVARdB" or "ORVAVarsRead"
    operation     what was asked, such as "reading 4 bytes from MB10..MB13 at 127.0.0.1"
    errors        a list write that failed: each variable's error by its text (the
                  variables not in it were written); empty for any other call
    """

    def __init__(self, function: str, operation: str, result: int, socket_error: int, failure: str,
                 errors: Optional[Mapping[str, "OrvaError"]] = None) -> None:
        self.function = function
        self.operation = operation
        self.result = Result(result)
        self.code = int(result)
        self.name = self.result.c_name
        self.socket_error = SocketError(socket_error)
        self.failure = failure
        self.errors: Dict[str, OrvaError] = dict(errors) if errors else {}
        super().__init__(f"{operation} failed: {failure}")

    def __reduce__(self) -> Tuple[type, Tuple[str, str, int, int, str, Dict[str, "OrvaError"]]]:
        return (type(self), (self.function, self.operation, self.code, int(self.socket_error), self.failure,
                             self.errors))


class VariableError(ValueError):
    """A variable's text that does not parse, or a value it refuses, raised before
    any traffic. The message is the library's, word for word (it names the position
    and what was expected, or the variable and its range).

    text      the variable's text as given
    result    the Result, such as Result.ERR_UNKNOWN_FORMAT or Result.ERR_VALUE_RANGE
    position  the 1-based position in the text of a variable (0 when not about a position)
    """

    def __init__(self, message: str, text: str, result: int, position: int = 0) -> None:
        super().__init__(message)
        self.text = text
        self.result = Result(result)
        self.position = position

    def __reduce__(self) -> Tuple[type, Tuple[str, str, int, int]]:
        return (type(self), (str(self), self.text, int(self.result), self.position))


class LibraryNotFoundError(OSError):
    """A native library could not be found or loaded. The message says what was
    searched for each of the two (liborvanet, liborvavars), which Python this is
    (a 64-bit process needs the 64-bit libraries) and how to fix it; .searched
    holds each place with its outcome."""

    def __init__(self, message: str, searched: List[Tuple[str, str]]) -> None:
        super().__init__(message)
        self.searched = searched

    def __reduce__(self) -> Tuple[type, Tuple[str, List[Tuple[str, str]]]]:
        return (type(self), (str(self), self.searched))
