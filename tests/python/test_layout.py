"""The package's records against the public header: a C program built from the
header prints the size of every record and the offset and size of every field
the package declares, and the numbers the package uses."""

from __future__ import annotations

import ctypes
import os
import re
import subprocess
from pathlib import Path

import tola
from tola import records
from tola.structures import Structure

from conftest import ROOT

HEADER = Path(os.environ.get("TOLA_COMM_HEADER") or ROOT / "comm" / "include" / "tola_comm.h")


def c_program() -> str:
    lines = ["#include <stdio.h>", "#include <stddef.h>", '#include "tola_comm.h"', "int main(void) {"]
    for name, record in records.RECORDS.items():
        lines.append(f'printf("{name} %zu\\n", sizeof({name}));')
        for field, _ in record._fields_:
            lines.append(f'printf("{name}.{field} %zu %zu\\n", offsetof({name}, {field}), '
                         f"sizeof((({name}*)0)->{field}));")
    for name in records.CONSTANTS:
        lines.append(f'printf("{name} %lld\\n", (long long)({name}));')
    for member in Structure:
        lines.append(f'printf("CKPSTRUCT_{member.name} %lld\\n", (long long)(CKPSTRUCT_{member.name}));')
    lines += ["return 0;", "}"]
    return "\n".join(lines) + "\n"


def python_layout() -> dict[str, str]:
    expected: dict[str, str] = {}
    for name, record in records.RECORDS.items():
        expected[name] = str(ctypes.sizeof(record))
        for field, kind in record._fields_:
            expected[f"{name}.{field}"] = f"{getattr(record, field).offset} {ctypes.sizeof(kind)}"
    for name, value in records.CONSTANTS.items():
        expected[name] = str(value)
    for member in Structure:
        expected[f"CKPSTRUCT_{member.name}"] = str(member.value)
    return expected


def test_records_and_numbers_match_the_header(tmp_path: Path) -> None:
    source = tmp_path / "layout.c"
    source.write_text(c_program())
    program = tmp_path / "layout"
    compiler = os.environ.get("CC") or "cc"
    subprocess.run([compiler, "-std=c11", "-Wall", "-Werror", "-I", str(HEADER.parent), str(source), "-o",
                    str(program)], check=True, capture_output=True, text=True)
    output = subprocess.run([str(program)], check=True, capture_output=True, text=True).stdout
    from_header = dict(line.split(" ", 1) for line in output.splitlines())
    expected = python_layout()
    assert len(from_header) == len(expected)
    differences = {key: (value, from_header[key]) for key, value in expected.items() if from_header[key] != value}
    assert differences == {}, "python (offset size) vs header"


def test_every_record_of_the_header_is_declared() -> None:
    declared = set(re.findall(r"typedef\s+struct\s+(\w+)", HEADER.read_text()))
    assert declared == set(records.RECORDS)
    assert set(tola.__all__) >= declared
