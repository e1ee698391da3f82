"""Shared by the Python suites: the samples, torvo-cli, and the module under test.

ctest sets TORVO_CLI (the torvo-cli built beside the module), TORVO_TEST_DATA
(tests/data) and PYTHONPATH (the package gathered in the build tree), and a
private HOME so that no stored setting changes a report.
"""
import json
import os
import subprocess

import pytest


def sample_paths():
    data = os.environ["TORVO_TEST_DATA"]
    names = []
    for root, dirs, files in os.walk(data):
        dirs.sort()
        names += [os.path.join(root, f) for f in sorted(files) if not f.endswith((".sh", ".txt", ".md"))]
    return names


def comparable(report):
    """A report without what changes from one read to the next (the scan's read speed)."""
    if isinstance(report.get("scan"), dict):
        report = dict(report, scan=dict(report["scan"], read_kib_per_s=None))
    return report


def cli_reports(paths, *options):
    run = subprocess.run([os.environ["TORVO_CLI"], "--json", *options, "--", *paths], capture_output=True, check=False)
    return [json.loads(line) for line in run.stdout.decode("utf-8").splitlines()]


@pytest.fixture(scope="session")
def samples():
    return sample_paths()


@pytest.fixture(scope="session")
def cli_scanned(samples):
    return cli_reports(samples, "--scan")
