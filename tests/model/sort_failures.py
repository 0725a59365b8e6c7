#!/usr/bin/env python3
"""Sorts the failures of a long run (the output of run_model_test.py --keep-going) by the
known fault their sequence points at, so that new kinds of differences stand out.

  sort_failures.py OUTPUT_FILE

A failure goes to the first group whose test holds: only calendar intervals (without the
day interval: the re-added week), a day with a planted bad minute before the failing
action, a minute interval of a day or more; the rest, and anything that looks like a fault already mended, is "other" and needs a
look.
"""
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from run_model_test import FAULTS  # noqa: E402


def groups(block):
    """The open fault the failure points at, or "other: ..." (a mended one or none)."""
    name = guess(block)
    return name if name in FAULTS else "other: like " + name


def guess(block):
    settings = re.search(r"settings: intervals (\S+);", block).group(1).upper().split(",")
    actions = re.findall(r"^\s+\d+\. (.*)$", block, re.M)
    calendar = {"DAY", "WEEK", "MONTH", "MOUNTH"}
    if set(settings) <= calendar:
        if "DAY" not in settings:
            return "week_only_readd_widens_again"
        return "calendar_only_loses_part_after_midnight"
    if any("bad minutes" in a and "none" not in a for a in actions):
        return "bad_minute_reaches_archive"
    if any(k in ("1440", "1441") for k in settings):
        return "day_slot_loses_part_after_midnight"
    return "other"


def main():
    text = open(sys.argv[1]).read()
    blocks = re.split(r"\n(?=seed \d+: )", text)
    sorted_out = {}
    for b in blocks:
        m = re.match(r"seed (\d+): ", b)
        if not m or "settings:" not in b:
            continue
        sorted_out.setdefault(groups(b), []).append(int(m.group(1)))
    done = re.findall(r"(\d+) sequences, (\d+) failed", text)
    if done:
        print("%s sequences, %s failed" % done[-1])
    for name, seeds in sorted(sorted_out.items()):
        print("%-42s %5d  e.g. %s" % (name, len(seeds), " ".join(map(str, seeds[:8]))))


if __name__ == "__main__":
    main()
