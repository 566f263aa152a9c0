#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Writes a list of typed variables to one PLC, reads them back as values and
prints each one; then shows how a variable that fails looks beside the others.

It overwrites DW4, DW5, DW7, DW30, DW31 and DW40..DW43 of the data block and
flag bit M20.3: run it against orvasim or a test PLC. It needs the orvanet
package (pip install ./bindings/python), liborvanet and liborvavars.
"""

import argparse
import sys

import orvanet
from orvanet import LibraryNotFoundError, OrvaError


def main() -> int:
    summary, details = __doc__.split("\n\n", 1)
    parser = argparse.ArgumentParser(description=summary, epilog=details,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("address", help="the adapter's IPv4 address")
    parser.add_argument("--db", type=int, default=10, help="data block to use (default 10)")
    args = parser.parse_args()
    db = args.db

    # Each variable and the value written to it, in its Python type.
    values = {
        f"DB{db}.DD30:KG": 12.34567,  # a set point, S5 floating point
        f"DB{db}.DW4:KT": 1500,  # a timer constant: 1.5 s, in milliseconds
        f"DB{db}.DW5:KZ": 123,  # a count value, three BCD digits
        f"DB{db}.DW7:KF": -7,  # a signed word
        "M20.3": True,  # a flag bit: the rest of MB20 is read and written back
        f"DB{db}.DW40:KS8": "orvanet",  # eight characters, padded with a blank
    }
    failures = 0
    try:
        with orvanet.connect(args.address) as plc:
            plc.write(values)
            for text, value in plc.read(list(values)).items():
                if isinstance(value, OrvaError):
                    print(f"{text}: {value}")
                    failures += 1
                    continue
                print(f"{text} = {value!r}")
                written = values[text]
                same = value == written if not isinstance(written, float) else abs(value - written) < 1e-6
                if not same and value != f"{written:8}":
                    failures += 1

            # Each variable carries its own result: a missing block fails alone.
            print(plc.read([f"DB{db}.DW5:KZ", "DB255.DW65535"]))
    except (OrvaError, LibraryNotFoundError) as error:
        # For example: writing DB10.DD30:KG at 127.0.0.1 failed: socket error 10061 (WSAECONNREFUSED): ...
        print(error, file=sys.stderr)
        return 2

    print("all variables read back as written" if failures == 0 else f"{failures} variable(s) failed")
    return 0 if failures == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
