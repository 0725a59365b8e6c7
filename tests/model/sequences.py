"""Random settings, minute export trees and action sequences for the model test.

Everything is drawn from one random.Random(seed), so a seed always gives the same
settings, the same minute files and the same actions.
"""
import datetime
import math

from reference import DAY, WEEK, MONTH, next_date

MINUTE_SETS = [
    [1, 5, 60],
    [1, 2, 3, 4, 5, 6, 10, 12, 15, 20, 30, 60, 120],
    [7, 90, 1441],
    [1, 7, 45, 90, 1441],
    [2, 15, 240],
    [1, 1440],
    [3, 30, 180, 1439],
]
ALL_SIXTEEN = ["1", "2", "3", "4", "5", "6", "10", "12", "15", "20", "30", "60", "120",
               "DAY", "WEEK", "MONTH"]
CALENDAR_SETS = [["DAY"], ["WEEK"], ["MONTH"], ["WEEK", "MONTH"], ["DAY", "WEEK", "MONTH"],
                 ["DAY", "MONTH"]]

# (old lot, new lot): lots whose volume division is exact for volumes that are multiples
# of the granularity the generator keeps track of.
LOT_PAIRS = [(1, 10), (10, 1), (1, 2), (2, 1), (1, 5), (5, 1), (100, 1), (1, 100)]
PRICE_CHANGES = [(10.0, 2), (0.1, 2), (2.0, 2), (0.5, 2), (4.0, 2), (10.0, 4)]
BAD_KINDS = ["zero", "nan", "inf", "negative", "badtime"]


def code_of(key):
    k = key.upper()
    if k == "DAY":
        return DAY
    if k == "WEEK":
        return WEEK
    if k in ("MONTH", "MOUNTH"):
        return MONTH
    return int(k)


def lot_divisor(old, new):
    dd = 10
    while (dd * new) // old < 1:
        dd *= 10
    return float(dd * new) / old / dd


class Settings:
    def __init__(self, rng, long_history):
        self.long_history = long_history
        kind = rng.choice(["calendar", "minute", "odd", "all16", "mixed", "mixed"])
        if long_history:
            kind = rng.choice(["long_day", "long_minute"])
        if kind == "calendar":
            keys = list(rng.choice(CALENDAR_SETS))
        elif kind == "minute":
            keys = [str(n) for n in rng.choice(MINUTE_SETS)]
        elif kind == "odd":
            keys = ["7", "90", "1441"] + rng.sample(["DAY", "WEEK", "MONTH"], rng.randint(0, 3))
        elif kind == "all16":
            keys = list(ALL_SIXTEEN)
        elif kind == "long_day":
            keys = ["DAY", "WEEK", "MONTH"] + rng.sample(["1", "60", "1441"], rng.randint(0, 2))
        elif kind == "long_minute":
            keys = ["1", "5", "DAY", "WEEK"]
        else:
            keys = [str(n) for n in rng.sample([1, 2, 5, 7, 15, 60, 90, 120, 1441], 3)]
            keys += rng.sample(["DAY", "WEEK", "MONTH"], rng.randint(1, 3))
        if "MONTH" in keys and rng.random() < 0.3:
            keys[keys.index("MONTH")] = "mounth"
        rng.shuffle(keys)
        self.interval_keys = keys
        self.codes = sorted({code_of(k) for k in keys})
        self.session_start_hour = rng.choice([None, None, None, 8, 10])
        self.securities = []  # (class, code, session kind)
        self.windows = {}     # class -> (begin, end) or absent
        classes = ["TQBR", "FUTN", "CETS"][:rng.randint(1, 3)]
        for cls in classes:
            window = rng.choice(["none", "day", "night"])
            if window == "day":
                self.windows[cls] = (rng.choice([93000, 100000]), rng.choice([184500, 174500]))
            elif window == "night":
                self.windows[cls] = (190000, rng.choice([20000, 13000]))
            for k in range(rng.randint(1, 2)):
                session = rng.choice(["day", "night", "evening"])
                if long_history:
                    session = rng.choice(["short", "short_night"])
                self.securities.append((cls, "S%s%d" % (cls[0], k), session))

    def ini_text(self, lot_entry=None, price_entry=None):
        lines = ["[General]", "DebugLevel=1"]
        if self.session_start_hour is not None:
            lines.append("Session_Start_Hour=%d" % self.session_start_hour)
        lines += ["", "[Intervals]"] + ["%s=3000" % k for k in self.interval_keys]
        for n, (cls, window) in enumerate(sorted(self.windows.items())):
            lines += ["", "[TimeSettings_W%d]" % n,
                      "TimeBegin=%s" % clock(window[0]), "TimeEnd=%s" % clock(window[1]),
                      "Classes=%s" % cls]
        if lot_entry:
            lines += ["", "[ChangeLot]", "1=%s" % lot_entry]
        if price_entry:
            lines += ["", "[ChangePrice]", "1=%s" % price_entry]
        return "\n".join(lines) + "\n"

    def describe(self):
        return ("intervals %s; windows %s; session start %s; securities %s" %
                (",".join(self.interval_keys),
                 {c: (clock(w[0]), clock(w[1])) for c, w in self.windows.items()} or "none",
                 self.session_start_hour, ["%s/%s(%s)" % s for s in self.securities]))

    def session_start(self):
        return 0 if self.session_start_hour is None else self.session_start_hour * 10000


def clock(t):
    return "%02d:%02d:%02d" % (t // 10000, t // 100 % 100, t % 100)


def hhmm(minute):
    return minute // 60 * 10000 + minute % 60 * 100


def trading_days(rng, count):
    d = datetime.date(rng.choice([2019, 2023, 2024, 2025]), rng.randint(1, 12), rng.randint(1, 28))
    if count > 1000:
        d = datetime.date(2005, 1, 3)
    out = []
    while len(out) < count:
        if d.weekday() < 5:
            out.append(d.year * 10000 + d.month * 100 + d.day)
        d += datetime.timedelta(days=1)
    return out


class MinuteMaker:
    """Realistic minutes: a random walk of prices in cents, lot-sized volumes, gaps."""

    def __init__(self, rng):
        self.rng = rng
        self.price = {}

    def span(self, session):
        r = self.rng
        if session == "day":
            return r.randint(7 * 60, 10 * 60), r.randint(17 * 60, 23 * 60 + 49)
        if session == "night":
            return r.randint(9 * 60, 10 * 60), 1440 + r.randint(30, 2 * 60 + 59)
        if session == "evening":
            return r.randint(18 * 60, 19 * 60), 1440 + r.randint(0, 90)
        if session == "short":
            first = r.randint(10 * 60, 17 * 60)
            return first, first + r.randint(0, 3)
        first = r.randint(22 * 60, 23 * 60 + 57)  # short_night: a few minutes past midnight
        return first, 1440 + r.randint(0, 5)

    def day(self, security, date, span=None, granularity=100):
        r = self.rng
        first, last = span or self.span(security[2])
        price = self.price.setdefault(security[:2], r.randint(1000, 900000))
        out = []
        gap_rate = r.choice([0.02, 0.1, 0.3])
        for m in range(first, last + 1):
            if m not in (first, last) and r.random() < gap_rate:
                continue
            step = max(1, price // 2000)
            o = price
            c = max(100, o + r.randint(-step, step))
            h = max(o, c) + r.randint(0, step)
            lo = max(100, min(o, c) - r.randint(0, step))
            rdate = next_date(date) if m >= 1440 else date
            vol = granularity * r.randint(1, 500)
            out.append((float(vol), o / 100.0, h / 100.0, lo / 100.0, c / 100.0, rdate,
                        hhmm(m % 1440)))
            price = c
        self.price[security[:2]] = price
        return out


def plant_bad(rng, records):
    """Replaces one minute in the middle of a day by a bad one; returns the kind."""
    places = [k for k in range(2, len(records) - 2) if 100000 <= records[k][6] <= 170000]
    if not places:
        return None
    k = rng.choice(places)
    vol, o, h, lo, c, d, t = records[k]
    kind = rng.choice(BAD_KINDS)
    if kind == "zero":
        records[k] = (0.0, 0.0, 0.0, 0.0, 0.0, d, t)
    elif kind == "nan":
        records[k] = (vol, o, h, lo, math.nan, d, t)
    elif kind == "inf":
        records[k] = (vol, o, math.inf, lo, c, d, t)
    elif kind == "negative":
        records[k] = (vol, o, h, -lo, c, d, t)
    else:
        records[k] = (vol, o, h, lo, c, d, t // 10000 * 10000 + 6100)
    return "%s at %d" % (kind, t)
