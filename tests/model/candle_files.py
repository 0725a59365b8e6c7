"""Reading and writing the 48-byte candle records of minute files and archive files.

A record is volume, open, high, low, close (little-endian doubles), then date and time
(little-endian signed 32-bit). An archive file starts with 16 slot records: the interval
code in the date field, the candle count in the time field.
"""
import struct

RECORD = struct.Struct("<5d2i")
SLOTS = 16


def encode(records):
    """records: iterable of (volume, open, high, low, close, date, time)."""
    return b"".join(RECORD.pack(*r) for r in records)


def decode(data):
    if len(data) % RECORD.size:
        raise ValueError("size %d is not a multiple of %d" % (len(data), RECORD.size))
    return [RECORD.unpack_from(data, k) for k in range(0, len(data), RECORD.size)]


def write_minutes(path, records):
    with open(path, "wb") as f:
        f.write(encode(records))


def read_minutes(path):
    with open(path, "rb") as f:
        return decode(f.read())


def read_archive(path):
    """Returns {interval code: [candle records]} of an archive file; codes with no
    candles are left out. Raises ValueError when the layout does not add up."""
    records = read_minutes(path)
    if len(records) < SLOTS:
        raise ValueError("%d records, fewer than the %d slots" % (len(records), SLOTS))
    runs = {}
    at = SLOTS
    for slot in records[:SLOTS]:
        code, count = slot[5], slot[6]
        if count < 0 or at + count > len(records):
            raise ValueError("slot count %d does not fit the file" % count)
        if count:
            if code in runs:
                raise ValueError("interval %d held by two slots" % code)
            runs[code] = records[at:at + count]
        at += count
    if at != len(records):
        raise ValueError("%d records, the slots count %d" % (len(records), at))
    return runs
