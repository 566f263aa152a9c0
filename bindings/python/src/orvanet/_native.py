# SPDX-License-Identifier: Apache-2.0
"""Finding and loading liborvanet and liborvavars, and the C declarations of
their functions and structs."""

from __future__ import annotations

import ctypes
import os
import platform
import struct
import sys
import sysconfig
import threading
from typing import Any, Callable, Dict, List, Mapping, Optional, Sequence, Tuple

from ._results import LibraryNotFoundError, OrvaError

__all__ = ["SIGNATURES", "VARS_SIGNATURES", "Library", "load_library", "default_library"]

ENVIRONMENT_VARIABLE = "ORVANET_LIBRARY"
VARS_ENVIRONMENT_VARIABLE = "ORVAVARS_LIBRARY"

_bytes_p = ctypes.POINTER(ctypes.c_ubyte)
_words_p = ctypes.POINTER(ctypes.c_ushort)
_int_p = ctypes.POINTER(ctypes.c_int)

# The C signatures of orvanet.h's seven functions (argument types); each returns an int.
SIGNATURES: Dict[str, List[Any]] = {
    "ORVAOpen": [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int, ctypes.c_int, ctypes.c_int],
    "ORVAClose": [ctypes.c_int],
    "ORVARdB": [ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int, _bytes_p],
    "ORVARdW": [ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int, _words_p],
    "ORVAWrB": [ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int, _bytes_p],
    "ORVAWrW": [ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int, _words_p],
    "ORVAGetSockErr": [ctypes.c_int],
}


# The structs of orvavars.h, field by field (a test holds them to the header).
class VarsError(ctypes.Structure):
    _fields_ = [("code", ctypes.c_int), ("position", ctypes.c_int), ("message", ctypes.c_char * 200)]


class VarInfo(ctypes.Structure):
    _fields_ = [("area", ctypes.c_int), ("block", ctypes.c_int), ("element", ctypes.c_int),
                ("address", ctypes.c_int), ("bit", ctypes.c_int), ("format", ctypes.c_int),
                ("length", ctypes.c_int), ("byteOffset", ctypes.c_int), ("byteCount", ctypes.c_int),
                ("text", ctypes.c_char * 32)]


class VarResult(ctypes.Structure):
    # text is read by its length: a string may hold NUL bytes, so not c_char_p.
    _fields_ = [("integer", ctypes.c_int64), ("real", ctypes.c_double), ("text", ctypes.c_void_p),
                ("length", ctypes.c_int), ("kind", ctypes.c_int), ("status", ctypes.c_int),
                ("socketError", ctypes.c_int), ("timeBase", ctypes.c_int), ("timeDigits", ctypes.c_int)]


class VarsPlanInfo(ctypes.Structure):
    _fields_ = [("variables", ctypes.c_int), ("calls", ctypes.c_int), ("telegrams", ctypes.c_int),
                ("bytes", ctypes.c_int)]


_list_p = ctypes.c_void_p  # ORVAVarList *, opaque
_error_p = ctypes.POINTER(VarsError)
_info_p = ctypes.POINTER(VarInfo)
_result_p = ctypes.POINTER(VarResult)

# orvavars.h's functions: the result type and the argument types.
VARS_SIGNATURES: Dict[str, Tuple[Any, List[Any]]] = {
    "ORVAVarsParse": (ctypes.c_int, [ctypes.c_char_p, _info_p, _error_p]),
    "ORVAVarsResultText": (ctypes.c_char_p, [ctypes.c_int]),
    "ORVAVarsResultName": (ctypes.c_char_p, [ctypes.c_int]),
    "ORVAVarsFailureText": (ctypes.c_int, [ctypes.c_int, ctypes.c_int, ctypes.c_char_p, ctypes.c_int]),
    "ORVAVarsNewList": (_list_p, []),
    "ORVAVarsFreeList": (None, [_list_p]),
    "ORVAVarsAdd": (ctypes.c_int, [_list_p, ctypes.c_char_p, _error_p]),
    "ORVAVarsCount": (ctypes.c_int, [_list_p]),
    "ORVAVarsGetInfo": (ctypes.c_int, [_list_p, ctypes.c_int, _info_p]),
    "ORVAVarsSetOption": (ctypes.c_int, [_list_p, ctypes.c_int, ctypes.c_int]),
    "ORVAVarsPlan": (ctypes.c_int, [_list_p, ctypes.POINTER(VarsPlanInfo)]),
    "ORVAVarsRead": (ctypes.c_int, [ctypes.c_int, _list_p, _result_p, ctypes.c_int]),
    "ORVAVarsSetBoolean": (ctypes.c_int, [_list_p, ctypes.c_int, ctypes.c_int, _error_p]),
    "ORVAVarsSetInteger": (ctypes.c_int, [_list_p, ctypes.c_int, ctypes.c_int64, _error_p]),
    "ORVAVarsSetReal": (ctypes.c_int, [_list_p, ctypes.c_int, ctypes.c_double, _error_p]),
    "ORVAVarsSetString": (ctypes.c_int, [_list_p, ctypes.c_int, ctypes.c_char_p, ctypes.c_int, _error_p]),
    "ORVAVarsSetText": (ctypes.c_int, [_list_p, ctypes.c_int, ctypes.c_char_p, _error_p]),
    "ORVAVarsWrite": (ctypes.c_int, [ctypes.c_int, _list_p, _result_p, ctypes.c_int]),
    "ORVAVarsValueText": (ctypes.c_int, [_list_p, ctypes.c_int, ctypes.c_char_p, ctypes.c_int]),
    "ORVAVarsDecode": (ctypes.c_int, [_list_p, ctypes.c_int, _bytes_p, ctypes.c_int, _result_p]),
    "ORVAVarsEncoded": (ctypes.c_int, [_list_p, ctypes.c_int, _bytes_p, ctypes.c_int]),
    "ORVAVarsParseArea": (ctypes.c_int, [ctypes.c_char_p, _int_p, _int_p, _error_p]),
    "ORVAVarsAreaName": (ctypes.c_char_p, [ctypes.c_int]),
    "ORVAVarsElementAddress": (ctypes.c_int, [ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int,
                                              ctypes.c_char_p, ctypes.c_int]),
}


def c_text(text: str, what: str) -> bytes:
    """text as the C string liborvavars reads (UTF-8); a NUL would end it early."""
    if "\0" in text:
        raise ValueError(f"{what} {text!r} contains a NUL character")
    return text.encode("utf-8", "replace")


def _text(function: Callable[..., int], *arguments: Any) -> str:
    """The UTF-8 text a function of orvavars.h writes into a caller's buffer,
    given as the leading arguments before (out, size); grown when cut."""
    size = 256
    while True:
        out = ctypes.create_string_buffer(size)
        length = function(*arguments, out, size)
        if length < size:
            return out.value.decode("utf-8") if length >= 0 else ""
        size = length + 1


class Library:
    """One loaded liborvanet with the liborvavars beside it: the functions of
    both headers with their C signatures, each returning its plain C result.
    ctypes releases the GIL during every call, so calls on different handles
    run in parallel on Python threads."""

    ORVAOpen: Callable[..., int]
    ORVAClose: Callable[[int], int]
    ORVARdB: Callable[..., int]
    ORVARdW: Callable[..., int]
    ORVAWrB: Callable[..., int]
    ORVAWrW: Callable[..., int]
    ORVAGetSockErr: Callable[[int], int]
    ORVAVarsParse: Callable[..., int]
    ORVAVarsResultText: Callable[[int], bytes]
    ORVAVarsResultName: Callable[[int], bytes]
    ORVAVarsFailureText: Callable[..., int]
    ORVAVarsNewList: Callable[[], Optional[int]]
    ORVAVarsFreeList: Callable[[Optional[int]], None]
    ORVAVarsAdd: Callable[..., int]
    ORVAVarsCount: Callable[..., int]
    ORVAVarsGetInfo: Callable[..., int]
    ORVAVarsSetOption: Callable[..., int]
    ORVAVarsPlan: Callable[..., int]
    ORVAVarsRead: Callable[..., int]
    ORVAVarsSetBoolean: Callable[..., int]
    ORVAVarsSetInteger: Callable[..., int]
    ORVAVarsSetReal: Callable[..., int]
    ORVAVarsSetString: Callable[..., int]
    ORVAVarsSetText: Callable[..., int]
    ORVAVarsWrite: Callable[..., int]
    ORVAVarsValueText: Callable[..., int]
    ORVAVarsDecode: Callable[..., int]
    ORVAVarsEncoded: Callable[..., int]
    ORVAVarsParseArea: Callable[..., int]
    ORVAVarsAreaName: Callable[[int], bytes]
    ORVAVarsElementAddress: Callable[..., int]

    def __init__(self, dll: ctypes.CDLL, path: str, vars_dll: ctypes.CDLL, vars_path: str) -> None:
        self.dll = dll
        self.path = path
        self.vars_dll = vars_dll
        self.vars_path = vars_path
        _declare(dll, {name: (ctypes.c_int, args) for name, args in SIGNATURES.items()}, self)
        _declare(vars_dll, VARS_SIGNATURES, self)

    def __repr__(self) -> str:
        return f"<orvanet.Library {self.path} {self.vars_path}>"

    def failure_text(self, result: int, socket_error: int) -> str:
        """ORVAVarsFailureText: the result in words, its C name and code, the socket error leading for -7."""
        return _text(self.ORVAVarsFailureText, result, socket_error)

    def error(self, function: str, operation: str, result: int, socket_error: int = 0) -> OrvaError:
        """The OrvaError of a failed call: "<operation> failed: " and the library's words."""
        return OrvaError(function, operation, result, socket_error, self.failure_text(result, socket_error))

    def result_text(self, code: int) -> str:
        return self.ORVAVarsResultText(code).decode("utf-8")

    def element_address(self, letter: str, block: int, words: bool, start: int, index: int) -> str:
        """ORVAVarsElementAddress: "MB10", "MW12", "DB 5 DW3", "T 7"."""
        return _text(self.ORVAVarsElementAddress, ord(letter), block, int(words), start, index)

    def area_name(self, letter: str) -> str:
        """ORVAVarsAreaName: "flags (M)", "data blocks (DB)"."""
        return self.ORVAVarsAreaName(ord(letter)).decode("utf-8")


def _declare(dll: ctypes.CDLL, signatures: Mapping[str, Tuple[Any, List[Any]]], into: Library) -> None:
    for name, (restype, argtypes) in signatures.items():
        function = getattr(dll, name)  # AttributeError: not the library it was taken for
        function.argtypes = argtypes
        function.restype = restype
        setattr(into, name, function)


def _file_names(system: str) -> Tuple[str, str]:
    """liborvanet's and liborvavars' file names."""
    if system == "win32":
        return "orvanet.dll", "orvavars.dll"
    return "liborvanet.so.1", "liborvavars.so.1"


def _file_name(system: str) -> str:
    return _file_names(system)[0]


def _vars_file_name(system: str) -> str:
    return _file_names(system)[1]


def _multiarch() -> str:
    """The Debian multiarch triplet of this interpreter, such as x86_64-linux-gnu."""
    triplet = sysconfig.get_config_var("MULTIARCH")
    if triplet:
        return str(triplet)
    machine = platform.machine()
    known = {"x86_64": "x86_64-linux-gnu", "aarch64": "aarch64-linux-gnu", "i686": "i386-linux-gnu",
             "i386": "i386-linux-gnu", "armv7l": "arm-linux-gnueabihf"}
    return known.get(machine, f"{machine}-linux-gnu")


def install_locations(system: str = sys.platform, name: Optional[str] = None) -> List[str]:
    """Where an installed library (liborvanet unless name says another) is looked
    for once the system's search has not found it: the CMake install
    (/usr/local/lib) and the Debian package (/usr/lib/<multiarch>, /usr/lib) on
    Linux; beside this package and every folder on PATH on Windows."""
    name = name if name is not None else _file_name(system)
    if system == "win32":
        folders = [os.path.dirname(os.path.abspath(__file__))]
        folders += [p for p in os.environ.get("PATH", "").split(os.pathsep) if p]
    else:
        folders = ["/usr/local/lib", f"/usr/lib/{_multiarch()}", "/usr/lib"]
    return [os.path.join(folder, name) for folder in folders]


def _open(path: str, system: str) -> ctypes.CDLL:
    # The Windows libraries use the stdcall convention (which 64-bit Windows ignores).
    if system == "win32":
        return ctypes.WinDLL(path)  # type: ignore[attr-defined,no-any-return]
    return ctypes.CDLL(path)


class _LinkMap(ctypes.Structure):
    _fields_ = [("l_addr", ctypes.c_void_p), ("l_name", ctypes.c_char_p)]


def _loaded_from(dll: ctypes.CDLL, system: str) -> Optional[str]:
    """The file a library loaded by name came from, where the system says it; else None."""
    try:
        if system == "win32":
            buffer = ctypes.create_unicode_buffer(32768)
            kernel32 = ctypes.WinDLL("kernel32")  # type: ignore[attr-defined]
            length = kernel32.GetModuleFileNameW(ctypes.c_void_p(dll._handle), buffer, len(buffer))
            return buffer.value if length else None
        libc = ctypes.CDLL(None)
        dlinfo = libc.dlinfo
        dlinfo.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_void_p]
        link_map = ctypes.POINTER(_LinkMap)()
        rtld_di_linkmap = 2
        if dlinfo(ctypes.c_void_p(dll._handle), rtld_di_linkmap, ctypes.byref(link_map)) != 0 or not link_map:
            return None
        name = link_map.contents.l_name
        return os.fsdecode(name) if name else None
    except (AttributeError, OSError):
        return None


def _interpreter() -> str:
    bits = struct.calcsize("P") * 8
    return (f"This Python is {bits}-bit ({platform.python_implementation()} {platform.python_version()} on "
            f"{platform.system()} {platform.machine()}) and needs the {bits}-bit libraries.")


def _fix(system: str) -> str:
    net, vars_ = _file_names(system)
    if system == "win32":
        return (f"To fix it: put {net} and {vars_} of the same bitness beside the orvanet package or in a folder "
                f"on PATH, or set {ENVIRONMENT_VARIABLE} and {VARS_ENVIRONMENT_VARIABLE} to their full paths.")
    return ("To fix it: build the libraries and run `cmake --install BUILD_DIR` (the Debian package liborvanet1 "
            f"carries {net} only), or set {ENVIRONMENT_VARIABLE} and {VARS_ENVIRONMENT_VARIABLE} to the full "
            f"paths of {net} and {vars_}.")


def declare(names: Mapping[str, Any]) -> Callable[[ctypes.CDLL], None]:
    """A check that a loaded file has every function of names (AttributeError if not)."""

    def check(dll: ctypes.CDLL) -> None:
        for name in names:
            getattr(dll, name)

    return check


class _Search:
    """The places tried for one library, in order, with what happened at each."""

    def __init__(self, name: str, kind: str, system: str) -> None:
        self.name = name
        self.kind = kind  # what a file must be: "liborvanet", "liborvavars"
        self.system = system
        self.searched: List[Tuple[str, str]] = []

    def attempt(self, place: str, target: str, must_exist: bool,
                declare: Callable[[ctypes.CDLL], None]) -> Optional[ctypes.CDLL]:
        if must_exist and not os.path.exists(target):
            self.searched.append((place, "no such file"))
            return None
        try:
            dll = _open(target, self.system)
            declare(dll)
            self.searched.append((place, "loaded"))
            return dll
        except OSError as error:
            self.searched.append((place, f"cannot load: {error}"))
        except AttributeError as error:
            self.searched.append((place, f"loaded, but it is not {self.kind}: {error}"))
        return None

    def run(self, explicit: Optional[str], variable: str, environ: Mapping[str, str], beside: Optional[str],
            locations: Sequence[str], declare: Callable[[ctypes.CDLL], None]) -> Optional[Tuple[ctypes.CDLL, str]]:
        named = explicit if explicit is not None else environ.get(variable) or None
        if named is not None:
            place = named if explicit is not None else f"{variable}={named}"
            dll = self.attempt(place, named, False, declare)
            if dll is not None:
                return dll, named
            self.searched.append(("nothing else was tried", "the library was named explicitly"))
            return None
        self.searched.append((variable, "not set"))
        candidates: List[Tuple[str, str, bool]] = []
        if beside is not None:
            path = os.path.join(beside, self.name)
            candidates.append((f"beside liborvanet: {path}", path, True))
        candidates.append((f"the system's library search for {self.name}", self.name, False))
        candidates += [(location, location, True) for location in locations]
        for place, target, must_exist in candidates:
            dll = self.attempt(place, target, must_exist, declare)
            if dll is not None:
                return dll, target
        return None


def load_library(path: Optional[str] = None, environ: Optional[Mapping[str, str]] = None,
                 system: str = sys.platform, locations: Optional[Sequence[str]] = None,
                 vars_path: Optional[str] = None, vars_locations: Optional[Sequence[str]] = None) -> Library:
    """Loads liborvanet, then liborvavars (which needs it).

    liborvanet: from path when given; else from $ORVANET_LIBRARY when it is set
    (and then from nowhere else); else by the system's search for
    liborvanet.so.1 / orvanet.dll, then from the install locations.
    liborvavars: from vars_path when given; else from $ORVAVARS_LIBRARY when it
    is set (and then from nowhere else); else beside the liborvanet loaded, by
    the system's search for liborvavars.so.1 / orvavars.dll, then from the
    install locations. environ is os.environ unless given.
    Raises LibraryNotFoundError, saying what was searched for each, when either
    does not load."""
    environ = os.environ if environ is None else environ
    net_name, vars_name = _file_names(system)

    net = _Search(net_name, "liborvanet", system)
    loaded = net.run(path, ENVIRONMENT_VARIABLE, environ, None,
                     install_locations(system, net_name) if locations is None else locations, declare(SIGNATURES))
    vars_ = _Search(vars_name, "liborvavars", system)
    if loaded is not None:
        dll, net_path = loaded
        # liborvavars' own need of liborvanet is met by the one already loaded: the same handles.
        origin = net_path if os.path.dirname(net_path) else _loaded_from(dll, system)
        beside = os.path.dirname(os.path.abspath(origin)) if origin else None
        found = vars_.run(vars_path, VARS_ENVIRONMENT_VARIABLE, environ, beside,
                          install_locations(system, vars_name) if vars_locations is None else vars_locations,
                          declare(VARS_SIGNATURES))
        if found is not None:
            return Library(dll, origin or net_path, found[0], found[1])

    lines = [f"orvanet: cannot find or load the native library {vars_name if loaded else net_name} (the package "
             f"needs {net_name} and {vars_name}).", f"Searched for {net_name}:"]
    lines += [f"  {place}: {outcome}" for place, outcome in net.searched]
    lines.append(f"Searched for {vars_name}:")
    if loaded is None:
        lines.append(f"  nothing: it needs {net_name} loaded first")
    lines += [f"  {place}: {outcome}" for place, outcome in vars_.searched]
    lines += [_interpreter(), _fix(system)]
    raise LibraryNotFoundError("\n".join(lines), net.searched + vars_.searched)


_default: Optional[Library] = None
_default_lock = threading.Lock()


def default_library() -> Library:
    """The libraries that connections and lists use unless given others, loaded on first use."""
    global _default
    with _default_lock:
        if _default is None:
            _default = load_library()
        return _default
