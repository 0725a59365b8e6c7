"""The findings of Barsync's test action for one archive file, line for line.

A file is damaged when its size is not a whole number of records or exceeds the largest
archive, when a slot counts more than 3000 candles, when a candle has no date or has
volume and all four prices zero, or when its record count differs from 16 plus the slot
counts. Candles with a date, zero volume and a price are reported but do no damage.
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


def _record_line(path_text, kind, codes, counts, records, record):
    c = records[record]
    return (
        "Archive file %s%s%s, internal index=%d), Date=%d, Open=%s, High=%s, Low=%s, "
        "Close=%s, Volume=%s"
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
    prices_zero = np.ones(len(candles), dtype=bool)
    for name in ("open", "high", "low", "close"):
        prices_zero &= np.abs(candles[name]) <= VALUE_TOLERANCE
    volume_zero = np.abs(candles["volume"]) <= VALUE_TOLERANCE
    errors = (candles["date"] == 0) | (prices_zero & volume_zero)
    first_error = int(np.argmax(errors)) if errors.any() else len(candles)
    for index in np.flatnonzero(volume_zero[:first_error]):
        found.lines.append(
            _record_line(path_text, _ZERO_VOLUME, codes, counts, records, int(SLOT_COUNT + index))
        )
        found.zero_volume = True
    if first_error < len(candles):
        record = SLOT_COUNT + first_error
        found.lines.append(_record_line(path_text, _ERRORS, codes, counts, records, record))
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
