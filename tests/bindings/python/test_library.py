# SPDX-License-Identifier: Apache-2.0
"""The installed package, the search for the two native libraries and its
message, and the example programs run as a user runs them."""

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
VARIABLES_EXAMPLE = REPO / "examples" / "python" / "variables.py"
NOT_FOUND = ("orvanet: cannot find or load the native library {} (the package needs liborvanet.so.1 and "
             "liborvavars.so.1).")
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
     "orvanet.LibraryNotFoundError: " + NOT_FOUND.format("liborvanet.so.1")),
    ("orvanet.connect('127.0.1.9')", {"ORVAVARS_LIBRARY": "/nonexistent/liborvavars.so.1"},
     "orvanet.LibraryNotFoundError: " + NOT_FOUND.format("liborvavars.so.1")),
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
    assert text.startswith(NOT_FOUND.format("liborvanet.so.1") + "\nSearched for liborvanet.so.1:\n")
    assert f"  ORVANET_LIBRARY={missing}: cannot load: " in text
    assert "  nothing else was tried: the library was named explicitly" in text
    assert "Searched for liborvavars.so.1:\n  nothing: it needs liborvanet.so.1 loaded first\n" in text
    assert "This Python is 64-bit" in text and "needs the 64-bit libraries" in text
    assert text.endswith("To fix it: build the libraries and run `cmake --install BUILD_DIR` (the Debian package "
                         "liborvanet1 carries liborvanet.so.1 only), or set ORVANET_LIBRARY and ORVAVARS_LIBRARY to "
                         "the full paths of liborvanet.so.1 and liborvavars.so.1.")
    assert isinstance(raised.value, OSError)


def test_orvavars_library_is_loaded_after_liborvanet_and_named_alike():
    missing = "/nonexistent/liborvavars.so.1"
    net = os.environ["ORVANET_LIBRARY"]
    with pytest.raises(LibraryNotFoundError) as raised:
        _native.load_library(environ={"ORVANET_LIBRARY": net, "ORVAVARS_LIBRARY": missing})
    text = str(raised.value)
    assert text.startswith(NOT_FOUND.format("liborvavars.so.1") + "\n")
    assert f"Searched for liborvanet.so.1:\n  ORVANET_LIBRARY={net}: loaded\n" in text
    assert f"Searched for liborvavars.so.1:\n  ORVAVARS_LIBRARY={missing}: cannot load: " in text
    assert raised.value.searched[-1] == ("nothing else was tried", "the library was named explicitly")


def test_without_orvavars_library_it_is_taken_from_beside_liborvanet(tmp_path, sim):
    # A fresh interpreter, so that no other liborvanet is loaded: the copy of
    # liborvavars then takes the copy of liborvanet beside it, and shares its handles.
    for variable in ("ORVANET_LIBRARY", "ORVAVARS_LIBRARY"):
        shutil.copy(os.environ[variable], tmp_path / Path(os.environ[variable]).name)
    code = (f"import orvanet\nlibrary = orvanet.load_library({str(tmp_path / 'liborvanet.so.1')!r})\n"
            f"print(library.vars_path)\n"
            f"with orvanet.connect({SIM_ADDRESS!r}, library=library) as plc:\n"
            f"    plc.write({{'MW10:KF': -2}})\n    print(plc.read(['MW10:KF', 'MB11']))\n")
    done = run_python(["-c", code], tmp_path, ORVAVARS_LIBRARY=None)
    assert done.returncode == 0, done.stderr
    assert done.stdout == f"{tmp_path / 'liborvavars.so.1'}\n{{'MW10:KF': -2, 'MB11': 254}}\n"
    assert sim.read("M", 0, 10, 2) == b"\xff\xfe"


def test_without_the_variables_the_system_search_then_each_install_location_is_tried(tmp_path, monkeypatch):
    # Names the system's search cannot find, so that the install locations are reached.
    monkeypatch.setattr(_native, "_file_names", lambda system: ("liborvanet-absent.so.1", "liborvavars-absent.so.1"))
    missing = tmp_path / "a" / "liborvanet.so.1"
    not_a_library = tmp_path / "b" / "liborvanet.so.1"
    not_a_library.parent.mkdir()
    not_a_library.write_bytes(bytes(128))
    library = tmp_path / "c" / "liborvanet.so.1"
    library.parent.mkdir()
    shutil.copy(os.environ["ORVANET_LIBRARY"], library)
    vars_library = tmp_path / "d" / "liborvavars.so.1"
    vars_library.parent.mkdir()
    shutil.copy(os.environ["ORVAVARS_LIBRARY"], vars_library)

    found = _native.load_library(environ={}, locations=[str(missing), str(not_a_library), str(library)],
                                 vars_locations=[str(missing), str(vars_library)])
    assert (found.path, found.vars_path) == (str(library), str(vars_library))
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

    with pytest.raises(LibraryNotFoundError) as raised:
        _native.load_library(environ={}, locations=[str(library)], vars_locations=[str(missing)])
    assert [place for place, _ in raised.value.searched] == [
        "ORVANET_LIBRARY", "the system's library search for liborvanet-absent.so.1", str(library),
        "ORVAVARS_LIBRARY", f"beside liborvanet: {tmp_path / 'c' / 'liborvavars-absent.so.1'}",
        "the system's library search for liborvavars-absent.so.1", str(missing)]
    assert f"  {library}: loaded\n" in str(raised.value)


def test_a_library_without_the_functions_is_not_taken():
    with pytest.raises(LibraryNotFoundError) as raised:
        _native.load_library(environ={"ORVANET_LIBRARY": "libm.so.6"})
    assert "ORVANET_LIBRARY=libm.so.6: loaded, but it is not liborvanet: " in str(raised.value)
    assert "ORVAOpen" in str(raised.value)
    with pytest.raises(LibraryNotFoundError) as raised:
        _native.load_library(environ={"ORVANET_LIBRARY": os.environ["ORVANET_LIBRARY"],
                                      "ORVAVARS_LIBRARY": "libm.so.6"})
    assert "ORVAVARS_LIBRARY=libm.so.6: loaded, but it is not liborvavars: " in str(raised.value)
    assert "ORVAVarsParse" in str(raised.value)


def test_help_shows_no_environment(tmp_path):
    # pydoc prints every default value of the package's functions.
    done = run_python(["-m", "pydoc", "orvanet"], tmp_path, ORVA_SECRET_OF_THE_TEST="x9a7-not-for-help")
    assert done.returncode == 0, done.stderr
    assert "load_library(" in done.stdout
    assert "x9a7-not-for-help" not in done.stdout and "environ({" not in done.stdout


def test_the_install_locations_are_those_of_cmake_and_of_the_debian_package(monkeypatch):
    local, multiarch, lib = _native.install_locations("linux")
    assert (local, lib) == ("/usr/local/lib/liborvanet.so.1", "/usr/lib/liborvanet.so.1")
    assert _native.install_locations("linux", "liborvavars.so.1")[0] == "/usr/local/lib/liborvavars.so.1"
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
                           "(WSAECONNREFUSED): connection refused: nothing listens on port 102 at that address "
                           "(ORVA_ERR_SOCKET, result -7)\n"),
    (SIM_ADDRESS, {"ORVANET_LIBRARY": "/nonexistent/liborvanet.so.1"}, NOT_FOUND.format("liborvanet.so.1") + "\n"),
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


def test_the_variables_example_writes_and_reads_back_each_value_and_shows_one_that_fails(sim, tmp_path):
    done = run_python([str(VARIABLES_EXAMPLE), SIM_ADDRESS, "--db", "12"], tmp_path)
    assert done.returncode == 0, done.stdout + done.stderr
    lines = done.stdout.splitlines()
    assert lines[:6] == ["DB12.DD30:KG = 12.345670700073242", "DB12.DW4:KT = Time(1500, time_base=0, digits=150)",
                         "DB12.DW5:KZ = 123", "DB12.DW7:KF = -7", "M20.3 = True", "DB12.DW40:KS8 = 'orvanet '"]
    assert lines[6].startswith("{'DB12.DW5:KZ': 123, 'DB255.DW65535': OrvaError('reading DB255.DW65535 at ")
    assert lines[7] == "all variables read back as written"
    assert sim.read("D", 12, 60, 4) == bytes.fromhex("0462c3ef") and sim.read("D", 12, 80, 8) == b"orvanet "


def test_the_variables_example_reports_the_cause_of_a_failed_write(tmp_path):
    done = run_python([str(VARIABLES_EXAMPLE), REFUSING_ADDRESS], tmp_path)
    assert done.returncode == 2
    # The variable whose call failed, not one left untried after it.
    assert " at 127.0.1.9 failed: socket error 10061 (WSAECONNREFUSED): connection refused" in done.stderr
    assert done.stderr.startswith("writing DB10.") and "Traceback" not in done.stderr
