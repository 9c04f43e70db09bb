"""What the module's tests share: the command line, the networks, and copies of them in a
temporary folder (the command line writes its results and reads its constraint files beside
the INP file)."""

import csv
import os
import re
import shutil
import subprocess
from pathlib import Path

import pytest


def _setting(name: str) -> str:
    value = os.environ.get(name)
    if not value:
        raise RuntimeError(f"{name} is not set: run these tests through ctest")
    return value


CLI = _setting("HYDROSK_CLI")
SHARED_NETWORKS = Path(_setting("HYDROSK_SHARED_NETWORKS"))
SOURCE_DIR = Path(_setting("HYDROSK_SOURCE_DIR"))
TOWN = SOURCE_DIR / "examples" / "town.inp"


def steady_copy(inp: Path, folder: Path) -> Path:
    """A copy of the INP file with a duration of 0, for the steady-state modes."""
    text = inp.read_text(encoding="latin-1")
    target = folder / f"{inp.stem}-steady.inp"
    target.write_text(
        re.sub(r"(?mi)^(\s*Duration\s+).*$", r"\g<1>0", text, count=1), encoding="latin-1"
    )
    return target


@pytest.fixture
def town(tmp_path: Path) -> Path:
    target = tmp_path / "town.inp"
    shutil.copyfile(TOWN, target)
    return target


@pytest.fixture
def town_steady(tmp_path: Path) -> Path:
    return steady_copy(TOWN, tmp_path)


def run_cli(inp: Path, *options: str) -> Path:
    """Runs `hydrosk-cli fireflow` and gives its results file."""
    completed = subprocess.run(
        [CLI, "fireflow", str(inp), "--extension", "CSV", *options],
        capture_output=True,
        text=True,
        check=False,
    )
    assert completed.returncode == 0, completed.stderr
    return Path(f"{inp}.CSV")


def read_results(path: Path) -> list[list[object]]:
    """A results file's records, quoted fields as texts and bare ones as numbers."""
    records = []
    with open(path, newline="", encoding="latin-1") as file:
        for fields in csv.reader(file, quoting=csv.QUOTE_NONNUMERIC):
            records.append(fields)
    return records
