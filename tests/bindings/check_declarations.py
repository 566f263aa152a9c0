"""Holds the bindings to the C header: the Python package's ctypes
signatures and result codes, and the C# declarations, must match
include/orvanet.h function by function and code by code.

    check_declarations.py HEADER PYTHON_PACKAGE_DIR CSHARP_FILE
"""

import ctypes
import re
import sys

header_path, python_dir, csharp_path = sys.argv[1:4]
problems = []

header = open(header_path).read()
prototypes = {
    name: [p.strip() for p in params.split(",")]
    for name, params in re.findall(r"ORVA_API\s+int\s+ORVA_CALL\s+(\w+)\s*\(([^)]*)\)\s*;", header)
}
# The C type of each parameter, without its name: "const char *ipAddress" -> "const char*".
c_types = {
    name: [re.sub(r"\s*\*\s*", "*", re.sub(r"\s*\w+$", "", p)).strip() for p in params]
    for name, params in prototypes.items()
}
results = {name: int(value) for name, value in re.findall(r"\bORVA_(OK|ERR_\w+)\s*=\s*(-?\d+)", header)}
if len(c_types) != 7:
    problems.append(f"expected seven exported functions in the header, found {sorted(c_types)}")
if len(results) < 9:
    problems.append(f"expected the result codes in the header, found {results}")

# Python: ctypes signatures and the Result enum.
sys.path.insert(0, python_dir)
sys.dont_write_bytecode = True  # leave no __pycache__ in the source tree
import orvanet  # noqa: E402
from orvanet import _native  # noqa: E402

ctypes_for = {
    "int": ctypes.c_int,
    "const char*": ctypes.c_char_p,
    "unsigned char*": ctypes.POINTER(ctypes.c_ubyte),
    "const unsigned char*": ctypes.POINTER(ctypes.c_ubyte),
    "unsigned short*": ctypes.POINTER(ctypes.c_ushort),
    "const unsigned short*": ctypes.POINTER(ctypes.c_ushort),
}
if set(_native.SIGNATURES) != set(c_types):
    problems.append(f"python: functions {sorted(_native.SIGNATURES)} differ from the header's {sorted(c_types)}")
for name, types in c_types.items():
    expected = [ctypes_for.get(t) for t in types]
    if _native.SIGNATURES.get(name) != expected:
        problems.append(f"python: {name} is declared {_native.SIGNATURES.get(name)}, the header says {types}")
if sorted(int(r) for r in orvanet.Result) != sorted(results.values()):
    problems.append(f"python: Result {sorted(int(r) for r in orvanet.Result)} differs from {sorted(results.values())}")

# C#: the extern declarations and the OrvaResult enum.
csharp = open(csharp_path).read()
cs_for = {
    "int": {"int"},
    "const char*": {"string"},
    "unsigned char*": {"[Out] byte[]", "byte[]"},
    "const unsigned char*": {"[In] byte[]", "byte[]"},
    "unsigned short*": {"[Out] ushort[]", "ushort[]"},
    "const unsigned short*": {"[In] ushort[]", "ushort[]"},
}
declared = {
    name: [re.sub(r"\s+\w+$", "", p.strip()) for p in params.split(",")]
    for name, params in re.findall(r"static\s+extern\s+int\s+(\w+)\s*\(([^)]*)\)\s*;", csharp)
}
if set(declared) != set(c_types):
    problems.append(f"c#: functions {sorted(declared)} differ from the header's {sorted(c_types)}")
for name, types in c_types.items():
    got = declared.get(name, [])
    if len(got) != len(types) or any(g not in cs_for.get(t, set()) for g, t in zip(got, types)):
        problems.append(f"c#: {name} is declared ({', '.join(got)}), the header says ({', '.join(types)})")
enum_body = re.search(r"enum\s+OrvaResult\s*\{([^}]*)\}", csharp)
cs_results = sorted(int(v) for v in re.findall(r"=\s*(-?\d+)", enum_body.group(1))) if enum_body else []
if cs_results != sorted(results.values()):
    problems.append(f"c#: OrvaResult {cs_results} differs from {sorted(results.values())}")

for p in problems:
    print("FAIL:", p)
if problems:
    sys.exit(1)
print(f"bindings declarations: {len(c_types)} functions and {len(results)} result codes match the header")
