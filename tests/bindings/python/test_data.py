# SPDX-License-Identifier: Apache-2.0
"""Every area written and read back through the installed package, checked
against what the simulator holds; the spellings of areas; long transfers."""

import array

import pytest

import orvanet
from conftest import SIM_ADDRESS
from orvanet import Area


def pattern(n: int, seed: int) -> bytes:
    return bytes((i * 7 + seed) & 0xFF for i in range(n))


def words_of(data: bytes):
    """Big-endian words, as the PLC and the simulator store them."""
    return [data[i] << 8 | data[i + 1] for i in range(0, len(data), 2)]


# Spelling, db argument, the simulator's area letter and block, and the byte offset of element 3.
WORD_AREAS = [
    ("A", None, "A", 0, 3),  # start counted in bytes: word 3 starts at byte 3
    ("M", None, "M", 0, 3),
    ("DB5", None, "D", 5, 6),  # counted in words: word 3 starts at byte 6
    ("DB", 9, "D", 9, 6),
    ("DX7", None, "X", 7, 6),
    ("T", None, "T", 0, 6),
    ("Z", None, "Z", 0, 6),
]


@pytest.mark.parametrize("spelling,db,sim_area,block,offset", WORD_AREAS)
def test_words_written_reach_the_adapter_big_endian_and_read_back(sim, spelling, db, sim_area, block, offset):
    values = [0x1234, 0xABCD, 0x0001, 0xFF00, 0]
    with orvanet.connect(SIM_ADDRESS) as plc:
        plc.write_words(spelling, 3, values, db=db)
        assert sim.read(sim_area, block, offset, 10) == bytes.fromhex("1234abcd0001ff000000")
        assert plc.read_words(spelling, 3, 5, db=db) == values
    assert sim.accepted() == 1, "one connection for both calls"


@pytest.mark.parametrize("spelling", ["A", "M"])
def test_bytes_written_reach_the_adapter_and_read_back(sim, spelling):
    data = pattern(40, 1)
    with orvanet.connect(SIM_ADDRESS) as plc:
        plc.write_bytes(spelling, 200, data)
        assert sim.read(spelling, 0, 200, 40) == data
        assert plc.read_bytes(spelling, 200, 40) == data
        # A word of a byte-counted area covers two byte addresses, high byte first.
        assert plc.read_words(spelling, 200, 20) == words_of(data)


def test_inputs_are_read_as_bytes_and_words(sim):
    data = pattern(8, 5)
    sim.write("E", 0, 16, data)
    with orvanet.connect(SIM_ADDRESS) as plc:
        assert plc.read_bytes("E", 16, 8) == data
        assert plc.read_words("I", 16, 4) == words_of(data)


def test_write_words_takes_any_iterable_of_ints_and_array_h(sim):
    with orvanet.connect(SIM_ADDRESS) as plc:
        plc.write_words("DB5", 0, array.array("H", [1, 65535]))
        plc.write_words("DB5", 2, (v for v in (2, 3)))
        plc.write_bytes("M", 0, bytearray(b"\x01\x02"))
        plc.write_bytes("M", 2, memoryview(b"\x03"))
        plc.write_bytes("M", 3, [4, 255])
    assert sim.read("D", 5, 0, 8) == bytes.fromhex("0001ffff00020003")
    assert sim.read("M", 0, 0, 5) == b"\x01\x02\x03\x04\xff"


@pytest.mark.parametrize("spelling,db,sim_area,block", [
    ("o", None, "A", 0), ("A", None, "A", 0), (Area.OUTPUTS, None, "A", 0),
    ("i", None, "E", 0), (Area.INPUTS, None, "E", 0),
    ("m", None, "M", 0), (" M ", None, "M", 0),
    ("t", None, "T", 0), (Area.TIMERS, None, "T", 0),
    ("c", None, "Z", 0), ("z", None, "Z", 0),
    ("d5", None, "D", 5), ("db 5", None, "D", 5), ("D", 5, "D", 5), ("DB", 5, "D", 5),
    (Area.DATA_BLOCK, 5, "D", 5), ("DB5", 5, "D", 5), ("DB255", None, "D", 255), ("DB0", None, "D", 0),
    ("x7", None, "X", 7), ("dx7", None, "X", 7), ("DX", 7, "X", 7), (Area.EXTENDED_DATA_BLOCK, 7, "X", 7),
])
def test_each_spelling_reads_its_own_area_and_block(sim, spelling, db, sim_area, block):
    # The word counted areas start at word 3 = byte 6; the byte counted ones at byte 3.
    offset = 3 if sim_area in "AEM" else 6
    marker = bytes([ord(sim_area), block])
    sim.write(sim_area, block, offset, marker)
    with orvanet.connect(SIM_ADDRESS) as plc:
        assert plc.read_words(spelling, 3, 1, db=db) == words_of(marker)


UNKNOWN = ": use A or O, E or I, M, T, Z or C, DB<n> or D<n>, DX<n> or X<n> (n 0..255)"


@pytest.mark.parametrize("spelling,db,message", [
    # The spellings and their refusals are liborvavars' (ORVAVarsParseArea), word for word.
    ("Q", None, "unknown area 'Q'" + UNKNOWN),
    ("", None, "unknown area ''" + UNKNOWN),
    ("flags", None, "unknown area 'flags'" + UNKNOWN),
    ("data_block", 5, "unknown area 'data_block'" + UNKNOWN),
    ("T5", None, "unknown area 'T5'" + UNKNOWN),
    ("DB256", None, "block number 256 is out of range (0..255)"),
    # How db goes with the spelling: the bindings' own words, the same in Python and .NET.
    ("DB", None, "data blocks (DB) need a block number: area 'DB5', or db 5"),
    ("X", None, "extended data blocks (DX) need a block number: area 'DX5', or db 5"),
    ("M", 5, "db 5 is given for flags (M), which have no block number (only DB and DX do)"),
    ("DB5", 6, "area 'DB5' names block 5, but db is 6"),
    ("DB", -1, "db -1 is out of range (0..255)"),
    ("M\0", None, "area 'M\\x00' contains a NUL character"),
])
def test_bad_spellings_are_refused_before_anything_is_sent(sim, spelling, db, message):
    with orvanet.connect(SIM_ADDRESS) as plc:
        with pytest.raises(ValueError) as raised:
            plc.read_words(spelling, 0, 1, db=db)
    assert str(raised.value) == message
    assert sim.accepted() == 0


def test_an_area_that_is_not_a_str_or_area_is_a_type_error(sim):
    with orvanet.connect(SIM_ADDRESS) as plc:
        with pytest.raises(TypeError, match="area must be an Area or a str"):
            plc.read_bytes(ord("M"), 0, 1)


def test_transfers_up_to_65535_elements_are_split_and_joined(sim):
    flags = pattern(65535, 3)
    sim.write("M", 0, 0, flags)
    with orvanet.connect(SIM_ADDRESS) as plc:
        assert plc.read_bytes("M", 0, 65535) == flags
        timers = [(i * 31) & 0xFFFF for i in range(65535)]
        plc.write_words("T", 0, timers)
        assert plc.read_words("T", 0, 65535) == timers
    assert sim.read("T", 0, 2 * 65534, 2) == (timers[-1]).to_bytes(2, "big")
    # 492 data bytes per telegram: 134 for the flags, then 267 each way for the timers.
    assert len(sim.requests()) == 134 + 2 * 267


def test_the_tsaps_reach_the_connection_request_in_their_order(sim):
    with orvanet.connect(SIM_ADDRESS, "own1", "plc22") as plc:
        plc.read_bytes("E", 0, 1)
    request = sim.connect_requests()[0]
    assert b"\xc1\x04own1" in request, "calling TSAP: own_tsap"
    assert b"\xc2\x05plc22" in request, "called TSAP: plc_tsap"
