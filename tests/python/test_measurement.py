"""Which parts of a measurement record become values, by the record's kind bits."""

from __future__ import annotations

import pytest

import tola


def record(status: int, material: bytes) -> tola.COMM_MEASUREMENT:
    m = tola.COMM_MEASUREMENT()
    m.tStatus = status
    m.snMaterial = material
    m.Single.snClassical = b"A2"
    m.Single.qfParm[1] = 71.5
    for k, name in enumerate((b"B1", b"C3", b"D4")):
        m.qArea[k].snClassical = name
    m.snVerify_shade = b"3M2"
    m.snVerify_result = b"Excellent"
    m.qfVerDelta[11] = 0.75
    return m


@pytest.mark.parametrize(
    ("status", "material", "kind", "areas", "verified", "echo"),
    [
        (0x1000, b"Tooth", "tooth", [], None, False),
        (0x222, b"Tooth Area", "tooth area, all three areas", ["B1", "C3", "D4"], None, False),
        (0x11, b"Tooth Area", "tooth area, area 2 measured", ["B1", "C3", "D4"], None, False),
        (0x4000, b"Verify Ceramic", "verification", [], ("3M2", "Excellent", 0.75), False),
        (0x40000, b"Tooth", "sent again by the instrument", [], None, True),
    ],
)
def test_record_kinds(status: int, material: bytes, kind: str, areas: list[str],
                      verified: tuple[str, str, float] | None, echo: bool) -> None:
    m = tola.Measurement.from_record(record(status, material))
    assert (m.material, m.kind, m.echo) == (material.decode(), kind, echo)
    assert [a.classical[0] for a in m.areas] == areas
    assert m.single is not None and (m.single.classical[0], m.single.L) == ("A2", 71.5)
    v = m.verification
    assert (v and (v.shade, v.result, v.delta_e)) == verified
    row = m.row()
    assert list(row) == tola.COLUMNS
    assert (row["classical"], row["L"], row["area2_classical"]) == ("A2", "71.50", "C3")
    assert row["verify_result"] == (verified[1] if verified else "")


def test_texts_are_windows_1252() -> None:
    m = tola.COMM_MEASUREMENT()
    # 0x81 has no Windows-1252 character and stays a Latin-1 one beside the others.
    m.snMaterial = b"Zahn \x80 \xae \x81"
    assert tola.Measurement.from_record(m).material == "Zahn \u20ac \u00ae \u0081"
