"""The library's records as ctypes structures, and the numbers that go with them.

Every record keeps the C field names and order of ``tola_comm.h``; ctypes lays
the fields out with the same natural alignment as the C compiler.  The package's
tests compile a small C program against the header and compare the size and the
offset of every field listed here, so a change on either side cannot go unseen.
"""

from __future__ import annotations

import ctypes
from typing import Final

# ---- text and array types ---------------------------------------------------

TNAME = ctypes.c_char * 26
TMNAME = ctypes.c_char * 51
TSTRING = ctypes.c_char * 501

TQFSPECTRUM = ctypes.c_float * 31
TQFPARM = ctypes.c_float * 11
TQFDELTA = ctypes.c_float * 17
TQDCKII = ctypes.c_uint32 * 16
TQICKII = ctypes.c_int32 * 16
TQTCKII = ctypes.c_uint32 * 16
TQFCKII = ctypes.c_float * 16

_u32 = ctypes.c_uint32
_i32 = ctypes.c_int32
_u8 = ctypes.c_uint8
_f32 = ctypes.c_float


class PXM_COMM(ctypes.Structure):
    """The connection record (664 bytes) that the library fills in place."""

    _fields_ = [
        ("dSize", _u32),
        ("hUSB", _i32),
        ("hRS232", _i32),
        ("iPort", _u32),
        ("snRS232", TNAME),
        ("ssStatus", TSTRING),
        ("tStatus", _u32),
        ("iDevice", _u32),
        ("dVID", _u32),
        ("dPID", _u32),
        ("snDevice", TNAME),
        ("snVersion", TNAME),
        ("snInterface", TNAME),
        ("snSerial_number", TNAME),
    ]


class COMM_VERSION(ctypes.Structure):
    """The instrument's identity and version block."""

    _fields_ = [
        ("snName", TNAME),
        ("snSerial_number", TNAME),
        ("snRelease", TNAME),
        ("snVersion", TNAME),
        ("snRelease_date", TNAME),
        ("snInstall_date", TNAME),
        ("snPart", TNAME),
        ("snMFG1", TNAME),
        ("snMFG2", TNAME),
        ("snMFG3", TNAME),
    ]


_STRUCTURE_TABLE_FIELDS: list[tuple[str, type]] = [
    ("dCOMM_VERSION", _u32),
    ("dSETUP_ROM", _u32),
    ("dTOLA_SHADE_ROM", _u32),
    ("dNORM", _u32),
    ("dMEASURE_DETAILS", _u32),
    ("dRESULTS", _u32),
    ("dDATA", _u32),
    ("dCOMM_USB_HOST", _u32),
    ("dADD_1", _u32),
    ("dADD_2", _u32),
    ("dADD_3", _u32),
    ("dADD_4", _u32),
    ("dCOMM_DISPLAY_TEXT", _u32),
    ("dADD_5", _u32),
    ("dMEAS", _u32),
    ("dSETTINGS", _u32),
    ("dCOMM_STRUCTURE_TABLE_SIZES", _u32),
    ("dRfu17", _u32),
    ("dTABLEWORD18", _u32),
    ("qdRfu19", _u32 * 5),
]


class COMM_STRUCTURE_TABLE(ctypes.Structure):
    """Where the instrument keeps its structures: 24 words, the first seventeen named."""

    _fields_ = _STRUCTURE_TABLE_FIELDS


class COMM_STRUCTURE_SIZES(ctypes.Structure):
    """The sizes of the structures, in the structure table's word order."""

    _fields_ = _STRUCTURE_TABLE_FIELDS


class COMM_USB_HOST(ctypes.Structure):
    """The host command block: sixteen 32-bit words."""

    _fields_ = [("qdWord", _u32 * 16)]


class TOOTH_AREA(ctypes.Structure):
    """The result of one measured area."""

    _fields_ = [
        ("qfSpectrum", TQFSPECTRUM),
        ("qfParm", TQFPARM),
        ("snClassical", TNAME),
        ("snClassical2", TNAME),
        ("snClassical3", TNAME),
        ("qfClassical_delta", TQFDELTA),
        ("sn3D", TNAME),
        ("qf3D_delta", TQFDELTA),
    ]


class COMM_MEASUREMENT(ctypes.Structure):
    """One measurement as the library hands it over (2392 bytes)."""

    _fields_ = [
        ("dSize", _u32),
        ("dTime", _u32),
        ("tStatus", _u32),
        ("snMaterial", TNAME),
        ("Single", TOOTH_AREA),
        ("qArea", TOOTH_AREA * 3),
        ("iVerify_shade_system", _u32),
        ("snVerify_shade", TNAME),
        ("snVerify_result", TNAME),
        ("qfVerDelta", TQFDELTA),
        ("dQueue", _u32),
        ("iQueue", _u32),
        ("iAverageCount", _u32),
        ("qsn3DInterp", TNAME * 3),
        ("qsnClassicalBlock", TNAME * 3),
        ("qsn3DBlock", TNAME * 3),
        ("qsn3DBleached", TNAME * 3),
        ("qsnRfu1", TNAME * 3),
        ("qsnRfu2", TNAME * 3),
        ("qsnRfu3", TNAME * 3),
        ("iWIO2BGU", _u32),
        ("qdAux", _u32 * 4),
    ]


class CKII_REFERENCE_TILE(ctypes.Structure):
    """One reference tile of the optical set-up."""

    _fields_ = [
        ("snName", TNAME),
        ("qfOuterLED", _f32 * 16),
        ("qfInnerLED", _f32 * 16),
        ("fL", _f32),
        ("fa", _f32),
        ("fb", _f32),
        ("fDeltaE", _f32),
    ]


class CKII_SETUP(ctypes.Structure):
    """The optical set-up of the sensor."""

    _fields_ = [
        ("dSensor", _u32),
        ("qtType", TQTCKII),
        ("qdFilter_center", TQDCKII),
        ("qdFilter_width", TQDCKII),
        ("dSensor_spec", _u32),
        ("qiSensor_spec", TQICKII),
        ("dSensor_LED", _u32),
        ("qiSensor_LED", TQICKII),
        ("qqfTri", (_f32 * 3) * 31),
        ("qRef", CKII_REFERENCE_TILE * 4),
    ]


class CKNG_SETTINGS(ctypes.Structure):
    """The instrument's operating settings."""

    _fields_ = [
        ("fGain_lin", _f32),
        ("qfRef_slope", TQFCKII),
        ("qfB", TQFCKII),
        ("qfScale_outer", TQFCKII),
        ("qfScale_inner", TQFCKII),
        ("dACB_id", _u32),
        ("dAuto_min", _u32),
        ("dAuto_max", _u32),
        ("dSamples", _u32),
        ("dLED_stable", _u32),
        ("fLED_drift_max", _f32),
        ("fMeas_stable_black", _f32),
        ("dMeas_sample_black", _u32),
        ("fMeas_stable_white", _f32),
        ("dMeas_sample_white", _u32),
        ("dTimeout_standby", _u32),
        ("dTimeout_power", _u32),
        ("dBattery_ADC_full", _u32),
        ("dBattery_ADC_low", _u32),
        ("qfDeltaE", _f32 * 4),
        ("dBitValues1", _u32),
        ("qfNNThreshold", _f32 * 4),
        ("qfFilterLimits", _f32 * 4),
        ("bySapTabCounts", _u8),
        ("byTftBackLight", _u8),
        ("qbyRfu", _u8 * 2),
        ("dwSampleTime_ms", _u32),
        ("dwHidConnectTimeout_ms", _u32),
        ("byDarkDeltaLimitWarning", _u8),
        ("byDarkDeltaLimitError", _u8),
        ("byRfu1", _u8),
        ("byRfu2", _u8),
        ("qfMCDCScale_outer", TQFCKII),
        ("qfMCDCScale_inner", TQFCKII),
    ]


class BT_DEVICE(ctypes.Structure):
    """One Bluetooth instrument: address and name."""

    _fields_ = [("snBtAddress", TMNAME), ("snBtDeviceName", TMNAME)]


TOLA_BT_DEVICES_MAX: Final = 50


class BT_DEVICES(ctypes.Structure):
    """The result of a Bluetooth search."""

    _fields_ = [("iCount", _u32), ("qBtDevice", BT_DEVICE * TOLA_BT_DEVICES_MAX)]


class DLL_VERSION(ctypes.Structure):
    """The library's own version."""

    _fields_ = [
        ("dMajor", _u32),
        ("dMinor", _u32),
        ("dRelease", _u32),
        ("dBuild", _u32),
        ("snVersion", TNAME),
        ("snDate", TNAME),
        ("snTime", TNAME),
    ]


class CKII_NORM(ctypes.Structure):
    """Normalisation data."""

    _fields_ = [("qfGain_inner", _f32 * 16), ("qfGain_outer", _f32 * 16), ("qbyFurther", _u8 * 128)]


class CKII_RESULTS(ctypes.Structure):
    """The instrument's results of the last measurement."""

    _fields_ = [
        ("iMode", _i32),
        ("iMaterial", _i32),
        ("qiAreaState", _i32 * 3),
        ("qsn3D", TNAME * 3),
        ("qsnClassical", TNAME * 3),
        ("qfParm", (_f32 * 11) * 3),
        ("qfDelta", (_f32 * 17) * 3),
        ("iVerify_system", _i32),
        ("iVerify_quality", _i32),
        ("iVerify_shade", _i32),
        ("qsn3DInterp", TNAME * 3),
        ("qsn3DBlock", TNAME * 3),
        ("qsn3DBleached", TNAME * 3),
        ("qsnClassicalBlock", TNAME * 3),
        ("iAverageCount", _i32),
        ("qdFurther", _u32 * 7),
        ("iWhiteness", _i32),
        ("byFlags", _u8),
        ("qbyRfu", _u8 * 3),
    ]


class SHADE_MATCH(ctypes.Structure):
    """One shade-match result."""

    _fields_ = [
        ("iShade", _i32),
        ("iStatus", _i32),
        ("dHits", _u32),
        ("qfDelta", TQFDELTA),
        ("qiBest_fit", _i32 * 11),
    ]


class SENSOR_DETAILS(ctypes.Structure):
    """The values of one sensor in the measurement details."""

    _fields_ = [("qfSensor", _f32 * 40), ("qfParmWt", _f32 * 11), ("qfSpectrum", _f32 * 31)]


class TOLA_SHADE_MATCH_DETAILS(ctypes.Structure):
    """The measurement details (7316 bytes)."""

    _fields_ = [
        ("qSensor", SENSOR_DETAILS * 3),
        ("qfT", _f32 * 11),
        ("qsnClassical", TNAME * 3),
        ("tClassical_method", _u32),
        ("qClassical", SHADE_MATCH),
        ("qbyFurther1236", _u8 * (3096 - 1236)),
        ("sn3D", TNAME),
        ("t3D_method", _u32),
        ("q3D", SHADE_MATCH),
        ("qbyFurther3252", _u8 * (6724 - 3252)),
        ("qf3D", _f32 * 3),
        ("qf3D_shade_parm", _f32 * 11),
        ("qf3D_delta", TQFDELTA),
        ("dRfu6848", _u32),
        ("fThickness", _f32),
        ("iMaterial", _i32),
        ("iArea", _i32),
        ("iMode", _i32),
        ("qiStatus", _i32 * 3),
        ("snVerify_shade", TNAME),
        ("iVerify_quality", _i32),
        ("snVerify_quality", TNAME),
        ("iVerify_system", _i32),
        ("qbyFurther6944", _u8 * (7312 - 6944)),
        ("iAverageCount", _i32),
    ]


class CKNG_CALMAT(ctypes.Structure):
    """The calibration matrix: 669 values."""

    _fields_ = [("qfValue", _f32 * 669)]


_vp = ctypes.c_void_p


class CKP_STRUCTURE_ADDRESSES_1(ctypes.Structure):
    """Where the library keeps its copies of the instrument's structures (first list)."""

    _fields_ = [
        (name, _vp)
        for name in (
            "lpCOMM_STRUCTURE_TABLE",
            "lpCOMM_STRUCTURE_SIZES",
            "lpCOMM_VERSION",
            "lpSHADE_ROM_TOOTH",
            "lpSHADE_ROM_TAB",
            "lpSHADE_ROM_CERAMICVERIFY",
            "lpSHADE_ROM_CERAMICMEASURE",
            "lpCOMM_USB_HOST",
            "lpMEASURE_DETAILS",
            "lpCOMM_DISPLAY_TEXT",
            "lpCOMM_VERIFY_SHADE",
            "lpDEFAULT_VERSION",
            "lpDEFAULT_SHADE_ROM_TOOTH",
            "lpDEFAULT_SHADE_ROM_TAB",
            "lpDEFAULT_SHADE_ROM_CERAMICVERIFY",
            "lpDEFAULT_SHADE_ROM_CERAMICMEASURE",
        )
    ]


class CKP_STRUCTURE_ADDRESSES_2(ctypes.Structure):
    """Where the library keeps its copies of the instrument's structures (second list)."""

    _fields_ = [
        (name, _vp)
        for name in (
            "lpDATA",
            "lpSETUP_ROM",
            "lpDEFAULT_SETUP",
            "lpNORM",
            "lpSETTINGS",
            "lpADD_2",
            "lpMEAS",
            "lpRESULTS",
            "lpADD_3",
            "lpADD_4",
        )
    ]


#: Every record of the public header, by its C name.
RECORDS: Final[dict[str, type[ctypes.Structure]]] = {
    cls.__name__: cls
    for cls in (
        PXM_COMM,
        COMM_VERSION,
        COMM_STRUCTURE_TABLE,
        COMM_STRUCTURE_SIZES,
        COMM_USB_HOST,
        TOOTH_AREA,
        COMM_MEASUREMENT,
        CKII_REFERENCE_TILE,
        CKII_SETUP,
        CKNG_SETTINGS,
        BT_DEVICE,
        BT_DEVICES,
        DLL_VERSION,
        CKII_NORM,
        CKII_RESULTS,
        SHADE_MATCH,
        SENSOR_DETAILS,
        TOLA_SHADE_MATCH_DETAILS,
        CKNG_CALMAT,
        CKP_STRUCTURE_ADDRESSES_1,
        CKP_STRUCTURE_ADDRESSES_2,
    )
}

# ---- numbers of the public header ------------------------------------------

TOLA_STATUS_INTERFACED: Final = 0x00000001
TOLA_STATUS_HOLD: Final = 0x00000004
TOLA_STATUS_SEARCH_ENDED: Final = 0x00000008
TOLA_STATUS_USB: Final = 0x00000010
TOLA_STATUS_BLUETOOTH: Final = 0x00000020
TOLA_STATUS_WRONG_DEVICE: Final = 0x00008000
TOLA_STATUS_HARD_FAILURES: Final = 0x00FFF000
TOLA_STATUS_QUEUE_RANGE: Final = 0x00200000
TOLA_STATUS_QUEUE_READ_FAILED: Final = 0x00400000
TOLA_STATUS_PINNED: Final = 0x40000000

TOLA_DEVICE_SERIAL_CLASSIC: Final = 2

TOLA_PORT_SEARCH: Final = 0
TOLA_PORT_USB: Final = 1
TOLA_PORT_COM1: Final = 2
TOLA_PORT_COM20: Final = 21
TOLA_PORT_BLUETOOTH: Final = 500

TOLA_DIRECTION_DOWNLOAD: Final = 1
TOLA_DIRECTION_UPLOAD: Final = 2

CKPSTRUCT_LOCAL: Final = 0x800

#: The numbers above as the header names them; the layout test compares them too.
CONSTANTS: Final[dict[str, int]] = {
    name: value for name, value in globals().items() if name.startswith(("TOLA_", "CKPSTRUCT_")) and isinstance(value, int)
}
