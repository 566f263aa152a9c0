# SPDX-License-Identifier: Apache-2.0
"""The data areas of the byte and word functions: spellings are read and
element addresses printed by liborvavars, so that they read alike in every
tool and binding; here only what the arguments of one call must satisfy."""

from __future__ import annotations

import ctypes
import enum
import operator
from typing import NamedTuple, Union

from ._native import Library, VarsError, c_text

__all__ = ["Area", "AreaLike", "Target", "resolve"]

MAX_BLOCK = 255
MAX_ADDRESS = 0xFFFF


class Area(enum.Enum):
    """The seven data areas; the value is the letter the library takes."""

    OUTPUTS = "A"
    INPUTS = "E"
    FLAGS = "M"
    DATA_BLOCK = "D"
    EXTENDED_DATA_BLOCK = "X"
    TIMERS = "T"
    COUNTERS = "Z"

    @property
    def letter(self) -> str:
        return self.value

    @property
    def has_blocks(self) -> bool:
        """Data blocks and extended data blocks are numbered 0..255."""
        return self in (Area.DATA_BLOCK, Area.EXTENDED_DATA_BLOCK)

    @property
    def counted_in_bytes(self) -> bool:
        """Start and count are bytes for A, E and M (a word covers two byte
        addresses), words for D, X, T and Z (orvanet.h)."""
        return self in (Area.OUTPUTS, Area.INPUTS, Area.FLAGS)


AreaLike = Union[Area, str]


class Target(NamedTuple):
    """One area with its block number (0 where the area has none)."""

    area: Area
    block: int

    def span(self, words: bool) -> int:
        """Addresses one element covers: a word of A, E or M covers two bytes."""
        return 2 if words and self.area.counted_in_bytes else 1

    def describe(self, library: Library, start: int, count: int, words: bool) -> str:
        """The elements in the PLC's notation: "MB10..MB13", "DB 5 DW3", "MW10..MW12"."""
        letter = self.area.letter
        text = library.element_address(letter, self.block, words, start, 0)
        if count > 1:
            text += ".." + library.element_address(letter, self.block, words, start, count - 1)
        return text


def _number(value: object, what: str, low: int, high: int) -> int:
    try:
        number = operator.index(value)  # type: ignore[arg-type]
    except TypeError:
        raise TypeError(f"{what} must be an int, not {type(value).__name__} {value!r}") from None
    if not low <= number <= high:
        raise ValueError(f"{what} {number} is out of range ({low}..{high})")
    return number


def resolve(library: Library, area: AreaLike, db: object) -> Target:
    """The area and block of area (an Area, or a spelling that ORVAVarsParseArea
    reads: "M", "db5", "DB 5", "X7", "c") and of db, which gives the block separately."""
    block: Union[int, None]
    if isinstance(area, Area):
        found, block = area, None
    elif isinstance(area, str):
        letter, number, error = ctypes.c_int(), ctypes.c_int(), VarsError()
        if library.ORVAVarsParseArea(c_text(area, "area"), ctypes.byref(letter),
                                     ctypes.byref(number), ctypes.byref(error)) != 0:
            raise ValueError(error.message.decode("utf-8"))
        found, block = Area(chr(letter.value)), (number.value if number.value >= 0 else None)
    else:
        raise TypeError(f"area must be an Area or a str such as 'M' or 'DB5', not {type(area).__name__} {area!r}")
    if db is not None:
        db = _number(db, "db", 0, MAX_BLOCK)
        if not found.has_blocks:
            raise ValueError(f"db {db} is given for {library.area_name(found.letter)}, which have no block number "
                             "(only DB and DX do)")
        if block is not None and block != db:
            raise ValueError(f"area {area!r} names block {block}, but db is {db}")
        block = db
    if found.has_blocks and block is None:
        example = "DB5" if found is Area.DATA_BLOCK else "DX5"
        raise ValueError(f"{library.area_name(found.letter)} need a block number: area '{example}', or db 5")
    return Target(found, block or 0)


def check_range(target: Target, start: object, count: int, words: bool) -> int:
    """start as an int, after checking that start..start+count stays inside the area's addresses."""
    start = _number(start, "start", 0, MAX_ADDRESS)
    last = start + count * target.span(words) - 1
    if last > MAX_ADDRESS:
        raise ValueError(f"the range {start}..{last} runs past address {MAX_ADDRESS} of the area")
    return start


def check_count(count: object) -> int:
    return _number(count, "count", 1, MAX_ADDRESS)
