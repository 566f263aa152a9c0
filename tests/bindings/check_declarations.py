# SPDX-License-Identifier: Apache-2.0
"""Holds the bindings to the C headers include/orvanet.h and include/orvavars.h:
the Python package's ctypes signatures, structs, enums and tables, the C#
P/Invoke declarations, structs, enums and tables, and the VBA Declare lines of
docs/windows.md must match them function by function (names, argument order, names
and types), field by field, constant by constant and text by text.

    check_declarations.py HEADER VARS_HEADER PYTHON_PACKAGE_DIR DOTNET_DIR WINDOWS_PAGE
"""

import ctypes
import re
import sys
from pathlib import Path

header_path, vars_header_path, python_dir, dotnet_dir, windows_page_path = sys.argv[1:6]
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
from orvanet import _areas, _connection, _native, _results  # noqa: E402

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
expect({m.c_name: int(m) for m in orvanet.Result if m.c_name.startswith("ORVA_")} == results,
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
cs_vars_results = {}  # checked against orvavars.h below
for k in list(cs_results):
    if int(cs_results[k]) <= -100:
        cs_vars_results[k] = cs_results.pop(k)
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
expect(f'Lookup(Results, code, false, "{unknown_result_text}")' in texts, "c#: the text of an unknown result differs")

# --- VBA and VB6: the Declare lines of docs/windows.md ---------------------------------------

windows_page = Path(windows_page_path).read_text()
expect("static extern" not in windows_page, "docs/windows.md: C# declarations belong in bindings/dotnet/OrvaNative.cs only")
vba = re.search(r"```vba\n(.*?)```", windows_page, re.S)
vba_for = {
    "int": "ByVal {} As Long",
    "const char*": "ByVal {} As String",
    "unsigned char*": "ByRef {} As Byte",
    "const unsigned char*": "ByRef {} As Byte",
    "unsigned short*": "ByRef {} As Integer",
    "const unsigned short*": "ByRef {} As Integer",
}
branches = re.fullmatch(r"#If VBA7 Then\n(.*?)#Else\n(.*?)#End If\n.*", vba.group(1), re.S) if vba else None
expect(branches, "docs/windows.md: the vba block must start with #If VBA7 Then ... #Else ... #End If")
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

# --- orvavars.h ------------------------------------------------------------------------

vars_header = re.sub(r"/\*.*?\*/", "", Path(vars_header_path).read_text(), flags=re.S)
vars_prototypes = {
    name: (re.sub(r"\s*\*", "*", returns.strip()),
           [] if params.strip() == "void" else [parameter(p) for p in params.split(",")])
    for returns, name, params in re.findall(
        r"ORVAVARS_API\s+((?:const\s+)?\w+[\s*]*?)\s*ORVAVARS_CALL\s+(\w+)\s*\(([^)]*)\)\s*;", vars_header)
}
vars_constants = {name: int(value) for name, value in re.findall(r"\b(ORVAVARS_\w+)\s*=\s*(-?\d+)", vars_header)}


def fields_of(body):
    """"int code; char message[200];" -> [("int", "code", None), ("char", "message", 200)]."""
    out = []
    for field in filter(str.strip, body.split(";")):
        match = re.fullmatch(r"(.*?)\s*(\w+)\s*(?:\[(\d+)\])?", " ".join(field.split()))
        out.append((re.sub(r"\s*\*", "*", match.group(1)), match.group(2), int(match.group(3)) if match.group(3)
                    else None))
    return out


vars_structs = {name: fields_of(body) for name, body in
                re.findall(r"typedef struct (\w+) \{(.*?)\} \1;", vars_header, re.S)}
vars_results = {n: v for n, v in vars_constants.items() if n.startswith("ORVAVARS_ERR_") or n == "ORVAVARS_OK"}


def group(prefix):
    return {n[len(prefix):]: v for n, v in vars_constants.items() if n.startswith(prefix)}


expect(len(vars_prototypes) == 24, f"expected the 24 functions of orvavars.h, found {sorted(vars_prototypes)}")
expect(set(vars_structs) == {"ORVAVarsError", "ORVAVarInfo", "ORVAVarResult", "ORVAVarsPlanInfo"},
       f"expected the four structs of orvavars.h, found {sorted(vars_structs)}")
expect(len(vars_results) == 18, f"expected the 18 results of orvavars.h, found {sorted(vars_results)}")
grouped = set(vars_results) | {"ORVAVARS_MAX_VARIABLES", "ORVAVARS_DEFAULT_GAP"} | {
    n for n in vars_constants if re.match(r"ORVAVARS_(ELEMENT|FORMAT|KIND|OPTION)_", n)}
expect(grouped == set(vars_constants), f"constants the check does not know: {sorted(set(vars_constants) - grouped)}")

# Python: the ctypes declarations, structs and enums.
from orvanet import _variables  # noqa: E402

c_struct = {"ORVAVarsError": _native.VarsError, "ORVAVarInfo": _native.VarInfo, "ORVAVarResult": _native.VarResult,
            "ORVAVarsPlanInfo": _native.VarsPlanInfo}
py_type = {
    "void": None,
    "int": ctypes.c_int,
    "double": ctypes.c_double,
    "ORVAVarsInt64": ctypes.c_int64,
    "const char*": ctypes.c_char_p,
    "char*": ctypes.c_char_p,
    "ORVAVarList*": ctypes.c_void_p,
    "const ORVAVarList*": ctypes.c_void_p,
    "int*": ctypes.POINTER(ctypes.c_int),
    "unsigned char*": ctypes.POINTER(ctypes.c_ubyte),
    "const unsigned char*": ctypes.POINTER(ctypes.c_ubyte),
}
py_type.update({f"{name}*": ctypes.POINTER(struct) for name, struct in c_struct.items()})
expect(set(_native.VARS_SIGNATURES) == set(vars_prototypes),
       f"python: orvavars functions {sorted(_native.VARS_SIGNATURES)} differ from the header's {sorted(vars_prototypes)}")
for name, (returns, params) in vars_prototypes.items():
    got = _native.VARS_SIGNATURES.get(name)
    expected = (py_type.get(returns, "?"), [py_type.get(t, "?") for t, _ in params])
    expect(got is not None and (got[0], list(got[1])) == expected,
           f"python: {name} is declared {got}, the header says {returns} ({params})")
for name, fields in vars_structs.items():
    struct_type = c_struct.get(name)
    declared_fields = list(getattr(struct_type, "_fields_", []))
    expected_fields = []
    for ctype, field, count in fields:
        if count is not None:
            expected_fields.append((field, ctypes.c_char * count))
        elif ctype == "const char*":
            expected_fields.append((field, ctypes.c_void_p))  # read by its length: the text may hold NUL
        else:
            expected_fields.append((field, py_type.get(ctype, "?")))
    expect([(f, t) if not isinstance(t, type) or not issubclass(t, ctypes.Array) else (f, (t._type_, t._length_))
            for f, t in declared_fields] ==
           [(f, t) if not isinstance(t, type) or not issubclass(t, ctypes.Array) else (f, (t._type_, t._length_))
            for f, t in expected_fields],
           f"python: the struct {name} is {declared_fields}, the header says {fields}")
expect({m.c_name: int(m) for m in orvanet.Result if m.c_name.startswith("ORVAVARS_")} ==
       {n: v for n, v in vars_results.items() if n != "ORVAVARS_OK"} and orvanet.Result.OK == 0,
       f"python: Result differs from orvavars.h's results {vars_results}")
for enum_type, prefix in ((orvanet.Element, "ORVAVARS_ELEMENT_"), (orvanet.Format, "ORVAVARS_FORMAT_"),
                          (orvanet.Kind, "ORVAVARS_KIND_")):
    expect({m.name: int(m) for m in enum_type} == group(prefix),
           f"python: {enum_type.__name__} differs from the header's {prefix} constants {group(prefix)}")
expect({"GAP": _variables._OPTION_GAP, "ROUND_TIMES": _variables._OPTION_ROUND_TIMES,
        "NO_MODIFY": _variables._OPTION_NO_MODIFY} == group("ORVAVARS_OPTION_"), "python: the options differ")
expect(orvanet.MAX_VARIABLES == vars_constants["ORVAVARS_MAX_VARIABLES"] and
       orvanet.DEFAULT_GAP == vars_constants["ORVAVARS_DEFAULT_GAP"], "python: MAX_VARIABLES or DEFAULT_GAP differs")

# C#: OrvaVarsNative.cs, the enums of OrvaVariables.cs and the results of OrvaResult.

vars_native = (Path(dotnet_dir) / "OrvaVarsNative.cs").read_text()
vars_cs = (Path(dotnet_dir) / "OrvaVariables.cs").read_text()
cs_vars_for = {
    "void": {"void"},
    "int": {"int"},
    "double": {"double"},
    "ORVAVarsInt64": {"long"},
    "const char*": {"byte[]"},  # UTF-8, NUL-terminated: not the system's ANSI code page
    "char*": {"[Out] byte[]"},
    "ORVAVarList*": {"IntPtr"},
    "const ORVAVarList*": {"IntPtr"},
    "int*": {"out int"},
    "unsigned char*": {"[Out] byte[]"},
    "const unsigned char*": {"byte[]", "[In] byte[]"},
    "ORVAVarInfo*": {"out OrvaVarInfo"},
    "ORVAVarsError*": {"out OrvaVarsError"},
    "ORVAVarsPlanInfo*": {"out OrvaVarsPlanInfo"},
    "ORVAVarResult*": {"out OrvaVarResult", "[In, Out] OrvaVarResult[]"},
}
cs_returns = {"int": "int", "void": "void", "const char*": "IntPtr", "ORVAVarList*": "IntPtr"}
expect(re.search(r"const\s+CallingConvention\s+Convention\s*=\s*CallingConvention\.StdCall\s*;", vars_native),
       "c#: OrvaVarsNative's calling convention must be StdCall")
expect(re.search(r'const\s+string\s+Library\s*=\s*"orvavars"\s*;', vars_native),
       'c#: OrvaVarsNative imports from "orvavars"')
vars_declared = {}
for attribute, returns, name, params in re.findall(
        r"\[DllImport\(([^]]*)\)\]\s*public\s+static\s+extern\s+(\w+)\s+(\w+)\s*\(([^)]*)\)\s*;", vars_native):
    # Commas inside an attribute ([In, Out]) do not part parameters.
    vars_declared[name] = (returns, [tuple(re.fullmatch(r"(.*?)\s*@?(\w+)", " ".join(p.split())).groups())
                                     for p in re.split(r",(?![^\[]*\])", params) if p.strip()])
    expect("CallingConvention = Convention" in attribute and "ExactSpelling = true" in attribute,
           f"c#: {name} must be declared with CallingConvention = Convention and ExactSpelling = true")
    expect("CharSet" not in attribute and all(t != "string" for t, _ in vars_declared[name][1]),
           f"c#: {name} passes texts as UTF-8 bytes, not strings")
expect(set(vars_declared) == set(vars_prototypes),
       f"c#: orvavars functions {sorted(vars_declared)} differ from the header's {sorted(vars_prototypes)}")
for name, (returns, params) in vars_prototypes.items():
    got_returns, got = vars_declared.get(name, ("", []))
    expect(got_returns == cs_returns.get(returns) and len(got) == len(params) and
           all(g[0] in cs_vars_for.get(t, ()) and g[1] == n for g, (t, n) in zip(got, params)),
           f"c#: {name} is declared {got_returns} ({', '.join(' '.join(g) for g in got)}), the header says "
           f"{returns} ({', '.join(' '.join(p) for p in params)})")
cs_field = {"int": "int", "double": "double", "ORVAVarsInt64": "long", "const char*": "IntPtr"}
for name, fields in vars_structs.items():
    cs_name = {"ORVAVarsError": "OrvaVarsError", "ORVAVarInfo": "OrvaVarInfo", "ORVAVarResult": "OrvaVarResult",
               "ORVAVarsPlanInfo": "OrvaVarsPlanInfo"}[name]
    body = re.search(r"\[StructLayout\(LayoutKind\.Sequential\)\]\s*public\s+struct\s+" + cs_name +
                     r"\s*\{(.*?)\}", vars_native, re.S)
    got = [(re.sub(r"\s+", " ", attr or "").strip(), t, f) for attr, t, f in
           re.findall(r"(\[MarshalAs\([^]]*\)\])?\s*public\s+([\w\[\]]+)\s+(\w+)\s*;", body.group(1))] if body else []
    expected = [(f"[MarshalAs(UnmanagedType.ByValArray, SizeConst = {count})]", "byte[]", field) if count
                else ("", cs_field.get(ctype, "?"), field) for ctype, field, count in fields]
    expect(got == expected, f"c#: struct {cs_name} is {got}, the header says {fields}")


def cs_enum(name, text):
    body = re.search(r"enum\s+" + name + r"\s*\{([^}]*)\}", text)
    return {k: int(v) for k, v in re.findall(r"(\w+)\s*=\s*(-?\d+)", body.group(1))} if body else {}


def pascal_word(word):
    return word if len(word) <= 2 and word not in ("OK",) else word.capitalize()


expect({k: int(v) for k, v in cs_vars_results.items()} ==
       {pascal(n.replace("ORVAVARS_", "ORVA_")): v for n, v in vars_results.items() if n != "ORVAVARS_OK"},
       f"c#: OrvaResult {cs_vars_results} differs from orvavars.h's results")
for cs_name, prefix, words in (("OrvaElement", "ORVAVARS_ELEMENT_", str.capitalize),
                               ("OrvaFormat", "ORVAVARS_FORMAT_", pascal_word),
                               ("OrvaValueKind", "ORVAVARS_KIND_", str.capitalize)):
    expect(cs_enum(cs_name, vars_cs) == {"".join(words(w) for w in n.split("_")): v for n, v in group(prefix).items()},
           f"c#: {cs_name} {cs_enum(cs_name, vars_cs)} differs from the header's {prefix} constants")
cs_constants = dict(re.findall(r"public\s+const\s+int\s+(\w+)\s*=\s*(\d+)\s*;", vars_native))
expect({k: int(v) for k, v in cs_constants.items()} ==
       {"MaxVariables": vars_constants["ORVAVARS_MAX_VARIABLES"], "DefaultGap": vars_constants["ORVAVARS_DEFAULT_GAP"],
        **{"Option" + "".join(w.capitalize() for w in n.split("_")): v for n, v in group("ORVAVARS_OPTION_").items()}},
       f"c#: the constants of OrvaVarsNative {cs_constants} differ from the header's")

# --- Limits the bindings check before any call, said in orvanet.h's words ------------------

tsap = re.search(r"at\s+most\s+(\d+)\s+characters\s+are\s+used", header)
connection_cs = (Path(dotnet_dir) / "OrvaConnection.cs").read_text()
expect(tsap and _connection.MAX_TSAP == int(tsap.group(1)), "python: MAX_TSAP differs from orvanet.h's TSAP length")
expect(tsap and re.search(r"const int MaxTsap = " + tsap.group(1) + ";", connection_cs),
       "c#: MaxTsap differs from orvanet.h's TSAP length")
blocks = re.search(r"data\s+block\s+number\s+outside\s+0\.\.(\d+)", header)
expect(blocks and _areas.MAX_BLOCK == int(blocks.group(1)), "python: MAX_BLOCK differs from orvanet.h's")
expect(blocks and re.search(r"const int MaxBlock = " + blocks.group(1) + ";", connection_cs),
       "c#: MaxBlock differs from orvanet.h's")
last = re.search(r"a range\s+past\s+address\s+(\d+)", header)
expect(last and _areas.MAX_ADDRESS == int(last.group(1)), "python: MAX_ADDRESS differs from orvanet.h's")
expect(last and re.search(r"const int MaxAddress = " + last.group(1) + ";", connection_cs),
       "c#: MaxAddress differs from orvanet.h's")

for p in problems:
    print("FAIL:", p)
if problems:
    sys.exit(1)
print(f"bindings declarations: {len(prototypes)} functions, {len(results)} result codes and "
      f"{len(socket_texts)} socket error texts of Python, C# and VBA, and {len(vars_prototypes)} functions, "
      f"{len(vars_structs)} structs and {len(vars_constants)} constants of Python and C# match the headers")
