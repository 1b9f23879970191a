"""Measurements as plain Python values."""

from __future__ import annotations

import math
from dataclasses import dataclass, field
from typing import Any, Final

from . import records as r
from ._library import decode

# Component positions in the colour parameters and the colour differences.
_L, _C, _H, _A, _B = 1, 2, 3, 4, 5
_DELTA_E: Final = 11

# Measurement kind bits of a measurement's status.
ECHO: Final = 0x40000
TOOTH_AVERAGE_WHITENESS: Final = 0x80000
CERAMIC: Final = 0x8000
VERIFICATION: Final = 0x4000
TAB: Final = 0x2000
TOOTH: Final = 0x1000
TOOTH_AVERAGE: Final = 0x800
TOOTH_AREA_COMPLETE: Final = 0x222
_TOOTH_AREA_BITS: Final = 0x333


def kind_text(status: int) -> str:
    """What the kind bits of a measurement's status say, in the words tolactl uses."""
    if status == ECHO:
        return "sent again by the instrument"
    for bit, text in (
        (TOOTH_AVERAGE_WHITENESS, "tooth, average and whiteness"),
        (CERAMIC, "ceramic"),
        (VERIFICATION, "verification"),
        (TAB, "tab"),
        (TOOTH, "tooth"),
        (TOOTH_AVERAGE, "tooth with average"),
    ):
        if status & bit:
            return text
    if status == TOOTH_AREA_COMPLETE:
        return "tooth area, all three areas"
    for bit, text in ((0x100, "tooth area, area 3 measured"), (0x10, "tooth area, area 2 measured"),
                      (0x1, "tooth area, area 1 measured")):
        if status & bit:
            return text
    return "nothing to interpret"


def _is_tooth_area(status: int) -> bool:
    return status != 0 and (status & ~_TOOTH_AREA_BITS) == 0


def _names(fields: Any) -> tuple[str, str, str]:
    return (decode(fields[0].value), decode(fields[1].value), decode(fields[2].value))


@dataclass(frozen=True)
class Area:
    """The result of one measured area: shades, colour values, spectrum."""

    classical: tuple[str, str, str]
    """The best three shades of the classical shade guide, best first."""
    shade_3d: str
    """The best shade of the second shade system."""
    parameters: tuple[float, ...]
    """The eleven colour parameters: In, L, C, H, A, B, X, Y, Z, 1st, 2nd."""
    classical_delta: tuple[float, ...]
    """The seventeen colour differences to the classical shade."""
    delta_3d: tuple[float, ...]
    """The seventeen colour differences to the second system's shade."""
    spectrum: tuple[float, ...]
    """31 values, 400 to 700 nm in steps of 10 nm."""

    @property
    def L(self) -> float:  # noqa: N802 - the colour science name
        """Lightness."""
        return self.parameters[_L]

    @property
    def a(self) -> float:
        """Red-green axis."""
        return self.parameters[_A]

    @property
    def b(self) -> float:
        """Yellow-blue axis."""
        return self.parameters[_B]

    @property
    def C(self) -> float:  # noqa: N802
        """Chroma."""
        return self.parameters[_C]

    @property
    def H(self) -> float:  # noqa: N802
        """Hue in degrees."""
        return self.parameters[_H]

    @property
    def delta_e_classical(self) -> float:
        """Delta E to the best classical shade."""
        return self.classical_delta[_DELTA_E]

    @property
    def delta_e_3d(self) -> float:
        """Delta E to the best shade of the second system."""
        return self.delta_3d[_DELTA_E]

    @classmethod
    def from_record(cls, area: r.TOOTH_AREA) -> Area:
        """The values of a ``TOOTH_AREA`` record."""
        return cls(
            classical=(decode(area.snClassical), decode(area.snClassical2), decode(area.snClassical3)),
            shade_3d=decode(area.sn3D),
            parameters=tuple(area.qfParm),
            classical_delta=tuple(area.qfClassical_delta),
            delta_3d=tuple(area.qf3D_delta),
            spectrum=tuple(area.qfSpectrum),
        )

    @staticmethod
    def has_data(area: r.TOOTH_AREA) -> bool:
        """Whether a ``TOOTH_AREA`` record holds a result at all."""
        return any(v != 0.0 for v in area.qfParm) or bool(area.snClassical) or bool(area.sn3D)


@dataclass(frozen=True)
class Verification:
    """The verdict of a verification measurement."""

    system: int
    """The shade system the verified shade belongs to."""
    shade: str
    """The shade that was verified."""
    result: str
    """The verdict: "Excellent", "Good", "Fair" or "Adjust"."""
    delta: tuple[float, ...]
    """The seventeen colour differences of the verification."""

    @property
    def delta_e(self) -> float:
        """Delta E of the verification."""
        return self.delta[_DELTA_E]


@dataclass(frozen=True)
class Measurement:
    """One measurement of the instrument."""

    status: int
    """The kind and area bits of the measurement (see ``kind``)."""
    kind: str
    """The kind in words, e.g. "tooth", "tab", "tooth area, all three areas"."""
    material: str
    """"Tooth", "Tooth Area", "Tab", "Ceramic", "Verify" or "Verify Ceramic"."""
    time_ms: int
    """The host's millisecond tick count when the record was filled."""
    queue_index: int
    """Position of the measurement in the instrument's queue."""
    queue_count: int
    """Number of measurements in the instrument's queue."""
    single: Area | None
    """The result of a single-area measurement (None when there is none)."""
    areas: tuple[Area, ...]
    """The three areas of a tooth-area measurement (empty for other kinds)."""
    interpolated: tuple[str, str, str]
    """Interpolated shades of the second system, one per area."""
    classical_block: tuple[str, str, str]
    """Classical block shades, one per area."""
    block_3d: tuple[str, str, str]
    """Block shades of the second system, one per area."""
    bleached: tuple[str, str, str]
    """Bleached shades, one per area."""
    verification: Verification | None
    """The verdict of a verification measurement (None for other kinds)."""
    average_count: int
    """Number of averaged readings."""
    whiteness: int
    """The whiteness value reported with the measurement."""
    record: r.COMM_MEASUREMENT = field(repr=False, compare=False)
    """The library's record the values were taken from."""

    @property
    def echo(self) -> bool:
        """Whether the instrument sent an earlier measurement again."""
        return self.status == ECHO

    @classmethod
    def from_record(cls, m: r.COMM_MEASUREMENT) -> Measurement:
        """The values of a ``COMM_MEASUREMENT`` record (the record is copied)."""
        copy = r.COMM_MEASUREMENT.from_buffer_copy(m)
        verification = None
        if m.tStatus & VERIFICATION:
            verification = Verification(
                system=m.iVerify_shade_system,
                shade=decode(m.snVerify_shade),
                result=decode(m.snVerify_result),
                delta=tuple(m.qfVerDelta),
            )
        return cls(
            status=m.tStatus,
            kind=kind_text(m.tStatus),
            material=decode(m.snMaterial),
            time_ms=m.dTime,
            queue_index=m.iQueue,
            queue_count=m.dQueue,
            single=Area.from_record(m.Single) if Area.has_data(m.Single) else None,
            areas=tuple(Area.from_record(a) for a in m.qArea) if _is_tooth_area(m.tStatus) else (),
            interpolated=_names(m.qsn3DInterp),
            classical_block=_names(m.qsnClassicalBlock),
            block_3d=_names(m.qsn3DBlock),
            bleached=_names(m.qsn3DBleached),
            verification=verification,
            average_count=m.iAverageCount,
            whiteness=m.iWIO2BGU,
            record=copy,
        )

    def row(self) -> dict[str, str]:
        """The measurement as one row of texts, in the columns of ``tolactl poll --csv``."""
        s = self.single

        def number(value: float | None) -> str:
            return "" if value is None or not math.isfinite(value) else f"{value:.2f}"

        def single_name(index: int) -> str:
            return s.classical[index] if s else ""

        row = {
            "time_ms": str(self.time_ms),
            "status": str(self.status),
            "kind": self.kind,
            "material": self.material,
            "queue_index": str(self.queue_index),
            "queue_count": str(self.queue_count),
            "classical": single_name(0),
            "classical2": single_name(1),
            "classical3": single_name(2),
            "shade_3d": s.shade_3d if s else "",
            "interpolated": self.interpolated[0],
            "L": number(s.L if s else None),
            "a": number(s.a if s else None),
            "b": number(s.b if s else None),
            "C": number(s.C if s else None),
            "H": number(s.H if s else None),
        }
        for k, area in enumerate(self.record.qArea, start=1):
            row[f"area{k}_classical"] = decode(area.snClassical)
            row[f"area{k}_3d"] = decode(area.sn3D)
        v = self.verification
        row["verify_shade"] = v.shade if v else ""
        row["verify_result"] = v.result if v else ""
        row["verify_delta_e"] = number(v.delta_e) if v else ""
        row["average_count"] = str(self.average_count)
        row["whiteness"] = str(self.whiteness)
        return row


#: The columns of ``Measurement.row``.
COLUMNS: Final = (
    "time_ms,status,kind,material,queue_index,queue_count,classical,classical2,classical3,shade_3d,"
    "interpolated,L,a,b,C,H,area1_classical,area1_3d,area2_classical,area2_3d,area3_classical,area3_3d,"
    "verify_shade,verify_result,verify_delta_e,average_count,whiteness"
).split(",")
