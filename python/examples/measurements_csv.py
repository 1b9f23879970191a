#!/usr/bin/env python3
"""Prints each new measurement of a Chromatik instrument as one CSV row.

    PYTHONPATH=python python3 python/examples/measurements_csv.py --port usb > shades.csv

The header comes once the instrument is connected; Ctrl-C ends the run.
"""

from __future__ import annotations

import argparse
import csv
import sys

import tola


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", default="usb", help="usb, com1..com20, bt or auto (default usb)")
    parser.add_argument("--address", help="Bluetooth address for --port bt (default: tolactl bt-select's choice)")
    parser.add_argument("--count", type=int, default=0, help="stop after this many measurements (0: never)")
    parser.add_argument("--timeout", type=float, default=None,
                        help="stop when no measurement came for this many seconds (default: never)")
    options = parser.parse_args()
    writer = csv.DictWriter(sys.stdout, fieldnames=tola.COLUMNS, lineterminator="\n")
    try:
        with tola.connect(options.port, address=options.address) as instrument:
            print(f"Waiting for measurements on {instrument.info.device} {instrument.info.serial} (Ctrl-C stops)",
                  file=sys.stderr)
            writer.writeheader()
            sys.stdout.flush()
            for shown, measurement in enumerate(instrument.measurements(timeout=options.timeout), start=1):
                writer.writerow(measurement.row())
                sys.stdout.flush()
                if shown == options.count:
                    break
    except tola.TolaError as error:
        print(f"measurements_csv: {error}", file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
