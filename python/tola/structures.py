"""The instrument's structures by identifier: which record each one fills, and its size."""

from __future__ import annotations

import ctypes
import enum
from typing import Final

from . import records as r


class Structure(enum.IntEnum):
    """Structure identifiers; the names follow the header's ``CKPSTRUCT_`` names."""

    COMMSTRUCTURETABLE = 1
    COMMSTRUCTURESIZES = 2
    COMMVERSION = 3
    SHADEROM_TOOTH = 4
    SHADEROM_TAB = 5
    SHADEROM_CERAMICVERIFY = 6
    SHADEROM_CERAMICMEASURE = 7
    COMMUSBHOST = 8
    MEASUREDETAILS = 9
    COMMDISPLAYTEXT = 10
    COMMVERIFYSHADE = 11
    CKIIVERSIONDEFAULT = 12
    CKIISHADEROM_TOOTH = 13
    CKIISHADEROM_TAB = 14
    CKIISHADEROM_CERAMICVERIFY = 15
    CKIISHADEROM_CERAMICMEASURE = 16
    DATA = 17
    CKIISETUP = 18
    SETUPROM = 19
    NORM = 20
    SETTINGS = 21
    ADD2 = 22
    MEAS = 23
    RESULTS = 24
    COMMMEASUREMENT = 25
    ADD3 = 26
    ADD4 = 27
    ADD5 = 28
    TABLEWORD18 = 30


#: The record type that each identifier fills, where the header declares one.
RECORD_OF: Final[dict[int, type[ctypes.Structure]]] = {
    Structure.COMMSTRUCTURETABLE: r.COMM_STRUCTURE_TABLE,
    Structure.COMMSTRUCTURESIZES: r.COMM_STRUCTURE_SIZES,
    Structure.COMMVERSION: r.COMM_VERSION,
    Structure.COMMUSBHOST: r.COMM_USB_HOST,
    Structure.MEASUREDETAILS: r.TOLA_SHADE_MATCH_DETAILS,
    Structure.SETUPROM: r.CKII_SETUP,
    Structure.NORM: r.CKII_NORM,
    Structure.SETTINGS: r.CKNG_SETTINGS,
    Structure.RESULTS: r.CKII_RESULTS,
    Structure.COMMMEASUREMENT: r.COMM_MEASUREMENT,
    Structure.ADD3: r.CKNG_CALMAT,
}

#: The identifier each record type is read and written with.
IDENTIFIER_OF: Final[dict[type[ctypes.Structure], int]] = {cls: ident for ident, cls in RECORD_OF.items()}

# Host sizes of the structures without a record of their own (the four shade
# tables move together).
_OTHER_SIZES: Final[dict[int, int]] = {
    Structure.SHADEROM_TOOTH: 4 * 8788,
    Structure.SHADEROM_TAB: 4 * 8788,
    Structure.SHADEROM_CERAMICVERIFY: 4 * 8788,
    Structure.SHADEROM_CERAMICMEASURE: 4 * 8788,
    Structure.COMMDISPLAYTEXT: 216,
    Structure.DATA: 168,
    Structure.ADD2: 68,
    Structure.MEAS: 2280,
    Structure.ADD4: 576,
    Structure.ADD5: 624,
    Structure.TABLEWORD18: 11,
}


def structure_size(identifier: int) -> int:
    """Host size in bytes of the structure an identifier names (with or without the
    local flag); 0 when no structure has that identifier."""
    ident = identifier & ~r.CKPSTRUCT_LOCAL
    record = RECORD_OF.get(ident)
    if record is not None:
        return ctypes.sizeof(record)
    return _OTHER_SIZES.get(ident, 0)
