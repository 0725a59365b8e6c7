"""Archives read into DataFrames equal what archive_csv prints for the same files."""

import datetime
import random

import numpy as np
import pandas as pd
import pytest

import barsync_archive
from archive_writer import write_archive

CALENDAR = {"day": -1, "week": -2, "month": -3}


def csv_of_frames(frames):
    """archive_csv's candle lines, made from the frames."""
    lines = ["interval,index,date,time,open,high,low,close,volume"]
    for name, frame in frames.items():
        code = CALENDAR.get(name, None)
        code = int(name) if code is None else code
        for i, (when, row) in enumerate(frame.iterrows()):
            values = ",".join("%.10g" % row[c] for c in ("open", "high", "low", "close", "volume"))
            lines.append("%d,%d,%s,%s,%s" % (code, i, when.strftime("%Y%m%d"),
                                             when.strftime("%H%M%S"), values))
    return lines


def candle_lines(csv_text):
    lines = csv_text.splitlines()
    return lines[lines.index("interval,index,date,time,open,high,low,close,volume"):]


def slot_codes(csv_text):
    lines = csv_text.splitlines()
    return [int(line.split(",")[1]) for line in lines[1:17]]


def test_sample_tree_frames_equal_archive_csv(sample_tree, programs):
    archives = sorted(sample_tree.rglob("*.dat"))
    assert len(archives) >= 5
    for archive in archives:
        frames = barsync_archive.read_archive(archive)
        text = programs.csv(archive)
        assert candle_lines(text) == csv_of_frames(frames), archive
        names = [barsync_archive.interval_name(code) for code in slot_codes(text) if code]
        assert list(frames) == names
        for frame in frames.values():
            assert list(frame.columns) == ["open", "high", "low", "close", "volume"]
            assert isinstance(frame.index, pd.DatetimeIndex)
            assert frame.index.is_monotonic_increasing and frame.index.is_unique


def test_sample_day_interval_of_sber(sample_tree, programs):
    archive = sample_tree / "TQBR" / "SBER.dat"
    day = barsync_archive.read_interval(archive, "day")
    assert barsync_archive.read_interval(archive, -1).equals(day)
    rows = programs.csv(archive, -1).splitlines()[1:]
    assert len(day) == len(rows) == 10
    assert all(t == datetime.time(0) for t in day.index.time)
    week = barsync_archive.read_interval(archive, "week")
    # A week candle starts on the Sunday on or before its days.
    assert all(d.weekday() == 6 for d in week.index)
    month = barsync_archive.read_interval(archive, "MOUNTH")
    assert list(month.index.day) == [1] * len(month)
    with pytest.raises(KeyError):
        barsync_archive.read_interval(archive, 7)


def random_candle(rng, date, time):
    magnitude = 10 ** rng.randint(-3, 6)
    low = rng.uniform(0.5, 1) * magnitude
    high = low * rng.uniform(1, 1.2)
    return (rng.choice([0.0, rng.uniform(1, 1e7)]), rng.uniform(low, high), high, low,
            rng.uniform(low, high), date, time)


def random_intervals(rng):
    codes = rng.sample([1, 2, 5, 15, 60, 120, -1, -2, -3], rng.randint(1, 9))
    intervals = []
    start = datetime.date(1990, 1, 1) + datetime.timedelta(days=rng.randint(0, 12000))
    for code in codes:
        count = rng.choice([0, 1, rng.randint(2, 60), 3000 if rng.random() < 0.05 else 7])
        moments = sorted(rng.sample(range(count * 4 + 10), count))
        candles = []
        for m in moments:
            day = start + datetime.timedelta(days=m // 4)
            time = 0 if code < 0 else (10 + m % 4) * 10000 + rng.randint(0, 59) * 100
            candles.append(random_candle(rng, int(day.strftime("%Y%m%d")), time))
        intervals.append((code, candles))
    return intervals


@pytest.mark.parametrize("seed", range(1, 13))
def test_random_archives_read_exactly(seed, tmp_path, programs):
    rng = random.Random(seed)
    intervals = random_intervals(rng)
    archive = write_archive(tmp_path / "X.dat", intervals)
    frames = barsync_archive.read_archive(archive)
    assert list(frames) == [barsync_archive.interval_name(code) for code, _ in intervals]
    for code, candles in intervals:
        frame = frames[barsync_archive.interval_name(code)]
        expected = np.array([c[:5] for c in candles], dtype=float).reshape(-1, 5)
        assert np.array_equal(frame[["volume", "open", "high", "low", "close"]].to_numpy(),
                              expected), f"seed {seed} interval {code}"
        when = [datetime.datetime.strptime("%08d%06d" % (c[5], c[6]), "%Y%m%d%H%M%S")
                for c in candles]
        assert list(frame.index.to_pydatetime()) == when, f"seed {seed} interval {code}"
    assert candle_lines(programs.csv(archive)) == csv_of_frames(frames), f"seed {seed}"


def test_repeated_and_unused_slots(tmp_path):
    one = [(5.0, 1.0, 2.0, 0.5, 1.5, 20240102, 100000)]
    two = [(6.0, 1.0, 2.0, 0.5, 1.5, 20240103, 100000)]
    archive = write_archive(tmp_path / "R.dat", [(0, []), (5, one), (5, two)])
    frames = barsync_archive.read_archive(archive)
    assert list(frames) == ["5"]
    assert frames["5"]["volume"].tolist() == [5.0]


def test_impossible_date_is_refused_as_damage(tmp_path):
    # The program refuses a stored impossible date as damage, and so does the reader.
    archive = write_archive(tmp_path / "B.dat",
                            [(-1, [(5.0, 1.0, 2.0, 0.5, 1.5, 20240231, 0)])])
    with pytest.raises(barsync_archive.DamagedArchiveError,
                       match=r"Interval='day' .*Date=20240231.*the date is not a real date"):
        barsync_archive.read_archive(archive)
