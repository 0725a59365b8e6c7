"""The findings of Barsync's test action for one archive file, line for line.

A file is damaged when its size is not a whole number of records or exceeds the largest
archive, when a slot counts more than 3000 candles, when a candle is not a usable candle
(the program's rule in archive/usable_candle.h: no date, volume and all four prices zero,
a NaN or infinite value, an impossible date or time, a negative volume, a price not above
zero, a low above the high, an open or close outside low to high), or when its record count
differs from 16 plus the slot counts. Usable candles with zero volume are reported but do
no damage.
"""

import math
import os
from dataclasses import dataclass, field

import numpy as np

from .record import (
    ARCHIVE_BYTES,
    CANDLE_BYTES,
    CANDLE_DTYPE,
    DAY,
    MAX_CANDLES_PER_INTERVAL,
    MONTH,
    SLOT_COUNT,
    VALUE_TOLERANCE,
    WEEK,
    slot_codes,
    slot_counts,
)

_ERRORS = " contains errors: "
_ZERO_VOLUME = " contains zero volume: "
# The test action's own spelling of the month interval.
_FINDING_NAMES = {DAY: "day", WEEK: "week", MONTH: "mounth"}


@dataclass
class Findings:
    lines: list = field(default_factory=list)  # in the order found
    corrupted: bool = False  # the file is damaged
    zero_volume: bool = False  # at least one zero-volume candle


def _whole(value):
    # Truncated toward zero and written in plain decimal, as the test action does.
    value = float(value)
    if math.isfinite(value):
        value = math.copysign(float(math.trunc(value)), value)
    return "%.0f" % value


def _record_place(codes, counts, record):
    k = record - SLOT_COUNT
    for code, count in zip(codes, counts):
        if k - count < 0:
            return "Interval='%s' (index=%d" % (_FINDING_NAMES.get(code, str(code)), k)
        k -= count
    return "Interval='' (index=%d" % k


# The faults of the usable-candle rule, in the order the program checks them, with the
# reason its lines append (none for the two long-standing ones).
_FAULTS = (
    ("no date", None),
    ("all zero", None),
    ("not finite", "a value is not a finite number"),
    ("date", "the date is not a real date"),
    ("time", "the time is not a real time of day"),
    ("volume", "the volume is negative"),
    ("price", "a price is zero or negative"),
    ("low high", "the low is above the high"),
    ("open", "the open lies outside low to high"),
    ("close", "the close lies outside low to high"),
)
_PRICES = ("open", "high", "low", "close")


def _real_dates(dates):
    dates = dates.astype(np.int64)
    year, month, day = dates // 10000, (dates // 100) % 100, dates % 100
    leap = ((year % 4 == 0) & (year % 100 != 0)) | (year % 400 == 0)
    lengths = np.array([0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31])
    month_days = lengths[np.clip(month, 0, 12)] + ((month == 2) & leap)
    return ((dates > 0) & (year >= 1) & (year <= 9999) & (month >= 1) & (month <= 12)
            & (day >= 1) & (day <= month_days))


def _real_times(times):
    times = times.astype(np.int64)
    return ((times >= 0) & (times // 10000 <= 23) & ((times // 100) % 100 <= 59)
            & (times % 100 <= 59))


def _candle_faults(candles):
    """Index into _FAULTS + 1 of each candle's first fault, 0 for a usable candle."""
    tol = VALUE_TOLERANCE
    names = ("volume",) + _PRICES
    with np.errstate(invalid="ignore"):
        values = {name: candles[name].astype(float) for name in names}
        low, high = values["low"], values["high"]
        checks = [
            candles["date"] == 0,
            np.logical_and.reduce([np.abs(values[n]) <= tol for n in names]),
            ~np.logical_and.reduce([np.isfinite(values[n]) for n in names]),
            ~_real_dates(candles["date"]),
            ~_real_times(candles["time"]),
            values["volume"] < -tol,
            np.logical_or.reduce([values[n] <= tol for n in _PRICES]),
            ~(low <= high + tol),
            ~((low <= values["open"] + tol) & (values["open"] <= high + tol)),
            ~((low <= values["close"] + tol) & (values["close"] <= high + tol)),
        ]
    faults = np.zeros(len(candles), dtype=int)
    for number, check in reversed(list(enumerate(checks, start=1))):
        faults[check] = number
    return faults


def _record_line(path_text, kind, codes, counts, records, record, fault=0):
    c = records[record]
    reason = _FAULTS[fault - 1][1] if fault else None
    return (
        "Archive file %s%s%s, internal index=%d), Date=%d, Open=%s, High=%s, Low=%s, "
        "Close=%s, Volume=%s%s"
        % (
            path_text,
            kind,
            _record_place(codes, counts, record),
            record,
            int(c["date"]),
            _whole(c["open"]),
            _whole(c["high"]),
            _whole(c["low"]),
            _whole(c["close"]),
            _whole(c["volume"]),
            " (not a usable candle: %s)" % reason if reason else "",
        )
    )


def _size_problem(size):
    if size > ARCHIVE_BYTES:
        return "Invalid file size %d, above %d bytes" % (size, ARCHIVE_BYTES)
    if size % CANDLE_BYTES:
        return "Invalid file size %d" % size
    return ""


def _slot_records(records):
    # A file shorter than its slot table reads as if the rest of the table were zero.
    slots = np.zeros(SLOT_COUNT, dtype=CANDLE_DTYPE)
    present = min(len(records), SLOT_COUNT)
    slots[:present] = records[:present]
    return slots


def findings_of_records(path_text, records, interval_keys=()):
    """Findings for the records of an archive file (an array of CANDLE_DTYPE).

    interval_keys: the keys of the [Intervals] settings section, as written there; the
    "Invalid candle count" line names the slot at position k by the k-th of them in the
    program's order (upper-cased, then sorted bytewise), or '' when there are fewer.
    """
    found = Findings()
    slots = _slot_records(records)
    codes, counts = slot_codes(slots), slot_counts(slots)
    # The program upper-cases settings keys (ASCII letters only) and sorts them bytewise.
    keys = sorted(key.encode("utf-8", "surrogateescape").upper() for key in interval_keys)
    keys = [key.decode("utf-8", "surrogateescape") for key in keys]
    for slot, count in enumerate(counts):
        if count > MAX_CANDLES_PER_INTERVAL:
            key = keys[slot] if slot < len(keys) else ""
            signed = count - (1 << 32) if count >= (1 << 31) else count
            found.lines.append(
                "Archive file %s%sInvalid candle count %d in interval '%s'"
                % (path_text, _ERRORS, signed, key)
            )
            found.corrupted = True
    if found.corrupted:
        return found
    candles = records[SLOT_COUNT:]
    volume_zero = np.abs(candles["volume"]) <= VALUE_TOLERANCE
    faults = _candle_faults(candles)
    errors = faults > 0
    first_error = int(np.argmax(errors)) if errors.any() else len(candles)
    for index in np.flatnonzero(volume_zero[:first_error]):
        found.lines.append(
            _record_line(path_text, _ZERO_VOLUME, codes, counts, records, int(SLOT_COUNT + index))
        )
        found.zero_volume = True
    if first_error < len(candles):
        record = SLOT_COUNT + first_error
        found.lines.append(_record_line(path_text, _ERRORS, codes, counts, records, record,
                                        int(faults[first_error])))
        found.corrupted = True
        return found
    expected = SLOT_COUNT + sum(counts)
    if len(records) != expected:
        found.lines.append(
            "Archive file %s%sInvalid record count %d, the intervals hold %d"
            % (path_text, _ERRORS, len(records), expected)
        )
        found.corrupted = True
    return found


def read_records(path):
    """Every record of a candle file as an array of CANDLE_DTYPE (size checked first).

    Returns (records, size_problem): size_problem is the test action's text for a file
    that cannot be an archive (records is then None), else "".
    """
    problem = _size_problem(os.path.getsize(path))
    if problem:
        return None, problem
    return np.fromfile(path, dtype=CANDLE_DTYPE), ""


def test_archive(path, interval_keys=()):
    """The test action's findings for the archive file at path (nothing is changed)."""
    path_text = os.fspath(path)
    records, problem = read_records(path)
    if problem:
        return Findings([f"Archive file {path_text}{_ERRORS}{problem}"], corrupted=True)
    return findings_of_records(path_text, records, interval_keys)


# pytest must not take this for a test of its own.
test_archive.__test__ = False
