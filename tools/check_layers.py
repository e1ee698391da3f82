#!/usr/bin/env python3
"""Fails when a source file under src/ includes a header of a higher layer.

The layers, bottom to top, are the table below; a folder may include its own
headers and those of lower layers only, so the folders cannot form a cycle.
Run by the build (target torvo_layer_check) and by ctest.

    tools/check_layers.py [SRC_DIR]        check, exit 1 on an upward include
    tools/check_layers.py [SRC_DIR] --graph  print the folder-level include graph
"""
import os
import re
import sys

# Bottom to top. Folders of one group not named here take the group's rank.
LAYERS = [
    ["base"],
    ["resize"],
    ["records"],
    ["formats/mpeg"],
    ["formats/riff"],
    ["formats/containers", "formats/*"],
    ["formats/vgs"],
    ["inventory"],
    ["analysis"],
    ["settings"],
    ["codecdb"],
    ["export"],
    ["codeclist"],
    ["render"],
    ["run"],
    ["platform/*"],
    ["app/*"],
]
GROUPS = ("formats", "platform", "app")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def folder_of(relative):
    parts = relative.split("/")
    return "/".join(parts[:2]) if parts[0] in GROUPS and len(parts) > 2 else parts[0]


def rank_of(folder):
    for rank, names in enumerate(LAYERS):
        if folder in names:
            return rank
    group = folder.split("/")[0] + "/*"
    for rank, names in enumerate(LAYERS):
        if group in names:
            return rank
    return None


def edges(src):
    found = {}
    for directory, _, files in os.walk(src):
        for name in sorted(files):
            if not name.endswith((".h", ".cpp")):
                continue
            path = os.path.join(directory, name)
            source = os.path.relpath(path, src)
            with open(path, encoding="utf-8", errors="replace") as text:
                for number, line in enumerate(text, 1):
                    match = INCLUDE.match(line)
                    if not match or not os.path.isfile(os.path.join(src, match.group(1))):
                        continue
                    a, b = folder_of(source), folder_of(match.group(1))
                    if a != b:
                        found.setdefault((a, b), []).append(f"{source}:{number}: {match.group(1)}")
    return found


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    src = args[0] if args else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src")
    found = edges(src)
    if "--graph" in sys.argv:
        for (a, b), places in sorted(found.items()):
            print(f"{a} -> {b} ({len(places)})")
        return 0
    errors = []
    for (a, b), places in sorted(found.items()):
        ra, rb = rank_of(a), rank_of(b)
        if ra is None or rb is None:
            unknown = a if ra is None else b
            errors.append(f"{places[0]}: folder '{unknown}' has no layer (add it to tools/check_layers.py)")
        elif rb >= ra:
            errors += [f"{p}: '{a}' may not include '{b}' (not a lower layer)" for p in places]
    for error in errors:
        print(error, file=sys.stderr)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
