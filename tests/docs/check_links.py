#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""The documentation names only what a clone holds: every relative link of
README.md, HACKING.md, CHANGELOG.md and docs/*.md leads to a file or folder
of the tree, and its anchor (#...) to a heading of that page; every path of
the tree named in code (`linklib/transport.cpp`, `tools/orvasim/sim_*.cpp`,
a command's `scripts/demo.sh`) exists. Paths that a build or an install
makes (build*/, out/, /usr/...) are not the tree's and are not checked.

    check_links.py SOURCE_DIR
"""
import glob
import os
import re
import sys

src = sys.argv[1]

# Files that arrive with another branch, named before they are here. Empty
# this list once they are merged: then a missing one fails again.
ARRIVING = {
    "docs/install.md",   # the packages and building from source (branch pkg)
    "scripts/release.sh",  # makes every package into out/release/ (branch pkg)
}

pages = ["README.md", "HACKING.md", "CHANGELOG.md"] + sorted(
    os.path.relpath(p, src) for p in glob.glob(os.path.join(src, "docs", "*.md")))
# The first part of every path of the tree that documentation names.
tops = {e for e in os.listdir(src) if not e.startswith(".git") and not e.startswith("build") and e != "out"}
tops.add(".ci")
problems = []


def slug(heading):
    """A heading's anchor as GitHub makes it."""
    text = re.sub(r"`|\*\*|\[([^]]*)\]\([^)]*\)", r"\1", heading).strip().lower()
    return re.sub(r"[^\w\- ]", "", text).replace(" ", "-")


def split_fences(text):
    """(prose lines, code lines), each as (line number, text)."""
    prose, code, fence = [], [], False
    for number, line in enumerate(text.splitlines(), 1):
        if line.lstrip().startswith("```"):
            fence = not fence
            continue
        (code if fence or line.startswith("    ") else prose).append((number, line))
    return prose, code


anchors = {}


def anchors_of(page):
    if page not in anchors:
        seen = {}
        prose, _ = split_fences(open(os.path.join(src, page), encoding="utf-8").read())
        for _, line in prose:
            match = re.match(r"#{1,6} (.+)", line)
            if match:
                base = slug(match.group(1))
                n = seen.get(base, 0)
                seen[base] = n + 1
                seen.setdefault(f"{base}-{n}" if n else base, 1)
        anchors[page] = set(seen)
    return anchors[page]


def exists(path):
    """A path of the tree, which may hold a glob (`sim_server.*`)."""
    path = path.rstrip("/")
    if any(c in path for c in "*?["):
        return bool(glob.glob(os.path.join(src, path)))
    return os.path.exists(os.path.join(src, path))


def tree_paths(code):
    """The tokens of a code span that name a path of the tree."""
    for token in re.split(r"[\s=(),;'\"<>|]+", code):
        token = token.rstrip(".:,")
        if token.startswith("./"):
            token = token[2:]
        parts = token.split("/")
        if len(parts) < 2 or parts[0] not in tops or "://" in token or "\\" in token:
            continue
        # A placeholder (scripts/test-NAME.sh, docs/NAME.md, DIR) is no path.
        if re.search(r"[A-Z]{3,}", token.replace("CMakeLists", "").replace("README", "")
                     .replace("CHANGELOG", "").replace("HACKING", "").replace("LICENSE", "")
                     .replace("CMakePresets", "")) and not exists(token):
            continue
        yield token


for page in pages:
    text = open(os.path.join(src, page), encoding="utf-8").read()
    here = os.path.dirname(page)
    prose, code = split_fences(text)
    for number, line in prose:
        for target in re.findall(r"\]\(([^)\s]+)\)", line):
            if re.match(r"[a-z]+:", target):
                continue
            path, _, anchor = target.partition("#")
            resolved = os.path.normpath(os.path.join(here, path)) if path else page
            if not exists(resolved):
                problems.append(f"{page}:{number}: link to {target}: {resolved} does not exist")
            elif anchor and resolved.endswith(".md") and os.path.exists(os.path.join(src, resolved)) \
                    and anchor not in anchors_of(resolved):
                problems.append(f"{page}:{number}: link to {target}: {resolved} has no heading #{anchor}")
        for span in re.findall(r"`([^`]+)`", line):
            for path in tree_paths(span):
                if not exists(path):
                    problems.append(f"{page}:{number}: `{path}` does not exist in the tree")
    for number, line in code:
        for path in tree_paths(line):
            if not exists(path):
                problems.append(f"{page}:{number}: {path} (in code) does not exist in the tree")

if problems:
    print("\n".join(problems))
    sys.exit(1)
print(f"docs links: {len(pages)} pages, every link and path of the tree exists")
