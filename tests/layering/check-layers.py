#!/usr/bin/env python3
"""Checks the layering of src/: includes point down only, the platform and
provider libraries stay inside src/platform and src/providers, the folder
graph has no cycle, and no file grows past the line limit.

    check-layers.py SRC-DIR

Prints one line per violation and exits 1 when there is any."""

import os
import re
import sys

# Bottom to top; folders on one rank may include each other.
RANKS = {
    "base": 0,
    "platform": 1,
    "providers": 3,
    "language": 3,
    "runtime": 3,
    "render": 4,
    "capes": 5,
    "controller": 6,
    "accessibility": 7,
    "telemetry": 8,
    "app": 10,
    "main.cpp": 11,
}
# Plain data: any folder below the app may include it, and it may include any
# of them; only a cycle would be wrong.
FREE_BELOW_APP = {"menu"}
SYSTEM_OWNERS = {"platform", "providers"}
SYSTEM_HEADERS = [
    (re.compile(r"Q[A-Za-z]"), "Qt"),
    (re.compile(r"X11/"), "X11"),
    (re.compile(r"xkbcommon/"), "XKB"),
    (re.compile(r"plist/"), "libplist"),
    (re.compile(r"curl/"), "curl"),
    (re.compile(r"uuid/"), "libuuid"),
    (re.compile(r"(dbus|gio|glib)[-/.]"), "D-Bus or GLib"),
]
MAX_LINES = 600
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
SOURCE_SUFFIXES = (".h", ".hpp", ".c", ".cpp")


def top_folder(relative):
    return relative.split("/", 1)[0]


def rank_allows(includer, included):
    if includer == included:
        return True
    if included in FREE_BELOW_APP:
        return includer not in FREE_BELOW_APP
    if includer in FREE_BELOW_APP:
        return RANKS.get(included, 0) < RANKS["app"]
    return RANKS[includer] >= RANKS[included]


def resolve(src, folder, name):
    """The included file relative to src/, or None when it lies outside."""
    for candidate in (os.path.join(folder, name), name):
        if os.path.isfile(os.path.join(src, candidate)):
            return os.path.normpath(candidate)
    return None


def sources(src):
    for root, dirs, files in os.walk(src):
        dirs.sort()
        for name in sorted(files):
            if name.endswith(SOURCE_SUFFIXES):
                yield os.path.relpath(os.path.join(root, name), src)


def strongly_connected(graph):
    """Tarjan's components of more than one node."""
    index, low, stack, on_stack, found = {}, {}, [], set(), []

    def visit(node):
        index[node] = low[node] = len(index)
        stack.append(node)
        on_stack.add(node)
        for following in sorted(graph.get(node, ())):
            if following not in index:
                visit(following)
                low[node] = min(low[node], low[following])
            elif following in on_stack:
                low[node] = min(low[node], index[following])
        if low[node] == index[node]:
            component = []
            while True:
                member = stack.pop()
                on_stack.discard(member)
                component.append(member)
                if member == node:
                    break
            if len(component) > 1:
                found.append(sorted(component))

    for node in sorted(graph):
        if node not in index:
            visit(node)
    return found


def check(src):
    violations = []
    edges = {}  # (from folder, to folder) -> first "file:line" seen
    for relative in sources(src):
        path = os.path.join(src, relative)
        folder = os.path.dirname(relative)
        top = top_folder(relative)
        if top not in RANKS and top not in FREE_BELOW_APP:
            violations.append(f"src/{relative}: the folder {top} has no place in the layer order")
            continue
        with open(path, encoding="utf-8", errors="replace") as file:
            lines = file.readlines()
        if len(lines) > MAX_LINES:
            violations.append(f"src/{relative}: {len(lines)} lines, over the limit of {MAX_LINES}")
        for number, line in enumerate(lines, 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            where = f"src/{relative}:{number}"
            quote, name = match.groups()
            if quote == "<":
                if top not in SYSTEM_OWNERS:
                    for pattern, library in SYSTEM_HEADERS:
                        if pattern.match(name):
                            violations.append(f"{where}: {library} header <{name}> outside src/platform and src/providers")
                continue
            target = resolve(src, folder, name)
            if target is None:
                continue
            target_folder = os.path.dirname(target)
            if target_folder != folder:
                edges.setdefault((folder, target_folder), where)
            target_top = top_folder(target)
            if target_top in RANKS or target_top in FREE_BELOW_APP:
                if not rank_allows(top, target_top):
                    violations.append(f'{where}: {top} includes "{name}" from {target_top}, a layer above it')
    graph = {}
    for (start, end) in edges:
        graph.setdefault(start, set()).add(end)
    for component in strongly_connected(graph):
        members = set(component)
        links = [f"{start} -> {end} ({where})" for (start, end), where in sorted(edges.items())
                 if start in members and end in members]
        violations.append("folder cycle among " + ", ".join(component) + ": " + "; ".join(links))
    return violations


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    violations = check(os.path.abspath(sys.argv[1]))
    for violation in violations:
        print(violation)
    print(f"{len(violations)} layering violation(s)")
    return 1 if violations else 0


if __name__ == "__main__":
    sys.exit(main())
