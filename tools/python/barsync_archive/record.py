"""The 48-byte candle record and the sizes of an instrument archive file.

An archive file is 16 interval slots followed by the candles of each slot's interval in
slot order. A slot is a record whose date field holds the interval code and whose time
field holds the number of candles; its other fields are zero.
"""

import numpy as np

# volume, open, high, low, close as little-endian doubles, then date (YYYYMMDD) and time
# (HHMMSS) as little-endian signed 32-bit integers; no padding.
CANDLE_DTYPE = np.dtype(
    [
        ("volume", "<f8"),
        ("open", "<f8"),
        ("high", "<f8"),
        ("low", "<f8"),
        ("close", "<f8"),
        ("date", "<i4"),
        ("time", "<i4"),
    ]
)
CANDLE_BYTES = 48
assert CANDLE_DTYPE.itemsize == CANDLE_BYTES

SLOT_COUNT = 16
MAX_CANDLES_PER_INTERVAL = 3000
ARCHIVE_RECORDS = SLOT_COUNT + SLOT_COUNT * MAX_CANDLES_PER_INTERVAL
ARCHIVE_BYTES = ARCHIVE_RECORDS * CANDLE_BYTES

DAY = -1
WEEK = -2
MONTH = -3
NO_INTERVAL = 0

# Two prices or volumes are equal when they differ by at most this much.
VALUE_TOLERANCE = 1e-8

_CALENDAR_NAMES = {DAY: "day", WEEK: "week", MONTH: "month"}
_CALENDAR_CODES = {"day": DAY, "week": WEEK, "month": MONTH, "mounth": MONTH}


def interval_name(code):
    """The program's name of an interval code: "day", "week", "month" or the minutes."""
    return _CALENDAR_NAMES.get(int(code), str(int(code)))


def interval_code(name):
    """The code of an interval name or code ("day", "Month", "mounth", "5", -1, 60)."""
    if isinstance(name, (int, np.integer)):
        return int(name)
    text = str(name).strip()
    code = _CALENDAR_CODES.get(text.lower())
    return code if code is not None else int(text)


def slot_codes(records):
    """The 16 interval codes of an archive's slot records."""
    return [int(code) for code in records["date"][:SLOT_COUNT]]


def slot_counts(records):
    """The 16 candle counts of an archive's slot records, read as unsigned numbers."""
    return [int(count) & 0xFFFFFFFF for count in records["time"][:SLOT_COUNT]]
