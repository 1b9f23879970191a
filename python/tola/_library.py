"""Finding and loading ``libTOLA_comm.so``, and the process-wide call lock.

The library is looked for in this order, each place under the SONAME
``libTOLA_comm.so.1`` first and under the plain name ``libTOLA_comm.so`` second:

1. the file named by ``TOLA_COMM_LIBRARY`` (alone);
2. next to the package (a copy bundled with it);
3. the build tree of the source checkout the package lives in
   (``<checkout>/build/lib`` for ``<checkout>/python/tola``);
4. as the system's loader finds it (``LD_LIBRARY_PATH``, the loader cache).

The plain name is the development link of ``libtola-comm-dev`` and may one day
name another major version; the SONAME is the interface this package is
written for, so it comes first wherever both may be found.

The library serves one connection per process and keeps it in one connection
record that every later call works on; ``LOCK`` serialises the calls of this
process around that record, so that several threads may share an instrument.
The library itself takes the system-wide interface mutex inside each call.
"""

from __future__ import annotations

import codecs
import ctypes
import os
import threading
from pathlib import Path
from typing import Any, Callable, Final

from . import records as r
from .errors import LibraryNotFoundError

LIBRARY_NAME: Final = "libTOLA_comm.so"
SONAME: Final = "libTOLA_comm.so.1"
ENVIRONMENT_VARIABLE: Final = "TOLA_COMM_LIBRARY"

#: Held around every call that touches the library's connection record.
LOCK: Final = threading.RLock()

_loaded: ctypes.CDLL | None = None
_load_lock: Final = threading.Lock()

_P = ctypes.POINTER
_i32 = ctypes.c_int32
_u32 = ctypes.c_uint32
_char_p = ctypes.c_char_p
_void_p = ctypes.c_void_p

# name: (result type, argument types)
_PROTOTYPES: Final[dict[str, tuple[Any, list[Any]]]] = {
    "iTOLA_comm_poll_initialize": (_i32, [_P(r.PXM_COMM)]),
    "TOLA_comm_close": (_i32, []),
    "bTOLA_comm_test": (_i32, []),
    "bTOLA_comm_poll_measurements_ex": (_i32, [_P(r.COMM_MEASUREMENT), _i32, _i32]),
    "bTOLA_comm_get_interface_name": (_i32, [_char_p]),
    "bTOLA_comm_get_queue_measurement_ex": (_i32, [_P(r.COMM_MEASUREMENT), _i32, _i32]),
    "tTOLA_comm_poll": (_u32, [_i32]),
    "bTOLA_comm_reset": (_i32, []),
    "bTOLA_comm_set_state": (_i32, [_i32]),
    "bTOLA_comm_get_current_BRLL": (_i32, [_P(ctypes.c_int16), _P(_i32), _P(_i32)]),
    "bTOLA_comm_set_bias": (_i32, [_i32]),
    "bTOLA_comm_set_sample_rate": (_i32, [_i32]),
    "bTOLA_comm_lamp_shutter_LED": (_i32, [_i32]),
    "bTOLA_comm_measure_color": (_i32, []),
    "TOLA_comm_slave_mode": (_i32, []),
    "bTOLA_comm_calibrate": (_i32, []),
    "bTOLA_comm_defaults": (_i32, []),
    "TOLA_Get_COMM_structure_table": (_i32, [_char_p, _P(r.COMM_STRUCTURE_TABLE), _P(r.COMM_STRUCTURE_SIZES)]),
    "TOLA_Get_COMM_version_ex": (_i32, [_char_p, _P(r.COMM_VERSION), _i32]),
    "TOLA_Get_CKII_setup_ex": (_i32, [_char_p, _P(r.CKII_SETUP), _i32]),
    "TOLA_Get_CKII_norm_ex": (_i32, [_char_p, _P(r.CKII_NORM), _i32]),
    "TOLA_Get_CKII_settings_ex": (_i32, [_char_p, _P(r.CKNG_SETTINGS), _i32]),
    "TOLA_Get_TOLA_SHADE_MATCH_DETAILS_ex": (_i32, [_char_p, _P(r.TOLA_SHADE_MATCH_DETAILS), _i32, _i32]),
    "TOLA_Get_CKII_results_ex": (_i32, [_char_p, _P(r.CKII_RESULTS), _i32]),
    "TOLA_Get_CKNG_CalMat_ex": (_i32, [_char_p, _P(r.CKNG_CALMAT), _i32]),
    "bTOLA_Transfer_local_structure": (_i32, [_P(r.PXM_COMM), _void_p, _i32, _i32, _i32, _char_p]),
    "bTOLA_USB_CKII_control": (_i32, [_i32]),
    "bTOLA_comm_clear_queue": (_i32, []),
    "TOLA_Get_Dll_version_ex": (None, [_P(r.DLL_VERSION), _i32]),
    "bTOLA_comm_send_command_ex": (_i32, [_P(r.COMM_USB_HOST), _i32]),
    "bTOLA_comm_GetCpuType": (_i32, [_P(_i32)]),
    "bTOLA_comm_Controller_command": (_i32, [_i32, _i32]),
    "bTOLA_comm_Controller_read": (_i32, [_void_p, _u32, _i32]),
    "bTOLA_comm_Controller_write": (_i32, [_void_p, _u32, _i32, _i32]),
    "bTOLA_comm_bt_discovery_ex": (_i32, [_P(r.BT_DEVICES), _i32]),
    "TOLA_comm_bt_set_device_ex": (_i32, [_P(r.BT_DEVICE), _i32]),
    "bTOLA_comm_poll_set_details": (_i32, [_i32]),
}


def candidates() -> list[str]:
    """The files and names tried, in order (see the module's text)."""
    forced = os.environ.get(ENVIRONMENT_VARIABLE, "")
    if forced:
        return [forced]
    package = Path(__file__).resolve().parent
    folders = [package, package.parent.parent / "build" / "lib"]
    found = [str(folder / name) for folder in folders for name in (SONAME, LIBRARY_NAME)]
    found = [path for path in found if Path(path).is_file()]
    return found + [SONAME, LIBRARY_NAME]


def _declare(library: ctypes.CDLL) -> None:
    for name, (result, arguments) in _PROTOTYPES.items():
        function = getattr(library, name)
        function.restype = result
        function.argtypes = arguments


def library() -> ctypes.CDLL:
    """The loaded library (loaded on first use)."""
    global _loaded
    with _load_lock:
        if _loaded is not None:
            return _loaded
        reasons: list[str] = []
        for candidate in candidates():
            try:
                loaded = ctypes.CDLL(candidate)
            except OSError as error:
                reasons.append(str(error))
                continue
            try:
                _declare(loaded)
            except AttributeError as error:
                reasons.append(f"{candidate}: {error}")
                continue
            _loaded = loaded
            return loaded
        raise LibraryNotFoundError(
            f"cannot load {LIBRARY_NAME} (set {ENVIRONMENT_VARIABLE} to its file): " + "; ".join(reasons)
        )


def function(name: str) -> Callable[..., Any]:
    """One declared function of the library."""
    if name not in _PROTOTYPES:
        raise KeyError(name)
    result: Callable[..., Any] = getattr(library(), name)
    return result


def _as_latin1(error: UnicodeError) -> tuple[str | bytes, int]:
    if isinstance(error, UnicodeEncodeError):
        # Raises (a ValueError) for a character that is not Latin-1 either.
        return error.object[error.start:error.end].encode("latin-1"), error.end
    assert isinstance(error, UnicodeDecodeError)
    return error.object[error.start:error.end].decode("latin-1"), error.end


# Five byte values have no Windows-1252 character; they are kept as Latin-1.
_LATIN1_FALLBACK: Final = "tola-latin1"
codecs.register_error(_LATIN1_FALLBACK, _as_latin1)


def decode(raw: bytes) -> str:
    """A library text (8-bit Windows-1252, up to the first NUL) as a Python string."""
    return raw.split(b"\0", 1)[0].decode("cp1252", errors=_LATIN1_FALLBACK)


def encode(text: str) -> bytes:
    """A Python string as a library text."""
    return text.encode("cp1252")


def encode_exact(text: str) -> bytes:
    """A Python string as a library text, so that what ``decode`` gave is
    given back byte for byte: Windows-1252, and a Latin-1 character that it
    lacks as its own byte.  Raises ``UnicodeEncodeError`` (a ValueError) for
    any other character."""
    return text.encode("cp1252", errors=_LATIN1_FALLBACK)
