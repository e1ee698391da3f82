"""python3 -m torvo PATH...: each file's report as one line of JSON (JSON Lines).

Folders are not expanded; a file that cannot be analysed prints its error
object. The exit status is 1 when any file failed, 2 on wrong usage.
"""
import argparse
import base64
import json
import os
import sys

import torvo


def _as_json_line(report):
    # As torvo-cli writes a name that is not UTF-8: each stray byte as \xHH in
    # "file", the exact bytes in "file_bytes".
    name = os.fsencode(report["file"])
    try:
        name.decode("utf-8")
    except UnicodeDecodeError:
        readable = "".join(f"\\x{ord(c) - 0xDC00:02X}" if "\udc80" <= c <= "\udcff" else c
                           for c in name.decode("utf-8", "surrogateescape"))
        members = list(report.items())
        at = [k for k, _ in members].index("file")
        members[at:at + 1] = [("file", readable), ("file_bytes", base64.b64encode(name).decode())]
        report = dict(members)
    return json.dumps(report, ensure_ascii=False, separators=(",", ":")) + "\n"


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m torvo", description="Print each file's report as JSON Lines.")
    parser.add_argument("paths", nargs="+", metavar="PATH")
    parser.add_argument("--no-scan", action="store_true", help="do not scan MPEG and AVI files whole")
    parser.add_argument("--no-codecs", action="store_true", help="do not look for installed decoders")
    parser.add_argument("-j", "--workers", type=int, default=None, help="files analysed side by side")
    args = parser.parse_args(argv)
    failed = False
    try:
        for report in torvo.analyse_many(args.paths, workers=args.workers, scan=not args.no_scan,
                                         codecs=not args.no_codecs):
            failed = failed or "error" in report
            sys.stdout.write(_as_json_line(report))
    except torvo.TorvoError as e:
        print(f"python3 -m torvo: {e}", file=sys.stderr)
        return 2
    except BrokenPipeError:
        return 1
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
