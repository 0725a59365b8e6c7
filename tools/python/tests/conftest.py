"""Fixtures: the built Barsync programs and the sample archive tree they produce.

BARSYNC_BUILD_DIR names the native build folder (default: build/linux of the source
tree). When it is given, missing programs fail the tests; otherwise they are skipped.
"""

import os
import pathlib
import shutil
import subprocess
import sys

import pytest

HERE = pathlib.Path(__file__).resolve().parent
SOURCE_DIR = HERE.parents[2]
sys.path.insert(0, str(HERE.parent))
sys.path.insert(0, str(HERE))


class Programs:
    def __init__(self, build):
        self.barsync = build / "app" / "Barsync"
        self.archive_csv = build / "tools" / "archive_csv"
        self.gen_minute_tree = build / "tools" / "gen_minute_tree"

    def missing(self):
        return [p for p in (self.barsync, self.archive_csv, self.gen_minute_tree) if not p.is_file()]

    def csv(self, archive, code=None):
        args = [str(self.archive_csv), str(archive)] + ([str(code)] if code is not None else [])
        return subprocess.run(args, check=True, capture_output=True, text=True).stdout

    def test_action_lines(self, folder, archive_root, ini_text=""):
        """Runs Barsync's test action over archive_root from a copy of the program in
        folder (with ini_text as its Barsync.ini) and returns the archive finding lines
        of its main log."""
        folder.mkdir(parents=True, exist_ok=True)
        program = folder / "Barsync"
        shutil.copy2(self.barsync, program)
        (folder / "Barsync.ini").write_text(ini_text)
        minutes = folder / "minutes"
        minutes.mkdir(exist_ok=True)
        log = folder / "test.log"
        run = subprocess.run(
            [str(program), "-a", "test", "-f", str(minutes), "-t", str(archive_root), "-l",
             str(log), "-e", str(folder / "errors.log")],
            capture_output=True, text=True, stdin=subprocess.DEVNULL)
        assert run.returncode == 1, run.stdout + run.stderr
        lines = log.read_text().splitlines()
        return [line[line.index("Archive file "):] for line in lines if "Archive file " in line
                and (" contains " in line)]


@pytest.fixture(scope="session")
def programs():
    given = os.environ.get("BARSYNC_BUILD_DIR")
    found = Programs(pathlib.Path(given) if given else SOURCE_DIR / "build" / "linux")
    missing = found.missing()
    if missing:
        message = "built programs missing: " + ", ".join(map(str, missing))
        if given:
            pytest.fail(message)
        pytest.skip(message + " (build the linux preset or set BARSYNC_BUILD_DIR)")
    return found


@pytest.fixture(scope="session")
def sample_tree(programs, tmp_path_factory):
    """The archive tree of the sample: every sample date added, as tools/run-sample.sh does."""
    folder = tmp_path_factory.mktemp("sample")
    shutil.copy2(programs.barsync, folder / "Barsync")
    shutil.copy2(SOURCE_DIR / "tools" / "Barsync.sample.ini", folder / "Barsync.ini")
    (folder / "archive").mkdir()
    subprocess.run([str(programs.gen_minute_tree), str(folder / "minutes")], check=True,
                   capture_output=True)
    dates = subprocess.run([str(programs.gen_minute_tree), "--dates"], check=True,
                           capture_output=True, text=True).stdout.split()
    for date in dates:
        run = subprocess.run(["./Barsync", "-a", "add", "-d", date], cwd=folder,
                             capture_output=True, stdin=subprocess.DEVNULL)
        assert run.returncode == 1, run
    return folder / "archive"
