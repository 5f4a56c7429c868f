#!/usr/bin/env python3
"""The layers include only downwards and no two files depend on each other.

A folder includes its own headers and those of the folders below it, never one above (the
libraries link the same way). Between files, a file and the header it belongs to are one
unit (x.cpp with x.h); no chain of includes between units may lead back to where it began.
"""
import os
import re
import sys

# platform <- data layer (modul, exchange, sync) <- widgets <- windows <- shell; tools on
# the data layer and platform.
DATA = ["platform", "modul", "exchange", "sync"]
BELOW = {
    "platform": [],
    "modul": ["platform"],
    "exchange": ["platform", "modul"],
    "sync": ["platform", "modul", "exchange"],
    "widgets": DATA,
    "cards": DATA + ["widgets"],
    "meetings": DATA + ["widgets"],
    "diary": DATA + ["widgets"],
    "help": DATA + ["widgets"],
    "app": DATA + ["widgets", "cards", "meetings", "diary", "help"],
    "tools": DATA,
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
SYSTEM_INCLUDE = re.compile(r'^\s*#\s*include\s+<([^>]+)>', re.M)
# The data layer and platform link Qt Core (and Network) only: a Qt header they include
# must not be one of Qt Gui, Widgets or DBus.
QT_INCLUDE = "/usr/include/x86_64-linux-gnu/qt6"
NOT_IN_CORE = ("QtGui", "QtWidgets", "QtDBus")


def qt_module_of(header):
    for module in NOT_IN_CORE:
        if header.startswith(module + "/") or os.path.exists(os.path.join(QT_INCLUDE, module, header)):
            return module
    return None


def folder_of(header):
    for f in sorted(BELOW, key=len, reverse=True):
        if header.startswith(f + "/"):
            return f
    return None


def unit_of(path):
    return os.path.splitext(path)[0]


def sources(root):
    for folder in BELOW:
        path = os.path.join(root, folder)
        if not os.path.isdir(path):
            continue
        for name in sorted(os.listdir(path)):
            if name.endswith((".cpp", ".h")):
                yield folder, folder + "/" + name


def find_cycle(graph):
    """A cycle of the graph as a list of nodes, or None."""
    state = {}
    stack = []

    def visit(n):
        state[n] = 1
        stack.append(n)
        for m in sorted(graph.get(n, ())):
            if state.get(m) == 1:
                return stack[stack.index(m):] + [m]
            if m not in state:
                c = visit(m)
                if c:
                    return c
        stack.pop()
        state[n] = 2
        return None

    for n in sorted(graph):
        if n not in state:
            c = visit(n)
            if c:
                return c
    return None


def main():
    root = sys.argv[1]
    problems = []
    graph = {}
    for folder, rel in sources(root):
        text = open(os.path.join(root, rel), encoding="utf-8").read()
        for inc in INCLUDE.findall(text):
            target = folder_of(inc)
            if target is None:
                continue
            if target != folder and target not in below(folder):
                problems.append("%s includes %s, a layer above it" % (rel, inc))
            if unit_of(inc) != unit_of(rel):
                graph.setdefault(unit_of(rel), set()).add(unit_of(inc))
        if folder in DATA or folder == "tools":
            for inc in SYSTEM_INCLUDE.findall(text):
                module = qt_module_of(inc)
                if module:
                    problems.append("%s includes <%s> of %s: the data layer links Qt Core only"
                                    % (rel, inc, module))
    if len(sys.argv) > 2:
        problems += needed_libraries(sys.argv[2])
    cycle = find_cycle(graph)
    if cycle:
        problems.append("files depend on each other: " + " -> ".join(cycle))
    for p in problems:
        print(p)
    print("%d problems" % len(problems))
    return 1 if problems else 0


def needed_libraries(binary):
    """ctdb, a command-line program, loads no Qt Gui or Widgets library.

    Qt DBus may come with it: the keyring behind `ctdb sync` (qtkeychain) speaks to the
    Secret Service over D-Bus, and whether the linker keeps that library as a direct need
    depends on the build type."""
    import subprocess
    out = subprocess.run(["readelf", "-d", binary], capture_output=True, text=True,
                         check=True).stdout
    needed = re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", out)
    if not any(n.startswith("libQt6Core") for n in needed):
        return ["%s: no libQt6Core among its needed libraries; cannot check" % binary]
    return ["%s needs %s" % (binary, n) for n in needed
            if re.match(r"libQt6(Gui|Widgets|OpenGL)", n)]


def below(folder):
    return BELOW[folder]


if __name__ == "__main__":
    sys.exit(main())
