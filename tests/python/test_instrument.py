"""The package against virtual instruments on every link."""

from __future__ import annotations

import csv
import json
import os
import signal
import subprocess
import sys
import threading
from pathlib import Path
from typing import Any

import pytest

import tola
from tola import _library
from conftest import BT_SERIAL, ROOT, SERIAL_PORT, SERIAL_SERIAL, USB2_SERIAL, USB_SERIAL, Sim


def test_library_version_needs_no_instrument() -> None:
    version = tola.library_version()
    assert str(version) == "1.0.12017.385"
    assert (version.major, version.release, version.date, version.time) == (1, 12017, "2022-01-18", "15:17:11")


def test_the_soname_is_tried_before_the_development_link(monkeypatch: pytest.MonkeyPatch) -> None:
    monkeypatch.delenv("TOLA_COMM_LIBRARY", raising=False)
    found = _library.candidates()
    assert found[-2:] == ["libTOLA_comm.so.1", "libTOLA_comm.so"]
    for path in found[:-2]:
        if path.endswith("/libTOLA_comm.so") and Path(path + ".1").is_file():
            assert found.index(path + ".1") < found.index(path)


@pytest.mark.parametrize(
    ("port", "serial", "release", "interface", "device", "port_text"),
    [
        ("usb", USB_SERIAL, "511vLE", "CK0A.00.31.00", "Chromatik® Portivo", "Chromatik® Portivo - USB"),
        (SERIAL_PORT, SERIAL_SERIAL, "511vLE", "CK0A.00.31.00", "Chromatik® V", "Chromatik® V - RS232 comm 3"),
        ("bt", BT_SERIAL, "512bLE", "CK0A.00.32.00", "Chromatik® V", "Chromatik® V - Unknown Port"),
    ],
)
def test_identity_on_each_link(sim: Sim, port: str, serial: str, release: str, interface: str, device: str,
                               port_text: str) -> None:
    address = None
    if port == "bt":
        found = tola.bluetooth_scan()
        assert [d.name for d in found] == [f"Chromatik V {BT_SERIAL}"]
        address = found[0].address
    with tola.connect(port, timeout=30, address=address) as inst:
        info = inst.info
        assert (info.serial, info.release, info.interface_version, info.device, info.port) == (
            serial, release, interface, device, port_text)
        assert inst.test()
    assert inst.closed


def test_structure_round_trip(sim: Sim) -> None:
    with tola.connect("usb") as inst:
        settings = inst.read(tola.CKNG_SETTINGS)
        before = settings.dTimeout_standby
        settings.dTimeout_standby = before + 17
        inst.write(tola.CKNG_SETTINGS, settings)
        assert inst.read(tola.CKNG_SETTINGS).dTimeout_standby == before + 17
        # By identifier: the same bytes, raw.
        assert inst.read(tola.Structure.SETTINGS) == bytes(settings)
        settings.dTimeout_standby = before
        inst.write(tola.Structure.SETTINGS, bytes(settings))
        assert inst.read(tola.CKNG_SETTINGS).dTimeout_standby == before
        # The library's own copy of the version block, without the instrument.
        version = inst.read(tola.COMM_VERSION, local=True)
        assert version.snSerial_number.decode() == USB_SERIAL
        assert "dCOMM_VERSION" in inst.report("table")
        with pytest.raises(ValueError, match="takes 512 bytes"):
            inst.write(tola.Structure.SETTINGS, b"\0" * 10)


def test_failures_raise_with_the_library_text(sim: Sim) -> None:
    with tola.connect("usb") as inst:
        # A measurement is composed from the library's copies only, never uploaded.
        with pytest.raises(tola.CommandError, match="^read 25: Upload FAILED$"):
            inst.read(tola.COMM_MEASUREMENT)
        with pytest.raises(ValueError, match="no structure has identifier 29"):
            inst.read(29)
        with pytest.raises(tola.TolaError, match="one connection per process"):
            tola.connect("usb")
    with pytest.raises(tola.NotConnectedError):
        inst.brll()
    inst.close()
    with pytest.raises(ValueError, match="unknown port"):
        tola.connect("com21")
    # Nothing on this USB folder: the search gives up at the caller's deadline.
    os.environ["TOLA_USB_DIR"], usb = str(Path(os.environ["TOLA_USB_DIR"]) / "none"), os.environ["TOLA_USB_DIR"]
    try:
        with pytest.raises(tola.ConnectError, match="^no instrument: Testing USB"):
            tola.connect("usb", timeout=0.5)
    finally:
        os.environ["TOLA_USB_DIR"] = usb
    # A connection whose instrument was not kept is closed all the same.
    tola.connect("usb")
    tola.disconnect()
    with tola.connect("usb") as inst:
        assert inst.info.serial == USB_SERIAL


@pytest.mark.parametrize(
    ("port", "serial", "socket", "outcome"),
    [
        ("usb", USB2_SERIAL, None, (USB2_SERIAL, "dev1")),
        ("usb", None, "dev1", (USB2_SERIAL, "dev1")),
        # Past both instruments on USB to the serial port.
        ("auto", SERIAL_SERIAL, None, (SERIAL_SERIAL, "")),
        ("usb", "H59999", None,
         (tola.ConnectError, f"^Instrument H59999 not found; answering: {USB_SERIAL} on dev0, {USB2_SERIAL} on dev1$")),
        ("usb", "H" * 26, None, (ValueError, "at most 25 characters")),
        ("usb", "H5123\u2713", None, (ValueError, "not Latin-1")),
    ],
)
def test_connect_limited_to_one_instrument(sim: Sim, monkeypatch: pytest.MonkeyPatch, port: str, serial: str | None,
                                           socket: str | None, outcome: tuple[Any, str]) -> None:
    # The automatic search tries COM1 after USB.
    monkeypatch.setenv("TOLA_COM1", sim.instrument(9)["serial_path"])
    if isinstance(outcome[0], type):
        with pytest.raises(outcome[0], match=outcome[1]):
            tola.connect(port, timeout=30, serial=serial, socket=socket)
        return
    with tola.connect(port, timeout=30, serial=serial, socket=socket) as inst:
        assert (inst.info.serial, inst.info.socket) == outcome


def test_trigger_press_yields_one_measurement(sim: Sim) -> None:
    with tola.connect("usb") as inst:
        assert sim.tell("0 trigger") == "ok"
        measurement = next(inst.measurements(timeout=10))
        assert (measurement.material, measurement.kind) == ("Tooth", "tooth")
        assert measurement.single is not None and measurement.single.classical[0] not in ("", "---")
        assert measurement.single.L > 0 and len(measurement.single.spectrum) == 31
        assert measurement.verification is None and measurement.areas == ()
        assert inst.poll(timeout=1.2) is None
        # The instrument's queue holds it; nothing lies beyond it.
        newest = inst.queue("newest")
        assert newest.queue_index == newest.queue_count - 1
        assert newest.single is not None and newest.single.classical == measurement.single.classical
        with pytest.raises(tola.QueueRangeError, match=f"^no such entry: the queue holds {newest.queue_count}$"):
            inst.queue(newest.queue_count)


def test_threads_share_the_connection(sim: Sim) -> None:
    failures: list[BaseException] = []
    with tola.connect("usb") as inst:
        def work() -> None:
            try:
                for _ in range(5):
                    assert inst.brll().rate >= 0
                    assert inst.test()
            except BaseException as error:  # noqa: BLE001 - handed to the main thread
                failures.append(error)

        threads = [threading.Thread(target=work) for _ in range(4)]
        for thread in threads:
            thread.start()
        inst.poll(timeout=0.6)
        for thread in threads:
            thread.join(timeout=60)
        assert not any(thread.is_alive() for thread in threads)
    assert failures == []


def test_example_prints_each_measurement_as_csv(sim: Sim) -> None:
    example = ROOT / "python" / "examples" / "measurements_csv.py"
    # The example finds the package under test as a user's script would.
    environment = dict(os.environ, PYTHONPATH=str(Path(tola.__file__).resolve().parent.parent))
    process = subprocess.Popen([sys.executable, str(example), "--port", "usb", "--count", "1", "--timeout", "20"],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=environment)
    assert process.stdout is not None
    try:
        header = process.stdout.readline()
        assert header.rstrip("\r\n").split(",") == tola.COLUMNS
        assert sim.tell("0 trigger") == "ok"
        out, err = process.communicate(timeout=30)
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
    assert process.returncode == 0, err
    rows = list(csv.DictReader([header, *out.splitlines()]))
    assert len(rows) == 1 and rows[0]["material"] == "Tooth" and rows[0]["classical"]


def test_catalog_runs_tolactl() -> None:
    entries = tola.catalog()
    assert [e["release"] for e in entries if e["default"]] == ["512bLE"]


#: A tolactl that lists one instrument, and knows no option besides --json.
FAKE_LIST = """#!{python}
import sys
if sys.argv[1:] != ["list", "--json"]:
    sys.exit("tolactl: no such option " + " ".join(sys.argv[1:]))
print({output!r})
"""
ON_USB = {"link": "usb", "where": "dev1", "kind": "Chromatik V", "product": "Chromatik® Portivo",
          "serial": USB2_SERIAL, "firmware": "511vLE", "layout": "CK0A.00.31.00", "device_code": 5324,
          "boot_loader": False, "busy": False, "pending_backup": "", "running_update": "", "note": ""}


def test_instruments_runs_tolactl_list(sim: Sim, tmp_path: Path, monkeypatch: pytest.MonkeyPatch) -> None:
    fake = tmp_path / "tolactl"
    fake.write_text(FAKE_LIST.format(python=sys.executable,
                                     output=json.dumps({"instruments": [ON_USB], "duplicates": [USB2_SERIAL]})))
    fake.chmod(0o755)
    monkeypatch.setenv("TOLA_TOLACTL", str(fake))
    found = tola.instruments()
    assert (found, found.duplicates) == ([tola.InstrumentInfo(**ON_USB)], (USB2_SERIAL,))
    with found[0].connect(timeout=30) as inst:
        assert (inst.info.serial, inst.info.socket) == (USB2_SERIAL, "dev1")
    with pytest.raises(tola.ToolError, match="^tolactl: no such option list --json --bt-search$"):
        tola.instruments(bt_search=True)


CRITICAL, SAFE = {"event": "critical", "critical": True}, {"event": "critical", "critical": False}
STEP, END = {"event": "step", "step": "program"}, {"event": "end", "result": "ok"}
STRETCH = [CRITICAL, 0.2, STEP, SAFE, END]

#: A tolactl that gives a scripted stream (events, and pauses in seconds) and
#: logs each event as it gets to it.
FAKE_TOLACTL = """#!{python}
import json, time
for step in {steps!r}:
    if isinstance(step, dict):
        open({log!r}, "a").write(json.dumps(step) + "\\n")
        print(json.dumps(step), flush=True)
    else:
        time.sleep(step)
"""


@pytest.mark.parametrize(
    ("steps", "timeout", "react", "raised", "reached", "called"),
    [
        # The callback fails inside the critical stretch: the update still ends.
        (STRETCH, 60, ValueError("from the callback"), ValueError, 4, 1),
        (STRETCH, 60, KeyboardInterrupt(), KeyboardInterrupt, 4, 1),
        # Ctrl-C twice, not from a terminal (tolactl gets none): waited out.
        (STRETCH, 60, signal.SIGINT, KeyboardInterrupt, 4, 4),
        # The time runs out inside the stretch: stopped only once it is over ...
        ([STEP, CRITICAL, 5, SAFE, 60, END], 3, None, "critical stretch", 3, 3),
        # ... and before it: stopped at once.
        ([60, CRITICAL, SAFE, END], 1, None, "within 1 s$", 0, 0),
    ],
    ids=["callback-fails", "callback-interrupts", "ctrl-c-twice", "timeout-in-stretch", "timeout-before"],
)
def test_update_is_never_abandoned(tmp_path: Path, monkeypatch: pytest.MonkeyPatch, steps: list[Any], timeout: float,
                                   react: Any, raised: Any, reached: int, called: int) -> None:
    fake, log = tmp_path / "tolactl", tmp_path / "log"
    fake.write_text(FAKE_TOLACTL.format(python=sys.executable, steps=steps, log=str(log)))
    fake.chmod(0o755)
    monkeypatch.setenv("TOLA_TOLACTL", str(fake))
    seen: list[dict[str, Any]] = []

    def on_event(event: dict[str, Any]) -> None:
        seen.append(event)
        if react is signal.SIGINT and event in (CRITICAL, STEP):
            signal.raise_signal(signal.SIGINT)
        elif isinstance(react, BaseException) and event == CRITICAL:
            raise react

    expected, match = (tola.ToolError, raised) if isinstance(raised, str) else (raised, "")
    with pytest.raises(expected, match=match) as caught:
        tola.update(yes=True, timeout=timeout, on_event=on_event)
    events = [step for step in steps if isinstance(step, dict)]
    assert (log.read_text().splitlines() if log.exists() else []) == [json.dumps(e) for e in events[:reached]]
    assert seen == events[:called]
    assert getattr(caught.value, "tolactl_end", None) == (END if reached == len(events) else None)
