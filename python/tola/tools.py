"""The firmware catalog and the firmware update, run by ``tolactl``.

The update engine belongs to the update program's core; ``tolactl`` runs it and
reports in JSON lines, so these functions start ``tolactl`` rather than repeat
the engine.  ``tolactl`` is the file named by ``TOLA_TOLACTL``, else the one in
the build tree of the source checkout the package lives in, else the one on the
``PATH``.
"""

from __future__ import annotations

import json
import os
import selectors
import shutil
import subprocess
import time
from pathlib import Path
from typing import Any, Callable

from .errors import TolaError, ToolError
from .instrument import connection_open


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


def _run_lines(arguments: list[str], timeout: float, on_line: Callable[[dict[str, Any]], None]) -> tuple[int, str]:
    """Runs tolactl, hands each JSON line of its output to ``on_line`` and returns
    its exit status and standard error; stops it after ``timeout`` seconds."""
    process = subprocess.Popen([tolactl(), *arguments], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               stdin=subprocess.DEVNULL)
    assert process.stdout is not None and process.stderr is not None
    deadline = time.monotonic() + timeout
    pending = b""
    errors = b""
    with selectors.DefaultSelector() as selector:
        selector.register(process.stdout, selectors.EVENT_READ)
        selector.register(process.stderr, selectors.EVENT_READ)
        while selector.get_map():
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                process.kill()
                process.wait()
                raise ToolError(f"tolactl {arguments[0]} did not end within {timeout:g} s")
            for key, _ in selector.select(remaining):
                chunk = os.read(key.fd, 65536)
                if not chunk:
                    selector.unregister(key.fileobj)
                    continue
                if key.fileobj is process.stderr:
                    errors += chunk
                    continue
                pending += chunk
                *lines, pending = pending.split(b"\n")
                for line in lines:
                    if line.strip():
                        on_line(json.loads(line))
    status = process.wait()
    return status, errors.decode("utf-8", "replace").strip()


def catalog(timeout: float = 30.0) -> list[dict[str, Any]]:
    """The built-in firmware entries, each as ``tolactl catalog --json`` gives it
    (index, release, date, size, default)."""
    entries: list[dict[str, Any]] = []
    status, errors = _run_lines(["catalog", "--json"], timeout, entries.append)
    if status != 0:
        raise ToolError(errors or f"tolactl catalog ended with status {status}")
    return entries


def update(image: str | int | None = None, *, file: str | None = None, port: str = "usb", service: bool = False,
           yes: bool = False, verify: bool = True, history: str | None = None, timeout: float = 1800.0,
           on_event: Callable[[dict[str, Any]], None] | None = None) -> dict[str, Any]:
    """Updates the firmware of a Chromatik V with ``tolactl update`` and returns its
    final ``end`` event.  ``on_event`` receives every event as it comes (steps,
    count-down, messages, result).  Raises ``ToolError`` when the update did not
    complete, with tolactl's text.

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

    status, errors = _run_lines(arguments, timeout, take)
    if status != 0:
        result = end.get("result")
        raise ToolError(f"update failed: {result}" if result else errors or f"tolactl update ended with status {status}")
    return end
