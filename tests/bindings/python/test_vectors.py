# SPDX-License-Identifier: Apache-2.0
"""tests/vectors/variables.json through the installed package, as the C++
tests read it through the C API: each text parses as it says (or is refused
with its exact message), each variable's bytes decode to its Python value and
text, and each value encodes to its bytes (or is refused with its exact
message). A case added to the file is seen here."""

import json
import math

import pytest

import orvanet
from conftest import VECTORS
from orvanet import Element, Format, OrvaError, Result, Time, ValueText, VariableError, VariableList

DOC = json.loads(VECTORS.read_text(encoding="utf-8"))
RESULT_BY_NAME = dict({m.c_name: m for m in Result}, ORVAVARS_OK=Result.OK)  # both headers name 0
AREA_LETTER = {"DB": "D", "DX": "X"}


def ids(section, *keys):
    return [" ".join(str(case.get(key)) for key in keys) for case in DOC[section]]


def test_the_file_holds_every_section_with_its_cases():
    assert len(DOC["parse"]) >= 50 and len(DOC["decode"]) >= 40 and len(DOC["encode"]) >= 80


@pytest.mark.parametrize("case", DOC["parse"], ids=ids("parse", "text"))
def test_each_text_parses_as_the_vectors_say(case):
    text = case["text"]
    if "error" in case:
        expected = case["error"]
        for parse in (orvanet.parse_variable, lambda t: VariableList([t])):
            with pytest.raises(VariableError) as raised:
                parse(text)
            assert str(raised.value) == expected["message"]
            assert raised.value.result is RESULT_BY_NAME[expected["code"]]
            assert raised.value.position == expected["position"]
            assert raised.value.text == text
        return
    v = case["variable"]
    info = orvanet.parse_variable(text)
    assert info.area.letter == AREA_LETTER.get(v["area"], v["area"])
    assert info.block == v["block"]
    assert info.element is Element[v["element"].upper()]
    assert info.address == v["address"]
    assert info.bit == (None if v["bit"] < 0 else v["bit"])
    assert info.format is Format[v["format"]]
    assert (info.length, info.byte_offset, info.byte_count, info.text) == (v["length"], v["byteOffset"],
                                                                           v["byteCount"], v["text"])
    with VariableList([text]) as variables:
        assert variables.infos == (info,)


def expect_value(value, case):
    """The Python value of a decoded or read variable against the vector's."""
    kind = case["kind"]
    if kind == "boolean":
        assert type(value) is bool and value is case["boolean"]
    elif kind == "integer":
        assert type(value) is int and value == case["integer"]
    elif kind == "real":
        assert type(value) is float and value == case["real"], "exact, not near"
        assert math.copysign(1, value) == math.copysign(1, case["real"])
    elif kind == "text":
        assert type(value) is str and value == case["string"]
    elif kind == "time":
        assert type(value) is Time and isinstance(value, int)
        assert (int(value), value.time_base, value.digits) == (case["integer"], case["timeBase"], case["timeDigits"])
    else:
        pytest.fail(f"a value of kind {kind}")


@pytest.mark.parametrize("case", DOC["decode"], ids=ids("decode", "variable", "bytes"))
def test_each_variables_bytes_decode_to_their_value_and_text(case):
    with VariableList([case["variable"]]) as variables:
        value = variables.decode(0, bytes.fromhex(case["bytes"]))
        status = RESULT_BY_NAME[case["status"]]
        if status is Result.OK:
            expect_value(value, case)
            assert variables.value_text(0) == case["text"]
        else:
            assert isinstance(value, OrvaError) and value.result is status and case["kind"] == "none"
            assert str(value) == (f"decoding {variables.infos[0].text} failed: "
                                  f"{orvanet.Result(status).text} ({status.c_name}, result {int(status)})")
            assert variables.value_text(0) is None


def python_value(set_):
    """The vector's value as a user of the package gives it."""
    if "real" in set_:
        return float(set_["real"])
    if "integer" in set_:
        return int(set_["integer"])
    if "boolean" in set_:
        return bool(set_["boolean"])
    if "string" in set_:
        return set_["string"].encode("latin-1")  # the characters themselves, for any format
    return ValueText(set_["text"])  # as a user types it


@pytest.mark.parametrize("case", DOC["encode"], ids=ids("encode", "variable", "set"))
def test_each_value_encodes_to_its_bytes_or_is_refused_with_its_message(case):
    round_times = bool(case.get("options", {}).get("roundTimes"))
    with VariableList([case["variable"]], round_times=round_times) as variables:
        value = python_value(case["set"])
        if "error" in case:
            with pytest.raises(VariableError) as raised:
                variables.encode(0, value)
            assert str(raised.value) == case["error"]["message"]
            assert raised.value.result is RESULT_BY_NAME[case["error"]["code"]]
            assert variables.value_text(0) is None, "a refused value leaves the variable without one"
            return
        assert variables.encode(0, value).hex().upper() == case["bytes"]
        assert variables.value_text(0) == case["text"]
        # What a value prints as is what the package takes back as a value's text.
        assert variables.encode(0, ValueText(case["text"])).hex().upper() == case["bytes"]
        # A str of KC and KS is its characters, as bytes are.
        if "string" in case["set"]:
            assert variables.encode(0, case["set"]["string"]).hex().upper() == case["bytes"]
