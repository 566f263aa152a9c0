# SPDX-License-Identifier: Apache-2.0
"""Finding and loading liborvanet, and the C signatures of its seven functions."""

from __future__ import annotations

import ctypes
import os
import platform
import struct
import sys
import sysconfig
import threading
from typing import Any, Callable, Dict, List, Mapping, Optional, Sequence, Tuple

from ._results import LibraryNotFoundError

__all__ = ["SIGNATURES", "Library", "load_library", "default_library"]

ENVIRONMENT_VARIABLE = "ORVANET_LIBRARY"

_bytes_p = ctypes.POINTER(ctypes.c_ubyte)
_words_p = ctypes.POINTER(ctypes.c_ushort)

# The C signatures of the seven functions (argument types); each returns an int.
SIGNATURES: Dict[str, List[Any]] = {
    "ORVAOpen": [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int, ctypes.c_int, ctypes.c_int],
    "ORVAClose": [ctypes.c_int],
    "ORVARdB": [ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int, _bytes_p],
    "ORVARdW": [ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int, _words_p],
    "ORVAWrB": [ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int, _bytes_p],
    "ORVAWrW": [ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int, _words_p],
    "ORVAGetSockErr": [ctypes.c_int],
}


class Library:
    """One loaded liborvanet: the seven functions with their C signatures, each
    returning its plain int result. ctypes releases the GIL during every call,
    so calls on different handles run in parallel on Python threads."""

    ORVAOpen: Callable[..., int]
    ORVAClose: Callable[[int], int]
    ORVARdB: Callable[..., int]
    ORVARdW: Callable[..., int]
    ORVAWrB: Callable[..., int]
    ORVAWrW: Callable[..., int]
    ORVAGetSockErr: Callable[[int], int]

    def __init__(self, dll: ctypes.CDLL, path: str) -> None:
        self.dll = dll
        self.path = path
        for name, argtypes in SIGNATURES.items():
            function = getattr(dll, name)
            function.argtypes = argtypes
            function.restype = ctypes.c_int
            setattr(self, name, function)

    def __repr__(self) -> str:
        return f"<orvanet.Library {self.path}>"


def _file_name(system: str) -> str:
    return "orvanet.dll" if system == "win32" else "liborvanet.so.1"


def _multiarch() -> str:
    """The Debian multiarch triplet of this interpreter, such as x86_64-linux-gnu."""
    triplet = sysconfig.get_config_var("MULTIARCH")
    if triplet:
        return str(triplet)
    machine = platform.machine()
    known = {"x86_64": "x86_64-linux-gnu", "aarch64": "aarch64-linux-gnu", "i686": "i386-linux-gnu",
             "i386": "i386-linux-gnu", "armv7l": "arm-linux-gnueabihf"}
    return known.get(machine, f"{machine}-linux-gnu")


def install_locations(system: str = sys.platform) -> List[str]:
    """Where an installed library is looked for once the system's search has not found it:
    the CMake install (/usr/local/lib) and the Debian package (/usr/lib/<multiarch>, /usr/lib)
    on Linux; beside this package and every folder on PATH on Windows."""
    name = _file_name(system)
    if system == "win32":
        folders = [os.path.dirname(os.path.abspath(__file__))]
        folders += [p for p in os.environ.get("PATH", "").split(os.pathsep) if p]
    else:
        folders = ["/usr/local/lib", f"/usr/lib/{_multiarch()}", "/usr/lib"]
    return [os.path.join(folder, name) for folder in folders]


def _open(path: str, system: str) -> ctypes.CDLL:
    # The Windows library uses the stdcall convention (which 64-bit Windows ignores).
    if system == "win32":
        return ctypes.WinDLL(path)  # type: ignore[attr-defined,no-any-return]
    return ctypes.CDLL(path)


def _interpreter() -> str:
    bits = struct.calcsize("P") * 8
    return (f"This Python is {bits}-bit ({platform.python_implementation()} {platform.python_version()} on "
            f"{platform.system()} {platform.machine()}) and needs the {bits}-bit library.")


def _fix(system: str) -> str:
    if system == "win32":
        return ("To fix it: put orvanet.dll of the same bitness beside the orvanet package or in a folder on "
                f"PATH, or set {ENVIRONMENT_VARIABLE} to the full path of orvanet.dll.")
    return ("To fix it: install the liborvanet1 package, or build the library and run `cmake --install BUILD_DIR`, "
            f"or set {ENVIRONMENT_VARIABLE} to the full path of liborvanet.so.1.")


def load_library(path: Optional[str] = None, environ: Mapping[str, str] = os.environ,
                 system: str = sys.platform, locations: Optional[Sequence[str]] = None) -> Library:
    """Loads liborvanet: from path when given; else from $ORVANET_LIBRARY when it
    is set (and then from nowhere else); else by the system's search for
    liborvanet.so.1 / orvanet.dll, then from the install locations.
    Raises LibraryNotFoundError, saying what was searched, when none loads."""
    name = _file_name(system)
    searched: List[Tuple[str, str]] = []

    def attempt(place: str, target: str, must_exist: bool) -> Optional[Library]:
        if must_exist and not os.path.exists(target):
            searched.append((place, "no such file"))
            return None
        try:
            return Library(_open(target, system), target)
        except OSError as error:
            searched.append((place, f"cannot load: {error}"))
        except AttributeError as error:
            searched.append((place, f"loaded, but it is not liborvanet: {error}"))
        return None

    explicit = path if path is not None else environ.get(ENVIRONMENT_VARIABLE) or None
    if explicit is not None:
        place = explicit if path is not None else f"{ENVIRONMENT_VARIABLE}={explicit}"
        library = attempt(place, explicit, False)
        if library is not None:
            return library
        searched.append(("nothing else was tried", "the library was named explicitly"))
    else:
        searched.append((ENVIRONMENT_VARIABLE, "not set"))
        library = attempt(f"the system's library search for {name}", name, False)
        if library is not None:
            return library
        for candidate in install_locations(system) if locations is None else locations:
            library = attempt(candidate, candidate, True)
            if library is not None:
                return library

    lines = [f"orvanet: cannot find or load the native library {name}. Searched:"]
    lines += [f"  {place}: {outcome}" for place, outcome in searched]
    lines += [_interpreter(), _fix(system)]
    raise LibraryNotFoundError("\n".join(lines), searched)


_default: Optional[Library] = None
_default_lock = threading.Lock()


def default_library() -> Library:
    """The library that connections use unless given another, loaded on first use."""
    global _default
    with _default_lock:
        if _default is None:
            _default = load_library()
        return _default
