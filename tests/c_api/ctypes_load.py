#!/usr/bin/env python3
"""Loads the library through ctypes, as a Python program does, and ends normally.

    ctypes_load.py LIBRARY load    load only
    ctypes_load.py LIBRARY call    load and call exports
The test is the interpreter's exit status.
"""
import ctypes
import sys


class DllVersion(ctypes.Structure):
    _fields_ = [("dMajor", ctypes.c_uint32), ("dMinor", ctypes.c_uint32),
                ("dRelease", ctypes.c_uint32), ("dBuild", ctypes.c_uint32),
                ("rest", ctypes.c_char * 80)]


def main():
    library = ctypes.CDLL(sys.argv[1])
    if sys.argv[2] == "call":
        version = DllVersion()
        library.TOLA_Get_Dll_version(ctypes.byref(version))
        if (version.dMajor, version.dRelease) != (1, 12017):
            sys.exit("unexpected version")
        if library.bTOLA_comm_test() != 0:
            sys.exit("a test without a connection must fail")
        library.TOLA_comm_close()


if __name__ == "__main__":
    main()
