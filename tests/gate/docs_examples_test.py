#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""The gateway's documentation holds what the gateway takes: every TOML block
of docs/gate.md and the packaged example pass `orvagate --check`; the
Node-RED flow docs/gate-flow.json, which docs/gate.md links, subscribes to
the values of the page's example ("### An example") and writes one of its
writable variables.

    docs_examples_test.py SOURCE_DIR ORVAGATE
"""
import json
import os
import re
import subprocess
import sys
import tempfile

src, orvagate = sys.argv[1], sys.argv[2]
failures = []


def read(path):
    with open(os.path.join(src, path), encoding="utf-8") as f:
        return f.read()


def blocks(text, language):
    return re.findall(r"```" + language + r"\n(.*?)```\n", text, re.S)


page = read("docs/gate.md")
example_section = page[page.index("### An example\n"):]
checked = 0
for where, text in [("docs/gate.md", page)]:
    for n, block in enumerate(blocks(text, "toml"), 1):
        with tempfile.NamedTemporaryFile("w", suffix=".toml", delete=False) as f:
            f.write(block)
        result = subprocess.run([orvagate, "--check", f.name], capture_output=True, text=True)
        os.unlink(f.name)
        checked += 1
        if result.returncode != 0:
            failures.append(f"{where}, TOML block {n}:\n{result.stderr}")
example = os.path.join(src, "tools/orvagate/orvagate.toml")
result = subprocess.run([orvagate, "--check", example], capture_output=True, text=True)
checked += 1
if result.returncode != 0:
    failures.append(f"the packaged example:\n{result.stderr}")

if "(gate-flow.json)" not in page:
    failures.append("docs/gate.md does not link the flow gate-flow.json")
flow = json.loads(read("docs/gate-flow.json"))
nodes = {n["type"]: n for n in flow}
page_example = blocks(example_section, "toml")[0]
gateway = re.search(r'^name = "([^"]+)"', page_example, re.M).group(1)
if nodes["mqtt in"]["topic"] != f"orvanet/{gateway}/+/+" or nodes["mqtt in"]["datatype"] != "json":
    failures.append(f"the flow's mqtt in node: {nodes['mqtt in']}")
set_topic = nodes["mqtt out"]["topic"]
match = re.fullmatch(rf"orvanet/{gateway}/([^/]+)/([^/]+)/set", set_topic)
writable = re.search(r"writable = true\n\s*variables = \{([^}]*)\}", page_example)
if not match or not writable or match.group(2) not in writable.group(1):
    failures.append(f"the flow writes {set_topic}, which is no writable variable of the example of docs/gate.md")
for node in flow:
    for wires in node.get("wires", []):
        for target in wires:
            if target not in {n["id"] for n in flow}:
                failures.append(f"node {node['id']} is wired to {target}, which the flow lacks")

if failures:
    print("\n".join(failures))
    sys.exit(1)
print(f"gate docs: {checked} configurations check, the flow is docs/gate-flow.json")
