"""Barsync archive files in pandas.

    import barsync_archive
    frames = barsync_archive.read_archive("archive/TQBR/SBER.dat")
    frames["day"]          # DataFrame: open, high, low, close, volume by datetime

A damaged file raises DamagedArchiveError carrying the lines Barsync's test action
writes for it; test_archive(path) gives those findings without raising.
"""

from .findings import Findings, test_archive
from .frames import COLUMNS, DamagedArchiveError, read_archive, read_interval
from .record import CANDLE_DTYPE, interval_code, interval_name

__all__ = [
    "CANDLE_DTYPE",
    "COLUMNS",
    "DamagedArchiveError",
    "Findings",
    "interval_code",
    "interval_name",
    "read_archive",
    "read_interval",
    "test_archive",
]
