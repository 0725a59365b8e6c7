"""Damaged archives are refused with the very lines Barsync's test action writes."""

import datetime
import random

import pytest

import barsync_archive
from archive_writer import archive_bytes, record_bytes, set_field

INI = "[Intervals]\n60=3000\n1=3000\nday=3000\n5=3000\n"
KEYS = ["60", "1", "day", "5"]


def candles(n, volume=10.0):
    first = datetime.date(2024, 1, 5)
    return [(volume, 100.5, 101.25, 99.75, 100.0,
             int((first + datetime.timedelta(days=i)).strftime("%Y%m%d")), 0) for i in range(n)]


def sound():
    return archive_bytes([(1, candles(3)), (-3, candles(2)), (-1, candles(4))])


def hand_picked():
    """name: (bytes, damaged?)"""
    data = sound()
    cases = {
        "sound": (data, False),
        "count_3001_twice": (set_field(set_field(data, 1, "time", 3001), 3, "time", 3001), True),
        "count_negative": (set_field(data, 0, "time", -1), True),
        "count_3000_short": (set_field(data, 0, "time", 3000), True),
        "date_zero": (set_field(data, 18, "date", 0), True),
        "all_values_zero": (archive_bytes([(-3, [(0.0, 0.0, 0.0, 0.0, 0.0, 20240101, 0)])]), True),
        "zero_volume_then_error": (set_field(set_field(set_field(data, 16, "volume", 0.0), 20,
                                                       "volume", 0.0), 21, "date", 0), True),
        "zero_volume_only": (set_field(set_field(data, 17, "volume", 1e-9), 23, "volume", 0.0),
                             False),
        "prices_zero_with_volume": (archive_bytes([(-2, [(7.0, 0, 0, 0, 0, 20240107, 0)])]),
                                    True),
        "close_nan": (set_field(data, 17, "close", float("nan")), True),
        "volume_infinite": (set_field(data, 18, "volume", float("inf")), True),
        "week_dated_far_back": (set_field(data, 19, "date", -2147483647), True),
        "day_near_int_max": (set_field(data, 20, "date", 2147483646), True),
        "february_30": (set_field(data, 20, "date", 20240230), True),
        "time_246000": (set_field(data, 21, "time", 246000), True),
        "volume_negative": (set_field(data, 22, "volume", -3.0), True),
        "low_above_high": (set_field(data, 23, "low", 102.0), True),
        "open_above_high": (set_field(data, 16, "open", 101.5), True),
        "close_below_low": (set_field(data, 17, "close", 99.0), True),
        "open_at_high_within_tolerance": (set_field(data, 16, "open", 101.25 + 5e-9), False),
        "truncated": (data[:-48], True),
        "trailing_record": (data + record_bytes(1, 1, 1, 1, 1, 20240301, 0), True),
        "odd_size": (data + b"\0", True),
        "shorter_than_slots": (data[: 5 * 48], True),
        "empty": (b"", True),
        "beyond_largest": (data + b"\0" * (48016 * 48), True),
        "huge_values": (set_field(set_field(data, 19, "close", -1e300), 19, "date", 0), True),
    }
    return cases


def damaged_at_random(rng):
    """A random sound archive with one random damage (or none)."""
    intervals = [(code, candles(rng.randint(0, 30), volume=rng.choice([0.0, 5.0, 3.5])))
                 for code in rng.sample([1, 5, 60, -1, -2, -3], rng.randint(1, 6))]
    data = archive_bytes(intervals)
    records = len(data) // 48
    kind = rng.choice(["none", "count", "date", "zero", "cut", "grow", "value"])
    if kind == "count":
        data = set_field(data, rng.randrange(16), "time", rng.choice([3001, -5, 2**31 - 1]))
    elif kind == "date" and records > 16:
        data = set_field(data, rng.randrange(16, records), "date", 0)
    elif kind == "zero" and records > 16:
        r = rng.randrange(16, records)
        for name in ("volume", "open", "high", "low", "close"):
            data = set_field(data, r, name, rng.choice([0.0, 1e-9, -1e-9]))
    elif kind == "value" and records > 16:
        r = rng.randrange(16, records)
        name = rng.choice(["volume", "open", "high", "low", "close", "date", "time"])
        if name in ("date", "time"):
            value = rng.choice([-1, 2**31 - 1, -2**31, 20231131, 240000, 20240105])
        else:
            value = rng.choice([-1.0, 0.0, 99.0, 102.0, float("inf"), float("nan"), 100.5])
        data = set_field(data, r, name, value)
    elif kind == "cut":
        data = data[: rng.randrange(len(data))]
    elif kind == "grow":
        data += record_bytes(2, 2, 2, 2, 2, 20250101, 0) * rng.randint(1, 3)
    return data


def check_against_test_action(programs, tmp_path, files, ini=INI, keys=KEYS):
    """Writes files (name: bytes) into a class folder, runs the test action over it and
    compares its lines, file by file, with test_archive and read_archive."""
    folder = tmp_path / "archive" / "CLS"
    folder.mkdir(parents=True)
    for name, data in files.items():
        (folder / name).write_bytes(data)
    lines = programs.test_action_lines(tmp_path / "bin", tmp_path / "archive", ini)
    for name in files:
        path = folder / name
        expected = [line for line in lines if line.startswith(f"Archive file {path} ")]
        found = barsync_archive.test_archive(path, keys)
        assert found.lines == expected, name
        corrupted = any(" contains errors: " in line for line in expected)
        assert found.corrupted == corrupted, name
        if corrupted:
            with pytest.raises(barsync_archive.DamagedArchiveError) as refused:
                barsync_archive.read_archive(path, keys)
            assert refused.value.findings == expected, name
        else:
            barsync_archive.read_archive(path, keys)
    return lines


def test_hand_picked_damage_matches_test_action(programs, tmp_path):
    cases = hand_picked()
    lines = check_against_test_action(programs, tmp_path,
                                      {name: data for name, (data, _) in cases.items()})
    folder = tmp_path / "archive" / "CLS"
    for name, (_, damaged) in cases.items():
        assert barsync_archive.test_archive(folder / name, KEYS).corrupted == damaged, name
    assert any("Invalid candle count 3001 in interval '5'" in line for line in lines)
    assert any("Interval='mounth'" in line for line in lines)


@pytest.mark.parametrize("seed", range(100, 106))
def test_random_damage_matches_test_action(programs, tmp_path, seed):
    rng = random.Random(seed)
    files = {f"S{i}.dat": damaged_at_random(rng) for i in range(12)}
    check_against_test_action(programs, tmp_path, files)


def test_slot_names_without_settings(programs, tmp_path):
    data = set_field(sound(), 2, "time", 4000)
    check_against_test_action(programs, tmp_path, {"A.dat": data}, ini="", keys=())
    found = barsync_archive.test_archive(tmp_path / "archive" / "CLS" / "A.dat")
    assert found.lines[0].endswith("Invalid candle count 4000 in interval ''")
