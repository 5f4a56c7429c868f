#!/usr/bin/env python3
"""Layers include only downwards: a folder includes its own headers and those of the
folders below it, never one above (the libraries link the same way)."""
import os
import re
import sys

BELOW = {
    "platform": [],
    "app/modul": ["platform"],
    "cards": ["platform", "app/modul"],
    "meetings": ["platform", "app/modul"],
    "diary": ["platform", "app/modul"],
    "help": ["platform"],
    "app": ["platform", "app/modul", "cards", "meetings", "diary", "help"],
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def folder_of(header):
    for f in sorted(BELOW, key=len, reverse=True):
        if header.startswith(f + "/"):
            return f
    return None


def main():
    root = sys.argv[1]
    problems = []
    for folder, below in BELOW.items():
        path = os.path.join(root, folder)
        for name in sorted(os.listdir(path)):
            if not name.endswith((".cpp", ".h")):
                continue
            text = open(os.path.join(path, name), encoding="utf-8").read()
            for inc in INCLUDE.findall(text):
                target = folder_of(inc)
                if target is None or target == folder or target in below:
                    continue
                problems.append("%s/%s includes %s, a layer above it" % (folder, name, inc))
    for p in problems:
        print(p)
    print("%d upward includes" % len(problems))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
