"""Codec information for media files, from Python.

    >>> import torvo
    >>> report = torvo.analyse("movie.avi")
    >>> [(s["codec"], s["decoder"]) for s in report["streams"]]
    [('mpeg4', 'installed'), ('mp3', 'installed')]

Each report is the dict of one ``torvo-cli --json`` line (the keys are
described by torvo-report.schema.json, installed with the documentation): the
display keys (``fields``, ``notes``, ``video``, ``audio``, ...), ``scan`` when
the file was scanned whole, and the typed report (``schema``, ``container``,
``streams``). A file that cannot be analysed gives its error object instead:
``{"schema": 1, "file": ..., "error": {"code": ..., "message": ...}}``.

The codec database and the codec inventory are loaded once per process, at the
first call. ``torvo.dask`` runs the same analysis over a ``dask.bag`` and makes
a table of streams from the reports. Type stubs come with the package.
"""
import os
import warnings

from . import _torvo

__all__ = ["analyse", "analyse_many", "codecs", "CodecStatusWarning", "TorvoError", "open_database", "__version__"]

__version__ = _torvo.__version__

TorvoError = _torvo.TorvoError
TorvoError.__doc__ = """Misuse: an argument of the wrong kind, or a codec database that cannot be loaded.

A file that cannot be analysed is no error: its report is an error object."""

_context = None


def open_database(path=None):
    """Loads the codec database (Torvo27.dat) the analyses use from now on.

    Without a path it is looked for where an installed torvo-cli looks
    (``<prefix>/share/torvo``, ``$XDG_DATA_DIRS/torvo``). The first analysis
    calls this when nothing was opened. Raises TorvoError when the database
    cannot be loaded; returns the path of the file it loaded.
    """
    global _context
    if path is not None and not isinstance(path, (str, bytes, os.PathLike)):
        raise TorvoError(f"the database path must be a path, not {type(path).__name__}")
    _context = _torvo.Context(os.fsdecode(path) if path is not None else "")
    return _context.database


class CodecStatusWarning(RuntimeWarning):
    """GStreamer could not be asked: every codec status reads ``"undetermined"``."""


def _warn_if_undetermined(context):
    # Said once per process: a status that cannot be told is never a "no".
    global _warned
    reason = context.codecs_unavailable
    if reason and not _warned:
        _warned = True
        warnings.warn(f"codec statuses are undetermined: {reason}", CodecStatusWarning, stacklevel=3)


_warned = False


def _current():
    if _context is None:
        open_database()
    return _context


def _path(path):
    if not isinstance(path, (str, bytes, os.PathLike)):
        raise TorvoError(f"a file name must be a str, bytes or path object, not {type(path).__name__}")
    name = os.fsencode(path)
    if not name or b"\0" in name:
        raise TorvoError(f"not a file name: {path!r}")
    return name


def _flag(name, value):
    if not isinstance(value, bool):
        raise TorvoError(f"{name} must be True or False, not {value!r}")
    return value


def _default_workers():
    # As torvo-cli: one per core, at most four.
    return max(1, min(os.cpu_count() or 1, 4))


def _given_as_bytes(path):
    return isinstance(os.fspath(path), bytes)


def analyse(path, scan=True, codecs=True):
    """The report of one file, as a dict.

    scan: scan MPEG and AVI files whole (frame counts, GOP structure).
    codecs: tell for each stream whether a decoder is installed (else
    ``decoder`` is ``"disabled"``).

    ``report["file"]`` is the name exactly, even when it is not UTF-8:
    ``bytes`` when the name was given as bytes, else ``str`` as
    ``os.fsdecode`` gives it (undecodable bytes as lone surrogates, which
    ``os.fsencode`` turns back into the same bytes).
    """
    name = _path(path)
    context = _current()
    report = context.analyse(name, _flag("scan", scan), _flag("codecs", codecs), _given_as_bytes(path))
    _warn_if_undetermined(context)
    return report


def analyse_many(paths, workers=None, scan=True, codecs=True, progress=None):
    """The reports of many files, in the order given, as an iterator of dicts.

    Up to ``workers`` files are analysed side by side (default: one per core,
    at most four). A file that fails yields its error object and the run goes
    on. A folder stands for the media files below it (found by content); one
    without any yields an error object with the code ``no_media_files``.
    Closing the iterator (or dropping it) stops the run. Each report's
    ``"file"`` is exact as with analyse: bytes when every name was given as
    bytes, else str.

    progress: a callable, called as ``progress(done, total)`` once each
    report is ready, before it is yielded (``total`` is the number of reports
    the run yields, once folders are expanded); for example
    ``lambda done, total: bar.update(1)``. An exception it raises stops the
    run and comes out of the iterator.
    """
    if isinstance(paths, (str, bytes, os.PathLike)):
        raise TorvoError("paths must be a collection of file names, not one name")
    try:
        given = list(paths)
        names = [_path(p) for p in given]
    except TypeError as e:
        raise TorvoError(f"paths must be an iterable of file names: {e}") from None
    if workers is None:
        workers = _default_workers()
    if not isinstance(workers, int) or isinstance(workers, bool) or workers < 1:
        raise TorvoError(f"workers must be a whole number of at least 1, not {workers!r}")
    if progress is not None and not callable(progress):
        raise TorvoError(f"progress must be a callable, not {progress!r}")
    as_bytes = bool(names) and all(_given_as_bytes(p) for p in given)
    context = _current()
    run = context.many(names, workers, _flag("scan", scan), _flag("codecs", codecs), as_bytes)
    return _reports(context, run, progress, run.total())


def _reports(context, run, progress, total):
    done = 0
    try:
        while True:
            report = run.next()
            if report is None:
                return
            _warn_if_undetermined(context)
            done += 1
            if progress is not None:
                progress(done, total)
            yield report
    finally:
        run.close()


def codecs():
    """The codec list of this machine (what ``torvo-cli --codecs --json`` lists), as dicts."""
    return _current().codecs()
