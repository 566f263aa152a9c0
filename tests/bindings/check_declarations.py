# SPDX-License-Identifier: Apache-2.0
"""Holds the bindings to the C header include/orvanet.h: the Python package's
ctypes signatures and tables, the C# P/Invoke declarations, enum and tables,
and the VBA Declare lines of the README must match it function by function
(names, argument order, names and types), code by code and text by text.

    check_declarations.py HEADER PYTHON_PACKAGE_DIR DOTNET_DIR README
"""

import ctypes
import re
import sys
from pathlib import Path

header_path, python_dir, dotnet_dir, readme_path = sys.argv[1:5]
problems = []


def expect(condition, message):
    if not condition:
        problems.append(message)


# --- The header -----------------------------------------------------------------------

header = Path(header_path).read_text()


def parameter(text):
    """"const char *ipAddress" -> ("const char*", "ipAddress")."""
    match = re.fullmatch(r"(.*?)\s*(\w+)", text.strip())
    return re.sub(r"\s*\*\s*", "*", match.group(1)).strip(), match.group(2)


prototypes = {
    name: [parameter(p) for p in params.split(",")]
    for name, params in re.findall(r"ORVA_API\s+int\s+ORVA_CALL\s+(\w+)\s*\(([^)]*)\)\s*;", header)
}
results = {name: int(value) for name, value in re.findall(r"\b(ORVA_(?:OK|ERR_\w+))\s*=\s*(-?\d+)", header)}
socket_errors = {name: int(value) for name, value in re.findall(r"\b(ORVA_WSAE\w+)\s*=\s*(\d+)", header)}


def switch_texts(function):
    """The case labels of one of the header's text functions with their strings, and the default's."""
    body = re.search(function + r"\(int \w+\)\s*\{(.*?)\n\}", header, re.S).group(1)
    # A text may stand on the line after its label, and in pieces ("a" "b").
    def joined(literals):
        return "".join(re.findall(r'"([^"]*)"', literals))

    returns = r'\s*return\s+((?:"[^"]*"\s*)+);'
    cases = {label: joined(text) for label, text in re.findall(r"case (\w+):" + returns, body)}
    return cases, joined(re.search(r"default:" + returns, body).group(1))


result_text_by_name, unknown_result_text = switch_texts("ORVAResultName")
result_texts = {results[name]: text for name, text in result_text_by_name.items()}
socket_text_by_label, _ = switch_texts("ORVASocketErrorText")
socket_texts = {0 if label == "0" else socket_errors[label]: text for label, text in socket_text_by_label.items()}

expect(len(prototypes) == 7, f"expected seven exported functions in the header, found {sorted(prototypes)}")
expect(len(results) == 9, f"expected the nine result codes in the header, found {results}")
expect(set(result_texts) == set(results.values()), "ORVAResultName does not name every result code")
expect(set(socket_texts) == set(socket_errors.values()) | {0}, "ORVASocketErrorText does not name every number")

# --- Python: ctypes signatures, Result, SocketError and their texts ---------------------

sys.path.insert(0, python_dir)
sys.dont_write_bytecode = True  # leave no __pycache__ in the source tree
import orvanet  # noqa: E402
from orvanet import _native, _results  # noqa: E402

ctypes_for = {
    "int": ctypes.c_int,
    "const char*": ctypes.c_char_p,
    "unsigned char*": ctypes.POINTER(ctypes.c_ubyte),
    "const unsigned char*": ctypes.POINTER(ctypes.c_ubyte),
    "unsigned short*": ctypes.POINTER(ctypes.c_ushort),
    "const unsigned short*": ctypes.POINTER(ctypes.c_ushort),
}
expect(set(_native.SIGNATURES) == set(prototypes),
       f"python: functions {sorted(_native.SIGNATURES)} differ from the header's {sorted(prototypes)}")
for name, params in prototypes.items():
    expected = [ctypes_for.get(t) for t, _ in params]
    expect(_native.SIGNATURES.get(name) == expected,
           f"python: {name} is declared {_native.SIGNATURES.get(name)}, the header says {params}")
expect({m.c_name: int(m) for m in orvanet.Result} == results,
       f"python: Result {[(m.c_name, int(m)) for m in orvanet.Result]} differs from {results}")
expect({int(k): v for k, v in orvanet.RESULT_TEXTS.items()} == result_texts,
       "python: RESULT_TEXTS differ from ORVAResultName")
expect(_results.UNKNOWN_RESULT_TEXT == unknown_result_text, "python: the text of an unknown result differs")
expect({"ORVA_" + m.name: int(m) for m in orvanet.SocketError if m} == socket_errors and orvanet.SocketError.NONE == 0,
       "python: SocketError differs from the header's ORVA_WSAE constants")
expect({int(k): v for k, v in orvanet.SOCKET_ERROR_TEXTS.items()} == socket_texts,
       "python: SOCKET_ERROR_TEXTS differ from ORVASocketErrorText")

# --- C#: the extern declarations, OrvaResult and OrvaTexts ---------------------------------

native = (Path(dotnet_dir) / "OrvaNative.cs").read_text()
texts = (Path(dotnet_dir) / "OrvaResult.cs").read_text()
cs_for = {
    "int": {"int"},
    "const char*": {"string"},
    "unsigned char*": {"[Out] byte[]"},
    "const unsigned char*": {"[In] byte[]"},
    "unsigned short*": {"[Out] ushort[]"},
    "const unsigned short*": {"[In] ushort[]"},
}
expect(re.search(r"const\s+CallingConvention\s+Convention\s*=\s*CallingConvention\.StdCall\s*;", native),
       "c#: the calling convention must be StdCall (the exports are __stdcall on 32-bit Windows)")
declared = {}
for attribute, name, params in re.findall(r"\[DllImport\(([^]]*)\)\]\s*public\s+static\s+extern\s+int\s+(\w+)\s*"
                                          r"\(([^)]*)\)\s*;", native):
    declared[name] = [tuple(re.fullmatch(r"(.*?)\s*(\w+)", p.strip()).groups()) for p in params.split(",")]
    expect("CallingConvention = Convention" in attribute and "ExactSpelling = true" in attribute,
           f"c#: {name} must be declared with CallingConvention = Convention and ExactSpelling = true")
    if any(t == "string" for t, _ in declared[name]):
        expect("CharSet = CharSet.Ansi" in attribute, f"c#: {name} passes strings: CharSet = CharSet.Ansi")
expect(set(declared) == set(prototypes), f"c#: functions {sorted(declared)} differ from the header's {sorted(prototypes)}")
for name, params in prototypes.items():
    got = declared.get(name, [])
    expect(len(got) == len(params) and all(g[0] in cs_for[t] and g[1] == n for g, (t, n) in zip(got, params)),
           f"c#: {name} is declared ({', '.join(' '.join(g) for g in got)}), the header says "
           f"({', '.join(' '.join(p) for p in params)})")


def pascal(c_name):
    """ORVA_ERR_NO_FREE_HANDLE -> ErrNoFreeHandle."""
    return "".join(word.capitalize() for word in c_name[len("ORVA_"):].split("_"))


enum_body = re.search(r"enum\s+OrvaResult\s*\{([^}]*)\}", texts)
cs_results = dict(re.findall(r"(\w+)\s*=\s*(-?\d+)", enum_body.group(1))) if enum_body else {}
expect({k: int(v) for k, v in cs_results.items()} == {pascal(n): v for n, v in results.items()},
       f"c#: OrvaResult {cs_results} differs from the header's names and codes")


def entries(table):
    body = re.search(table + r"\s*=\s*\{(.*?)\};", texts, re.S)
    rows = re.findall(r'new Entry\((-?\d+), "([^"]*)", "([^"]*)"\)', body.group(1)) if body else []
    return {int(code): (name, text) for code, name, text in rows}


expect(entries("Results") == {v: (n, result_texts[v]) for n, v in results.items()},
       "c#: OrvaTexts.Results differs from the header's names and ORVAResultName")
expect(entries("SocketErrors") == {v: (n[len("ORVA_"):] if n else "", socket_texts[v])
                                   for n, v in [("", 0)] + list(socket_errors.items())},
       "c#: OrvaTexts.SocketErrors differs from the header's names and ORVASocketErrorText")
expect(f'e.Value.Text : "{unknown_result_text}"' in texts, "c#: the text of an unknown result differs")

# --- VBA and VB6: the Declare lines of the README ---------------------------------------

readme = Path(readme_path).read_text()
expect("static extern" not in readme, "README: C# declarations belong in bindings/dotnet/OrvaNative.cs only")
vba = re.search(r"```vba\n(.*?)```", readme, re.S)
vba_for = {
    "int": "ByVal {} As Long",
    "const char*": "ByVal {} As String",
    "unsigned char*": "ByRef {} As Byte",
    "const unsigned char*": "ByRef {} As Byte",
    "unsigned short*": "ByRef {} As Integer",
    "const unsigned short*": "ByRef {} As Integer",
}
branches = re.fullmatch(r"#If VBA7 Then\n(.*?)#Else\n(.*?)#End If\n.*", vba.group(1), re.S) if vba else None
expect(branches, "README: the vba block must start with #If VBA7 Then ... #Else ... #End If")
for branch, ptr_safe in zip(branches.groups() if branches else [], ("PtrSafe ", "")):
    lines = {}
    for line in branch.strip().splitlines():
        match = re.fullmatch(r'Private Declare (PtrSafe )?Function (\w+) Lib "orvanet\.dll" \((.*)\) As Long', line)
        if not match:
            problems.append(f"vba: not a Declare of a Long function in orvanet.dll: {line}")
            continue
        expect((match.group(1) or "") == ptr_safe, f"vba: {match.group(2)} must be declared "
                                                   f"{'with' if ptr_safe else 'without'} PtrSafe in this branch")
        lines[match.group(2)] = [p.strip() for p in match.group(3).split(",")]
    label = "VBA7" if ptr_safe else "VB6"
    expect(set(lines) == set(prototypes), f"vba ({label}): functions {sorted(lines)} differ from {sorted(prototypes)}")
    for name, params in prototypes.items():
        expected = [vba_for[t].format(n) for t, n in params]
        expect(lines.get(name, expected) == expected,
               f"vba ({label}): {name} is declared ({', '.join(lines.get(name, []))}), expected ({', '.join(expected)})")

for p in problems:
    print("FAIL:", p)
if problems:
    sys.exit(1)
print(f"bindings declarations: {len(prototypes)} functions, {len(results)} result codes and "
      f"{len(socket_texts)} socket error texts of Python, C# and VBA match the header")
