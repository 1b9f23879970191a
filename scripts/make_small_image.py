#!/usr/bin/env python3
"""Writes a small firmware file for update tests: the catalog's default image
with data in its first sectors only, so that an update takes seconds.

usage: make_small_image.py FULL_IMAGE OUT   (FULL_IMAGE: the 512bLE image that
ck_firmware_generator writes)"""
import sys

RELEASE = b"512tst"


def field(text: bytes) -> bytes:
    return text.ljust(64, b"\0")


def main() -> None:
    full = open(sys.argv[1], "rb").read()
    data = bytearray(b"\xff" * 0x60000)

    def copy(at: int, length: int) -> None:
        data[at:at + length] = full[at:at + length]

    copy(0, 0xC000)
    header = bytearray(64)
    header[0:10] = b"App Loaded"
    header[16:16 + len(RELEASE)] = RELEASE
    data[0xC000:0xC040] = header
    copy(0xC040, 0x600)
    copy(0x10000, 0x200)
    with open(sys.argv[2], "wb") as out:
        out.write(field(b"Chromatik V") + field(RELEASE) + field(b"May 2, 2024") + bytes(data))


if __name__ == "__main__":
    main()
