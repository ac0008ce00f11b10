#!/usr/bin/env python3
"""Checks the rules the source tree keeps, so that a change which breaks one
fails the tests instead of waiting for the next review:

  1. nothing includes upward: a file includes only headers of its own target
     or of targets its target links, as the CMakeLists.txt files say (a
     header without a source file that includes no header of Quorvex holds
     constants alone, and anything may include it);
  2. no include loop inside a folder: counting a header and its source file as
     one unit, no two units of a folder need each other;
  3. no file of the window or the application (in app/ or ui/) is over 400
     lines.

Usage: scripts/check-house.py [SOURCE_ROOT]. Prints every breach
and exits 1 if there is one."""

import os
import re
import sys

ROOT = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
# Folders that are not part of the layered program: they link what they test.
OUTSIDE = {"tests", "bench", "fuzz", "packaging", "debian", "docs", "scripts", ".ci", ".git"}
FILE_LIMIT = 400
LIMITED = ("app", "ui")

TARGET_RE = re.compile(r"add_(library|executable)\(\s*([\w-]+)([^)]*)\)", re.S)
LINK_RE = re.compile(r"target_link_libraries\(\s*([\w-]+)([^)]*)\)", re.S)
INCLUDE_RE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def source_folders():
    for folder, dirs, _ in os.walk(ROOT):
        rel = os.path.relpath(folder, ROOT)
        top = rel.split(os.sep)[0]
        if rel == ".":
            continue
        if top in OUTSIDE or top.startswith("build") or top.startswith("."):
            dirs[:] = []
            continue
        yield folder, rel


def read_targets():
    """Returns {target: set of source paths} and {target: set of linked targets}."""
    sources, links = {}, {}
    for folder, _ in source_folders():
        path = os.path.join(folder, "CMakeLists.txt")
        if not os.path.exists(path):
            continue
        text = re.sub(r"#.*", "", open(path, encoding="utf-8").read())
        for kind, name, body in TARGET_RE.findall(text):
            files = {
                os.path.normpath(os.path.relpath(os.path.join(folder, word), ROOT))
                for word in body.split()
                if word.endswith((".cpp", ".h", ".ui")) and "$" not in word
            }
            sources.setdefault(name, set()).update(files)
            sources[name].add("@" + os.path.relpath(folder, ROOT))  # the folder it is declared in
        for name, body in LINK_RE.findall(text):
            links.setdefault(name, set()).update(body.split())
    for name in links:
        links[name] = {d for d in links[name] if d in sources}
    return sources, links


def closure(target, links):
    seen, stack = {target}, [target]
    while stack:
        for dep in links.get(stack.pop(), ()):
            if dep not in seen:
                seen.add(dep)
                stack.append(dep)
    return seen


def owners(path, sources):
    """The targets a file belongs to: those that compile it (or its .cpp for a
    header); for a header without one, the libraries declared in its folder."""
    stem, _ = os.path.splitext(path)
    found = {t for t, files in sources.items() if path in files or stem + ".cpp" in files}
    if not found:
        folder = os.path.dirname(path)
        found = {t for t, files in sources.items() if "@" + folder in files}
    return found


def files_of(rel):
    folder = os.path.join(ROOT, rel)
    return [n for n in os.listdir(folder) if n.endswith((".h", ".cpp"))]


def includes_of(path):
    with open(os.path.join(ROOT, path), encoding="utf-8") as f:
        return INCLUDE_RE.findall(f.read())


def standalone(header):
    stem, _ = os.path.splitext(header)
    return not os.path.exists(os.path.join(ROOT, stem + ".cpp")) and not includes_of(header)


def cycles(graph):
    """Strongly connected components of more than one node (Tarjan)."""
    index, low, on_stack, stack, found, counter = {}, {}, set(), [], [], [0]

    def visit(node):
        index[node] = low[node] = counter[0]
        counter[0] += 1
        stack.append(node)
        on_stack.add(node)
        for nxt in graph.get(node, ()):
            if nxt not in index:
                visit(nxt)
                low[node] = min(low[node], low[nxt])
            elif nxt in on_stack:
                low[node] = min(low[node], index[nxt])
        if low[node] == index[node]:
            component = []
            while True:
                top = stack.pop()
                on_stack.discard(top)
                component.append(top)
                if top == node:
                    break
            if len(component) > 1:
                found.append(sorted(component))

    for node in list(graph):
        if node not in index:
            visit(node)
    return found


def main():
    sources, links = read_targets()
    breaches = []
    for _, rel in source_folders():
        names = files_of(rel)
        graph = {}
        for name in names:
            path = os.path.normpath(os.path.join(rel, name))
            mine = owners(path, sources)
            reachable = set().union(*(closure(t, links) for t in mine)) if mine else set()
            unit = os.path.splitext(name)[0]
            for included in includes_of(path):
                if not os.path.exists(os.path.join(ROOT, included)):
                    continue  # a system or generated header
                theirs = owners(included, sources)
                if mine and theirs and not (theirs & reachable) and not standalone(included):
                    breaches.append(f"{path} includes {included} of {', '.join(sorted(theirs))}, "
                                    f"which {', '.join(sorted(mine))} does not link")
                other = os.path.splitext(os.path.basename(included))[0]
                if os.path.dirname(included) == rel and other != unit:
                    graph.setdefault(unit, set()).add(other)
        for loop in cycles(graph):
            breaches.append(f"include loop in {rel}/: {' -> '.join(loop)}")
        if rel.split(os.sep)[0] in LIMITED:
            for name in sorted(names):
                with open(os.path.join(ROOT, rel, name), encoding="utf-8") as f:
                    lines = sum(1 for _ in f)
                if lines > FILE_LIMIT:
                    breaches.append(f"{rel}/{name} is {lines} lines, over {FILE_LIMIT}")
    for breach in breaches:
        print(breach)
    if breaches:
        print(f"{len(breaches)} breach(es) of the house rules.")
        return 1
    print("The house rules hold.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
