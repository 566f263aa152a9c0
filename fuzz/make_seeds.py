#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Writes the seed corpus of the fuzz targets into fuzz/corpus/<target>/.

Each seed is a normal or nearly normal exchange, so that the fuzzer starts from
inputs that reach deep into the code: good replies whole and in pieces, empty
data units, refusals, short replies, odd TPKT lengths, confirms with and
without credit, and ORVAOpen arguments of every kind.
"""
import json
import os
import re
import struct

here = os.path.dirname(os.path.abspath(__file__))


def library_letters():
    """The letters each data function accepts, from the library's one table of them."""
    with open(os.path.join(here, "..", "linklib", "area_letters.h")) as f:
        letters = dict(re.findall(r'std::string_view (\w+) = "([^"]*)";', f.read()))
    assert set(letters) == {"readBytes", "readWords", "writeBytes", "writeWords"}, letters
    return letters


def write(target, name, data):
    d = os.path.join(here, "corpus", target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(bytes(data))


def dt(payload, eot=0x80, length=None):
    b = bytes([3, 0, 0, 0, 2, 0xF0, eot]) + bytes(payload)
    n = len(b) if length is None else length
    return b[:2] + struct.pack(">H", n) + b[4:]


def ack(fetch, data=b"", error=0):
    head = bytes([0x53, 0x35, 0x10, 0x01, 0x03, 6 if fetch else 4, 0x0F, 0x03, error, 0xFF, 0x07, 0, 0, 0, 0, 0])
    return dt(head + bytes(data))


def pieces(stream, size=255):
    """Length-prefixed pieces of at most size bytes (a length byte 0 means 256)."""
    out = b""
    for i in range(0, len(stream), size):
        p = stream[i:i + size]
        out += bytes([len(p) % 256]) + p
    return out


# reply_fuzzer: operation, letter index, count - 1 (big-endian), flags, pieces.
# The letter index picks from the function's letters, as reply_fuzzer.cpp does.
READ_B, READ_W, WRITE_B, WRITE_W = 0, 1, 2, 3
LETTERS = library_letters()
M_READ_B = LETTERS["readBytes"].index("M")
D_READ_W = LETTERS["readWords"].index("D")
M_WRITE_B = LETTERS["writeBytes"].index("M")
D_WRITE_W = LETTERS["writeWords"].index("D")


def reply_seed(name, op, letter, count, flags, stream, size=255):
    write("reply_fuzzer", name, bytes([op, letter]) + struct.pack(">H", count - 1) + bytes([flags]) + pieces(stream, size))


empty = bytes([3, 0, 0, 7, 2, 0xF0, 0])
reply_seed("fetch4_whole", READ_B, M_READ_B, 4, 0, ack(True, b"\x11\x22\x33\x44"))
reply_seed("fetch4_pieces", READ_B, M_READ_B, 4, 1, ack(True, b"\x11\x22\x33\x44"), size=3)
reply_seed("fetch4_empty_units_first", READ_B, M_READ_B, 4, 0, empty * 3 + ack(True, b"\x11\x22\x33\x44"))
reply_seed("fetch4_refused_short", READ_B, M_READ_B, 4, 0, dt(bytes([0x53, 0x35, 0x10, 0x01, 0x03, 6, 0x0F, 0x03, 2])))
reply_seed("fetch4_refused_bare", READ_B, M_READ_B, 4, 0, ack(True, b"", 3))
reply_seed("fetch4_too_much", READ_B, M_READ_B, 4, 0, ack(True, b"\x11\x22\x33\x44\x55"))
reply_seed("fetch4_no_end_mark", READ_B, M_READ_B, 4, 0, ack(True, b"\x11\x22\x33\x44")[:6] + b"\x00" + ack(True, b"\x11\x22\x33\x44")[7:])
reply_seed("fetch4_not_data", READ_B, M_READ_B, 4, 0, ack(True, b"\x11\x22\x33\x44")[:5] + b"\xE0" + ack(True, b"\x11\x22\x33\x44")[6:])
for n in (0, 6, 1048, 65535):
    reply_seed("fetch4_tpkt_length_%d" % n, READ_B, M_READ_B, 4, 0, dt(bytes(20), length=n))
reply_seed("fetch4_half_header", READ_B, M_READ_B, 4, 0, b"\x03\x00\x00")
reply_seed("fetch500_two_telegrams", READ_B, M_READ_B, 500, 0, ack(True, bytes(range(256)) + bytes(236)) + ack(True, bytes(8)))
reply_seed("words246", READ_W, D_READ_W, 246, 0, ack(True, bytes((i * 7) & 0xFF for i in range(492))))
reply_seed("words300_second_short", READ_W, D_READ_W, 300, 1, ack(True, bytes(492)) + ack(True, bytes(100)))
reply_seed("write4_ok", WRITE_B, M_WRITE_B, 4, 0, ack(False))
reply_seed("write4_refused", WRITE_B, M_WRITE_B, 4, 0, ack(False, b"", 3))
reply_seed("write4_with_data", WRITE_B, M_WRITE_B, 4, 0, ack(False, b"\x01\x02"))
reply_seed("write_words300", WRITE_W, D_WRITE_W, 300, 1, ack(False) + ack(False))

# confirm_fuzzer: flags, pieces.
cc = bytes([3, 0, 0, 0x0B, 6, 0xD0, 0, 1, 0, 2, 0])
write("confirm_fuzzer", "good", b"\x00" + pieces(cc))
write("confirm_fuzzer", "credit", b"\x00" + pieces(cc[:5] + b"\xD7" + cc[6:]))
write("confirm_fuzzer", "split", b"\x01" + pieces(cc, 4))
write("confirm_fuzzer", "five_bytes", b"\x00" + pieces(cc[:5]))
write("confirm_fuzzer", "disconnect", b"\x00" + pieces(bytes([3, 0, 0, 0x0B, 6, 0x80, 0, 1, 0, 2, 0])))
write("confirm_fuzzer", "with_parameters",
      b"\x00" + pieces(bytes([3, 0, 0, 0x16, 0x11, 0xD0, 0, 1, 1, 1, 0, 0xC1, 2, 0x4F, 0x57, 0xC2, 2, 0x50, 0x4C, 0xC0, 1, 9])))
write("confirm_fuzzer", "long", b"\x00" + pieces(cc + bytes(1100)))
write("confirm_fuzzer", "header_then_rest", b"\x01" + pieces(cc[:4]) + pieces(cc[4:]))
write("confirm_fuzzer", "empty_unit_behind", b"\x00" + pieces(cc + empty))
write("confirm_fuzzer", "reply_behind", b"\x00" + pieces(cc + ack(True, b"\xA5\xA5\xA5\xA5")))
for n in (1047, 1048):
    write("confirm_fuzzer", "length_%d" % n, b"\x00" + pieces(cc[:2] + struct.pack(">H", n) + cc[4:] + bytes(n - len(cc))))

# open_fuzzer (FuzzedDataProvider): strings from the front ("\\" ends one),
# three time-outs (4 bytes each) and three null flags (1 byte each) from the end.
def open_seed(name, address, own, plc, timeouts=(0, 0, 0), nulls=(0, 0, 0)):
    front = address + b"\\x" + own + b"\\x" + plc
    # An int is taken as INT_MIN plus the raw value, whose last byte is the most significant.
    back = b"".join(struct.pack("<I", (t + 2**31) % 2**32) for t in reversed(timeouts)) + bytes(reversed(nulls))
    write("open_fuzzer", name, front + back)


open_seed("simulator", b"127.0.0.61", b"OWN", b"PLC")
open_seed("simulator_long_tsaps", b"127.0.0.61", b"ABCDEFGHIJ", b"0123456789")
open_seed("simulator_timeouts", b"127.0.0.61", b"", b"", (1000, 700, 300))
open_seed("not_an_address", b"plc.example", b"A", b"B")
open_seed("other_address", b"10.1.2.3", b"A", b"B")
open_seed("empty", b"", b"", b"")
open_seed("nulls", b"127.0.0.61", b"x", b"y", nulls=(1, 1, 1))


# vars_parse_fuzzer (FuzzedDataProvider): the variable's text and a value's
# text ("\\" ends each, a doubled backslash is one), then a variable's bytes:
# every text and case of the shared test vectors.
def fuzz_string(text):
    return text.encode("utf-8").replace(b"\\", b"\\\\") + b"\\x"


with open(os.path.join(here, "..", "tests", "vectors", "variables.json"), encoding="utf-8") as f:
    vectors = json.load(f)
for i, case in enumerate(vectors["parse"]):
    write("vars_parse_fuzzer", "parse_%03d" % i, fuzz_string(case["text"]) + fuzz_string(""))
for i, case in enumerate(vectors["decode"]):
    write("vars_parse_fuzzer", "decode_%03d" % i,
          fuzz_string(case["variable"]) + fuzz_string(case.get("text", "")) + bytes.fromhex(case["bytes"]))
for i, case in enumerate(vectors["encode"]):
    typed = case["set"].get("text", str(next(iter(case["set"].values()))))
    write("vars_parse_fuzzer", "encode_%03d" % i,
          fuzz_string(case["variable"]) + fuzz_string(typed) + bytes.fromhex(case.get("bytes", "")))
