# SPDX-License-Identifier: Apache-2.0
"""Every result the library gives against the simulator's faults, as OrvaError
with its Result, SocketError and message; the checks made before any call;
closing."""

import gc
import pickle
import threading
import time

import pytest

import orvanet
from conftest import REFUSING_ADDRESS, SIM_ADDRESS
from orvanet import OrvaError, Result, SocketError

SHORT_MS = 300
BOUND_S = 3.0  # a call that must give up after one short time-out ends well within this


def failure(call):
    """The OrvaError that call raises, and how long it took."""
    began = time.monotonic()
    with pytest.raises(OrvaError) as raised:
        call()
    return raised.value, time.monotonic() - began


READ = ("ORVARdB", "reading 4 bytes from MB0..MB3", lambda plc: plc.read_bytes("M", 0, 4))
WRITE = ("ORVAWrB", "writing 4 bytes to MB0..MB3", lambda plc: plc.write_bytes("M", 0, b"\x01\x02\x03\x04"))


@pytest.mark.parametrize("where,kind,value,call,result,socket_error,end", [
    ("reply", "errorByte", 3, WRITE, Result.ERR_PLC, SocketError.NONE, "open"),
    # A read refused without its data is a reply of the wrong length as well: the connection is dropped.
    ("reply", "errorByte", 2, READ, Result.ERR_PLC, SocketError.NONE, "reset"),
    ("reply", "wrongDataLength", -1, READ, Result.ERR_DROPPED, SocketError.NONE, "reset"),
    ("reply", "closeBeforeReply", 0, WRITE, Result.ERR_DROPPED, SocketError.NONE, "reset"),
    ("reply", "resetBeforeReply", 0, READ, Result.ERR_SOCKET, SocketError.WSAECONNRESET, "reset"),
    ("reply", "silence", 0, WRITE, Result.ERR_SOCKET, SocketError.WSAETIMEDOUT, "reset"),
    ("confirm", "disconnectInsteadOfConfirm", 0, READ, Result.ERR_CONNECT, SocketError.NONE, "reset"),
    ("confirm", "silentConfirm", 0, READ, Result.ERR_CONNECT, SocketError.NONE, "reset"),
])
def test_faults_of_the_adapter_raise_their_result_and_the_next_call_recovers(
        sim, where, kind, value, call, result, socket_error, end):
    function, operation, run = call
    with orvanet.connect(SIM_ADDRESS, receive_timeout_ms=SHORT_MS) as plc:
        (sim.arm_reply if where == "reply" else sim.arm_confirm)(kind, value)
        error, took = failure(lambda: run(plc))
        assert error.result is result
        assert error.socket_error is socket_error
        assert plc.socket_error is socket_error
        assert error.function == function
        assert took < BOUND_S
        assert sim.wait_for_ends(1 if end != "open" else 0)[0] == end
        assert plc.read_bytes("M", 0, 4) == sim.read("M", 0, 0, 4)
        assert plc.socket_error is SocketError.NONE, "cleared by the next good exchange"
    assert (error.name, error.code) == (result.c_name, int(result))
    text = str(error)
    assert text.startswith(f"{operation} at {SIM_ADDRESS} failed: ")
    if socket_error:  # the socket error leads
        assert text.endswith(f"failed: socket error {int(socket_error)} ({socket_error.name}): "
                             f"{orvanet.SOCKET_ERROR_TEXTS[socket_error]} ({result.c_name}, result {int(result)})")
    else:
        assert text.endswith(f"failed: {orvanet.RESULT_TEXTS[result]} ({result.c_name}, result {int(result)})")


def test_a_missing_block_and_a_range_past_its_end_are_refused_by_the_plc(sim):
    sim.call("blocksize D 9 0")
    sim.call("blocksize D 10 100")
    try:
        with orvanet.connect(SIM_ADDRESS) as plc:
            for call in (lambda: plc.read_words("DB9", 0, 1), lambda: plc.write_words("DB10", 99, [1, 2]),
                         lambda: plc.read_words("DB10", 98, 3)):
                error, _ = failure(call)
                assert (error.result, error.socket_error) == (Result.ERR_PLC, SocketError.NONE)
            assert plc.read_words("DB10", 98, 2) == [0, 0]
    finally:
        sim.call("blocksize D 9 2048")
        sim.call("blocksize D 10 2048")


def test_a_refused_connect_gives_wsaeconnrefused_with_the_message_in_words():
    with orvanet.connect(REFUSING_ADDRESS) as plc:
        error, _ = failure(lambda: plc.write_words("DB5", 3, [1, 2]))
    assert (error.result, error.socket_error, error.function) == (Result.ERR_SOCKET, SocketError.WSAECONNREFUSED,
                                                                 "ORVAWrW")
    assert str(error) == (
        f"writing 2 words to DB 5 DW3..DB 5 DW4 at {REFUSING_ADDRESS} failed: socket error 10061 (WSAECONNREFUSED): "
        "connection refused: nothing listens on port 102 at that address (ORVA_ERR_SOCKET, result -7)")
    assert (error.name, error.code, error.socket_error.name) == ("ORVA_ERR_SOCKET", -7, "WSAECONNREFUSED")
    again = pickle.loads(pickle.dumps(error))
    assert (again.args, again.result, again.socket_error, again.operation) == (error.args, error.result,
                                                                              error.socket_error, error.operation)


def test_the_receive_and_connect_time_outs_reach_the_library_in_their_places(sim, black_hole):
    sim.arm_reply("silence")
    with orvanet.connect(SIM_ADDRESS, receive_timeout_ms=SHORT_MS, connect_timeout_ms=4000) as plc:
        error, took = failure(lambda: plc.read_words("T", 0, 1))
    assert error.socket_error is SocketError.WSAETIMEDOUT
    assert 0.25 < took < 2.0
    with orvanet.connect(black_hole, receive_timeout_ms=4000, connect_timeout_ms=400) as plc:
        error, took = failure(lambda: plc.read_words("T", 0, 1))
    assert error.socket_error is SocketError.WSAEHOSTUNREACH
    assert 0.35 < took < 2.0


@pytest.mark.parametrize("call,function,text", [
    (lambda plc: plc.write_bytes("E", 0, b"\x01"), "ORVAWrB", "writing 1 byte to EB0"),
    (lambda plc: plc.write_words("I", 0, [1]), "ORVAWrW", "writing 1 word to EW0"),
    (lambda plc: plc.read_bytes("DB5", 0, 2), "ORVARdB", "reading 2 bytes from DB 5 DB0..DB 5 DB1"),
    (lambda plc: plc.write_bytes("T", 0, b"\x01"), "ORVAWrB", "writing 1 byte to T 0"),
])
def test_areas_a_function_cannot_take_are_refused_by_the_library_without_traffic(sim, call, function, text):
    with orvanet.connect(SIM_ADDRESS) as plc:
        error, _ = failure(lambda: call(plc))
    assert (error.result, error.function) == (Result.ERR_AREA, function)
    assert str(error) == f"{text} at {SIM_ADDRESS} failed: area not supported by this function (ORVA_ERR_AREA, result -10)"
    assert sim.accepted() == 0


@pytest.mark.parametrize("call,exception,message", [
    (lambda plc: plc.write_words("DB5", 0, [1, 65536]), ValueError, "word 65536 at index 1 is out of range (0..65535)"),
    (lambda plc: plc.write_words("DB5", 0, [0, 1, -1]), ValueError, "word -1 at index 2 is out of range (0..65535)"),
    (lambda plc: plc.write_words("DB5", 0, [1.0]), TypeError, "word at index 0 is float 1.0, not an int"),
    (lambda plc: plc.write_words("DB5", 0, "ab"), TypeError, "write_words takes ints 0..65535, not str"),
    (lambda plc: plc.write_bytes("M", 0, [0, 256]), ValueError, "byte 256 at index 1 is out of range (0..255)"),
    (lambda plc: plc.write_bytes("M", 0, [-1]), ValueError, "byte -1 at index 0 is out of range (0..255)"),
    (lambda plc: plc.write_bytes("M", 0, "text"), TypeError, "not str: encode the text first"),
    (lambda plc: plc.write_bytes("M", 0, b""), ValueError, "a write takes 1..65535 bytes, not 0"),
    (lambda plc: plc.write_words("M", 0, [0] * 65536), ValueError, "a write takes 1..65535 words, not 65536"),
    (lambda plc: plc.read_bytes("M", 0, 0), ValueError, "count 0 is out of range (1..65535)"),
    (lambda plc: plc.read_words("M", 0, 65536), ValueError, "count 65536 is out of range (1..65535)"),
    (lambda plc: plc.read_bytes("M", -1, 1), ValueError, "start -1 is out of range (0..65535)"),
    (lambda plc: plc.read_bytes("M", 65536, 1), ValueError, "start 65536 is out of range (0..65535)"),
    (lambda plc: plc.read_bytes("M", "0", 1), TypeError, "start must be an int, not str '0'"),
    (lambda plc: plc.read_bytes("M", 65535, 2), ValueError, "the range 65535..65536 runs past address 65535"),
    (lambda plc: plc.read_words("M", 65534, 2), ValueError, "the range 65534..65537 runs past address 65535"),
    (lambda plc: plc.write_words("DB5", 65535, [1, 2]), ValueError, "the range 65535..65536 runs past"),
])
def test_values_and_ranges_outside_their_bounds_are_refused_before_any_call(sim, call, exception, message):
    with orvanet.connect(SIM_ADDRESS) as plc:
        with pytest.raises(exception) as raised:
            call(plc)
    assert message in str(raised.value)
    assert sim.accepted() == 0


@pytest.mark.parametrize("arguments,exception,message", [
    (("plc1",), ValueError, "address 'plc1' is not a dotted IPv4 address"),
    (("127.0.1.256",), ValueError, "is not a dotted IPv4 address"),
    ((b"127.0.0.1",), TypeError, "address must be a str"),
    ((SIM_ADDRESS, "TOOLONGTSAP"), ValueError, "own_tsap 'TOOLONGTSAP' must be at most 8 characters"),
    ((SIM_ADDRESS, "", "pl\u00e4"), ValueError, "plc_tsap 'pl\u00e4' is not ASCII text"),
    ((SIM_ADDRESS, "", "", -1), ValueError, "receive_timeout_ms -1 is out of range"),
    ((SIM_ADDRESS, "", "", 0, 0.5), TypeError, "send_timeout_ms must be an int number of milliseconds"),
])
def test_bad_arguments_to_connect_are_refused_before_a_handle_is_taken(arguments, exception, message):
    names = ["address", "own_tsap", "plc_tsap", "receive_timeout_ms", "send_timeout_ms"]
    keywords = dict(zip(names[3:], arguments[3:]))
    with pytest.raises(exception) as raised:
        orvanet.connect(*arguments[:3], **keywords)
    assert message in str(raised.value)


def test_a_closed_connection_refuses_calls_and_resets_the_adapters_connection(sim):
    plc = orvanet.connect(SIM_ADDRESS)
    handle = plc.handle
    plc.read_bytes("M", 0, 1)
    plc.close()
    plc.close()
    assert sim.wait_for_ends(1) == ["reset"]
    assert plc.closed and plc.handle is None and "closed" in repr(plc)
    for call, asked in ((lambda: plc.read_words("Z", 0, 1), "reading 1 word from Z 0"),
                        (lambda: plc.write_bytes("M", 4, b"ab"), "writing 2 bytes to MB4..MB5"),
                        (lambda: plc.read(["MW0", "DB1.DW0"]), "reading 2 variables"),
                        (lambda: plc.write({"MW0": 1}), "writing 1 variable"),
                        (lambda: plc.socket_error, "asking for the socket error")):
        error, _ = failure(call)
        assert (error.result, error.socket_error) == (Result.ERR_HANDLE, SocketError.NONE)
        # What was asked names the address once, then the library's words.
        assert str(error) == (f"{asked} at {SIM_ADDRESS} failed: invalid handle: outside 0..63 or not open "
                              "(ORVA_ERR_HANDLE, result -99)")
    with orvanet.connect(SIM_ADDRESS) as again:
        assert again.handle == handle, "the handle was given back to the library"
    assert sim.accepted() == 1


def test_a_connection_left_to_the_garbage_collector_gives_its_handle_back(sim):
    plc = orvanet.connect(SIM_ADDRESS)
    handle = plc.handle
    plc.read_bytes("M", 0, 1)
    del plc
    gc.collect()
    assert sim.wait_for_ends(1) == ["reset"]
    with orvanet.connect(SIM_ADDRESS) as again:
        assert again.handle == handle


def test_close_during_a_call_of_another_thread_waits_for_that_call(sim):
    sim.arm_reply("silence")
    plc = orvanet.connect(SIM_ADDRESS, receive_timeout_ms=600)
    outcome = []
    reader = threading.Thread(target=lambda: outcome.append(failure(lambda: plc.read_bytes("M", 0, 1))[0]))
    reader.start()
    deadline = time.monotonic() + BOUND_S
    while not sim.requests() and time.monotonic() < deadline:  # the request is out: the call is waiting
        time.sleep(0.01)
    plc.close()
    reader.join()
    assert outcome[0].socket_error is SocketError.WSAETIMEDOUT, "the call ended by its time-out, not by the close"
    assert plc.closed


def test_the_sixty_fifth_connection_gets_no_handle(sim):
    gc.collect()
    opened = []
    try:
        for _ in range(64):
            opened.append(orvanet.connect(SIM_ADDRESS))
        error, _ = failure(lambda: orvanet.connect(SIM_ADDRESS))
    finally:
        for plc in opened:
            plc.close()
    assert (error.result, error.function) == (Result.ERR_NO_FREE_HANDLE, "ORVAOpen")
    assert str(error) == (f"opening a handle for {SIM_ADDRESS} failed: all 64 handles are in use "
                          "(ORVA_ERR_NO_FREE_HANDLE, result -2)")
    assert sim.accepted() == 0
