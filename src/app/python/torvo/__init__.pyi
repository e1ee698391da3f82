# Type stubs of the torvo package (the functions are in __init__.py; the
# native part is _torvo).
import os
from typing import Any, Callable, Dict, Generator, Iterable, List, Optional, Union

__version__: str

# A file name as the os module takes it; a name given as bytes comes back as
# bytes in the report's "file".
StrOrBytesPath = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]
# One report: the dict of one torvo-cli --json line (torvo-report.schema.json),
# or an error object {"schema", "file", "error": {"code", "message"}}.
Report = Dict[str, Any]

class TorvoError(ValueError): ...
class CodecStatusWarning(RuntimeWarning): ...

def open_database(path: Optional[StrOrBytesPath] = ...) -> str: ...
def analyse(path: StrOrBytesPath, scan: bool = ..., codecs: bool = ...) -> Report: ...
def analyse_many(
    paths: Iterable[StrOrBytesPath],
    workers: Optional[int] = ...,
    scan: bool = ...,
    codecs: bool = ...,
    progress: Optional[Callable[[int, int], object]] = ...,
) -> Generator[Report, None, None]: ...
def codecs() -> List[Dict[str, Any]]: ...
