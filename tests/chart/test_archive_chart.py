"""archive_chart on small known archives: well-formed SVG, one candle per record, geometry
checked against the prices and volumes through the chart's own price labels."""

import os
import pathlib
import random
import struct
import subprocess
import xml.etree.ElementTree as ET

import pytest

SVG = "{http://www.w3.org/2000/svg}"
RECORD = struct.Struct("<dddddii")  # volume, open, high, low, close, date, time
PIXEL = 0.02  # coordinates are written with two decimals


def chart_program():
    program = os.environ.get("ARCHIVE_CHART")
    if not program:
        pytest.skip("ARCHIVE_CHART names the built archive_chart")
    return program


def write_archive(path, intervals):
    slots = [RECORD.pack(0, 0, 0, 0, 0, code, len(c)) for code, c in intervals]
    slots += [RECORD.pack(0, 0, 0, 0, 0, 0, 0)] * (16 - len(slots))
    body = [RECORD.pack(*candle) for _, candles in intervals for candle in candles]
    path.write_bytes(b"".join(slots + body))


def draw(tmp_path, intervals, *args):
    archive = tmp_path / "KNOWN.dat"
    write_archive(archive, intervals)
    out = tmp_path / "chart.svg"
    run = subprocess.run([chart_program(), str(archive), *args, "-o", str(out)],
                         capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    lint = subprocess.run(["xmllint", "--noout", str(out)], capture_output=True, text=True)
    assert lint.returncode == 0, lint.stderr
    return ET.parse(out).getroot()


def classes(element):
    return element.get("class", "").split()


def price_map(root):
    """(a, b) with y = a + b * price, fitted through the price ticks' lines and labels."""
    ticks = [(float(g.find(SVG + "text").text), float(g.find(SVG + "line").get("y1")))
             for g in root.iter(SVG + "g") if "price-tick" in classes(g)]
    assert len(ticks) >= 3
    (p0, y0), (p1, y1) = ticks[0], ticks[-1]
    b = (y1 - y0) / (p1 - p0)
    assert b < 0  # higher prices stand higher
    for p, y in ticks:
        assert abs(y - (y0 + b * (p - p0))) < PIXEL
    return y0 - b * p0, b


def check_candles(root, candles):
    a, b = price_map(root)
    groups = [g for g in root.iter(SVG + "g") if "candle" in classes(g)]
    assert len(groups) == len(candles)
    max_volume = max(c[0] for c in candles)
    volume_bottom = None
    centres = []
    for g, (volume, open_, high, low, close, date, time) in zip(groups, candles):
        bodies = [r for r in g.iter(SVG + "rect") if "body" in classes(r)]
        wicks = [w for w in g.iter(SVG + "line") if "wick" in classes(w)]
        bars = [r for r in g.iter(SVG + "rect") if "volume" in classes(r)]
        assert len(bodies) == len(wicks) == len(bars) == 1
        body, wick, bar = bodies[0], wicks[0], bars[0]
        direction = "up" if close >= open_ else "down"
        assert direction in classes(body)
        assert "%04d-%02d-%02d" % (date // 10000, date // 100 % 100, date % 100) in \
            g.find(SVG + "title").text
        x, y = float(body.get("x")), float(body.get("y"))
        width, height = float(body.get("width")), float(body.get("height"))
        assert abs(y - (a + b * max(open_, close))) < PIXEL
        assert abs(height - max(1.0, -b * abs(close - open_))) < PIXEL
        assert abs(float(wick.get("y1")) - (a + b * high)) < PIXEL
        assert abs(float(wick.get("y2")) - (a + b * low)) < PIXEL
        centre = float(wick.get("x1"))
        assert abs(centre - (x + width / 2)) < PIXEL
        centres.append(centre)
        # Volume bars share one baseline and are as tall as their share of the largest.
        bottom = float(bar.get("y")) + float(bar.get("height"))
        volume_bottom = bottom if volume_bottom is None else volume_bottom
        assert abs(bottom - volume_bottom) < PIXEL
    heights = [float(next(r for r in g.iter(SVG + "rect") if "volume" in classes(r))
                     .get("height")) for g in groups]
    top = max(heights)
    assert top > 10
    for h, c in zip(heights, candles):
        assert abs(h - top * c[0] / max_volume) < 2 * PIXEL
    steps = [b2 - b1 for b1, b2 in zip(centres, centres[1:])]
    assert all(s > 0 and abs(s - steps[0]) < 2 * PIXEL for s in steps)
    return root


DAYS = [
    (1200.0, 100.0, 104.5, 99.0, 103.0, 20240102, 0),
    (800.0, 103.0, 103.5, 97.25, 98.0, 20240103, 0),
    (0.0, 98.0, 98.0, 98.0, 98.0, 20240104, 0),
    (2500.0, 98.0, 110.0, 97.5, 109.75, 20240105, 0),
    (400.0, 109.75, 112.0, 105.0, 106.0, 20240108, 0),
]


def test_day_chart_has_one_body_per_candle_at_its_prices(tmp_path):
    root = draw(tmp_path, [(5, []), (-1, DAYS)], "day")
    check_candles(root, DAYS)
    directions = [classes(r)[1] for r in root.iter(SVG + "rect") if "body" in classes(r)]
    assert directions == ["up", "down", "up", "up", "down"]
    dates = [g.find(SVG + "text").text for g in root.iter(SVG + "g") if "date-tick" in classes(g)]
    assert dates and dates[0] == "2024-01-02"


def test_last_n_takes_the_newest_candles(tmp_path):
    root = draw(tmp_path, [(-1, DAYS)], "DAY", "--last", "3")
    check_candles(root, DAYS[-3:])


@pytest.mark.parametrize("seed", [11, 12, 13])
def test_random_minute_candles(tmp_path, seed):
    rng = random.Random(seed)
    candles, price = [], rng.uniform(0.01, 50000)
    for i in range(rng.randint(1, 400)):
        open_ = price
        price = max(price * rng.uniform(0.97, 1.03), 1e-3)
        high = max(open_, price) * rng.uniform(1, 1.01)
        low = min(open_, price) * rng.uniform(0.99, 1)
        candles.append((rng.uniform(0, 1e6), open_, high, low, price,
                        20240102 + i // 500, 100000 + (i % 50) * 100))
    root = draw(tmp_path, [(1, candles)], "1", "--last", "500")
    check_candles(root, candles)
    labels = [g.find(SVG + "text") for g in root.iter(SVG + "g") if "date-tick" in classes(g)]
    assert 1 <= len(labels) <= 8
    assert all(t.find(SVG + "tspan") is not None for t in labels)  # minute candles: a time


def test_refusals(tmp_path):
    program = chart_program()
    archive = tmp_path / "R.dat"
    write_archive(archive, [(-1, DAYS[:1]), (5, [])])
    for args, message in [((str(archive), "week"), "holds no interval 'week'"),
                          ((str(archive), "5"), "holds no candles"),
                          ((str(archive), "day", "--last", "0"), "usage"),
                          ((str(archive),), "usage")]:
        run = subprocess.run([program, *args], capture_output=True, text=True)
        assert run.returncode == 1 and message in run.stderr, (args, run.stderr)
    broken = tmp_path / "B.dat"
    broken.write_bytes(archive.read_bytes()[:-48])
    run = subprocess.run([program, str(broken), "day"], capture_output=True, text=True)
    assert run.returncode == 1 and "not a sound archive" in run.stderr
