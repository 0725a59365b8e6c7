#!/usr/bin/env python3
"""Barsync on a generated minute tree: rebuild and day-by-day add with one worker and with
all of them, against an earlier Barsync (--baseline), a raw read of every minute file, and
a pandas aggregation of the same minutes into the same intervals (when pandas is there).

    /usr/bin/python3 bench/barsync_bench.py --barsync build/linux-bench/app/Barsync \\
        --gen build/linux-bench/tools/gen_minute_tree [--baseline OLD_BARSYNC] \\
        [--securities 40] [--dates 120] [--repeat 3] [--work DIR]

Every figure is the best of --repeat runs (wall clock), so that a moment when other
programs take the CPU weighs less. The tree and the runs go to --work (a temporary folder
by default, removed at the end).
"""
import argparse
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import time

SETTINGS = """[General]
Minutes=minutes
Archive=archive
DebugLevel=1

[Output]
Logs=Barsync.log
Errors=Barsync.errors.log

[Intervals]
1=3000
5=3000
15=3000
60=3000
day=3000
week=3000
month=3000

[TimeSettings_Day]
TimeBegin=10:00:00
TimeEnd=18:45:00
Classes=TQBR

[TimeSettings_Night]
TimeBegin=19:00:00
TimeEnd=02:00:00
Classes=FUTN
"""
MINUTE_INTERVALS = (1, 5, 15, 60)
RECORD = 48


def cores():
    return os.cpu_count() or 1


class Folder:
    """A folder with a copy of one Barsync, its settings and the shared minute tree."""

    def __init__(self, work, name, barsync, minutes):
        self.bin = os.path.join(work, name)
        shutil.rmtree(self.bin, ignore_errors=True)
        os.makedirs(self.bin)
        self.program = os.path.join(self.bin, os.path.basename(barsync))
        shutil.copy2(barsync, self.program)
        with open(os.path.join(self.bin, "Barsync.ini"), "w") as f:
            f.write(SETTINGS)
        os.symlink(minutes, os.path.join(self.bin, "minutes"))

    def fresh_archive(self):
        archive = os.path.join(self.bin, "archive")
        shutil.rmtree(archive, ignore_errors=True)
        os.makedirs(archive)
        for log in glob.glob(os.path.join(self.bin, "Barsync*.log")):
            os.remove(log)

    def run(self, args):
        p = subprocess.run([self.program] + args, cwd=self.bin, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
        if p.returncode != 1:
            sys.exit("%s %s exited with %d" % (self.program, " ".join(args), p.returncode))


def best(repeat, prepare, action):
    times = []
    for _ in range(repeat):
        prepare()
        start = time.perf_counter()
        action()
        times.append(time.perf_counter() - start)
    return min(times)


def archive_digest(folder):
    out = subprocess.run("cd %s/archive && find . -name '*.dat' | LC_ALL=C sort | "
                         "xargs sha256sum | sha256sum" % folder.bin, shell=True,
                         capture_output=True, text=True)
    return out.stdout.split()[0]


def minute_files(minutes):
    return sorted(glob.glob(os.path.join(minutes, "*", "*", "*", "1.dat")))


def raw_read(files):
    total = 0
    for name in files:
        with open(name, "rb") as f:
            total += len(f.read())
    return total


def pandas_aggregation(files):
    """The same minutes grouped into the minute, day, week and month candles."""
    import numpy as np
    import pandas as pd
    record = np.dtype([("volume", "<f8"), ("open", "<f8"), ("high", "<f8"), ("low", "<f8"),
                       ("close", "<f8"), ("date", "<i4"), ("time", "<i4")])
    frames = []
    for name in files:
        data = np.fromfile(name, dtype=record)
        frame = pd.DataFrame(data)
        frame["sec"] = os.path.basename(os.path.dirname(name))
        frames.append(frame)
    minutes = pd.concat(frames, ignore_index=True)
    stamp = pd.to_datetime(minutes["date"].astype(str), format="%Y%m%d") + pd.to_timedelta(
        (minutes["time"] // 10000) * 60 + (minutes["time"] // 100) % 100, unit="min")
    minutes["stamp"] = stamp
    rules = ["%dmin" % m for m in MINUTE_INTERVALS] + ["D", "W", "M"]
    candles = 0
    for rule in rules:
        grouped = minutes.groupby(["sec", pd.Grouper(key="stamp", freq=rule)]).agg(
            open=("open", "first"), high=("high", "max"), low=("low", "min"),
            close=("close", "last"), volume=("volume", "sum"))
        candles += len(grouped)
    return len(minutes), candles


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--barsync", required=True)
    ap.add_argument("--gen", required=True, help="tools/gen_minute_tree")
    ap.add_argument("--baseline", help="an earlier Barsync to compare with (no -j option)")
    ap.add_argument("--securities", type=int, default=40)
    ap.add_argument("--dates", type=int, default=120)
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--work")
    args = ap.parse_args()

    work = args.work or tempfile.mkdtemp(prefix="barsync-bench-")
    os.makedirs(work, exist_ok=True)
    minutes = os.path.join(work, "minutes")
    if not os.path.isdir(minutes):
        subprocess.run([args.gen, "--size", str(args.securities), str(args.dates), minutes],
                       check=True)
    files = minute_files(minutes)
    dates = sorted(os.listdir(minutes))
    bytes_read = raw_read(files)
    print("tree: %d securities x %d dates, %d minute files, %d minutes (%.1f MB), %d cores, "
          "load average %.1f" % (args.securities, len(dates), len(files), bytes_read // RECORD,
                                 bytes_read / 1e6, cores(), os.getloadavg()[0]))

    runs = [("new -j 1", args.barsync, ["-j", "1"]),
            ("new -j %d" % cores(), args.barsync, ["-j", str(cores())])]
    if args.baseline:
        runs.insert(0, ("baseline", args.baseline, []))
    results = {}
    digests = {}
    for i, (label, program, extra) in enumerate(runs):
        folder = Folder(work, "run%d" % i, program, minutes)
        rebuild = best(args.repeat, folder.fresh_archive,
                       lambda: folder.run(["-a", "rebuild"] + extra))
        digests[label] = archive_digest(folder)
        add = best(max(1, args.repeat - 1), folder.fresh_archive,
                   lambda: [folder.run(["-a", "add", "-d", d] + extra) for d in dates])
        if archive_digest(folder) != digests[label]:
            sys.exit("%s: day-by-day add and rebuild give different archives" % label)
        results[label] = (rebuild, add)
    if len(set(digests.values())) != 1:
        sys.exit("the archives differ between the runs: %s" % digests)

    raw = best(args.repeat, lambda: None, lambda: raw_read(files))
    try:
        import pandas  # noqa: F401
        have_pandas = True
    except ImportError:
        have_pandas = False
    panda = best(max(1, args.repeat - 1), lambda: None,
                 lambda: pandas_aggregation(files)) if have_pandas else None

    print("%-14s %10s %14s" % ("", "rebuild s", "add by day s"))
    for label, (rebuild, add) in results.items():
        print("%-14s %10.2f %14.2f" % (label, rebuild, add))
    print("raw read of every minute file: %.2f s" % raw)
    if panda is not None:
        print("pandas aggregation of the same minutes: %.2f s" % panda)
    else:
        print("pandas aggregation: not run (no pandas for %s)" % sys.executable)
    one = results["new -j 1"]
    allw = results["new -j %d" % cores()]
    print("ratios:")
    print("  rebuild, 1 worker / %d workers: %.2f" % (cores(), one[0] / allw[0]))
    print("  add by day, 1 worker / %d workers: %.2f" % (cores(), one[1] / allw[1]))
    if args.baseline:
        base = results["baseline"]
        print("  rebuild, baseline / %d workers: %.2f" % (cores(), base[0] / allw[0]))
        print("  add by day, baseline / %d workers: %.2f" % (cores(), base[1] / allw[1]))
    if panda is not None:
        print("  pandas / rebuild with %d workers: %.2f" % (cores(), panda / allw[0]))
    print("  rebuild with %d workers / raw read: %.2f" % (cores(), allw[0] / raw))
    if not args.work:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
