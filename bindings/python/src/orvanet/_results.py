# SPDX-License-Identifier: Apache-2.0
"""Result codes and socket error numbers of liborvanet, with their texts, and
the exceptions that carry them."""

from __future__ import annotations

import enum
from typing import Dict, List, Tuple, Union

__all__ = ["Result", "SocketError", "OrvaError", "LibraryNotFoundError", "RESULT_TEXTS", "SOCKET_ERROR_TEXTS"]


class Result(enum.IntEnum):
    """What a library function returned: the ORVA_ constants of orvanet.h without the prefix."""

    OK = 0
    ERR_PLC = 2
    ERR_DROPPED = -1
    ERR_NO_FREE_HANDLE = -2
    ERR_FAILED = -5
    ERR_CONNECT = -6
    ERR_SOCKET = -7
    ERR_AREA = -10
    ERR_HANDLE = -99

    @property
    def c_name(self) -> str:
        """The name in orvanet.h, such as ORVA_ERR_PLC."""
        return "ORVA_" + self.name

    @property
    def text(self) -> str:
        """The result in words (ORVAResultName in orvanet.h)."""
        return RESULT_TEXTS[self]


class SocketError(enum.IntEnum):
    """Socket error numbers of ORVAGetSockErr: Windows Sockets numbers on every
    platform (the ORVA_WSAE constants of orvanet.h without the prefix)."""

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

    @property
    def text(self) -> str:
        """The number in words, with its usual cause (ORVASocketErrorText in orvanet.h)."""
        return SOCKET_ERROR_TEXTS[self]


# Word for word the texts of ORVAResultName and ORVASocketErrorText; a test holds them to the header.
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


def as_result(code: int) -> Union[Result, int]:
    """The Result member of a code, or the plain int for a code the header does not list."""
    try:
        return Result(code)
    except ValueError:
        return code


def as_socket_error(number: int) -> Union[SocketError, int]:
    """The SocketError member of a number, or the plain int for one the header does not list."""
    try:
        return SocketError(number)
    except ValueError:
        return number


def describe_result(result: Union[Result, int]) -> str:
    """The result in words with its name and code, as orvacli and the other bindings say it."""
    if isinstance(result, Result):
        return f"{result.text} ({result.c_name}, result {int(result)})"
    return f"{UNKNOWN_RESULT_TEXT} (result {result})"


def describe_socket_error(number: Union[SocketError, int]) -> str:
    if isinstance(number, SocketError):
        return f"socket error {int(number)} {number.name}: {number.text}"
    return f"socket error {number}"


class OrvaError(Exception):
    """A failure of the library or a refused call on a closed Connection.

    result        the Result member (a plain int for a code orvanet.h does not list)
    socket_error  ORVAGetSockErr right after the call: a SocketError member, or
                  a plain int for a number orvanet.h does not list; NONE for none
    function      the library function that failed, such as "ORVARdB"
    operation     what was asked, such as "reading 4 bytes from MB10..MB13 at 127.0.0.1"
    """

    def __init__(self, function: str, operation: str, result: int, socket_error: int = 0,
                 detail: str = "") -> None:
        self.function = function
        self.operation = operation
        self.result: Union[Result, int] = as_result(result)
        self.socket_error: Union[SocketError, int] = as_socket_error(socket_error)
        self.detail = detail
        super().__init__(self._message())

    def _message(self) -> str:
        text = f"{self.operation} failed: "
        if self.detail:
            text += f"{self.detail}; "
        if int(self.result) == Result.ERR_SOCKET and self.socket_error != 0:
            # The socket error says more than its result: it leads.
            name = self.result.c_name if isinstance(self.result, Result) else "ORVA_ERR_SOCKET"
            return text + f"{describe_socket_error(self.socket_error)} ({name}, result {int(self.result)})"
        text += describe_result(self.result)
        if self.socket_error != 0:
            text += "; " + describe_socket_error(self.socket_error)
        return text

    def __reduce__(self) -> Tuple[type, Tuple[str, str, int, int, str]]:
        return (type(self), (self.function, self.operation, int(self.result), int(self.socket_error), self.detail))


class LibraryNotFoundError(OSError):
    """The native library could not be found or loaded. The message says what
    was searched, which Python this is (a 64-bit process needs the 64-bit
    library) and how to fix it; .searched holds each place with its outcome."""

    def __init__(self, message: str, searched: List[Tuple[str, str]]) -> None:
        super().__init__(message)
        self.searched = searched

    def __reduce__(self) -> Tuple[type, Tuple[str, List[Tuple[str, str]]]]:
        return (type(self), (str(self), self.searched))
