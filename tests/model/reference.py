"""Reference model of Barsync's archives, written from the aggregation rules alone.

Per security it keeps every minute ever added, keyed by its real calendar date (the date
after a passage of midnight) and time, and computes every configured interval from
scratch: N-minute candles in N-minute slots counted from midnight (one slot per calendar
date for N of a day or more), day candles, week candles dated by their Sunday, month
candles dated by their first day; each interval keeps its newest 3000 candles.

Where the program cannot match a whole-history model by design, a named rule below says
what it does instead (the README lists them):

RULE_DROPPED_STAY_DROPPED: an N-minute or day interval that dropped its oldest candles at
  the 3000 limit does not get them back when a later delete makes room; an insert brings
  back only the candles of its own range, and an insert into a full interval that lies
  before all of it changes nothing there. The day interval counts as full when a week or
  month candle of an earlier period than its oldest day shows that it dropped days (a
  delete may have brought it below 3000): an insert before all of it leaves it unchanged,
  as the next date's own part after a passage of midnight is gone with it. A next date
  that the day interval does not hold (dropped with no such sign, deleted, never added)
  gets the inserted part alone.
RULE_PERIOD_NEEDS_ITS_DAYS: a week or month candle is recomputed by insert and delete from
  the day interval; when the day interval no longer holds every day of the period (the
  3000 limit dropped some), the candle is left as it was. A day that the limit pushes out
  to make room for the inserted one still counts in its period in that insert.
RULE_DELETE_IS_A_CALENDAR_DATE: delete removes the candles dated D, so it removes the part
  after midnight of the previous date's session and keeps the part after midnight of D's
  own session (dated D + 1).
RULE_INSERT_REPLACES_ITS_SPAN: insert replaces the held minutes from its first to its last
  minute (after the window and the session start); minutes of the day outside that span
  stay.
RULE_INSERT_REPLACES_WHOLE_SLOTS: an N-minute interval holds candles, not minutes, so an
  insert replaces the whole slots its first and last minute fall in: held minutes outside
  the span but inside those slots leave that interval (for N of a day or more, the whole
  day's slot). The day candle keeps the held minutes of the inserted dates outside the
  span that the minute intervals still hold in candles the insert leaves whole: it reads
  them from the finest interval that holds the date from its edge on (its oldest candle
  is not after that point, or it holds fewer than 3000 candles and no other interval holds
  a candle ending before its oldest one begins: the archive cannot tell more), and from a finer interval whose run reaches
  into the date for the minutes from its oldest candle on outside the slots taken from
  the first. What neither holds leaves the day (a one-minute run that dropped the date's
  morning at 3000 candles leaves it to a coarser interval, which loses its edge slot).
  With no minute interval that holds the inserted date's edge, the day keeps the previous
  export's part after midnight only when its day candle held that part alone (the date
  was not stored; the export read again from the tree), and after a passage of midnight
  the next date's day keeps that date's own export (read again from the tree) when it
  held all of it; other stored minutes of those dates outside the span leave the day. Otherwise the day candles of the inserted dates hold the new minutes alone. Week
  and month candles follow the day candles.
  An add of an export that grew since it was first added (new minutes, or only its last
  minute, held while it was still forming, now whole) replaces the day as an insert
  does; the previous export's part after midnight that the day holds (the newest earlier
  export in the tree, read again, equal to the held minutes) stays in the day and in
  every interval's replaced slot, whether a minute interval can tell the earlier add or
  none can (each one's newest candle is the slot the export starts in, or a slot of a day
  or more that it ends in). When the tree no longer gives that part as held, the replaced
  slots keep the held minutes of the date that the finest minute interval (under a day,
  holding candles) holds in its slots before the export's first one.
RULE_LOT_CHANGE_ROUNDS_EACH_CANDLE: changelot divides every stored volume and every minute
  volume by L and rounds each to a whole number; the test only uses lots for which that
  division is exact, so the model divides exactly.
RULE_PRICE_CHANGE_ROUNDING: changeprice divides archive prices exactly and rounds minute
  prices down to DIGITS decimals, so candles built later from the minutes differ by less
  than one unit of the last digit per change; prices are compared within that.
RULE_BAD_MINUTE_SKIPPED: a minute that is no usable candle (all values zero, a value not
  finite, a negative value, an impossible time) is passed over; the rest of its file is
  stored. Such a minute goes before the time window and the session start are applied, so
  it never ends the window's run: a minute of 17:00 given the impossible time 17:61 behind
  a window that ends at 17:45 is skipped alone and the day goes on to 17:45.
RULE_ADD_NEEDS_THE_PREVIOUS_NIGHT: with no minute interval that can tell, an add of date D
  whose export ends before midnight, when the newest stored day is D, extends that day only
  when it holds the previous export's part after midnight as the tree's previous export
  still gives it; otherwise (a partial export of the previous date inserted since) the day
  counts as an earlier part of D's export and is replaced as by an insert, also when the
  export brings no minute later than the held ones (added again unchanged): the stored day
  candle cannot show that it holds the export already, and the part after midnight that
  the tree no longer gives is lost with the replaced day.
RULE_DELETED_DATE_ADDED_AGAIN: an add of date D whose export passes midnight, after a
  delete of D left a first stretch of that export's part after midnight (or all of it) in
  D + 1, stores D as a first add would (the stored part after midnight is replaced), even
  when the export did not grow; when it is no longer a first stretch (D + 1 holds more),
  the add is refused as any add of a date older than the stored ones.
RULE_GROWN_ADD_NEEDS_ITS_EVENING: with no minute interval that can tell, an add of date D
  whose export passes midnight, when the newest stored day is D + 1 (the export was added
  before, in part), replaces both days only when the stored day D is that export's evening,
  alone or after the previous export's part after midnight as the tree still gives it (by
  volume), or when D was deleted since (RULE_DELETED_DATE_ADDED_AGAIN). Otherwise (the
  previous date was inserted again cut before midnight, so the tree no longer gives the
  part after midnight the day holds) the add is refused as an add of an older date
  ("Archive date is more recent", with an "Error replicating archive" line): nothing
  changes, and the export's grown part after midnight is not stored.
RULE_GROWN_ADD_AFTER_A_LOST_NIGHT: with no minute interval that can tell, an add of date D
  whose export passes midnight, when the newest held day is D and its day candle is
  neither a first stretch of the export's evening (volume and prices) nor the previous
  export's part after midnight as the tree gives it now (alone or before such a stretch,
  by volume), holds minutes the tree no longer gives (the previous date was inserted again
  cut before midnight). When a first stretch of the export's evening could end that day
  candle (less volume, the same close, a range inside it; the export's prices may lie
  below by less than three steps of its decimals, the rounding of price changes), the
  archive cannot tell a stretch added before from a night that ends by chance as it
  does: the add is refused with a line in the errors log, and nothing changes. A part
  after midnight that the tree still gives as it is held (or none held) tells a stretch
  held after it, ending in a whole minute or in one still forming: that add is no refusal.
RULE_EXPORT_OF_THE_NEXT_DATE_ONLY: an export file of date D whose minutes (inside the
  class's window) are all dated D + 1 holds only the part of its session after midnight;
  Barsync dates an export's minutes by D until the time steps back past midnight, so it
  would store them a day early, beside the previous export's part after midnight of D: it
  skips such a file with a line in the errors log (add, addlast, insert, rebuild), and the
  file gives no night to the next date.
Week and month candles are edited by insert and delete through the day interval, which
Barsync keeps in every archive with a week or month interval (archive_codes in
run_model_test.py adds it to the model's intervals).
"""
import datetime
import functools
import math

MAX_CANDLES = 3000
DAY, WEEK, MONTH = -1, -2, -3
MINUTES_PER_DAY = 1440
# A step back of more than this many minutes is a passage of midnight.
MAX_MERGED_JUMP = 30


def to_date(d):
    return datetime.date(d // 10000, d // 100 % 100, d % 100)


def from_date(x):
    return x.year * 10000 + x.month * 100 + x.day


def next_date(d):
    return from_date(to_date(d) + datetime.timedelta(days=1))


def week_start(d):
    x = to_date(d)
    return from_date(x - datetime.timedelta(days=(x.weekday() + 1) % 7))


def month_start(d):
    return d // 100 * 100 + 1


def minute_of_day(t):
    return t // 10000 * 60 + t // 100 % 100


def hhmmss(minutes):
    return minutes // 60 * 10000 + minutes % 60 * 100


def valid_time(t):
    return 0 <= t and t // 10000 < 24 and t // 100 % 100 < 60 and t % 100 < 60


def usable_minute(r):
    values = r[:5]
    if not all(math.isfinite(v) for v in values):
        return False
    if any(v < 0 for v in values):
        return False
    return any(abs(v) > 1e-8 for v in values)


def rounded_down(precision, value, divisor):
    """A minute price after a price change: floor(P * value / D) / P; a value that is not
    finite stays as the division leaves it."""
    x = precision * value / divisor
    return math.floor(x) / precision if math.isfinite(x) else x / precision


def lot_rounded(volume, divisor):
    x = volume / divisor + 0.5
    return float(math.floor(x)) if math.isfinite(x) else x


def period_key(code, date):
    if code == DAY:
        return date
    if code == WEEK:
        return week_start(date)
    return month_start(date)


@functools.lru_cache(maxsize=1 << 20)
def candle_key(code, date, time):
    """The (date, time) of the candle of interval code that a minute falls in."""
    if code >= 1:
        start = 0 if code >= MINUTES_PER_DAY else minute_of_day(time) // code * code
        return (date, hhmmss(start))
    return (period_key(code, date), 0)


VOLUME_TOLERANCE = 1e-9


def same_volume(a, b):
    return abs(a - b) <= VOLUME_TOLERANCE * max(1.0, abs(a))


def fold(records):
    """One candle of minutes or candles (volume, open, high, low, close) in time order."""
    first = records[0]
    vol, o, h, l, c = first[0], first[1], first[2], first[3], first[4]
    for r in records[1:]:
        vol += r[0]
        h = max(h, r[2])
        l = min(l, r[3])
        c = r[4]
    return (vol, o, h, l, c)


def price_step(minutes):
    """One unit of the most decimals (up to 8) the prices of minutes are written with."""
    decimals = 0
    for m in minutes:
        for price in m[1:5]:
            while decimals < 8 and abs(price * 10 ** decimals -
                                       round(price * 10 ** decimals)) > 1e-6:
                decimals += 1
    return 10.0 ** -decimals


def near_price(kept, exported, step):
    """An archive's price and the same price read again from an export: the same, or the
    export's below by less than three steps of its decimals (price changes round the
    export's minutes down)."""
    gap = abs(kept - exported)
    return gap <= 1e-9 * max(abs(kept), abs(exported)) or (exported <= kept and gap < 3 * step)


def window_minutes(records, begin, end):
    """The minutes a class's time window lets through (None: no window)."""
    if begin is None:
        return list(records)
    i = 0
    while i < len(records) and records[i][6] < begin:
        i += 1
    if i == len(records):
        return []
    r = records[i - 1][6] if i > 0 else records[i][6]
    kept = records[i:]
    if end == 0:
        return kept
    e = end if begin <= end else end + 240000
    n = 0
    for m in kept:
        t = m[6]
        if t > e or (t < r and t + 240000 > e):
            break
        n += 1
    return kept[:n]


def day_minutes(records, date, window, session_start):
    """The minutes of one export file that reach an archive, as {(date, time): values}
    in order, or None when the file is unusable (two passages of midnight, or no minute of
    its own date but only minutes of the next one)."""
    begin, end = window if window else (None, None)
    # unusable minutes go before the window is applied: one of them (an impossible time
    # such as 17:61) never ends the window's run or the session's head
    usable = [r for r in records if usable_minute(r) and valid_time(r[6])]
    kept = window_minutes(usable, begin, end)
    # every minute dated the day after the export's date: only the part after midnight of
    # its session; Barsync skips such a file (it would date its minutes a day early)
    if kept and all(r[5] == next_date(date) for r in kept):
        return None
    out = {}
    skipping = True
    passed = False
    previous = None
    real_date = date
    for r in kept:
        t = r[6]
        if skipping and t < session_start:
            continue
        skipping = False
        if previous is not None and t < previous:
            jump = minute_of_day(previous) - minute_of_day(t) + 1
            if jump <= MAX_MERGED_JUMP:
                raise AssertionError("the generator never writes small backward jumps")
            if passed:
                return None
            passed = True
            real_date = next_date(date)
        previous = t
        out[(real_date, t)] = tuple(r[:5])
    return out


class Security:
    def __init__(self, codes):
        self.codes = codes
        self.held = {}          # (date, time) -> (volume, open, high, low, close)
        self.dropped = {c: set() for c in codes if c >= DAY}
        self.kept_periods = {c: {} for c in codes if c in (WEEK, MONTH)}
        self.visible = {c: {} for c in codes}
        self.price_tolerance = 0.0
        # minutes that an interval lost to an insert (RULE_INSERT_REPLACES_WHOLE_SLOTS);
        # "cal" stands for the day, week and month intervals
        self.lost = {c: set() for c in codes if c >= 1}
        self.lost["cal"] = set()
        self.minute_codes = sorted(c for c in codes if c >= 1)
        self.inserting = {}     # the minutes of the insert being applied
        self.own_held = {}      # minutes of the next date's export an insert takes (own_kept)
        self.cache = {}
        self.version = {}

    # --- whole-history candles ---
    def touch(self, dates):
        """Forgets the candles computed for these dates (their minutes changed)."""
        for d in dates:
            self.version[d] = self.version.get(d, 0) + 1

    def forget_all(self):
        self.cache.clear()

    def _date_part(self, code, date, minutes):
        """The candles of one real date: {key: candle} for a minute code, the day candle
        for "cal"; cached until the date's minutes change."""
        entry = self.cache.get((code, date))
        version = self.version.get(date, 0)
        if entry and entry[0] == version:
            return entry[1]
        lost = self.lost[code]
        groups = {}
        for time, values in minutes:
            if (date, time) in lost:
                continue
            k = (date, 0) if code == "cal" else candle_key(code, date, time)
            groups.setdefault(k, []).append(values)
        part = {k: fold(v) for k, v in groups.items()}
        self.cache[(code, date)] = (version, part)
        return part

    def whole(self, code, by_date):
        out = {}
        for date in sorted(by_date):
            part = self._date_part(code if code >= 1 else "cal", date, by_date[date])
            if code >= DAY:
                out.update(part)
                continue
            for (d, _), candle in part.items():
                out.setdefault((period_key(code, d), 0), []).append(candle)
        if code < DAY:
            out = {k: fold(v) for k, v in out.items()}
        return out

    def by_date(self):
        days = {}
        for key in sorted(self.held):
            days.setdefault(key[0], []).append((key[1], self.held[key]))
        return days

    def refresh(self, insert_span=None, rebuild=False, edited_periods=()):
        """Recomputes the visible candles of every interval after an action."""
        before = {c: dict(v) for c, v in self.visible.items()}
        # days the 3000 limit pushes out in this very action still count in their week
        days_dropped_earlier = set(self.dropped.get(DAY, ()))
        by_date = self.by_date()
        # decided before the week and month, which follow the day interval
        days_kept_out = bool(insert_span) and self.days_dropped_before(before, insert_span[1])
        if days_kept_out:
            self.dropped[DAY].update({(insert_span[0][0], 0), (insert_span[1][0], 0)})
        for code in self.codes:
            whole = self.whole(code, by_date)
            if code >= DAY:
                dropped = self.dropped[code]
                if rebuild:
                    dropped.clear()
                if insert_span:
                    lo = candle_key(code, *insert_span[0])
                    hi = candle_key(code, *insert_span[1])
                    if not (code == DAY and days_kept_out):
                        dropped -= {k for k in dropped if lo <= k <= hi}
                keys = sorted(k for k in whole if k not in dropped)
                dropped.update(keys[:-MAX_CANDLES])
                self.visible[code] = {k: whole[k] for k in keys[-MAX_CANDLES:]}
            else:
                kept = self.kept_periods[code]
                if rebuild:
                    kept.clear()
                for period in edited_periods:
                    key = (period_key(code, period), 0)
                    kept.pop(key, None)
                    if DAY in self.codes and self._days_dropped(code, key[0],
                                                                days_dropped_earlier):
                        kept[key] = before[code].get(key)
                view = dict(whole)
                for key, candle in kept.items():
                    if candle is None:
                        view.pop(key, None)
                    else:
                        view[key] = candle
                self.visible[code] = view

    def days_dropped_before(self, before, last):
        """True when an insert whose last day is last lies before every day the day interval
        holds and that interval can be seen to have dropped older days (RULE_DROPPED_STAY_
        DROPPED): it is full, or a week or month candle of an earlier period than its oldest
        day's outlives them."""
        days = before.get(DAY)
        if not days or min(days)[0] <= last[0]:
            return False
        if len(days) >= MAX_CANDLES:
            return True
        oldest = min(days)[0]
        return any(before[c] and min(before[c])[0] < period_key(c, oldest)
                   for c in (WEEK, MONTH) if c in before)

    def complete(self, code):
        """True when the minute interval holds fewer than 3000 candles and no other one
        holds a candle that ends before its oldest candle begins: all that the archive can
        tell of whether it ever dropped a candle (after a delete the count alone cannot)."""
        if len(self.visible[code]) >= MAX_CANDLES:
            return False
        oldest = min(self.visible[code])
        for other in self.minute_codes:
            view = self.visible[other]
            if not view:
                continue
            d, t = min(view)
            end = min(minute_of_day(t) + other, MINUTES_PER_DAY)
            if d < oldest[0] or (d == oldest[0] and end <= minute_of_day(oldest[1])):
                return False
        return True

    def night_alone(self, date, night):
        """The previous export's part after midnight (night: the tree's, {key: values}) when
        the day candle of date holds it alone: what an insert keeps when no minute interval
        holds the date."""
        if not night or (date, 0) not in self.visible.get(DAY, {}):
            return set()
        day = {k: v for k, v in self.held.items() if k[0] == date and k not in self.lost["cal"]}
        return set(night) if day == night else set()

    def own_kept_whole(self, stored, own):
        """Of the stored minutes of the next date after the span, those of that date's own
        export (own: the tree's, {key: values}) when the day holds all of it: what the day
        keeps when minute intervals exist but none holds the next date (the export is read
        again)."""
        if not own or any(self.held.get(k) != v for k, v in own.items()):
            return set()
        if (next(iter(own))[0], 0) not in self.visible.get(DAY, {}):
            return set()
        return set(stored) & set(own)

    def own_kept(self, stored, own):
        """The next date's day after an insert past midnight when no minute interval holds
        that date (the program reads the date's own export again): the inserted part
        after midnight, followed by what that export (own: {key: values} after the
        inserted part's last minute) gives the date, when the stored day candle can hold
        it (its volume is at least the export's); the inserted part alone when the stored
        day has that part's volume and the export has not (the same export inserted
        again, the next one never added), when the stored day holds less than the
        export, or when there is no stored day (dropped at 3000, never added). The
        export's minutes take their times' places, other stored minutes of the date after
        the span leave the day. Returns the stored keys kept and sets self.own_held to the
        minutes the day holds from the export."""
        self.own_held = {}
        if not own:
            return set()
        date = next(iter(own))[0]
        day = self.visible.get(DAY, {}).get((date, 0))
        if day is None:
            return set()
        own_volume = sum(v[0] for v in own.values())
        night = sum(v[0] for k, v in self.inserting.items() if k[0] == date)
        if same_volume(day[0], night) and not same_volume(day[0], own_volume):
            return set()
        if own_volume > day[0] * (1 + VOLUME_TOLERANCE):
            return set()
        self.own_held = dict(own)
        return set(stored) & set(own)

    def day_edge_kept(self, stored, edge, opening, second_day=False, night_alone=frozenset(),
                      own=None):
        """Of the stored minutes of an inserted date before the span (opening, edge = its
        first minute) or after it (edge = its last minute), those that the day candle keeps
        (RULE_INSERT_REPLACES_WHOLE_SLOTS): read from the finest minute interval that still
        holds the date from its edge on, and from a finer interval whose run reaches into
        the date, for the minutes outside the slots taken from the first."""
        if not stored:
            return set()
        date = edge[0]

        def holds(code):
            view = self.visible[code]
            point = (date, 0) if opening else candle_key(code, *edge)
            return bool(view) and (min(view) <= point or self.complete(code))

        holder = next((c for c in self.minute_codes if holds(c)), None)
        if holder is None:
            # nothing to read the edge from; after a passage of midnight the next date's
            # day candle stays as the day interval holds it, before the span the day
            # keeps the previous export's part after midnight when it holds that alone
            return self.own_kept_whole(stored, own) if second_day else set(night_alone)
        finer = next((c for c in self.minute_codes if c < holder and self.visible[c]
                      and min(self.visible[c])[0] == date), None)
        reach = minute_of_day(min(self.visible[finer])[1]) if finer else MINUTES_PER_DAY

        def beside_span(code, key):
            return key < candle_key(code, *edge) if opening else key > candle_key(code, *edge)

        used = {candle_key(holder, *k) for k in stored}
        used = {h for h in used if h in self.visible[holder] and beside_span(holder, h)
                and minute_of_day(h[1]) < reach}
        kept = {k for k in stored if candle_key(holder, *k) in used and k not in self.lost[holder]}
        if finer is None:
            return kept
        used_from = min((minute_of_day(h[1]) for h in used), default=MINUTES_PER_DAY)
        used_to = max((minute_of_day(h[1]) + holder for h in used), default=0)
        for k in stored:
            f = candle_key(finer, *k)
            if f in self.visible[finer] and beside_span(finer, f) and k not in self.lost[finer] \
                    and not used_from <= minute_of_day(f[1]) < used_to:
                kept.add(k)
        return kept

    def held_in_finer(self, code, first, last, outside, head=True):
        """RULE_INSERT_REPLACES_WHOLE_SLOTS: of the stored minutes outside an insert's span
        (first .. last) in the slots of code that the span's ends fall in, those that a finer
        minute interval whose slots nest in code's still holds, in its candles wholly
        outside the span: the edge slots keep them."""
        kept = self.kept_beside(code, last, False, outside)
        if head:
            kept |= self.kept_beside(code, first, True, outside)
        return kept

    def kept_beside(self, code, edge, opening, outside):
        """The stored minutes of the slot of code that edge (an inserted minute) falls in, on
        the side the insert leaves: read from the finest interval nesting in code (holding
        candles) whose run reaches back to the slot's start (before the span) or to edge
        (after it), or that shows all the others show (none of them holds a candle ending
        before its oldest one begins), else from the finest; its candles wholly on that
        side of its own slot of edge, and what its own rebuilt slot keeps, read the same
        way from the intervals nesting in it."""
        finer = [c for c in self.minute_codes if c < code and self.visible[c]
                 and (code >= MINUTES_PER_DAY or code % c == 0)]
        if not finer:
            return set()

        def span(c):
            d, t = min(self.visible[c])
            start = minute_of_day(t)
            return d, start, min(start + c, MINUTES_PER_DAY)

        slot = candle_key(code, *edge)
        point = slot if opening else edge
        f = finer[0]
        for c in finer:
            d, start, _ = span(c)
            if (d, hhmmss(start)) <= point or \
                    not any((span(o)[0], span(o)[2]) <= (d, start) for o in finer):
                f = c
                break
        own = candle_key(f, *edge)
        kept = {k for k in outside if candle_key(code, *k) == slot
                and (k < edge if opening else k > edge)
                and candle_key(f, *k) in self.visible[f] and k not in self.lost[f]
                and (candle_key(f, *k) < own if opening else candle_key(f, *k) > own)}
        return kept | self.kept_beside(f, edge, opening, outside)

    @staticmethod
    def _days_dropped(code, period, dropped_days):
        return any(period_key(code, k[0]) == period for k in dropped_days)


class Model:
    """Expected archive contents of every security of one sequence."""

    def __init__(self, codes):
        self.codes = list(codes)
        self.securities = {}

    def security(self, name):
        if name not in self.securities:
            self.securities[name] = Security(self.codes)
        return self.securities[name]

    def add(self, name, minutes, night=None):
        """minutes: the output of day_minutes for one export file (not None); night: the
        minutes the newest earlier export of the tree gives the export's first date."""
        if not minutes:
            return
        s = self.security(name)
        keys = list(minutes)
        newest = max(s.held) if s.held else None
        if self._grown_after_a_lost_night(s, minutes, night or {}):
            return  # refused: nothing changes
        if newest is not None and keys[-1] <= newest:
            if self._replaced_without_night(s, keys, night):
                return self.insert(name, minutes, self._kept_night(s, keys, night or {}))
            if keys[-1] == newest and s.held[newest][0] < minutes[newest][0]:
                # the export's last minute was still forming when it was added: it grew
                if self._grown_without_its_evening(s, minutes, night or {}):
                    return  # "Archive date is more recent": nothing is stored
                return self.insert(name, minutes, self._kept_night(s, keys, night or {}))
            if not self._deleted_before_night(s, keys):
                return  # "Archive date is more recent": the day is held already
            return self.insert(name, minutes, self._kept_night(s, keys, night or {}))
        if newest is not None and keys[0] <= newest:
            if self._grown_without_its_evening(s, minutes, night or {}):
                return  # "Archive date is more recent": nothing is stored
            return self.insert(name, minutes, self._kept_night(s, keys, night or {}))
        if self._replaced_without_night(s, keys, night):
            return self.insert(name, minutes)
        s.touch({k[0] for k in keys})
        # minutes an earlier insert took out of a slot are new candles' minutes again
        for lost in s.lost.values():
            lost.difference_update(keys)
        s.held.update(minutes)
        s.refresh(edited_periods=())

    @classmethod
    def _replaced_without_night(cls, s, keys, night):
        """RULE_ADD_NEEDS_THE_PREVIOUS_NIGHT: the export lies within its date, which is the
        newest held one, no minute interval can tell, and the held day is not the previous
        export's part after midnight alone as the tree gives it now."""
        newest = max(s.held) if s.held else None
        if newest is None or not newest[0] == keys[0][0] == keys[-1][0]:
            return False
        if not cls._cannot_tell(s, keys):
            return False
        day = {k: v for k, v in s.held.items() if k[0] == newest[0] and k not in s.lost["cal"]}
        return day != (night or {})

    @classmethod
    def _grown_without_its_evening(cls, s, minutes, night):
        """RULE_GROWN_ADD_NEEDS_ITS_EVENING: the export passes midnight, the newest held
        minute is of the date it passes into, no minute interval can tell, the held day of
        its first date is neither its evening nor that evening after the previous export's
        part after midnight as the tree gives it now (by volume, as the day candle shows
        it), and its date was not deleted since (RULE_DELETED_DATE_ADDED_AGAIN)."""
        keys = list(minutes)
        first, last = keys[0][0], keys[-1][0]
        if first == last or max(s.held)[0] != last or not cls._cannot_tell(s, keys):
            return False
        if cls._deleted_before_night(s, keys):
            return False
        held = [v[0] for k, v in s.held.items() if k[0] == first and k not in s.lost["cal"]]
        if not held:
            return False
        own = sum(v[0] for k, v in minutes.items() if k[0] == first)
        day = sum(held)
        return not (math.isclose(day, own) or
                    (night and math.isclose(day, own + sum(v[0] for v in night.values()))))

    @classmethod
    def _grown_after_a_lost_night(cls, s, minutes, night):
        """RULE_GROWN_ADD_AFTER_A_LOST_NIGHT."""
        keys = list(minutes)
        date = keys[0][0]
        days = s.visible.get(DAY)
        if keys[-1][0] == date or not days or max(days)[0] != date:
            return False
        if not cls._cannot_tell(s, keys):
            return False
        day = days[(date, 0)]
        # Only a part after midnight held as the tree no longer gives it can fool the
        # program; one the tree still gives (or none) tells a stretch held after it.
        held_night = {k: v[0] for k, v in s.held.items()
                      if k[0] == date and k < keys[0] and k not in s.lost["cal"]}
        if not held_night or held_night == {k: v[0] for k, v in night.items()}:
            return False
        own = [v for k, v in minutes.items() if k[0] == date]
        night_volume = sum(v[0] for v in night.values())
        if night and same_volume(day[0], night_volume):
            return False
        step = price_step(own)
        volume = 0
        for k, m in enumerate(own):
            volume += m[0]
            stretch = fold(own[:k + 1])
            if same_volume(day[0], volume) and all(
                    near_price(a, b, step) for a, b in zip(day[1:], stretch[1:])):
                return False
            if night and same_volume(day[0], night_volume + volume):
                return False
        volume = 0
        for k, m in enumerate(own):
            volume += m[0]
            if volume >= day[0] or same_volume(volume, day[0]):
                return False
            _, _, high, low, close = fold(own[:k + 1])
            if close <= day[4] + 1e-8 * max(1.0, day[4]) and day[4] - close < 3 * step \
                    and high <= day[2] + 1e-8 * max(1.0, day[2]) and day[3] - low < 3 * step:
                return True
        return False

    @staticmethod
    def _deleted_before_night(s, keys):
        """True when the export passes midnight, nothing of its first date from its first
        minute on is held, and every held minute from there on is a first stretch of its
        part after midnight: its date was deleted (the part after midnight stayed), and
        the add stores it as a first add would (RULE_DELETED_DATE_ADDED_AGAIN)."""
        first, last = keys[0], keys[-1]
        if first[0] == last[0]:
            return False
        later = sorted(k for k in s.held if k >= first)
        night = [k for k in keys if k[0] == last[0]]
        return bool(later) and later == night[:len(later)]

    @staticmethod
    def _cannot_tell(s, keys):
        """True when no minute interval can tell how the export stands to the stored
        candles: each one's newest candle is the slot the export starts in, or a slot of a
        day or more that it ends in."""
        for code in s.minute_codes:
            view = s.visible[code]
            if not view:
                continue
            last = max(view)
            if last == candle_key(code, *keys[0]):
                continue
            if code >= MINUTES_PER_DAY and last == candle_key(code, *keys[-1]):
                continue
            return False
        return True

    @staticmethod
    def _kept_night(s, keys, night):
        """The previous export's part after midnight that an add of a grown export keeps,
        also in a slot the add replaces whole (RULE_INSERT_REPLACES_WHOLE_SLOTS): what the
        finest minute interval holds of the date before the export, else all of that part
        when the day holds it as the tree gives it."""
        first = keys[0]
        finest = [c for c in s.minute_codes if c < MINUTES_PER_DAY and s.visible[c]]
        if finest:
            code = finest[0]
            held = {k for k in s.held if k[0] == first[0] and k not in s.lost[code]
                    and candle_key(code, *k) < candle_key(code, *first)}
            if held:
                return held
        # the day holds what an earlier insert did not take out of it
        in_day = {k for k in s.held if k not in s.lost["cal"]}
        if night and all(k in in_day and s.held[k] == v for k, v in night.items()):
            return set(night)
        # RULE_NO_FINER_INTERVAL_KEEPS_THE_TREE_NIGHT: no minute interval under a day shows
        # what the day holds before the export; when the held minutes there are the tree's
        # part after midnight by time and volume (only its prices differ: the previous
        # export sent again corrected), the replaced day keeps that part as the tree gives it
        before = {k for k in in_day if k[0] == first[0] and k < first}
        if night and before == set(night) and \
                all(s.held[k][0] == v[0] for k, v in night.items()):
            s.held.update(night)
            return set(night)
        return set()

    def insert(self, name, minutes, kept_night=frozenset(), night=None, own_next=None):
        """night: what the newest earlier export of the tree gives the first date after its
        midnight ({key: values}); own_next: what the export of the last date (after a
        passage of midnight) gives that date itself."""
        if not minutes:
            return
        s = self.security(name)
        keys = list(minutes)
        first, last = keys[0], keys[-1]
        outside = [k for k in s.held if not first <= k <= last]
        alone = set() if kept_night else s.night_alone(first[0], night or {})
        if s.minute_codes:
            opening = {k for k in outside if k[0] == first[0] and k < first}
            closing = {k for k in outside if k[0] == last[0] and k > last}
            kept = s.day_edge_kept(opening, first, True, night_alone=alone) | \
                s.day_edge_kept(closing, last, False, second_day=last[0] != first[0],
                                own=own_next)
            kept |= opening & kept_night
            s.lost["cal"] -= opening | closing
            s.lost["cal"] |= (opening | closing) - kept
        else:
            # the day interval stands in for minute intervals that hold nothing: the
            # previous export's part after midnight held alone, and after a passage of
            # midnight the next date's day candle, stay
            kept = set(kept_night) | alone
            if last[0] != first[0]:
                s.inserting = minutes
                kept |= s.own_kept({k for k in outside if k[0] == last[0] and k > last},
                                   {k: v for k, v in (own_next or {}).items() if k > last})
            edges = {k for k in outside if first[0] <= k[0] <= last[0]}
            s.lost["cal"] -= edges
            s.lost["cal"] |= edges - kept
        # the first slot keeps the part after midnight the add told (kept_night) instead
        held_finer = {code: s.held_in_finer(code, first, last, outside, head=not kept_night)
                      for code in s.minute_codes}
        for code in s.lost:
            if code == "cal":
                continue
            lo, hi = candle_key(code, *first), candle_key(code, *last)
            s.lost[code].update(k for k in outside if lo <= candle_key(code, *k) <= hi
                                and k not in kept_night and k not in held_finer[code])
        for lost in s.lost.values():
            lost.difference_update(keys)
        s.touch({k[0] for k in s.held if first <= k <= last} | {k[0] for k in keys})
        s.held = {k: v for k, v in s.held.items() if not first <= k <= last}
        s.held.update(minutes)
        if s.own_held:
            # the next date's own export as the tree gives it now (calendar intervals only)
            s.touch({k[0] for k in s.own_held})
            s.held.update(s.own_held)
            s.lost["cal"] -= set(s.own_held)
            s.own_held = {}
        periods = sorted({k[0] for k in keys})
        s.refresh(insert_span=(first, last), edited_periods=periods)

    def delete(self, name, date):
        s = self.security(name)
        s.touch([date])
        s.held = {k: v for k, v in s.held.items() if k[0] != date}
        s.refresh(edited_periods=[date])

    def rebuild(self, name, days):
        """days: (day_minutes, night) of every export date of the security, oldest first;
        night() gives what the newest earlier export gives that date after its midnight. A
        rebuild adds every date in order: an export that reaches back into what is held
        (an export of a date starting before the previous one's part after midnight ends)
        goes through add, as its add would; the others are appended at once."""
        s = self.security(name)
        s.held = {}
        s.forget_all()
        for lost in s.lost.values():
            lost.clear()
        newest = None  # the newest held minute: the last of the newest day stored
        for minutes, night in days:
            if not minutes:
                continue
            keys = list(minutes)
            if newest is not None and keys[0] <= newest:
                s.refresh(rebuild=True)
                self.add(name, minutes, night())
                newest = max(s.held)
                continue
            s.held.update(minutes)
            newest = keys[-1]
        s.refresh(rebuild=True)

    def change_lot(self, name, divisor):
        s = self.security(name)
        s.forget_all()
        for k, v in s.held.items():
            s.held[k] = (lot_rounded(v[0], divisor),) + v[1:]
        for code, kept in s.kept_periods.items():
            for key, c in kept.items():
                if c is not None:
                    kept[key] = (lot_rounded(c[0], divisor),) + c[1:]
        s.refresh()

    def change_price(self, name, divisor, digits):
        s = self.security(name)
        p = float(10 ** digits)
        s.forget_all()
        for k, v in s.held.items():
            s.held[k] = (v[0],) + tuple(rounded_down(p, x, divisor) for x in v[1:])
        for code, kept in s.kept_periods.items():
            for key, c in kept.items():
                if c is not None:
                    kept[key] = (c[0],) + tuple(p * x / divisor / p for x in c[1:])
        s.price_tolerance = s.price_tolerance / divisor + 1.0 / p
        s.refresh()

    def expected(self, name):
        """{code: [(volume, open, high, low, close, date, time)]} with empty runs left out."""
        s = self.securities.get(name)
        if s is None:
            return {}
        out = {}
        for code, view in s.visible.items():
            if view:
                out[code] = [v + k for k, v in sorted(view.items())]
        return out
