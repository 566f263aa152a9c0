# SPDX-License-Identifier: Apache-2.0
"""Lists of variables read and written against the simulator through the
installed package: values in their formats and Python types, one trip into the
library per list, each variable's own error, writes checked in the simulator's
memory (read-modify-write of bits and its refusal), the checks before any
traffic, lists used again and from several threads."""

import pickle
import threading

import pytest

import orvanet
from conftest import REFUSING_ADDRESS, SIM_ADDRESS
from orvanet import OrvaError, Result, SocketError, Time, ValueText, VariableError, VariableList

# DB 10: DW4 a KT time (127 s), DW5 KZ 42, DW6..7 KS "Wär" and a NUL, DW30..31 KG 12.34567 (0462C3EF).
DB10 = {8: "2127", 10: "0042", 12: "57e47200", 60: "0462c3ef"}
LIST = ["DB10.DD30:KG", "MW20:KF", "M20.3", "DB10.DW4:KT", "DB10.DW5:KZ", "DB10.DW6:KS4", "MB21:KC", "T3",
        "DB10.DW30", "DB10.DW30:KH"]


def prepare(sim):
    for offset, data in DB10.items():
        sim.write("D", 10, offset, bytes.fromhex(data))
    sim.write("M", 0, 20, bytes.fromhex("fff9"))  # MW20 -7: M20.3 is set, MB21 is 0xF9
    sim.write("T", 0, 6, bytes.fromhex("3999"))


def test_a_list_reads_each_variable_in_its_format_and_python_type(sim):
    prepare(sim)
    with orvanet.connect(SIM_ADDRESS) as plc:
        values = plc.read(LIST)
    assert list(values) == LIST, "one key per text, in the list's order"
    assert values == {"DB10.DD30:KG": 12.345670700073242, "MW20:KF": -7, "M20.3": True,
                      "DB10.DW4:KT": 127000, "DB10.DW5:KZ": 42, "DB10.DW6:KS4": "W\xe4r\x00", "MB21:KC": "\xf9",
                      "T3": 0x3999, "DB10.DW30": 0x0462, "DB10.DW30:KH": 0x0462}
    assert [type(values[t]) for t in LIST] == [float, int, bool, Time, int, str, str, int, int, int]
    time = values["DB10.DW4:KT"]
    assert (time.time_base, time.digits, time.base_ms) == (2, 127, 1000)
    # DB 10 in two calls (DW4..DW7 and DW30..DW31 lie more than the gap of 32 bytes apart), M, T.
    assert len(sim.requests()) == 4


def test_a_read_is_one_trip_into_the_library(sim, monkeypatch):
    prepare(sim)
    with orvanet.connect(SIM_ADDRESS) as plc:
        variables = plc.variables(LIST)
        calls = []
        for name in ("ORVAVarsRead", "ORVARdB", "ORVARdW", "ORVAVarsDecode", "ORVAVarsValueText"):
            function = getattr(plc.library, name)
            monkeypatch.setattr(plc.library, name, lambda *a, _n=name, _f=function: calls.append(_n) or _f(*a))
        first = plc.read(variables)
        assert calls == ["ORVAVarsRead"]
        sim.write("D", 10, 10, bytes.fromhex("0043"))
        assert plc.read(variables) == dict(first, **{"DB10.DW5:KZ": 43}), "a list is read again as it is"
        assert calls == ["ORVAVarsRead", "ORVAVarsRead"]
        # DW4..DW7 and DW30..DW31 of DB 10, MB20..MB21, T3.
        assert variables.plan() == orvanet.Plan(variables=10, calls=4, telegrams=4, bytes=8 + 4 + 2 + 2)
        variables.close()
        variables.close()
        with pytest.raises(ValueError, match="the VariableList is closed"):
            plc.read(variables)


def test_each_variable_carries_its_own_error_and_the_others_their_values(sim):
    prepare(sim)
    sim.write("D", 10, 12, bytes.fromhex("0a00"))  # DW6: a digit above 9 for KT
    sim.call("blocksize D 9 0")
    try:
        with orvanet.connect(SIM_ADDRESS) as plc:
            values = plc.read(["DB9.DW0", "DB10.DW6:KT", "DB10.DW5:KZ", "MW20:KF"])
    finally:
        sim.call("blocksize D 9 2048")
    missing, invalid = values["DB9.DW0"], values["DB10.DW6:KT"]
    assert isinstance(missing, OrvaError) and isinstance(invalid, OrvaError)
    assert (missing.result, missing.function) == (Result.ERR_PLC, "ORVAVarsRead")
    assert str(missing) == (f"reading DB9.DW0 at {SIM_ADDRESS} failed: the PLC refused: data block missing, or the "
                            "range runs past the end of the area (ORVA_ERR_PLC, result 2)")
    assert (invalid.result, invalid.name, invalid.code) == (Result.ERR_INVALID_BCD, "ORVAVARS_ERR_INVALID_BCD", -120)
    assert str(invalid) == (f"reading DB10.DW6:KT at {SIM_ADDRESS} failed: invalid value: a BCD digit above 9 "
                            "(ORVAVARS_ERR_INVALID_BCD, result -120)")
    assert (values["DB10.DW5:KZ"], values["MW20:KF"]) == (42, -7)


def test_a_lost_connection_fails_the_call_that_lost_it_and_the_rest_are_not_tried():
    with orvanet.connect(REFUSING_ADDRESS) as plc:
        values = plc.read(["DB1.DW0", "MW0", "T1"])
    first, *rest = (values[t] for t in ("DB1.DW0", "MW0", "T1"))
    assert isinstance(first, OrvaError)
    assert (first.result, first.socket_error) == (Result.ERR_SOCKET, SocketError.WSAECONNREFUSED)
    assert str(first) == (f"reading DB1.DW0 at {REFUSING_ADDRESS} failed: socket error 10061 (WSAECONNREFUSED): "
                          "connection refused: nothing listens on port 102 at that address (ORVA_ERR_SOCKET, "
                          "result -7)")
    for error in rest:
        assert isinstance(error, OrvaError) and error.result is Result.ERR_NOT_TRIED
        assert error.socket_error is SocketError.NONE
    assert pickle.loads(pickle.dumps(first)).args == first.args


def test_writes_reach_the_adapter_in_the_plcs_formats_and_read_back(sim):
    values = {"DB10.DD30:KG": -0.005, "MW20:KF": -2, "DB10.DW4:KT": 1500, "DB10.DW5:KZ": 999,
              "DB10.DW6:KS4": "Wä\\x", "MB24": 255, "DB10.DW8:KY": ValueText("18,52"), "DB10.DW9:KT": ValueText("127s"),
              "DB10.DW10:KS2": b"\x00\xff", "DB10.DD12:DH": 0x12ABCDEF, "MB25:KC": "Z"}
    with orvanet.connect(SIM_ADDRESS) as plc:
        plc.write(values)
        back = plc.read(list(values))
    assert sim.read("D", 10, 60, 4) == bytes.fromhex("f9ae147b"), "the worked example's -0.005"
    assert sim.read("M", 0, 20, 2) == bytes.fromhex("fffe")
    assert sim.read("D", 10, 8, 8) == bytes.fromhex("0150") + bytes.fromhex("0999") + b"W\xe4\\x"
    assert sim.read("D", 10, 16, 8) == bytes.fromhex("1234") + bytes.fromhex("2127") + b"\x00\xff" + b"\x00\x00"
    assert sim.read("D", 10, 24, 4) == bytes.fromhex("12abcdef")
    assert sim.read("M", 0, 24, 2) == b"\xffZ"
    assert back == {"DB10.DD30:KG": -0.004999999888241291, "MW20:KF": -2, "DB10.DW4:KT": 1500,
                    "DB10.DW5:KZ": 999, "DB10.DW6:KS4": "Wä\\x", "MB24": 255, "DB10.DW8:KY": 0x1234,
                    "DB10.DW9:KT": 127000, "DB10.DW10:KS2": "\x00\xff", "DB10.DD12:DH": 0x12ABCDEF, "MB25:KC": "Z"}


def test_bits_and_bytes_of_data_words_are_read_modify_write_and_no_modify_refuses_them(sim):
    sim.write("M", 0, 30, b"\xf0\x00\x00\x00")
    sim.write("D", 10, 40, bytes.fromhex("abcd"))
    with orvanet.connect(SIM_ADDRESS) as plc:
        plc.write({"M30.0": True, "M30.7": False, "DB10.DR20": 0x11})
        assert sim.read("M", 0, 30, 1) == b"\x71", "the other bits of MB30 kept"
        assert sim.read("D", 10, 40, 2) == bytes.fromhex("ab11"), "the left byte of DW20 kept"
        with pytest.raises(OrvaError) as raised:
            plc.write({"M30.1": True, "MW32": 7}, no_modify=True)
    error = raised.value
    assert (error.result, error.function) == (Result.ERR_MODIFY_REFUSED, "ORVAVarsWrite")
    assert str(error) == (f"writing M30.1 at {SIM_ADDRESS} failed: refused: the write would read the PLC first and "
                          "write back the rest (ORVAVARS_ERR_MODIFY_REFUSED, result -131)")
    assert list(error.errors) == ["M30.1"], "the word was written"
    assert sim.read("M", 0, 30, 4) == b"\x71\x00\x00\x07"


def test_inputs_are_refused_by_the_library_without_traffic_and_the_rest_is_written(sim):
    with orvanet.connect(SIM_ADDRESS) as plc:
        with pytest.raises(OrvaError) as raised:
            plc.write({"EW0": 1, "E1.0": True})
        assert sim.accepted() == 0
        with pytest.raises(OrvaError) as mixed:
            plc.write({"MW40": 0x0102, "IW2": 5})
    assert (raised.value.result, raised.value.function) == (Result.ERR_AREA, "ORVAVarsWrite")
    assert str(raised.value) == (f"writing EW0 at {SIM_ADDRESS} failed: area not supported by this function "
                                 "(ORVA_ERR_AREA, result -10)")
    assert sorted(raised.value.errors) == ["E1.0", "EW0"]
    assert all(e.result is Result.ERR_AREA for e in raised.value.errors.values())
    assert list(mixed.value.errors) == ["IW2"] and str(mixed.value).startswith("writing EW2 at ")
    assert sim.read("M", 0, 40, 2) == b"\x01\x02"


@pytest.mark.parametrize("call,exception,message", [
    (lambda plc: plc.read(["MW10:KQ"]), VariableError,
     'unknown format "KQ" at 6; one of KF KH KM KY KC KT KZ KG DH KS'),
    (lambda plc: plc.read(["DB10.DD30:KG", "M10"]), VariableError,
     'expected "." and a bit 0..7 at 4; as in M10.3, or B, W or D before the address'),
    (lambda plc: plc.write({"MW10:KF": 40000}), VariableError, "40000 does not fit MW10:KF (-32768..32767)"),
    (lambda plc: plc.write({"MD0:KG": float("nan")}), VariableError, "MD0:KG takes finite numbers, not nan"),
    (lambda plc: plc.write({"MW0:KT": 12345}), VariableError,
     "12.345s is no whole number of 0.1s, the finest time base that holds it; allow rounding to write 12.3s to "
     "MW0:KT"),
    (lambda plc: plc.write({"MB0:KS4": "€"}), VariableError,
     'value "€" for MB0:KS4: the character at 1 is not Latin-1'),
    (lambda plc: plc.write({"MW0": [1]}), TypeError, "the value for MW0 must be a bool, int, float, str or bytes, "
                                                     "not list [1]"),
    (lambda plc: plc.write({"MW0": None}), TypeError, "the value for MW0 must be a bool, int, float, str or bytes, "
                                                      "not NoneType None"),
    (lambda plc: plc.write({"MW0": "1\0"}), ValueError, "the value for MW0 '1\\x00' contains a NUL character"),
    (lambda plc: plc.read([10]), TypeError, "a variable must be a str such as 'DB10.DD30:KG', not int 10"),
    (lambda plc: plc.read(["MW0\0"]), ValueError, "the variable 'MW0\\x00' contains a NUL character"),
    (lambda plc: plc.variables(["MW0"], gap=70000), ValueError, "gap 70000 is out of range (0..65535)"),
])
def test_texts_and_values_the_library_refuses_raise_before_any_traffic(sim, call, exception, message):
    with orvanet.connect(SIM_ADDRESS) as plc:
        with pytest.raises(exception) as raised:
            call(plc)
    assert str(raised.value) == message
    assert sim.accepted() == 0


def test_a_variables_error_names_the_text_the_result_and_the_position():
    with pytest.raises(VariableError) as raised:
        VariableList(["DB5.D3.16"])
    assert (raised.value.text, raised.value.result, raised.value.position) == ("DB5.D3.16", Result.ERR_OUT_OF_RANGE, 8)
    assert isinstance(raised.value, ValueError)
    again = pickle.loads(pickle.dumps(raised.value))
    assert (str(again), again.text, again.result, again.position) == (str(raised.value), "DB5.D3.16",
                                                                      Result.ERR_OUT_OF_RANGE, 8)


def test_a_str_of_ks_is_its_characters_and_a_value_text_is_read_as_typed(sim):
    with orvanet.connect(SIM_ADDRESS) as plc:
        plc.write({"MB50:KS4": "a\\x4"})
        assert sim.read("M", 0, 50, 4) == b"a\\x4"
        plc.write({"MB50:KS4": ValueText("a\\x41")})
        assert sim.read("M", 0, 50, 4) == b"aA  "
        # A number past 64 bits goes to the library as its digits, so that it words the refusal.
        plc.write({"MD52:KG": 2 ** 70})
        assert plc.read(["MD52:KG"]) == {"MD52:KG": float(2 ** 70)}
        with pytest.raises(VariableError, match="1180591620717411303424"):
            plc.write({"MD52": 2 ** 70})


def test_duplicate_texts_read_once_an_empty_list_reads_nothing(sim):
    sim.write("M", 0, 60, b"\x12\x34")
    with orvanet.connect(SIM_ADDRESS) as plc:
        assert plc.read(["MW60", "MW60", "mw60"]) == {"MW60": 0x1234, "mw60": 0x1234}
        assert plc.read([]) == {}
        plc.write({})
    assert len(sim.requests()) == 1


def test_a_list_made_for_another_library_is_refused(sim):
    with orvanet.connect(SIM_ADDRESS) as plc:
        other = orvanet.load_library(plc.library.path, vars_path=plc.library.vars_path)
        variables = VariableList(["MW0"], library=other)
        with pytest.raises(ValueError, match="made for another Library"):
            plc.read(variables)


def test_threads_sharing_one_list_and_one_connection_each_get_whole_results(sim):
    words = [(i * 37) & 0xFFFF for i in range(200)]
    sim.write("D", 20, 0, b"".join(w.to_bytes(2, "big") for w in words))
    texts = [f"DB20.DW{i}" for i in range(200)]
    expected = dict(zip(texts, words))
    wrong = []
    with orvanet.connect(SIM_ADDRESS) as plc:
        variables = plc.variables(texts)

        def work():
            for _ in range(20):
                if plc.read(variables) != expected:
                    wrong.append(1)

        threads = [threading.Thread(target=work) for _ in range(4)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
    assert wrong == []
    assert len(sim.requests()) == 4 * 20


def test_codes_no_header_lists_stay_members_of_their_type():
    unknown = SocketError(99999)
    assert isinstance(unknown, SocketError) and unknown == 99999 and unknown.name == "UNKNOWN"
    assert unknown.text == ""
    result = Result(-555)
    assert isinstance(result, Result) and result == -555 and (result.name, result.c_name) == ("UNKNOWN", "")
    error = OrvaError("ORVARdB", "reading", -555, 99999, "unknown result (result -555)")
    assert (error.result, error.socket_error, error.name, error.code) == (-555, 99999, "", -555)
    assert Time(1500, 0, 150) == 1500 and repr(Time(1500, 0, 150)) == "Time(1500, time_base=0, digits=150)"
    again = pickle.loads(pickle.dumps(Time(127000, 2, 127)))
    assert (again, again.time_base, again.digits) == (127000, 2, 127)


def test_a_long_list_of_bits_reads_each_one_from_one_call(sim):
    data = bytes((i * 29 + 3) & 0xFF for i in range(300))
    sim.write("M", 0, 1000, data)
    texts = [f"M{1000 + i // 8}.{i % 8}" for i in range(2400)]  # past the lists whose readers are shared
    with orvanet.connect(SIM_ADDRESS) as plc:
        values = plc.read(texts)
    assert [values[t] for t in texts] == [bool(data[i // 8] >> (i % 8) & 1) for i in range(2400)]
    assert len(sim.requests()) == 1
