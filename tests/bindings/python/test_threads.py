# SPDX-License-Identifier: Apache-2.0
"""Threads: ctypes lets go of the GIL during a call, so connections on their
own threads wait in parallel; one Connection shared by threads stays correct."""

import threading
import time

import orvanet
from conftest import SECOND_SIM_ADDRESS, SIM_ADDRESS
from orvanet import OrvaError, SocketError

TIMEOUT_MS = 1000


def test_two_connections_on_two_threads_time_out_in_parallel(sim, second_sim):
    sim.arm_reply("silence")
    second_sim.arm_reply("silence")
    connections = [orvanet.connect(address, receive_timeout_ms=TIMEOUT_MS) for address in (SIM_ADDRESS,
                                                                                             SECOND_SIM_ADDRESS)]
    outcomes = {}

    def read(plc):
        began = time.monotonic()
        try:
            plc.read_words("DB1", 0, 1)
        except OrvaError as error:
            outcomes[plc.address] = (error.socket_error, time.monotonic() - began)

    threads = [threading.Thread(target=read, args=(plc,)) for plc in connections]
    began = time.monotonic()
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    total = time.monotonic() - began
    for plc in connections:
        plc.close()
    assert sorted(outcomes) == [SIM_ADDRESS, SECOND_SIM_ADDRESS]
    for socket_error, took in outcomes.values():
        assert socket_error is SocketError.WSAETIMEDOUT
        assert took >= 0.9 * TIMEOUT_MS / 1000
    # One after the other they would take two time-outs.
    assert total < 1.8 * TIMEOUT_MS / 1000


def test_threads_sharing_one_connection_each_move_their_own_data(sim):
    rounds, span = 25, 48
    mismatches = []
    with orvanet.connect(SIM_ADDRESS) as plc:

        def work(thread: int) -> None:
            for round_ in range(rounds):
                data = bytes((thread * 40 + round_ + i) & 0xFF for i in range(span))
                words = [thread, round_]
                try:
                    plc.write_bytes("M", 1000 + thread * span, data)
                    back = plc.read_bytes("M", 1000 + thread * span, span)
                    plc.write_words("DB3", thread * 2, words)
                    if back != data or plc.read_words("DB3", thread * 2, 2) != words:
                        mismatches.append((thread, round_))
                except OrvaError as error:
                    mismatches.append((thread, round_, error))

        threads = [threading.Thread(target=work, args=(t,)) for t in range(4)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
    assert mismatches == []
    assert sim.accepted() == 1
    assert len(sim.requests()) == 4 * rounds * 4
