# SPDX-License-Identifier: Apache-2.0
"""The installed package and docs/python.md's uses of it (types/usage.py) pass
mypy --strict for Python 3.8; a use that is wrong is caught."""

import subprocess
import sys
from pathlib import Path

USAGE = Path(__file__).resolve().parent / "types" / "usage.py"


def mypy(tmp_path, *arguments):
    return subprocess.run([sys.executable, "-m", "mypy", "--strict", "--python-version", "3.8", "--no-incremental",
                           "--cache-dir", str(tmp_path / "cache"), *arguments], cwd=tmp_path, capture_output=True,
                          text=True, timeout=300)


def test_the_installed_package_and_its_uses_pass_mypy_strict(tmp_path):
    done = mypy(tmp_path, "-p", "orvanet")
    assert done.returncode == 0, done.stdout + done.stderr
    done = mypy(tmp_path, str(USAGE))
    assert done.returncode == 0, done.stdout + done.stderr
    assert done.stdout.startswith("Success: no issues found in 1 source file")


def test_a_value_taken_for_what_it_may_not_be_is_caught(tmp_path):
    wrong = tmp_path / "wrong.py"
    wrong.write_text("import orvanet\n"
                     "def f(plc: orvanet.Connection) -> float:\n"
                     "    return plc.read(['DB10.DD30:KG'])['DB10.DD30:KG']\n")
    done = mypy(tmp_path, str(wrong))
    assert done.returncode == 1
    assert "wrong.py:3: error: Incompatible return value type" in done.stdout
    assert 'OrvaError]", expected "float")' in done.stdout
