#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""The tables of the documentation that a table of the code also holds say
what the code says: docs/c-api.md's areas (the letters each function takes,
linklib/area_letters.h), its result codes and socket error numbers with
their names, and the texts it quotes (include/orvanet.h); docs/orvasim.md's
confirm and reply faults (tools/orvasim/sim_faults.h); docs/orvapanel.md's
status texts (demo/logic/status_text.cpp).

    check_tables.py SOURCE_DIR
"""
import os
import re
import sys

src = sys.argv[1]
problems = []


def read(path):
    with open(os.path.join(src, path), encoding="utf-8") as f:
        return f.read()


def expect(condition, message):
    if not condition:
        problems.append(message)


def table_after(text, heading):
    """The rows (lists of cells) of the first table from a heading or a table's header on."""
    start = text.index(heading)
    rows = []
    for line in text[start:].splitlines():
        if line.startswith("|"):
            cells = [c.strip() for c in line.strip().strip("|").split("|")]
            if not all(re.fullmatch(r"-+", c) for c in cells):
                rows.append(cells)
        elif rows:
            break
    return rows[1:]  # without the header row


header = read("include/orvanet.h")
results = {name: int(v) for name, v in re.findall(r"\b(ORVA_(?:OK|ERR_\w+))\s*=\s*(-?\d+)", header)}
sockets = {name: int(v) for name, v in re.findall(r"\b(ORVA_WSA\w+)\s*=\s*(\d+)", header)}


def switch_texts(function):
    body = re.search(function + r"\(int \w+\) \{\n(.*?)\n    \}", header, re.S).group(1)
    texts = {}
    for case, text in re.findall(r"case (\w+):\s*return ((?:\"[^\"]*\"\s*)+);", body):
        value = int(case) if case.isdigit() else {**results, **sockets}[case]
        texts[value] = "".join(re.findall(r"\"([^\"]*)\"", text))
    return texts


result_texts = switch_texts("ORVAResultName")
socket_texts = switch_texts("ORVASocketErrorText")
page = read("docs/c-api.md")
flat = re.sub(r"\s*\n\s*", " ", page)

# Areas: which function takes which letters.
letters_h = read("linklib/area_letters.h")
letters = {name: set(v) for name, v in re.findall(r"(\w+) = \"(\w+)\";", letters_h)}
columns = {"`ORVARdB`": "readBytes", "`ORVARdW`": "readWords", "`ORVAWrB`": "writeBytes", "`ORVAWrW`": "writeWords"}
area_rows = table_after(page, "## Areas, letters and units")
head = page[page.index("## Areas, letters and units"):].split("\n|")[1].split("|")
head = [c.strip() for c in head]
documented = {v: set() for v in columns.values()}
for row in area_rows:
    row_letters = re.findall(r"`(\w)`", row[1])
    for column, cell in zip(head, row):
        if column in columns and cell == "yes":
            documented[columns[column]].update(row_letters)
for name, taken in documented.items():
    upper = {c for c in letters.get(name, set()) if c.isupper()}
    expect(taken == upper, f"docs/c-api.md areas: {name} takes {sorted(upper)} in area_letters.h, "
                           f"the table says {sorted(taken)}")

# Result codes: each row's code and name as the header has them, every code once.
seen = {}
for row in table_after(page, "## Result codes"):
    names = re.findall(r"`(ORVA_\w+)`", row[1])
    for name in names:
        seen[name] = row[0]
        expect(results.get(name) == int(row[0]), f"docs/c-api.md result codes: {name} is {results.get(name)} "
                                                 f"in orvanet.h, the table says {row[0]}")
expect(set(seen) == set(results), f"docs/c-api.md result codes: the table names {sorted(seen)}, "
                                  f"orvanet.h {sorted(results)}")

# Socket error numbers: the table's pairs, and the rare ones listed after it, are the header's.
tabled = set()
for row in table_after(page, "## Socket error numbers"):
    numbers = [int(n) for n in re.findall(r"\d+", row[0])]
    names = re.findall(r"`(ORVA_WSA\w+)`", row[1])
    expect(len(numbers) == len(names), f"docs/c-api.md socket errors: row {row[0]} pairs no names")
    for number, name in zip(numbers, names):
        tabled.add(number)
        expect(sockets.get(name) == number, f"docs/c-api.md socket errors: {name} is {sockets.get(name)} "
                                            f"in orvanet.h, the table says {number}")
rare = re.search(r"the others are rare: ([\d, and]+)\.", flat)
rare_numbers = {int(n) for n in re.findall(r"\d+", rare.group(1))} if rare else set()
expect(rare, "docs/c-api.md socket errors: no list of the rare numbers")
expect(tabled | rare_numbers == set(sockets.values()) and not tabled & rare_numbers,
       f"docs/c-api.md socket errors: table {sorted(tabled)} and rare {sorted(rare_numbers)} "
       f"are not orvanet.h's {sorted(sockets.values())}, each once")
total = re.search(r"names every number `ORVAGetSockErr` can return, (\d+) in all", flat)
expect(total and int(total.group(1)) == len(sockets),
       f"docs/c-api.md: the count of socket error numbers is not orvanet.h's {len(sockets)}")

# The texts quoted: ORVAResultName(X) is "...", ORVASocketErrorText(N) is "...".
quoted = 0
for function, key, text in re.findall(r"`(ORVAResultName|ORVASocketErrorText)\((\w+)\)`(?:, for example,)? is \"([^\"]*)\"",
                                      flat):
    quoted += 1
    texts = result_texts if function == "ORVAResultName" else socket_texts
    value = int(key) if key.isdigit() else results[key]
    expect(texts.get(value) == text, f"docs/c-api.md quotes {function}({key}) as \"{text}\", "
                                     f"orvanet.h says \"{texts.get(value)}\"")
expect(quoted >= 2, f"docs/c-api.md: {quoted} quoted texts found, 2 expected")

# orvasim's faults: each table names exactly the faults of its phase.
faults_h = read("tools/orvasim/sim_faults.h")
table = faults_h[faults_h.index("faultTable = {"):]
code_faults = {"Confirm": [], "Reply": []}
for name, kind in re.findall(r"FaultEntry\{\"(\w+)\", (Confirm|Reply)FaultKind::", table):
    code_faults[kind].append(name)
sim_page = read("docs/orvasim.md")
for kind, names in code_faults.items():
    rows = table_after(sim_page, f"| {kind} fault |")
    documented = [n for row in rows for n in re.findall(r"`(\w+)`", row[0])]
    expect(sorted(documented) == sorted(names), f"docs/orvasim.md {kind.lower()} faults: the table names "
                                                f"{sorted(documented)}, sim_faults.h {sorted(names)}")

# orvapanel's status texts: each row's text is the one the panel shows for its code.
status_cpp = read("demo/logic/status_text.cpp")
status_code = {}
for case, text in re.findall(r"case (ORVA_\w+):\s*(?:\{[^}]*?)?return ((?:\"[^\"]*\"\s*)+)", status_cpp):
    status_code[results[case]] = "".join(re.findall(r"\"([^\"]*)\"", text))
socket_parts = re.search(r'return "([^"]*)" \+ n \+ "([^"]*)" \+ n \+ "([^"]*)";', status_cpp).groups()
status_code[results["ORVA_ERR_SOCKET"]] = "N".join(socket_parts)
default = re.search(r'default: return "([^"]*)\(" \+', status_cpp).group(1).strip()
panel_rows = table_after(read("docs/orvapanel.md"), "| Result | Status line |")
panel = {row[0]: row[1] for row in panel_rows}
for code, text in status_code.items():
    expect(panel.get(str(code), "").startswith(text), f"docs/orvapanel.md status texts: {code} shows "
                                                      f"\"{text}\", the table says \"{panel.get(str(code))}\"")
expect(panel.get("other", "").startswith(default), f"docs/orvapanel.md status texts: any other code shows \"{default}\"")
expect(set(panel) == {str(c) for c in status_code} | {"other"},
       f"docs/orvapanel.md status texts: rows {sorted(panel)}, status_text.cpp {sorted(status_code)} and other")

if problems:
    print("\n".join(problems))
    sys.exit(1)
print(f"docs tables: {len(results)} result codes, {len(sockets)} socket errors, {quoted} texts, "
      f"{sum(map(len, code_faults.values()))} faults, {len(panel)} status texts as the code has them")
