"""Torvo over whole collections with Dask: one machine or a dask.distributed cluster.

    >>> import torvo.dask
    >>> bag = torvo.dask.analyse_bag(paths, partition_size=200)
    >>> frame = torvo.dask.streams_frame(bag)
    >>> missing = frame[(frame.stream_type == "video") & (frame.decoder == "not_installed")]
    >>> sorted(missing.file.unique().compute())

The same code runs in the calling process (dask's default scheduler) or on a
cluster once a ``dask.distributed.Client`` is made; every worker imports torvo
and loads the codec database and inventory once. The files must be readable
under the same names on every worker (a shared file system).
"""
import os

import dask
import dask.bag
import dask.dataframe
import pandas

import torvo

__all__ = ["analyse_bag", "streams_frame", "STREAM_COLUMNS"]


def _analyse_partition(paths, scan, codecs, workers):
    return list(torvo.analyse_many(paths, workers=workers, scan=scan, codecs=codecs))


def analyse_bag(paths, partition_size=200, scan=True, codecs=True, workers=2):
    """A dask.bag of the reports of `paths` (dicts, as torvo.analyse gives them), in their order.

    partition_size: files per task (a lost task is analysed again elsewhere,
    so smaller partitions lose less to a failing worker). workers: files
    analysed side by side within one task; the analysis does not hold the
    GIL, and two files at once keep a core busy while the other file's
    bytes are read (one at a time left a dask worker idle half the time).
    """
    if isinstance(paths, (str, bytes)):
        raise torvo.TorvoError("paths must be a collection of file names, not one name")
    names = [os.fsdecode(torvo._path(p)) for p in paths]
    if not isinstance(partition_size, int) or isinstance(partition_size, bool) or partition_size < 1:
        raise torvo.TorvoError(f"partition_size must be a whole number of at least 1, not {partition_size!r}")
    torvo._flag("scan", scan)
    torvo._flag("codecs", codecs)
    if not names:
        return dask.bag.from_sequence([], npartitions=1)
    # One task per partition: dask.diagnostics.ProgressBar (or
    # distributed.progress) advances as each partition's files are done.
    bag = dask.bag.from_sequence(names, partition_size=partition_size)
    return bag.map_partitions(_analyse_partition, scan, codecs, workers)


# Columns of a few repeated values are categorical: a frame of a large
# collection keeps each distinct codec name once, and groupby/value_counts
# run on codes. Those whose values are fixed know their categories, so that
# every partition of a dask frame agrees on them.
_STREAM_TYPES = pandas.CategoricalDtype(["video", "audio", "image"])
_DECODERS = pandas.CategoricalDtype(["installed", "not_installed", "not_needed", "undetermined", "disabled"])

# One row per stream: the file, its error (if any), the container's columns,
# then the stream's. A file without streams still has one row (stream columns
# empty), so that no file is missing from the frame.
STREAM_COLUMNS = {
    "file": "object",
    "error_code": "object",
    "error_message": "object",
    "container_type_id": "Int64",
    "container_type": "category",
    "container_mime": "object",
    "container_size": "Int64",
    "container_duration": "float64",
    "container_bit_rate": "Int64",
    "stream_index": "Int64",
    "stream_type": _STREAM_TYPES,
    "codec": "category",
    "fourcc": "object",
    "format_tag": "Int64",
    "width": "Int64",
    "height": "Int64",
    "frame_rate": "float64",
    "sample_rate": "Int64",
    "channels": "Int64",
    "bits_per_sample": "Int64",
    "language": "object",
    "title": "object",
    "duration": "float64",
    "bit_rate": "Int64",
    "decoder": _DECODERS,
}
_STREAM_KEYS = {"stream_index": "index", "stream_type": "type"}


def _rows(report):
    row = dict.fromkeys(STREAM_COLUMNS)
    row["file"] = report.get("file")
    error = report.get("error")
    if error is not None:
        row["error_code"] = error.get("code")
        row["error_message"] = error.get("message")
        return [row]
    container = report.get("container") or {}
    for key in ("type_id", "type", "mime", "size", "duration", "bit_rate"):
        row["container_" + key] = container.get(key)
    rows = []
    for stream in report.get("streams") or []:
        r = dict(row)
        for column in list(STREAM_COLUMNS)[9:]:
            r[column] = stream.get(_STREAM_KEYS.get(column, column))
        rows.append(r)
    return rows or [row]


def _frame(reports):
    rows = [r for report in reports for r in _rows(report)]
    frame = pandas.DataFrame(rows, columns=list(STREAM_COLUMNS))
    return frame.astype(STREAM_COLUMNS)


def streams_frame(reports):
    """The reports as a table of one row per stream with the container's columns.

    A dask.bag (from analyse_bag) gives a dask DataFrame with one partition
    per bag partition; a list or iterator of reports gives a pandas DataFrame.
    Columns and types: STREAM_COLUMNS; absent values are NA. container_type,
    stream_type, codec and decoder are categorical (stream_type and decoder
    with their fixed categories); whole numbers are nullable Int64.
    """
    meta = _frame([])
    if isinstance(reports, dask.bag.Bag):
        parts = [dask.delayed(_frame)(part) for part in reports.to_delayed()]
        return dask.dataframe.from_delayed(parts, meta=meta, verify_meta=False)
    return _frame(reports)
