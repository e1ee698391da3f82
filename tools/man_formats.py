#!/usr/bin/env python3
"""Keeps the list of formats in the manual pages equal to the format registry.

Each page in docs/man/*.scd may hold a block between the comment lines
"; formats: ..." and "; end of formats"; its body is the list torvo-cli
--formats prints, as scdoc text. Run by ctest (man_formats), which fails when
a page and the registry disagree; --write rewrites the blocks.

    tools/man_formats.py TORVO_CLI MAN_DIR [--write]
"""
import json
import os
import re
import subprocess
import sys

BEGIN = "; formats: made by tools/man_formats.py from torvo-cli --formats"
END = "; end of formats"
BLOCK = re.compile(re.escape(BEGIN) + r"\n.*?" + re.escape(END), re.S)


def format_block(cli):
    lines = subprocess.run([cli, "--formats", "--json"], check=True, capture_output=True).stdout.decode().splitlines()
    body = []
    for line in lines:
        f = json.loads(line)
        if not f["read"]:
            continue
        extensions = ", ".join("." + e for e in f["extensions"].split())
        body.append("*%s*\n\t%s (%s)\n" % (f["id"], f["title"], extensions))
    return BEGIN + "\n" + "\n".join(body) + END


def main():
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    cli, folder, write = sys.argv[1], sys.argv[2], "--write" in sys.argv[3:]
    block = format_block(cli)
    stale = []
    for name in sorted(os.listdir(folder)):
        if not name.endswith(".scd"):
            continue
        path = os.path.join(folder, name)
        text = open(path, encoding="utf-8").read()
        if BEGIN not in text:
            continue
        updated = BLOCK.sub(lambda _: block, text)
        if updated != text:
            stale.append(name)
            if write:
                open(path, "w", encoding="utf-8").write(updated)
    if stale and not write:
        print("the list of formats differs from the registry in: %s (tools/man_formats.py %s %s --write)"
              % (", ".join(stale), cli, folder), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
