"""A small program written against the torvo stubs: mypy --strict checks it."""
import os
from typing import Dict, List

import pandas  # type: ignore[import]

import torvo
import torvo.dask


def codec_counts(folder: str) -> Dict[str, int]:
    names = [os.path.join(folder, n) for n in sorted(os.listdir(folder))]
    counts: Dict[str, int] = {}
    done: List[int] = []
    for report in torvo.analyse_many(names, workers=2, scan=False, progress=lambda d, t: done.append(d)):
        for stream in report.get("streams", []):
            counts[stream["codec"]] = counts.get(stream["codec"], 0) + 1
    return counts


def by_bytes(name: bytes) -> bytes:
    file = torvo.analyse(name, codecs=False)["file"]
    assert isinstance(file, bytes)
    return file


def frame(names: List[str]) -> pandas.DataFrame:
    return torvo.dask.streams_frame(torvo.dask.analyse_bag(names, partition_size=100)).compute()


version: str = torvo.__version__
database: str = torvo.open_database()
