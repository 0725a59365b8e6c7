"""An archive file as one pandas DataFrame per interval."""

import os

import numpy as np
import pandas as pd

from .findings import findings_of_records, read_records
from .record import NO_INTERVAL, SLOT_COUNT, interval_code, interval_name, slot_codes, slot_counts

COLUMNS = ["open", "high", "low", "close", "volume"]


class DamagedArchiveError(ValueError):
    """An archive file that Barsync's test action reports as damaged.

    findings: the lines the test action writes for the file, in order.
    """

    def __init__(self, path, findings):
        self.path = path
        self.findings = list(findings)
        super().__init__("\n".join(self.findings))


def _datetimes(path, name, candles):
    date = candles["date"].astype(np.int64)
    time = candles["time"].astype(np.int64)
    parts = {
        "year": date // 10000,
        "month": date // 100 % 100,
        "day": date % 100,
        "hour": time // 10000,
        "minute": time // 100 % 100,
        "second": time % 100,
    }
    try:
        index = pd.to_datetime(pd.DataFrame(parts))
    except (ValueError, OverflowError) as error:
        raise ValueError(f"{os.fspath(path)}: interval '{name}' holds an impossible date or "
                         f"time ({error})") from None
    return pd.DatetimeIndex(index, name="datetime")


def _frame(path, name, candles):
    data = {column: candles[column].astype(np.float64) for column in COLUMNS}
    return pd.DataFrame(data, index=_datetimes(path, name, candles), columns=COLUMNS)


def sound_records(path, interval_keys=()):
    """The records of a sound archive file; DamagedArchiveError for a damaged one."""
    path_text = os.fspath(path)
    records, problem = read_records(path)
    if problem:
        raise DamagedArchiveError(path_text, [f"Archive file {path_text} contains errors: {problem}"])
    found = findings_of_records(path_text, records, interval_keys)
    if found.corrupted:
        raise DamagedArchiveError(path_text, found.lines)
    return records


def read_archive(path, interval_keys=()):
    """{interval name: DataFrame} of an archive file, in slot order.

    Names are the program's ("1", "5", "60", "day", "week", "month"); each frame has the
    columns open, high, low, close, volume and a DatetimeIndex named "datetime" (the
    candle's date and time; midnight for day, week and month candles). Unused slots are
    left out; when two slots hold the same code the first one counts. A damaged file
    raises DamagedArchiveError with the test action's findings; interval_keys (the keys of
    the [Intervals] settings section) name slots in its "Invalid candle count" line.
    """
    records = sound_records(path, interval_keys)
    frames = {}
    first = SLOT_COUNT
    for code, count in zip(slot_codes(records), slot_counts(records)):
        candles = records[first : first + count]
        first += count
        name = interval_name(code)
        if (code == NO_INTERVAL and count == 0) or name in frames:
            continue
        frames[name] = _frame(path, name, candles)
    return frames


def read_interval(path, interval, interval_keys=()):
    """The DataFrame of one interval, given by name or code ("day", "mounth", 5, -1)."""
    wanted = interval_name(interval_code(interval))
    frames = read_archive(path, interval_keys)
    if wanted not in frames:
        raise KeyError(f"{os.fspath(path)} holds no interval '{wanted}'")
    return frames[wanted]
