# SPDX-License-Identifier: Apache-2.0
"""The data areas, their spellings, and the PLC's notation of element addresses."""

from __future__ import annotations

import enum
import operator
import re
from typing import NamedTuple, Optional, Tuple, Union

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
        addresses), words for D, X, T and Z."""
        return self in (Area.OUTPUTS, Area.INPUTS, Area.FLAGS)


AreaLike = Union[Area, str]

# Letters and their other spellings; a block number may follow D, DB, X and DX.
_LETTERS = {
    "A": Area.OUTPUTS, "O": Area.OUTPUTS,
    "E": Area.INPUTS, "I": Area.INPUTS,
    "M": Area.FLAGS,
    "T": Area.TIMERS,
    "Z": Area.COUNTERS, "C": Area.COUNTERS,
}
_BLOCK_SPELLING = re.compile(r"(DB|DX|D|X) ?([0-9]*)")
_NAMES = {
    Area.OUTPUTS: "outputs (A)", Area.INPUTS: "inputs (E)", Area.FLAGS: "flags (M)",
    Area.DATA_BLOCK: "data blocks (DB)", Area.EXTENDED_DATA_BLOCK: "extended data blocks (DX)",
    Area.TIMERS: "timers (T)", Area.COUNTERS: "counters (Z)",
}
_CHOICES = ("A or O (outputs), E or I (inputs), M (flags), DB<n> (data block n), DX<n> (extended data block n), "
            "T (timers), Z or C (counters), or a name such as 'flags' or 'data_block'")


class Target(NamedTuple):
    """One area with its block number (0 where the area has none)."""

    area: Area
    block: int

    def label(self, words: bool) -> str:
        """The prefix of an element address: MB, MW, DB 5 DW, T , ..."""
        unit = "W" if words else "B"
        if self.area is Area.DATA_BLOCK:
            return f"DB {self.block} D{unit}"
        if self.area is Area.EXTENDED_DATA_BLOCK:
            return f"DX {self.block} D{unit}"
        if self.area in (Area.TIMERS, Area.COUNTERS):
            return self.area.letter + " "
        return self.area.letter + unit

    def span(self, words: bool) -> int:
        """Addresses one element covers: a word of A, E or M covers two bytes."""
        return 2 if words and self.area.counted_in_bytes else 1

    def describe(self, start: int, count: int, words: bool) -> str:
        """The elements in the PLC's notation: "MB10..MB13", "DB 5 DW3", "MW10..MW12"."""
        label = self.label(words)
        text = f"{label}{start}"
        if count > 1:
            text += f"..{label}{start + (count - 1) * self.span(words)}"
        return text


def _number(value: object, what: str, low: int, high: int) -> int:
    try:
        number = operator.index(value)  # type: ignore[arg-type]
    except TypeError:
        raise TypeError(f"{what} must be an int, not {type(value).__name__} {value!r}") from None
    if not low <= number <= high:
        raise ValueError(f"{what} {number} is out of range ({low}..{high})")
    return number


def resolve(area: AreaLike, db: Optional[int]) -> Target:
    """The area and block of a spelling (case-insensitive: "M", "db5", "DX7",
    "inputs", Area.FLAGS) and of db, which gives the block separately."""
    if isinstance(area, Area):
        found, block = area, None
    elif isinstance(area, str):
        found, block = _parse(area)
    else:
        raise TypeError(f"area must be an Area or a str such as 'M' or 'DB5', not {type(area).__name__} {area!r}")
    if db is not None:
        db = _number(db, "db", 0, MAX_BLOCK)
        if not found.has_blocks:
            raise ValueError(f"db={db} is given for {_NAMES[found]}, which have no block number "
                             "(only DB and DX do)")
        if block is not None and block != db:
            raise ValueError(f"area {area!r} names block {block}, but db={db}")
        block = db
    if found.has_blocks and block is None:
        example = "DB5" if found is Area.DATA_BLOCK else "DX5"
        raise ValueError(f"{_NAMES[found]} need a block number: area '{example}', or db=5")
    return Target(found, block or 0)


def _parse(spelling: str) -> Tuple[Area, Optional[int]]:
    text = spelling.strip().upper()
    if text in _LETTERS:
        return _LETTERS[text], None
    if text.replace(" ", "_") in Area.__members__:
        return Area[text.replace(" ", "_")], None
    match = _BLOCK_SPELLING.fullmatch(text)
    if match is None:
        raise ValueError(f"unknown area {spelling!r}: use {_CHOICES}")
    found = Area.DATA_BLOCK if match.group(1) in ("D", "DB") else Area.EXTENDED_DATA_BLOCK
    if not match.group(2):
        return found, None
    return found, _number(int(match.group(2)), "block number", 0, MAX_BLOCK)


def check_range(target: Target, start: object, count: int, words: bool) -> int:
    """start as an int, after checking that start..start+count stays inside the area's addresses."""
    start = _number(start, "start", 0, MAX_ADDRESS)
    last = start + count * target.span(words) - 1
    if last > MAX_ADDRESS:
        raise ValueError(f"the range {start}..{last} runs past address {MAX_ADDRESS} of the area")
    return start


def check_count(count: object) -> int:
    return _number(count, "count", 1, MAX_ADDRESS)
