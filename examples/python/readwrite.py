#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Writes flags, outputs, a data block and counters of one PLC, reads them
back and compares; then shows how a refused call looks.

It overwrites flag bytes MB100..MB103, output bytes AB0..AB1, data words
DW0..DW3 of the data block and counters Z 0..Z 1: run it against orvasim or a
test PLC. It needs the orvanet package (pip install ./bindings/python),
liborvanet and liborvavars.
"""

import argparse
import sys

import orvanet
from orvanet import LibraryNotFoundError, OrvaError, Result


def main() -> int:
    summary, details = __doc__.split("\n\n", 1)
    parser = argparse.ArgumentParser(description=summary, epilog=details,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("address", help="the adapter's IPv4 address")
    parser.add_argument("--db", type=int, default=5, help="data block to use (default 5)")
    parser.add_argument("--own-tsap", default="", help="own transport name (TSAP), at most 8 characters")
    parser.add_argument("--plc-tsap", default="", help="the PLC's transport name (TSAP), at most 8 characters")
    args = parser.parse_args()

    failures = 0

    def check(name: str, got: object, expected: object) -> None:
        nonlocal failures
        ok = got == expected
        failures += not ok
        print(f"{name}: {'ok' if ok else f'MISMATCH: expected {expected!r}, read {got!r}'}")

    try:
        with orvanet.connect(args.address, args.own_tsap, args.plc_tsap) as plc:
            plc.write_bytes("M", 100, b"\x01\x80\x7f\xff")
            check("flags MB100..MB103", plc.read_bytes("M", 100, 4), b"\x01\x80\x7f\xff")
            # The same flags as words: each word is two flag bytes, high byte first.
            check("flag words MW100..MW102", plc.read_words("M", 100, 2), [0x0180, 0x7FFF])

            plc.write_bytes("A", 0, [0x55, 0xAA])
            check("outputs AB0..AB1", plc.read_bytes("A", 0, 2), b"\x55\xaa")

            plc.write_words("DB", 0, [0x1234, 0, 0xFFFF, 42], db=args.db)
            check(f"data block DB {args.db} DW0..DB {args.db} DW3", plc.read_words("DB", 0, 4, db=args.db),
                  [0x1234, 0, 0xFFFF, 42])

            plc.write_words("Z", 0, [999, 7])
            check("counters Z 0..Z 1", plc.read_words("Z", 0, 2), [999, 7])

            # Inputs cannot be written: the library refuses before any traffic.
            try:
                plc.write_bytes("E", 0, b"\x01")
                check("writing inputs refused", "accepted", "refused")
            except OrvaError as error:
                check("writing inputs refused", error.result, Result.ERR_AREA)
    except (OrvaError, LibraryNotFoundError) as error:
        # For example: reading 4 bytes from MB100..MB103 at 127.0.0.1 failed: socket error 10061 ...
        print(error, file=sys.stderr)
        return 2

    if failures:
        print(f"{failures} check(s) failed")
        return 1
    print("all values read back as written")
    return 0


if __name__ == "__main__":
    sys.exit(main())
