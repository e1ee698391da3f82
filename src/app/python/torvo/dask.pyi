# Type stubs of torvo.dask. Debian's pandas carries no type information:
# its types are Any there, and real types where it does.
from typing import Any, Dict, Iterable, Union

from dask.bag.core import Bag
from pandas import CategoricalDtype  # type: ignore[import]

from . import Report, StrOrBytesPath

STREAM_COLUMNS: Dict[str, Union[str, CategoricalDtype]]

def analyse_bag(
    paths: Iterable[StrOrBytesPath],
    partition_size: int = ...,
    scan: bool = ...,
    codecs: bool = ...,
    workers: int = ...,
) -> Bag: ...

# A dask DataFrame for a bag, a pandas DataFrame for reports in hand
# (pandas' types are Any where pandas carries none, so one signature).
def streams_frame(reports: Union[Bag, Iterable[Report]]) -> Any: ...
