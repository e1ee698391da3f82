#!/usr/bin/env python3
"""Runs torvo-cli --json over every sample file (and one name that does not
exist) and checks each line against docs/torvo-report.schema.json: one line
per name, in order, each valid, numbers as numbers.

With --lines FILE SCHEMA it checks the JSON lines another front end wrote
(the window's saved reports) against the schema instead."""
import json
import os
import subprocess
import sys

import jsonschema


def load_validator(schema_path):
    with open(schema_path, encoding="utf-8") as f:
        schema = json.load(f)
    jsonschema.Draft202012Validator.check_schema(schema)
    return jsonschema.Draft202012Validator(schema)


def check_lines(lines_path, schema_path):
    validator = load_validator(schema_path)
    failures = []
    with open(lines_path, encoding="utf-8") as f:
        lines = f.read().splitlines()
    for number, line in enumerate(lines, 1):
        report = json.loads(line)
        for error in validator.iter_errors(report):
            failures.append(f"line {number} ({report.get('file')}): {error.json_path}: {error.message}")
    for failure in failures:
        print(failure)
    print(f"{len(lines)} lines checked")
    return 1 if failures or not lines else 0


def main():
    if sys.argv[1] == "--lines":
        return check_lines(sys.argv[2], sys.argv[3])
    cli, schema_path, data_dir = sys.argv[1:4]
    validator = load_validator(schema_path)

    names = []
    for root, dirs, files in os.walk(data_dir):
        dirs.sort()
        names += [os.path.join(root, f) for f in sorted(files) if not f.endswith((".sh", ".txt", ".md"))]
    missing = os.path.join(data_dir, "no-such-file.avi")
    names.append(missing)

    run = subprocess.run([cli, "--json", "--no-scan", "--"] + names, capture_output=True, check=False)
    lines = run.stdout.decode("utf-8").splitlines()
    failures = []
    if run.returncode != 1:
        failures.append(f"exit status {run.returncode}, expected 1 (one file is missing)")
    if len(lines) != len(names):
        failures.append(f"{len(lines)} lines for {len(names)} names")
    streams = 0
    for name, line in zip(names, lines):
        report = json.loads(line)
        if report.get("file") != name:
            failures.append(f"{name}: line names {report.get('file')!r}")
        for error in validator.iter_errors(report):
            failures.append(f"{name}: {error.json_path}: {error.message}")
        streams += len(report.get("streams", []))
    if lines and "error" not in json.loads(lines[-1]):
        failures.append("the missing file has no error object")
    if streams == 0:
        failures.append("no sample has a stream")
    for failure in failures:
        print(failure)
    print(f"{len(lines)} lines, {streams} streams checked")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
