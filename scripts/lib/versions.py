#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""The release's version, written once: project(orvanet VERSION ...) in
CMakeLists.txt. The packages that other tools build straight from the tree
(pip from bindings/python, npm from bindings/node and bindings/node-red) carry
copies, which must agree with it; this lists every copy that does not.
  versions.py SOURCE_DIR [EXPECTED]   prints the version; exit 1 on a disagreement
EXPECTED is the version CMake itself read (the CTest test passes it), so that
this reading of CMakeLists.txt is checked too."""
import json
import re
import sys
from pathlib import Path


def main() -> int:
    src = Path(sys.argv[1])
    found = re.search(r"^project\(orvanet VERSION ([0-9]+\.[0-9]+\.[0-9]+)\b", (src / "CMakeLists.txt").read_text(), re.M)
    if not found:
        print("versions: no project(orvanet VERSION X.Y.Z) in CMakeLists.txt", file=sys.stderr)
        return 1
    version = found.group(1)
    copies = {}
    if len(sys.argv) > 2:
        copies["CMake's PROJECT_VERSION"] = sys.argv[2]
    init = (src / "bindings/python/src/orvanet/__init__.py").read_text()
    python = re.search(r'^__version__ = "([^"]*)"', init, re.M)
    copies["bindings/python/src/orvanet/__init__.py __version__"] = python.group(1) if python else None
    for package in ("bindings/node", "bindings/node-red"):
        copies[f"{package}/package.json version"] = json.loads((src / package / "package.json").read_text()).get("version")
        lock = json.loads((src / package / "package-lock.json").read_text())
        copies[f"{package}/package-lock.json version"] = lock.get("version")
        copies[f'{package}/package-lock.json packages[""].version'] = lock["packages"][""].get("version")
    # The Node-RED package's lock file records the orvanet package it links.
    lock = json.loads((src / "bindings/node-red/package-lock.json").read_text())
    copies['bindings/node-red/package-lock.json packages["../node"].version'] = lock["packages"].get("../node", {}).get("version")
    # The Debian changelog is made from the section of this version.
    changelog = (src / "CHANGELOG.md").read_text()
    copies["CHANGELOG.md section"] = version if re.search(rf"^## \[{re.escape(version)}\] - ", changelog, re.M) else None

    wrong = {where: v for where, v in copies.items() if v != version}
    for where, v in wrong.items():
        print(f"versions: {where} is {v}, not {version} (CMakeLists.txt project())", file=sys.stderr)
    if wrong:
        return 1
    print(version)
    return 0


if __name__ == "__main__":
    sys.exit(main())
