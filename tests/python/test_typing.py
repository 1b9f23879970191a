"""The package and its example type-check with mypy --strict."""

from __future__ import annotations

import subprocess
import sys

import pytest

from conftest import ROOT


def test_mypy_strict() -> None:
    pytest.importorskip("mypy")
    done = subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--cache-dir", "/dev/null", "tola", "examples/measurements_csv.py"],
        cwd=ROOT / "python", capture_output=True, text=True)
    assert done.returncode == 0, done.stdout + done.stderr
