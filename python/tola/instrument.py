"""The connection to an instrument: ``connect()`` and the ``Instrument`` it returns.

The library serves one connection per process.  It keeps a pointer to the
connection record of the last open call for as long as it is loaded, so that
record lives here for the life of the process and every connection reuses it.
"""

from __future__ import annotations

import atexit
import ctypes
import os
import time
from dataclasses import dataclass
from pathlib import Path
from types import TracebackType
from typing import Any, Callable, Final, Iterator, NamedTuple, Sequence, TypeVar, overload

from . import _library as lib
from . import records as r
from .errors import CommandError, ConnectError, NotConnectedError, QueueRangeError, TolaError
from .measurement import Measurement
from .structures import IDENTIFIER_OF, structure_size

#: A new measurement is asked for at most this often; the library answers
#: earlier polls with "nothing new" without asking the instrument.
POLL_PERIOD: Final = 0.52
#: Pause between two steps of the interface search.
_SEARCH_STEP: Final = 0.1
#: Room for a text report.
_REPORT_BUFFER: Final = 10001
#: Room for a status or failure text.
_MESSAGE_BUFFER: Final = 501
#: Longest serial number or USB socket name a search limit takes: a name
#: field less its NUL.
LIMIT_MAX: Final = ctypes.sizeof(r.TNAME) - 1
#: How the library's text of a limited search that found only others goes on
#: after "Instrument <wanted> not found".
_ANSWERING: Final = "; answering: "

_record: Final = r.PXM_COMM()
_current: Instrument | None = None

R = TypeVar("R", bound=ctypes.Structure)


def port_number(port: str) -> int:
    """The connection record's port number for "usb", "bt", "auto" or "com1".."com20"."""
    text = port.strip().lower()
    if text == "usb":
        return r.TOLA_PORT_USB
    if text == "bt":
        return r.TOLA_PORT_BLUETOOTH
    if text == "auto":
        return r.TOLA_PORT_SEARCH
    if text.startswith("com") and text[3:].isdigit() and 1 <= int(text[3:]) <= 20:
        return r.TOLA_PORT_COM1 + int(text[3:]) - 1
    raise ValueError(f"unknown port '{port}': usb, com1..com20, bt or auto")


def selected_bluetooth_device() -> str:
    """The Bluetooth address chosen with ``tolactl bt-select`` (empty: none)."""
    config = os.environ.get("XDG_CONFIG_HOME") or str(Path.home() / ".config")
    try:
        return (Path(config) / "tola" / "bt-device").read_text(encoding="utf-8").split("\n", 1)[0].strip()
    except OSError:
        return ""


@dataclass(frozen=True)
class Identity:
    """Who answered: the instrument's identity as the library read it at connection."""

    device: str
    """Display name, e.g. "Chromatik® Portivo"."""
    serial: str
    """Serial number, e.g. "H51234"."""
    release: str
    """Firmware release, e.g. "511vLE"."""
    interface_version: str
    """Interface version code that selects the structure layouts, e.g. "CK0A.00.31.00"."""
    port: str
    """The library's name of instrument and port, e.g. "Chromatik® Portivo - USB"."""
    port_setting: str
    """The port asked for: "usb", "com3", "bt" or "auto"."""
    kind: int
    """The library's instrument kind (``iDevice``)."""
    vendor_id: int
    """USB vendor identifier (USB only, else 0)."""
    product_id: int
    """USB product identifier (USB only, else 0)."""
    socket: str = ""
    """The USB channel socket connected to, e.g. "dev1", when ``connect`` was
    given ``serial`` or ``socket`` (the library names it only then), else empty."""


class Brll(NamedTuple):
    """Bias, sample-rate index and lamp bits of the instrument."""

    bias: int
    rate: int
    lamp: int


@dataclass(frozen=True)
class BluetoothDevice:
    """An instrument a Bluetooth search found."""

    address: str
    name: str


@dataclass(frozen=True)
class LibraryVersion:
    """The library's version; prints as its version text, e.g. "1.0.12017.385"."""

    major: int
    minor: int
    release: int
    build: int
    text: str
    date: str
    time: str

    def __str__(self) -> str:
        return self.text


def library_version() -> LibraryVersion:
    """The version of the loaded library (needs no instrument)."""
    version = r.DLL_VERSION()
    lib.function("TOLA_Get_Dll_version_ex")(ctypes.byref(version), ctypes.sizeof(version))
    return LibraryVersion(
        version.dMajor, version.dMinor, version.dRelease, version.dBuild,
        lib.decode(version.snVersion), lib.decode(version.snDate), lib.decode(version.snTime),
    )


def bluetooth_scan() -> list[BluetoothDevice]:
    """Searches for Bluetooth instruments (as long as the Bluetooth client's search
    takes, 10 s with BlueZ by default)."""
    devices = r.BT_DEVICES()
    with lib.LOCK:
        result = lib.function("bTOLA_comm_bt_discovery_ex")(ctypes.byref(devices), ctypes.sizeof(devices))
    if result < 0:
        raise CommandError("no Bluetooth client library (libTolaBtClient.so)")
    if result == 0:
        raise CommandError("the Bluetooth search failed (no radio, or the library is busy)")
    count = min(devices.iCount, r.TOLA_BT_DEVICES_MAX)
    return [
        BluetoothDevice(lib.decode(d.snBtAddress), lib.decode(d.snBtDeviceName)) for d in devices.qBtDevice[:count]
    ]


def disconnect() -> None:
    """Closes this process's connection, if there is one (also one whose
    ``Instrument`` was not kept)."""
    with lib.LOCK:
        current = _current
    if current is not None:
        current.close()


# A connection still open when the interpreter ends is closed, so that its
# serial port or Bluetooth link is given back in order.
atexit.register(disconnect)


def connection_open() -> bool:
    """Whether this process holds an open connection."""
    return _current is not None


def _limit_text(what: str, value: str | None) -> bytes:
    """A serial number or socket name as the search limit takes it (empty: none)."""
    if not value:
        return b""
    try:
        raw = lib.encode_exact(value)
    except UnicodeEncodeError:
        raise ValueError(f"{what} {value!r} is not Latin-1 text") from None
    if b"\0" in raw or len(raw) > LIMIT_MAX:
        raise ValueError(f"{what} {value!r}: at most {LIMIT_MAX} characters, no NUL")
    return raw


def _not_found(texts: list[str]) -> str:
    """The library's texts of the ports where only other instruments answered,
    as one: "Instrument H51235 not found; answering: H51234 on dev0, ..."."""
    wanted = texts[0].split(_ANSWERING, 1)[0]
    return wanted + _ANSWERING + ", ".join(text.split(_ANSWERING, 1)[1] for text in texts)


def connect(port: str = "usb", timeout: float = 130.0, address: str | None = None, *, serial: str | None = None,
            socket: str | None = None) -> Instrument:
    """Connects to an instrument and returns it; use it as a context manager.

    ``port`` is "usb", "com1".."com20" (the device named by ``TOLA_COM<n>``),
    "bt" or "auto" (USB, then every serial port, 5 s each).  For "bt" the
    instrument is ``address``, or the one chosen with ``tolactl bt-select``.
    Raises ``ConnectError`` with the library's text when no instrument answers
    within ``timeout`` seconds (a USB port gives up by itself after 5 s).

    ``serial`` connects only the instrument of that serial number, and
    ``socket`` (for "usb" and "auto") only the one at that USB channel socket,
    e.g. "dev1" (both: the one with that serial number at that socket); every
    other instrument is passed over without a write.  When only others answer,
    ``ConnectError`` names them: "Instrument H51235 not found; answering:
    H51234 on dev0".  Each takes at most 25 characters of Latin-1 text, else
    ``ValueError``.

    One connection per process: the library keeps a single connection, so a
    second ``connect`` before the first connection is closed raises ``TolaError``.
    """
    global _current
    number = port_number(port)
    wanted_serial = _limit_text("serial number", serial)
    wanted_socket = _limit_text("socket", socket)
    if wanted_socket and number not in (r.TOLA_PORT_USB, r.TOLA_PORT_SEARCH):
        raise ValueError(f"socket= names a USB socket: port 'usb' or 'auto', not '{port}'")
    limited = bool(wanted_serial or wanted_socket)
    device = r.BT_DEVICE()
    if number == r.TOLA_PORT_BLUETOOTH:
        chosen = address or selected_bluetooth_device()
        if not chosen:
            raise ConnectError("no Bluetooth instrument selected: pass address= or use tolactl bt-scan and bt-select")
        encoded = lib.encode(chosen)
        if len(encoded) >= ctypes.sizeof(r.TMNAME):
            raise ValueError(f"Bluetooth address too long: {chosen}")
        device.snBtAddress = encoded
    initialize = lib.function("iTOLA_comm_poll_initialize")
    with lib.LOCK:
        if _current is not None:
            raise TolaError("this process already has a connection; close it first (one connection per process, "
                            "tola.disconnect() closes it)")
        instrument = Instrument(port.strip().lower())
        _current = instrument
        ctypes.memset(ctypes.byref(_record), 0, ctypes.sizeof(_record))
        _record.dSize = ctypes.sizeof(_record)
        _record.iPort = number
        if limited:
            # Taken by the first step of the search, and kept until the close.
            _record.tStatus = r.TOLA_STATUS_PINNED
            _record.snSerial_number = wanted_serial
            _record.snRS232 = wanted_socket
        if number == r.TOLA_PORT_BLUETOOTH:
            lib.function("TOLA_comm_bt_set_device_ex")(ctypes.byref(device), ctypes.sizeof(device))
    deadline = time.monotonic() + timeout
    # The ports of a limited search where only other instruments answered.
    others: list[str] = []
    try:
        while True:
            # One search step at a time under the lock, so the lock is never
            # held across the pauses between steps.
            with lib.LOCK:
                result = initialize(ctypes.byref(_record))
                status, text = int(_record.tStatus), lib.decode(_record.ssStatus)
            if result == 1:
                break
            if limited and status & r.TOLA_STATUS_WRONG_DEVICE and _ANSWERING in text:
                others.append(text)
                # One port: that is all.  The automatic search goes on to the
                # next port, with a call at once where it ended this one.
                if number != r.TOLA_PORT_SEARCH or status & r.TOLA_STATUS_SEARCH_ENDED:
                    raise ConnectError(_not_found(others), status)
                if result == 3 and time.monotonic() <= deadline:
                    continue
            if result not in (0, 2) or time.monotonic() > deadline:
                if others:
                    raise ConnectError(_not_found(others), status)
                raise ConnectError(f"no instrument: {text or 'no answer'}", status)
            time.sleep(_SEARCH_STEP)
        instrument._opened()
    except BaseException:
        with lib.LOCK:
            lib.function("TOLA_comm_close")()
            _current = None
        raise
    return instrument


class Instrument:
    """An open connection to one instrument (made by ``connect``).

    Every method may be called from any thread; the calls are serialised.  A
    method whose library call fails raises ``CommandError`` with the library's
    text.
    """

    def __init__(self, port_setting: str) -> None:
        self._port_setting = port_setting
        self._open = False
        self._identity: Identity | None = None
        self._last_poll = 0.0

    # ---- life ------------------------------------------------------------

    def _opened(self) -> None:
        name = ctypes.create_string_buffer(_MESSAGE_BUFFER)
        with lib.LOCK:
            lib.function("bTOLA_comm_get_interface_name")(name)
            self._identity = Identity(
                device=lib.decode(_record.snDevice),
                serial=lib.decode(_record.snSerial_number),
                release=lib.decode(_record.snVersion),
                interface_version=lib.decode(_record.snInterface),
                port=lib.decode(name.value),
                port_setting=self._port_setting,
                kind=_record.iDevice,
                vendor_id=_record.dVID,
                product_id=_record.dPID,
                socket=lib.decode(_record.snRS232) if _record.tStatus & r.TOLA_STATUS_USB else "",
            )
            self._open = True
            # The classic instrument on a serial port reports its results only
            # while their echo is on.
            if _record.iDevice == r.TOLA_DEVICE_SERIAL_CLASSIC:
                lib.function("tTOLA_comm_poll")(0x4)
            # The first poll of a connection reports nothing: what the
            # instrument held before is not new.
            self._poll_call()

    def close(self) -> None:
        """Closes the connection (again: no effect)."""
        global _current
        with lib.LOCK:
            if not self._open:
                return
            self._open = False
            lib.function("TOLA_comm_close")()
            if _current is self:
                _current = None

    @property
    def closed(self) -> bool:
        """Whether the connection has been closed."""
        return not self._open

    def __enter__(self) -> Instrument:
        return self

    def __exit__(self, kind: type[BaseException] | None, value: BaseException | None,
                 traceback: TracebackType | None) -> None:
        self.close()

    def __repr__(self) -> str:
        state = "closed" if not self._open else f"{self.info.device} {self.info.serial} on {self.info.port_setting}"
        return f"<tola.Instrument {state}>"

    # ---- identity and state -------------------------------------------

    @property
    def info(self) -> Identity:
        """The instrument's identity, as read at connection."""
        assert self._identity is not None
        return self._identity

    @property
    def status(self) -> int:
        """The connection record's status bits."""
        return int(_record.tStatus)

    @property
    def status_text(self) -> str:
        """The library's last status text."""
        return lib.decode(_record.ssStatus)

    def _call(self, name: str, *arguments: Any) -> Any:
        with lib.LOCK:
            if not self._open:
                raise NotConnectedError("the connection is closed")
            return lib.function(name)(*arguments)

    def _flag(self, what: str, name: str, *arguments: Any) -> None:
        with lib.LOCK:
            if self._call(name, *arguments) != 1:
                text = lib.decode(_record.ssStatus)
                raise CommandError(f"{what} failed" + (f": {text}" if text else ""), _record.tStatus)

    def test(self) -> bool:
        """Whether the instrument still answers."""
        return bool(self._call("bTOLA_comm_test"))

    # ---- device commands ------------------------------------------------

    def reset(self) -> None:
        """Resets the instrument (returns after its 2.5 s restart)."""
        self._flag("reset", "bTOLA_comm_reset")

    def set_state(self, state: int) -> None:
        """Sets the instrument state (53 stores the settings, followed by state 20)."""
        self._flag("state", "bTOLA_comm_set_state", state)

    def brll(self) -> Brll:
        """Reads bias, sample-rate index and lamp bits."""
        bias, rate, lamp = ctypes.c_int16(), ctypes.c_int32(), ctypes.c_int32()
        self._flag("brll", "bTOLA_comm_get_current_BRLL", ctypes.byref(bias), ctypes.byref(rate), ctypes.byref(lamp))
        return Brll(bias.value, rate.value, lamp.value)

    def set_bias(self, value: int) -> None:
        """Sets the bias value."""
        self._flag("bias", "bTOLA_comm_set_bias", value)

    def set_sample_rate(self, index: int) -> None:
        """Sets the sample-rate index (0..12)."""
        self._flag("rate", "bTOLA_comm_set_sample_rate", index)

    def lamp(self, bits: int) -> None:
        """Switches lamp, shutter and LEDs."""
        self._flag("lamp", "bTOLA_comm_lamp_shutter_LED", bits)

    def measure(self) -> None:
        """Starts a colour measurement (its result arrives like a trigger press's)."""
        self._flag("measure", "bTOLA_comm_measure_color")

    def calibrate(self) -> None:
        """Starts a calibration."""
        self._flag("calibrate", "bTOLA_comm_calibrate")

    def defaults(self) -> None:
        """Restores the instrument's default settings."""
        self._flag("defaults", "bTOLA_comm_defaults")

    def slave_mode(self) -> None:
        """Puts the instrument under host control."""
        self._call("TOLA_comm_slave_mode")

    def control(self, value: int) -> None:
        """Sends a control value through the host command block."""
        self._flag("control", "bTOLA_USB_CKII_control", value)

    def send_command(self, words: Sequence[int], wait_ms: int | None = None) -> tuple[int, ...]:
        """Sends a host command block (words 0..15, missing words 0) and returns the
        sixteen words of the answer; ``wait_ms`` goes into word 14."""
        if len(words) > 16:
            raise ValueError("a host command block has 16 words")
        block = r.COMM_USB_HOST()
        for i, word in enumerate(words):
            block.qdWord[i] = word
        if wait_ms is not None:
            block.qdWord[14] = wait_ms
        self._flag("send", "bTOLA_comm_send_command_ex", ctypes.byref(block), ctypes.sizeof(block))
        return tuple(block.qdWord)

    def cpu_type(self) -> int:
        """The controller type: 1 H8SX, 2 STM32."""
        kind = ctypes.c_int32()
        self._flag("cpu-type", "bTOLA_comm_GetCpuType", ctypes.byref(kind))
        return kind.value

    def controller_command(self, command: int, value: int = 0) -> None:
        """Sends a controller (boot-loader) command: 9 erase, 10 leave, 11 enter."""
        self._flag("ctl-cmd", "bTOLA_comm_Controller_command", command, value)

    def controller_read(self, address: int, length: int) -> bytes:
        """Reads controller memory (1 to 128 bytes)."""
        if not 1 <= length <= 128:
            raise ValueError("a controller read takes 1 to 128 bytes")
        data = ctypes.create_string_buffer(length)
        self._flag("ctl-read", "bTOLA_comm_Controller_read", data, address, length)
        return data.raw

    def controller_write(self, address: int, data: bytes, pause: int = 10) -> None:
        """Writes controller memory in 128-byte blocks."""
        for done in range(0, len(data), 128):
            piece = ctypes.create_string_buffer(data[done:done + 128], len(data[done:done + 128]))
            self._flag(f"ctl-write at offset {done}", "bTOLA_comm_Controller_write", piece, address + done,
                       len(piece), pause)

    # ---- structures -------------------------------------------------------

    def _transfer(self, identifier: int, buffer: Any, size: int, direction: int, local: bool) -> None:
        message = ctypes.create_string_buffer(_MESSAGE_BUFFER)
        ident = identifier | (r.CKPSTRUCT_LOCAL if local else 0)
        with lib.LOCK:
            ok = self._call("bTOLA_Transfer_local_structure", ctypes.byref(_record), ctypes.addressof(buffer), ident,
                            size, direction, message)
            if ok != 1:
                what = "write" if direction == r.TOLA_DIRECTION_DOWNLOAD else "read"
                text = lib.decode(message.value) or lib.decode(_record.ssStatus) or "no usable link"
                raise CommandError(f"{what} {identifier}: {text}", _record.tStatus)

    @staticmethod
    def _identifier(structure: int | type[ctypes.Structure]) -> int:
        if isinstance(structure, type):
            if structure not in IDENTIFIER_OF:
                raise ValueError(f"no structure identifier moves a {structure.__name__}")
            return IDENTIFIER_OF[structure]
        if structure_size(structure) == 0:
            raise ValueError(f"no structure has identifier {structure}")
        return int(structure)

    @overload
    def read(self, structure: type[R], *, local: bool = False) -> R: ...

    @overload
    def read(self, structure: int, *, local: bool = False) -> bytes: ...

    def read(self, structure: int | type[R], *, local: bool = False) -> R | bytes:
        """Uploads a structure from the instrument.

        ``structure`` is a record type (e.g. ``tola.CKNG_SETTINGS``), which gives
        that record, or an identifier (``tola.Structure.SETTINGS`` or a number),
        which gives the raw bytes in the library's host layout.  With
        ``local=True`` the library's copy is read without asking the instrument.
        """
        ident = self._identifier(structure)
        if isinstance(structure, type):
            record = structure()
            self._transfer(ident, record, ctypes.sizeof(record), r.TOLA_DIRECTION_UPLOAD, local)
            return record
        data = ctypes.create_string_buffer(structure_size(ident))
        self._transfer(ident, data, len(data), r.TOLA_DIRECTION_UPLOAD, local)
        return data.raw

    def write(self, structure: int | type[ctypes.Structure], data: ctypes.Structure | bytes, *,
              local: bool = False) -> None:
        """Downloads a structure to the instrument (``local=True``: to the library's
        copy only).  ``data`` is the record or its raw bytes, of the structure's size."""
        ident = self._identifier(structure)
        raw = bytes(data)
        size = structure_size(ident)
        if len(raw) != size:
            raise ValueError(f"identifier {ident} takes {size} bytes, not {len(raw)}")
        buffer = ctypes.create_string_buffer(raw, size)
        self._transfer(ident, buffer, size, r.TOLA_DIRECTION_DOWNLOAD, local)

    # ---- measurements -------------------------------------------------------

    def set_details(self, flags: int) -> None:
        """Chooses what each poll fetches: bit 0 interpret the results, bit 1 also
        fetch the measurement details, bit 2 the short Bluetooth result record."""
        self._call("bTOLA_comm_poll_set_details", flags)

    def events(self, mask: int) -> int:
        """One event poll: the event bits of ``mask`` that happened (0: none)."""
        return int(self._call("tTOLA_comm_poll", mask))

    def _poll_call(self) -> Measurement | None:
        record = r.COMM_MEASUREMENT()
        with lib.LOCK:
            found = self._call("bTOLA_comm_poll_measurements_ex", ctypes.byref(record), ctypes.sizeof(record), 1)
            self._last_poll = time.monotonic()
        return Measurement.from_record(record) if found == 1 else None

    def poll(self, timeout: float | None = 0.0) -> Measurement | None:
        """Waits up to ``timeout`` seconds for a new measurement and returns it,
        or None when none came (``timeout=None``: wait as long as it takes).

        The instrument is asked about twice a second; a poll sooner than that
        after the last one waits for its turn (within the timeout).
        """
        deadline = None if timeout is None else time.monotonic() + timeout
        while True:
            turn = self._last_poll + POLL_PERIOD
            now = time.monotonic()
            if deadline is not None and turn > deadline:
                return None
            if turn > now:
                time.sleep(turn - now)
            found = self._poll_call()
            if found is not None:
                return found

    def measurements(self, timeout: float | None = 60.0) -> Iterator[Measurement]:
        """Yields each new measurement as it arrives; ends when none has come for
        ``timeout`` seconds (``timeout=None``: never, until the caller stops).

        Each poll hands over the instrument's newest measurement; when several
        are taken within one poll period, the earlier ones stay in the
        instrument's queue (``queue``), as the queue position shows."""
        while True:
            found = self.poll(timeout)
            if found is None:
                return
            yield found

    def queue(self, which: str | int = "newest") -> Measurement:
        """One measurement of the instrument's queue: "first", "prev", "next",
        "newest" or an index from 0.  Raises ``QueueRangeError`` beyond the queue."""
        modes = {"first": 0, "prev": 1, "previous": 1, "next": 3, "newest": 4, "last": 4}
        record = r.COMM_MEASUREMENT()
        if isinstance(which, int):
            if which < 0:
                raise ValueError("queue indexes start at 0")
            mode = 2
            record.iQueue = which
        elif which in modes:
            mode = modes[which]
        else:
            raise ValueError("first, prev, next, newest or an index from 0")
        with lib.LOCK:
            found = self._call("bTOLA_comm_get_queue_measurement_ex", ctypes.byref(record), ctypes.sizeof(record),
                               mode)
            status = int(_record.tStatus)
        if found != 1:
            if status & r.TOLA_STATUS_QUEUE_RANGE:
                raise QueueRangeError(f"no such entry: the queue holds {record.dQueue}", status)
            raise CommandError(f"reading the queue failed (status 0x{status:X})", status)
        return Measurement.from_record(record)

    def clear_queue(self) -> None:
        """Deletes every measurement in the instrument's queue (takes 3 to 4 s)."""
        self._flag("clearing the queue", "bTOLA_comm_clear_queue")

    # ---- reports ------------------------------------------------------------

    def report(self, name: str, mode: int = 2) -> str:
        """Reads a structure and returns the library's service report of it:
        "version", "setup", "norm", "settings", "details", "results", "calmat" or
        "table".  For "details", ``mode`` 2 adds the verification lines, 1 leaves
        them out."""
        text = ctypes.create_string_buffer(_REPORT_BUFFER)
        if name == "table":
            table = self.read(r.COMM_STRUCTURE_TABLE)
            sizes = self.read(r.COMM_STRUCTURE_SIZES)
            self._call("TOLA_Get_COMM_structure_table", text, ctypes.byref(table), ctypes.byref(sizes))
            return lib.decode(text.value)
        renderers: dict[str, tuple[type[ctypes.Structure], Callable[[Any], None]]] = {
            "version": (r.COMM_VERSION, lambda rec: self._render("TOLA_Get_COMM_version_ex", text, rec)),
            "setup": (r.CKII_SETUP, lambda rec: self._render("TOLA_Get_CKII_setup_ex", text, rec)),
            "norm": (r.CKII_NORM, lambda rec: self._render("TOLA_Get_CKII_norm_ex", text, rec)),
            "settings": (r.CKNG_SETTINGS, lambda rec: self._render("TOLA_Get_CKII_settings_ex", text, rec)),
            "details": (r.TOLA_SHADE_MATCH_DETAILS,
                        lambda rec: self._render("TOLA_Get_TOLA_SHADE_MATCH_DETAILS_ex", text, rec, mode)),
            "results": (r.CKII_RESULTS, lambda rec: self._render("TOLA_Get_CKII_results_ex", text, rec)),
            "calmat": (r.CKNG_CALMAT, lambda rec: self._render("TOLA_Get_CKNG_CalMat_ex", text, rec)),
        }
        if name not in renderers:
            raise ValueError("version, setup, norm, settings, details, results, calmat or table")
        record_type, render = renderers[name]
        render(self.read(record_type))
        return lib.decode(text.value)

    def _render(self, name: str, text: Any, record: ctypes.Structure, *more: int) -> None:
        self._call(name, text, ctypes.byref(record), ctypes.sizeof(record), *more)
