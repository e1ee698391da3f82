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
first call. ``torvo.dask`` runs the same analysis over a ``dask.bag``.
"""
import os
import warnings

from . import _torvo

__all__ = ["analyse", "analyse_many", "codecs", "CodecStatusWarning", "TorvoError", "open_database"]

TorvoError = _torvo.TorvoError

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


def analyse(path, scan=True, codecs=True):
    """The report of one file, as a dict.

    scan: scan MPEG and AVI files whole (frame counts, GOP structure).
    codecs: tell for each stream whether a decoder is installed (else
    ``decoder`` is ``"disabled"``).
    """
    name = _path(path)
    context = _current()
    report = context.analyse(name, _flag("scan", scan), _flag("codecs", codecs))
    _warn_if_undetermined(context)
    return report


def analyse_many(paths, workers=None, scan=True, codecs=True):
    """The reports of many files, in the order given, as an iterator of dicts.

    Up to ``workers`` files are analysed side by side (default: one per core,
    at most four). A file that fails yields its error object and the run goes
    on. Closing the iterator (or dropping it) stops the run.
    """
    if isinstance(paths, (str, bytes, os.PathLike)):
        raise TorvoError("paths must be a collection of file names, not one name")
    try:
        names = [_path(p) for p in paths]
    except TypeError as e:
        raise TorvoError(f"paths must be an iterable of file names: {e}") from None
    if workers is None:
        workers = _default_workers()
    if not isinstance(workers, int) or isinstance(workers, bool) or workers < 1:
        raise TorvoError(f"workers must be a whole number of at least 1, not {workers!r}")
    context = _current()
    run = context.many(names, workers, _flag("scan", scan), _flag("codecs", codecs))
    return _reports(context, run)


def _reports(context, run):
    try:
        while True:
            report = run.next()
            if report is None:
                return
            _warn_if_undetermined(context)
            yield report
    finally:
        run.close()


def codecs():
    """The codec list of this machine (what ``torvo-cli --codecs --json`` lists), as dicts."""
    return _current().codecs()
