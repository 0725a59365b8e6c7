"""Writes archive files record by record with struct, independently of barsync_archive."""

import struct

RECORD = struct.Struct("<dddddii")  # volume, open, high, low, close, date, time
SLOTS = 16


def record_bytes(volume=0.0, open_=0.0, high=0.0, low=0.0, close=0.0, date=0, time=0):
    return RECORD.pack(volume, open_, high, low, close, date, time)


def archive_bytes(intervals):
    """intervals: [(code, [(volume, open, high, low, close, date, time), ...]), ...] in
    slot order (at most 16); the remaining slots are unused."""
    slots = [record_bytes(date=code, time=len(candles)) for code, candles in intervals]
    slots += [record_bytes()] * (SLOTS - len(slots))
    body = [RECORD.pack(*candle) for _, candles in intervals for candle in candles]
    return b"".join(slots + body)


def write_archive(path, intervals):
    path.write_bytes(archive_bytes(intervals))
    return path


def set_field(data, record, field, value):
    """data with one field of one record replaced (field: a name of the record)."""
    names = ["volume", "open", "high", "low", "close", "date", "time"]
    values = list(RECORD.unpack_from(data, record * RECORD.size))
    values[names.index(field)] = value
    return data[: record * RECORD.size] + RECORD.pack(*values) + data[(record + 1) * RECORD.size :]
