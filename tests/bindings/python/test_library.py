# SPDX-License-Identifier: Apache-2.0
"""The installed package, the search for the native library and its message,
and the example program run as a user runs it."""

import importlib.metadata
import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

import orvanet
from conftest import REFUSING_ADDRESS, REPO, SIM_ADDRESS
from orvanet import LibraryNotFoundError, _native

EXAMPLE = REPO / "examples" / "python" / "readwrite.py"
SUMMARY = ("Writes flags, outputs, a data block and counters of one PLC, reads them back and compares; then shows "
           "how a refused call looks.")


def run_python(arguments, tmp_path, **environment):
    """sys.executable (the interpreter the package is installed for) with environment changed; None removes."""
    env = dict(os.environ, PYTHONDONTWRITEBYTECODE="1")
    for name, value in environment.items():
        env.pop(name, None) if value is None else env.__setitem__(name, value)
    return subprocess.run([sys.executable, *arguments], cwd=tmp_path, env=env, capture_output=True, text=True,
                          timeout=60)


def test_the_package_under_test_is_the_installed_copy_typed_and_versioned():
    location = Path(orvanet.__file__).resolve().parent
    assert REPO not in location.parents, f"orvanet imported from the source tree: {location}"
    assert (location / "py.typed").is_file()
    assert importlib.metadata.version("orvanet") == orvanet.__version__


@pytest.mark.parametrize("code,environment,last_line", [
    ("orvanet.connect('127.0.1.9')", {"ORVANET_LIBRARY": "/nonexistent/liborvanet.so.1"},
     "orvanet.LibraryNotFoundError: orvanet: cannot find or load the native library liborvanet.so.1. Searched:"),
    ("orvanet.connect('plc1')", {}, "ValueError: address 'plc1' is not a dotted IPv4 address"),
    ("orvanet.connect('127.0.1.9', 'TOOLONGTSAP')", {}, "ValueError: own_tsap 'TOOLONGTSAP' must be at most"),
])
def test_a_connect_that_fails_raises_one_exception_and_nothing_after_it(tmp_path, code, environment, last_line):
    done = run_python(["-c", f"import orvanet\nplc = {code}"], tmp_path, **environment)
    assert done.returncode == 1
    assert done.stderr.count("Traceback") == 1, done.stderr
    assert "Exception ignored" not in done.stderr
    assert last_line in done.stderr


def test_orvanet_library_names_the_one_file_to_load_and_the_message_says_how_to_fix_it():
    missing = "/nonexistent/liborvanet.so.1"
    with pytest.raises(LibraryNotFoundError) as raised:
        _native.load_library(environ={"ORVANET_LIBRARY": missing})
    text = str(raised.value)
    assert f"  ORVANET_LIBRARY={missing}: cannot load: " in text
    assert "  nothing else was tried: the library was named explicitly" in text
    assert "This Python is 64-bit" in text and "needs the 64-bit library" in text
    assert text.endswith("To fix it: install the liborvanet1 package, or build the library and run "
                         "`cmake --install BUILD_DIR`, or set ORVANET_LIBRARY to the full path of liborvanet.so.1.")
    assert isinstance(raised.value, OSError)


def test_without_the_variable_the_system_search_then_each_install_location_is_tried(tmp_path, monkeypatch):
    # A name the system's search cannot find, so that the install locations are reached.
    monkeypatch.setattr(_native, "_file_name", lambda system: "liborvanet-absent.so.1")
    missing = tmp_path / "a" / "liborvanet.so.1"
    not_a_library = tmp_path / "b" / "liborvanet.so.1"
    not_a_library.parent.mkdir()
    not_a_library.write_bytes(bytes(128))
    library = tmp_path / "c" / "liborvanet.so.1"
    library.parent.mkdir()
    shutil.copy(os.environ["ORVANET_LIBRARY"], library)

    found = _native.load_library(environ={}, locations=[str(missing), str(not_a_library), str(library)])
    assert found.path == str(library)
    handle = found.ORVAOpen(SIM_ADDRESS.encode(), b"", b"", 0, 0, 0)
    assert 0 <= handle < 64 and found.ORVAClose(handle) == 0

    with pytest.raises(LibraryNotFoundError) as raised:
        _native.load_library(environ={}, locations=[str(missing), str(not_a_library)])
    places = [place for place, _ in raised.value.searched]
    assert places == ["ORVANET_LIBRARY", "the system's library search for liborvanet-absent.so.1", str(missing),
                      str(not_a_library)]
    text = str(raised.value)
    assert "  ORVANET_LIBRARY: not set\n" in text
    assert f"  {missing}: no such file\n" in text
    assert f"  {not_a_library}: cannot load: " in text and "invalid ELF header" in text


def test_a_library_without_the_seven_functions_is_not_taken():
    with pytest.raises(LibraryNotFoundError) as raised:
        _native.load_library(environ={"ORVANET_LIBRARY": "libm.so.6"})
    assert "ORVANET_LIBRARY=libm.so.6: loaded, but it is not liborvanet: " in str(raised.value)
    assert "ORVAOpen" in str(raised.value)


def test_the_install_locations_are_those_of_cmake_and_of_the_debian_package(monkeypatch):
    local, multiarch, lib = _native.install_locations("linux")
    assert (local, lib) == ("/usr/local/lib/liborvanet.so.1", "/usr/lib/liborvanet.so.1")
    # Debian installs its own libraries into the same multiarch folder.
    assert multiarch.endswith("/liborvanet.so.1") and (Path(multiarch).parent / "libc.so.6").exists(), multiarch
    monkeypatch.setenv("PATH", os.pathsep.join(["/first", "", "/second"]))
    beside, *on_path = _native.install_locations("win32")
    assert beside == str(Path(orvanet.__file__).parent / "orvanet.dll")
    assert on_path == [os.path.join("/first", "orvanet.dll"), os.path.join("/second", "orvanet.dll")]


def test_the_example_writes_and_reads_back_every_area_it_names(sim, tmp_path):
    done = run_python([str(EXAMPLE), SIM_ADDRESS, "--db", "7"], tmp_path)
    assert done.returncode == 0, done.stdout + done.stderr
    assert "MISMATCH" not in done.stdout and done.stdout.endswith("all values read back as written\n")
    assert sim.read("M", 0, 100, 4) == b"\x01\x80\x7f\xff"
    assert sim.read("D", 7, 0, 8) == bytes.fromhex("12340000ffff002a")
    assert sim.read("Z", 0, 0, 4) == bytes.fromhex("03e70007")


@pytest.mark.parametrize("address,environment,message", [
    (REFUSING_ADDRESS, {}, f"writing 4 bytes to MB100..MB103 at {REFUSING_ADDRESS} failed: socket error 10061 "
                           "WSAECONNREFUSED: connection refused: nothing listens on port 102 at that address "
                           "(ORVA_ERR_SOCKET, result -7)\n"),
    (SIM_ADDRESS, {"ORVANET_LIBRARY": "/nonexistent/liborvanet.so.1"},
     "orvanet: cannot find or load the native library liborvanet.so.1. Searched:\n"),
])
def test_the_example_reports_a_failure_in_one_message(tmp_path, address, environment, message):
    done = run_python([str(EXAMPLE), address], tmp_path, **environment)
    assert done.returncode == 2
    assert done.stderr.startswith(message)
    assert "Traceback" not in done.stderr and "Exception ignored" not in done.stderr


def test_the_examples_help_says_what_it_does_in_whole_sentences(tmp_path):
    done = run_python([str(EXAMPLE), "--help"], tmp_path)
    assert done.returncode == 0
    assert SUMMARY in " ".join(done.stdout.split())
    assert "pip install ./bindings/python" in done.stdout
