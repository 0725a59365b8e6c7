"""Barsync's progress line: on a pseudo-terminal as standard error it is drawn in place
and ends with the totals; with standard error in a pipe nothing of it appears."""

import os
import pathlib
import select
import shutil
import subprocess
import time

import pytest


def programs():
    if not os.environ.get("BARSYNC"):
        pytest.skip("BARSYNC and GEN_MINUTE_TREE name the built programs")
    return os.environ["BARSYNC"], os.environ["GEN_MINUTE_TREE"]


@pytest.fixture
def sample(tmp_path):
    barsync, gen = programs()
    shutil.copy2(barsync, tmp_path / "Barsync")
    ini = pathlib.Path(os.environ["SOURCE_DIR"]) / "tools" / "Barsync.sample.ini"
    shutil.copy2(ini, tmp_path / "Barsync.ini")
    (tmp_path / "archive").mkdir()
    subprocess.run([gen, str(tmp_path / "minutes")], check=True, capture_output=True)
    dates = subprocess.run([gen, "--dates"], check=True, capture_output=True,
                           text=True).stdout.split()
    return tmp_path, dates


def run_on_terminal(folder, *args, stdout_too=False):
    """Runs Barsync with standard error (and standard output when stdout_too) on a new
    pseudo-terminal; returns what the terminal received."""
    master, slave = os.openpty()
    with open(folder / "stdout.txt", "wb") as out:
        child = subprocess.Popen(["./Barsync", *args], cwd=folder, stdin=subprocess.DEVNULL,
                                 stdout=slave if stdout_too else out, stderr=slave)
    # The slave stays open here until the child's output is read: when its last holder
    # closes it, Linux may answer the master's read with an error before it hands over
    # what the child wrote just before it ended (the line with the totals).
    received = b""
    quiet_since_end = None
    while True:
        ready, _, _ = select.select([master], [], [], 0.2)
        if ready:
            received += os.read(master, 65536)
            continue
        if child.poll() is None:
            continue
        # Ended: what it wrote is on its way; its last line ends with a newline.
        quiet_since_end = quiet_since_end or time.monotonic()
        if received.endswith(b"\n") or time.monotonic() - quiet_since_end > 20:
            break
    os.close(slave)
    os.close(master)
    assert child.wait() == 1
    return received.decode()


def run_in_pipe(folder, *args):
    run = subprocess.run(["./Barsync", *args], cwd=folder, stdin=subprocess.DEVNULL,
                         capture_output=True, text=True)
    assert run.returncode == 1
    return run.stderr


def screen_lines(text):
    """The lines a terminal ends up showing: "\\r" returns to the line's start."""
    lines = []
    for raw in text.replace("\r\n", "\n").split("\n"):
        line = ""
        for piece in raw.split("\r"):
            line = piece + line[len(piece):]
        lines.append(line.rstrip())
    return lines


def test_add_draws_the_line_in_place_and_ends_with_the_totals(sample):
    folder, dates = sample
    shown = run_on_terminal(folder, "-a", "add", "-d", dates[0])
    assert shown.startswith("\radd: 0/5 instruments, date %s, 0:00 elapsed" % dates[0])
    final = [line for line in screen_lines(shown) if line]
    assert len(final) == 1  # one line, updated in place
    assert final[0].startswith("add: 5/5 instruments, date %s, " % dates[0])
    assert final[0].endswith(" elapsed")
    assert shown.endswith("\n")
    # The run itself is what it is without a terminal.
    assert (folder / "archive" / "TQBR" / "SBER.dat").is_file()


def test_nothing_in_a_pipe(sample):
    folder, dates = sample
    assert run_in_pipe(folder, "-a", "add", "-d", dates[0]) == ""
    assert run_in_pipe(folder, "-a", "test") == ""
    log = (folder / "Barsync.log").read_text()
    assert "instruments" not in log


def test_rebuild_test_and_changelot_count_their_instruments(sample):
    folder, dates = sample
    rebuild = screen_lines(run_on_terminal(folder, "-a", "rebuild"))
    assert [l for l in rebuild if l][-1].startswith(
        "rebuild: 5/5 instruments, date %s, " % dates[-1])
    test = screen_lines(run_on_terminal(folder, "-a", "test"))
    assert [l for l in test if l][-1].startswith("test: 5/5 instruments, ")
    with open(folder / "Barsync.ini", "a") as ini:
        ini.write("\n[ChangeLot]\n1=TQBR,SBER,1,10\n2=TQBR,GAZP,1,10\n")
    lot = screen_lines(run_on_terminal(folder, "-a", "changelot"))
    assert [l for l in lot if l][-1].startswith("changelot: 2/2 instruments, date %s, "
                                                % dates[-1])


def test_conversion_counts_the_legacy_directories(sample):
    folder, _ = sample
    _, gen = programs()
    subprocess.run([gen, "--legacy", str(folder / "archive")], check=True, capture_output=True)
    shown = screen_lines(run_on_terminal(folder, "-a", "conversion"))
    assert [l for l in shown if l][-1].startswith("conversion: 1/1 instruments, ")
    assert (folder / "archive" / "LEGACY" / "OLDSEC.dat").is_file()


def test_log_lines_on_the_same_terminal_never_mix_with_it(sample):
    folder, dates = sample
    run_in_pipe(folder, "-a", "add", "-d", dates[1])
    # The test action logs a line per archive while its progress line is up.
    shown = run_on_terminal(folder, "-a", "test", stdout_too=True)
    lines = [line for line in screen_lines(shown) if line]
    logged = [line for line in lines if "Archive is: " in line]
    assert len(logged) == 5
    for line in lines:
        assert not ("instruments" in line and "Archive" in line), line
    progress = [line for line in lines if "instruments" in line]
    assert progress and progress[-1].startswith("test: 5/5 instruments")
