"""The firmware catalog, the firmware update and the list of attached
instruments, run by ``tolactl``.

The update engine belongs to the update program's core; ``tolactl`` runs it and
reports in JSON lines, so these functions start ``tolactl`` rather than repeat
the engine.  ``tolactl`` is the file named by ``TOLA_TOLACTL``, else the one in
the build tree of the source checkout the package lives in, else the one on the
``PATH``.
"""

from __future__ import annotations

import contextlib
import json
import os
import selectors
import shutil
import signal
import subprocess
import sys
import threading
import time
from dataclasses import dataclass, fields
from pathlib import Path
from typing import Any, Callable, Iterator

from .errors import TolaError, ToolError
from .instrument import Instrument, connect, connection_open


def tolactl() -> str:
    """The ``tolactl`` these functions run."""
    forced = os.environ.get("TOLA_TOLACTL", "")
    if forced:
        return forced
    built = Path(__file__).resolve().parent.parent.parent / "build" / "bin" / "tolactl"
    if built.is_file():
        return str(built)
    found = shutil.which("tolactl")
    if found is None:
        raise ToolError("tolactl not found (install it, or set TOLA_TOLACTL to its file)")
    return found


@contextlib.contextmanager
def _ctrl_c_noted() -> Iterator[list[int]]:
    """Ctrl-C noted in the list instead of raised, where this thread can take it
    over: in the main thread while Python's own handler is in place.  Elsewhere a
    KeyboardInterrupt reaches the main thread only, or the program's own handler
    decides; ``_run_lines`` then catches what it can."""
    noted: list[int] = []
    if threading.current_thread() is not threading.main_thread() or \
            signal.getsignal(signal.SIGINT) is not signal.default_int_handler:
        yield noted
        return
    previous = signal.signal(signal.SIGINT, lambda number, frame: noted.append(number))
    try:
        yield noted
    finally:
        signal.signal(signal.SIGINT, previous)


def _run_lines(arguments: list[str], timeout: float, on_line: Callable[[dict[str, Any]], None], *,
               guarded: bool = False) -> tuple[int, str, bool]:
    """Runs tolactl, hands each JSON line of its output to ``on_line`` and returns
    its exit status, its standard error and whether the time ran out while it was
    in its critical stretch.

    tolactl is read until it ends, whatever happens here (see ``update``): left
    unread it would stall on a full pipe.  An exception from ``on_line`` (or a
    line that is not JSON) ends the calls to ``on_line``, Ctrl-C is noted, and
    either is raised once tolactl has ended, with its ``end`` event (None without
    one) as ``tolactl_end``.  After ``timeout`` seconds tolactl is killed and
    ToolError raised; with ``guarded`` not inside the critical stretch that
    tolactl announces with ``critical`` events, but once that is over.
    """
    process = subprocess.Popen([tolactl(), *arguments], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               stdin=subprocess.DEVNULL)
    assert process.stdout is not None and process.stderr is not None
    deadline = time.monotonic() + timeout
    pending = b""
    errors = b""
    critical = late = overdue = False
    failure: BaseException | None = None
    end: dict[str, Any] | None = None
    with selectors.DefaultSelector() as selector, _ctrl_c_noted() as noted:
        selector.register(process.stdout, selectors.EVENT_READ)
        selector.register(process.stderr, selectors.EVENT_READ)
        while selector.get_map():
            try:
                remaining: float | None = None
                # Past its end event an update only exits: nothing left to cut short.
                if not critical and not (guarded and end is not None) and process.returncode is None:
                    remaining = deadline - time.monotonic()
                    if remaining <= 0:
                        if process.poll() is None:
                            process.kill()
                            overdue = True
                            break
                        remaining = None
                for key, _ in selector.select(remaining):
                    chunk = os.read(key.fd, 65536)
                    if not chunk:
                        selector.unregister(key.fileobj)
                        continue
                    if key.fileobj is process.stderr:
                        errors += chunk
                        if noted and sys.stderr is not None:
                            sys.stderr.write(chunk.decode("utf-8", "replace"))
                            sys.stderr.flush()
                        continue
                    pending += chunk
                    *lines, pending = pending.split(b"\n")
                    for line in lines:
                        if not line.strip():
                            continue
                        try:
                            event = json.loads(line)
                            if event.get("event") == "end":
                                end = event
                            if guarded and event.get("event") == "critical":
                                if critical and not event.get("critical"):
                                    late = late or time.monotonic() >= deadline
                                critical = bool(event.get("critical"))
                            if failure is None:
                                on_line(event)
                        except BaseException as error:
                            if failure is None:
                                failure = error
            except KeyboardInterrupt:
                # Only under a handler of the program's own; the loop goes on.
                noted.append(signal.SIGINT)
        status = process.wait()
    late = late or (critical and time.monotonic() >= deadline)
    stopped: ToolError | None = None
    if overdue:
        stopped = ToolError(f"tolactl {arguments[0]} did not end within {timeout:g} s"
                            + (" (the time ran out in its critical stretch; it was stopped once that was over)"
                               if late else ""))
    if failure is None and noted:
        failure = KeyboardInterrupt()
    if failure is not None:
        with contextlib.suppress(AttributeError):
            setattr(failure, "tolactl_end", end)
        if hasattr(failure, "add_note"):
            failure.add_note(str(stopped) if stopped else (f"tolactl {arguments[0]} ended: {json.dumps(end)}" if end
                                                           else f"tolactl {arguments[0]} ended with status {status}"))
        raise failure
    if stopped is not None:
        raise stopped
    return status, errors.decode("utf-8", "replace").strip(), late


def catalog(timeout: float = 30.0) -> list[dict[str, Any]]:
    """The built-in firmware entries, each as ``tolactl catalog --json`` gives it
    (index, release, date, size, default)."""
    entries: list[dict[str, Any]] = []
    status, errors, _ = _run_lines(["catalog", "--json"], timeout, entries.append)
    if status != 0:
        raise ToolError(errors or f"tolactl catalog ended with status {status}")
    return entries


def update(image: str | int | None = None, *, file: str | None = None, port: str = "usb", service: bool = False,
           yes: bool = False, verify: bool = True, history: str | None = None, timeout: float = 1800.0,
           on_event: Callable[[dict[str, Any]], None] | None = None) -> dict[str, Any]:
    """Updates the firmware of a Chromatik V with ``tolactl update`` and returns its
    final ``end`` event.  ``on_event`` receives every event as it comes (steps,
    count-down, messages, result, and ``critical`` with ``"critical": true`` when
    the update enters its critical stretch, ``false`` when it leaves it).  Raises
    ``ToolError`` when the update did not complete, with tolactl's text.

    Once started, the update is never abandoned from here: stopped between
    entering the boot loader and storing the settings again, it leaves the
    instrument without firmware or settings.  This call returns or raises only
    after tolactl has ended:

    * When ``on_event`` raises, it is not called again; the update goes on to its
      end and then the exception is raised, with the ``end`` event (None without
      one) as its ``tolactl_end`` attribute.
    * Ctrl-C (KeyboardInterrupt) while waiting, however often, is held back
      until tolactl has ended and then raised; ``on_event`` goes on receiving
      events meanwhile.  (Held back in the main thread under Python's own
      handler; under a handler of the program's own, the KeyboardInterrupt it
      raises is caught where it lands.)  Ctrl-C at the terminal reaches tolactl as well: outside
      the critical stretch it ends there; inside it, tolactl answers on standard
      error (shown from then on) and only the third Ctrl-C stops it, at its next
      safe point.  Nothing is sent to tolactl from here, so an interrupt that did
      not come from the terminal (a signal to this process alone, a
      KeyboardInterrupt raised in code) lets the update run on to its end or to
      ``timeout``: without the terminal there is no telling whether tolactl got it
      too, and a signal of our own on top of the user's would bring the third,
      stopping one, sooner than pressed.
    * ``timeout`` (seconds from the start) is kept outside the critical stretch
      only.  When it runs out there, tolactl is stopped (it has nothing half done) and ``ToolError``
      raised.  When it runs out inside, the update goes on until the stretch is
      over; tolactl is stopped then if it still runs, and the ``ToolError`` says
      that the time ran out in the critical stretch (so does the one of an update
      that failed after that; one that completed meanwhile is returned as usual).

    The instrument must not be connected in this process meanwhile: ``tolactl``
    opens it itself.
    """
    if connection_open():
        raise TolaError("close the connection first: tolactl opens the instrument for the update itself")
    arguments = ["update", "--json", "--port", port]
    if image is not None:
        arguments += ["--image", str(image)]
    if file is not None:
        arguments += ["--file", file]
    if service:
        arguments.append("--service")
    if yes:
        arguments.append("--yes")
    if not verify:
        arguments.append("--no-verify")
    if history is not None:
        arguments += ["--history", history]
    end: dict[str, Any] = {}

    def take(event: dict[str, Any]) -> None:
        if event.get("event") == "end":
            end.update(event)
        if on_event is not None:
            on_event(event)

    status, errors, late = _run_lines(arguments, timeout, take, guarded=True)
    if status != 0:
        result = end.get("result")
        text = f"update failed: {result}" if result else errors or f"tolactl update ended with status {status}"
        if late:
            text += f" (past the timeout of {timeout:g} s, which ran out in the critical stretch)"
        raise ToolError(text)
    return end


@dataclass(frozen=True)
class InstrumentInfo:
    """One instrument that ``tolactl list`` found (empty texts where it could not tell)."""

    link: str
    """"usb", "serial" or "bluetooth"."""
    where: str
    """The USB socket ("dev1"), serial port ("com3") or Bluetooth address."""
    kind: str
    product: str
    serial: str
    firmware: str
    layout: str
    device_code: int
    boot_loader: bool
    """It is in its boot loader."""
    busy: bool
    pending_backup: str
    running_update: str
    note: str

    def connect(self, timeout: float = 130.0) -> Instrument:
        """Connects to this instrument, and to no other (see ``tola.connect``)."""
        serial = self.serial or None
        if self.link == "usb":
            return connect("usb", timeout, serial=serial, socket=self.where)
        if self.link == "bluetooth":
            return connect("bt", timeout, self.where, serial=serial)
        return connect(self.where, timeout, serial=serial)


class InstrumentList(list[InstrumentInfo]):
    """The instruments ``tolactl list`` found; ``duplicates`` as it reports them."""

    duplicates: tuple[str, ...] = ()


_FIELD_TYPES: dict[str, type] = {"str": str, "int": int, "bool": bool}


def _instrument_info(item: Any) -> InstrumentInfo:
    values: dict[str, Any] = {}
    for field in fields(InstrumentInfo):
        value = item[field.name]
        if type(value) is not _FIELD_TYPES[str(field.type)]:
            raise TypeError(f"{field.name} is {value!r}")
        values[field.name] = value
    return InstrumentInfo(**values)


def instruments(bt_search: bool = False, timeout: float = 60.0) -> InstrumentList:
    """The attached instruments, by ``tolactl list --json``: each USB socket,
    serial port and known Bluetooth address opened alone and identified.
    ``bt_search`` searches for Bluetooth instruments in reach as well (as long
    as the Bluetooth client's search takes).  Raises ``ToolError`` with
    tolactl's text when it fails or does not end within ``timeout`` seconds.
    """
    arguments = [tolactl(), "list", "--json"] + (["--bt-search"] if bt_search else [])
    try:
        done = subprocess.run(arguments, capture_output=True, stdin=subprocess.DEVNULL, timeout=timeout)
    except subprocess.TimeoutExpired:
        raise ToolError(f"tolactl list did not end within {timeout:g} s") from None
    except OSError as error:
        raise ToolError(f"cannot run {arguments[0]}: {error}") from None
    errors = done.stderr.decode("utf-8", "replace").strip()
    if done.returncode != 0:
        raise ToolError(errors or f"tolactl list ended with status {done.returncode}")
    try:
        document = json.loads(done.stdout)
        found = InstrumentList(_instrument_info(item) for item in document["instruments"])
        found.duplicates = tuple(str(text) for text in document["duplicates"])
    except (ValueError, KeyError, TypeError) as error:
        raise ToolError(f"tolactl list gave what it should not ({error!r}): "
                        + done.stdout.decode("utf-8", "replace")[:200]) from None
    return found
