"""Fixtures: a private environment for the whole run, and virtual instruments on
USB, a serial port and Bluetooth, all in one chromatik-sim."""

from __future__ import annotations

import json
import os
import subprocess
import time
from dataclasses import dataclass
from pathlib import Path
from typing import Any, Iterator

import pytest

ROOT = Path(__file__).resolve().parent.parent.parent
USB_SERIAL = "H51234"
SERIAL_SERIAL = "H51236"
BT_SERIAL = "H51235"
#: A second instrument on USB, at the socket after the first one's.
USB2_SERIAL = "H51237"
#: The serial instrument's pseudo-terminal answers as this port.
SERIAL_PORT = "com3"


def built_file(variable: str, *relative: str) -> Path:
    """A file that CTest names in the environment, else the one in the build tree."""
    return Path(os.environ.get(variable) or ROOT.joinpath(*relative))


@pytest.fixture(scope="session", autouse=True)
def private_environment(tmp_path_factory: pytest.TempPathFactory) -> Iterator[Path]:
    """Own channel folders, mutex name and XDG folders, set before anything loads
    the library (it takes the mutex name when it is loaded)."""
    home = tmp_path_factory.mktemp("tola")
    values = {
        "TOLA_USB_DIR": home / "usb",
        "TOLA_BT_DIR": home / "bt",
        "TOLA_MUTEX_NAME": f"CKP_InterfaceMutex.pytest.{os.getpid()}",
        "XDG_CONFIG_HOME": home / "config",
        "XDG_DATA_HOME": home / "data",
        "XDG_CACHE_HOME": home / "cache",
        "XDG_STATE_HOME": home / "state",
        "XDG_RUNTIME_DIR": home / "run",
    }
    saved = {name: os.environ.get(name) for name in values}
    for name, value in values.items():
        os.environ[name] = str(value)
    (home / "run").mkdir(mode=0o700)
    yield home
    for name, old in saved.items():
        if old is None:
            os.environ.pop(name, None)
        else:
            os.environ[name] = old


@dataclass
class Sim:
    """A running chromatik-sim and what its state file says."""

    program: Path
    state: dict[str, Any]

    def instrument(self, kind: int) -> dict[str, Any]:
        return next(i for i in self.state["instruments"] if i["kind"] == kind)

    def tell(self, line: str) -> str:
        """Sends one line to the control socket and returns the answer."""
        done = subprocess.run([str(self.program), "--tell", line], capture_output=True, text=True, timeout=10,
                              check=True)
        return done.stdout.strip()


@pytest.fixture(scope="session")
def sim(private_environment: Path) -> Iterator[Sim]:
    """Four Chromatik V: on USB (every trigger press a tooth measurement), on a
    pseudo-terminal as COM3, over Bluetooth, and a second one on USB."""
    program = built_file("TOLA_SIM", "build", "bin", "chromatik-sim")
    state_file = private_environment / "state.json"
    process = subprocess.Popen(
        [str(program), "--usb-dir", os.environ["TOLA_USB_DIR"], "--bt-dir", os.environ["TOLA_BT_DIR"],
         "--state-file", str(state_file),
         "--kind", "4", "--cpu", "2", "--release", "CK0A.00.31.00", "--firmware", "511vLE",
         "--serial", USB_SERIAL, "--device-type", "5324", "--measure-kind", "1",
         "--kind", "9", "--serial", SERIAL_SERIAL,
         "--kind", "10", "--release", "CK0A.00.32.00", "--firmware", "512bLE", "--serial", BT_SERIAL,
         "--kind", "4", "--serial", USB2_SERIAL],
        stdout=subprocess.DEVNULL)
    try:
        # The state file appears, written whole, once every instrument is up.
        deadline = time.monotonic() + 20
        while not state_file.exists():
            if process.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError("chromatik-sim did not start")
            time.sleep(0.05)
        state = json.loads(state_file.read_text())
        serial = next(i for i in state["instruments"] if i["kind"] == 9)
        os.environ["TOLA_" + SERIAL_PORT.upper()] = serial["serial_path"]
        yield Sim(program, state)
    finally:
        process.terminate()
        process.wait(timeout=10)
