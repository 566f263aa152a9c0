#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""The gateway's documentation holds what the gateway takes: every TOML block
of README.md's gateway section and of docs/gate.md, and the packaged example,
pass `orvagate --check`; the Node-RED flow the README shows is
docs/gate-flow.json, whose topics are those of the README's example.

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


readme = read("README.md")
section = readme[readme.index("## The MQTT gateway `orvagate`"):readme.index("## Troubleshooting")]
checked = 0
for where, text in [("README.md", section), ("docs/gate.md", read("docs/gate.md"))]:
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

flows = blocks(section, "json")
flow_file = read("docs/gate-flow.json")
if len(flows) != 1 or flows[0] != flow_file:
    failures.append("the README's flow is not docs/gate-flow.json")
flow = json.loads(flow_file)
nodes = {n["type"]: n for n in flow}
readme_example = blocks(section, "toml")[0]
gateway = re.search(r'^name = "([^"]+)"', readme_example, re.M).group(1)
if nodes["mqtt in"]["topic"] != f"orvanet/{gateway}/+/+" or nodes["mqtt in"]["datatype"] != "json":
    failures.append(f"the flow's mqtt in node: {nodes['mqtt in']}")
set_topic = nodes["mqtt out"]["topic"]
match = re.fullmatch(rf"orvanet/{gateway}/([^/]+)/([^/]+)/set", set_topic)
writable = re.search(r"writable = true\n\s*variables = \{([^}]*)\}", readme_example)
if not match or not writable or match.group(2) not in writable.group(1):
    failures.append(f"the flow writes {set_topic}, which is no writable variable of the README's example")
for node in flow:
    for wires in node.get("wires", []):
        for target in wires:
            if target not in {n["id"] for n in flow}:
                failures.append(f"node {node['id']} is wired to {target}, which the flow lacks")

if failures:
    print("\n".join(failures))
    sys.exit(1)
print(f"gate docs: {checked} configurations check, the flow is docs/gate-flow.json")
