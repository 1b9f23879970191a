"""Chromatik instruments from Python, over the installed ``libTOLA_comm.so``.

    import tola
    print(tola.library_version())
    with tola.connect("usb") as inst:
        print(inst.info.serial)
        for m in inst.measurements(timeout=60):
            print(m.material, m.single and m.single.classical[0])

The library serves one connection per process: ``connect`` again only after
the previous connection is closed.  Threads may share the connection; their
calls are serialised.  See the README's section "Python".
"""

from .errors import (
    CommandError,
    ConnectError,
    LibraryNotFoundError,
    NotConnectedError,
    QueueRangeError,
    TolaError,
    ToolError,
)
from .instrument import (
    BluetoothDevice,
    Brll,
    Identity,
    Instrument,
    LibraryVersion,
    bluetooth_scan,
    connect,
    disconnect,
    library_version,
)
from .measurement import COLUMNS, Area, Measurement, Verification, kind_text
from .records import (
    BT_DEVICE,
    BT_DEVICES,
    CKII_NORM,
    CKII_REFERENCE_TILE,
    CKII_RESULTS,
    CKII_SETUP,
    CKNG_CALMAT,
    CKNG_SETTINGS,
    CKP_STRUCTURE_ADDRESSES_1,
    CKP_STRUCTURE_ADDRESSES_2,
    COMM_MEASUREMENT,
    COMM_STRUCTURE_SIZES,
    COMM_STRUCTURE_TABLE,
    COMM_USB_HOST,
    COMM_VERSION,
    DLL_VERSION,
    PXM_COMM,
    SENSOR_DETAILS,
    SHADE_MATCH,
    TOLA_SHADE_MATCH_DETAILS,
    TOOTH_AREA,
)
from .structures import Structure, structure_size
from .tools import InstrumentInfo, InstrumentList, catalog, instruments, update

__all__ = [
    "Area", "BT_DEVICE", "BT_DEVICES", "BluetoothDevice", "Brll", "CKII_NORM", "CKII_REFERENCE_TILE",
    "CKII_RESULTS", "CKII_SETUP", "CKNG_CALMAT", "CKNG_SETTINGS", "CKP_STRUCTURE_ADDRESSES_1",
    "CKP_STRUCTURE_ADDRESSES_2", "COLUMNS", "COMM_MEASUREMENT", "COMM_STRUCTURE_SIZES", "COMM_STRUCTURE_TABLE",
    "COMM_USB_HOST", "COMM_VERSION", "CommandError", "ConnectError", "DLL_VERSION", "Identity", "Instrument",
    "InstrumentInfo", "InstrumentList", "LibraryNotFoundError", "LibraryVersion", "Measurement",
    "NotConnectedError", "PXM_COMM", "QueueRangeError", "SENSOR_DETAILS", "SHADE_MATCH", "Structure",
    "TOLA_SHADE_MATCH_DETAILS", "TOOTH_AREA", "TolaError", "ToolError", "Verification", "bluetooth_scan", "catalog",
    "connect", "disconnect", "instruments", "kind_text", "library_version", "structure_size", "update",
]
