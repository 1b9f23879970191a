#!/usr/bin/env python3
"""Getting started with the Python package tola: connect to the instrument on
USB, read its version block, take one measurement, close.

    PYTHONPATH=python python3 docs/api/example.py

Without an instrument, a virtual one answers: build/bin/chromatik-sim.
Exit status: 0 a measurement came, 1 no instrument, 2 no measurement.
"""

import sys

import tola

print("library", tola.library_version())
try:
    # 1. Connect: the search runs until an instrument answers (or the timeout).
    #    The with-block closes the connection at its end.
    with tola.connect("usb", timeout=30) as inst:
        print(f"connected: {inst.info.port}, serial {inst.info.serial}, firmware {inst.info.release}")

        # 2. Read a structure: the version block, as its record.
        version = inst.read(tola.COMM_VERSION)
        name, release, interface = (field.decode("cp1252") for field in
                                    (version.snName, version.snRelease, version.snVersion))
        print(f"version block: {name}, release {release}, interface {interface}")

        # 3. Poll a measurement: the instrument is asked to measure, as a
        #    trigger press would, and polled (twice a second) for the result;
        #    a trigger press by the user is found by the same polls.
        try:
            inst.measure()
        except tola.CommandError as error:
            print(f"the instrument did not confirm the measure command ({error}); waiting for a trigger press")
        measurement = inst.poll(timeout=20)
        if measurement is None:
            print("no measurement:", inst.status_text)
            sys.exit(2)
        area = measurement.single
        shade = f", shade {area.classical[0]}, L {area.L:.2f} a {area.a:.2f} b {area.b:.2f}" if area else ""
        print(f"measurement: {measurement.material} ({measurement.kind}){shade}, "
              f"queue {measurement.queue_index + 1} of {measurement.queue_count}")
    # 4. Closed by the with-block.
except tola.ConnectError as error:
    print("no instrument:", error)
    sys.exit(1)
