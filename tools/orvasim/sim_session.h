/* SPDX-License-Identifier: Apache-2.0 */
// One accepted connection, served on a thread of its own, which owns the
// socket. Its parts are in three files: sim_session_io.cpp (waits, receiving,
// sending, pauses, ends), sim_protocol.cpp (framing, CR/CC, DT, the request
// against memory) and sim_fault_effects.cpp (what each fault does to a
// confirm or a reply).
#pragma once

#include "sim_faults.h"
#include "sim_socket.h"
#include "sim_state.h"
#include "sim_wire.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace orvasim {

enum class Outcome { goOn, ended };

// What a request asks of the adapter, carried out: the acknowledgement's op
// code and error byte and the data it carries.
struct Answer {
    std::uint8_t ackOpCode = 0;
    std::uint8_t error = 0;
    wire::Bytes data;
    std::size_t requestedBytes = 0;  // data bytes a fetch asks for (0 for a write, or past one TPKT)
};

class Session {
public:
    Session(ServerState& server, FileDescriptor socket, int number)
        : server(server), socket(std::move(socket)), number(number) {}

    void run();
    bool endRecorded() const { return ended; }

private:
    // Session I/O.
    void recordEnd(ConnectionEnd end);
    // Waits for the socket (events) or the wake-up pipe, at most timeoutMs (-1: no limit).
    // Returns the socket's revents, 0 on time-out, -1 when the server stops.
    int waitFor(short events, int timeoutMs);
    // Receives what is there into `input`. goOn when bytes came; otherwise the
    // end has been recorded (or the server stops) and the connection is over.
    Outcome receiveSome();
    // Sends all bytes (one send() call unless the socket buffer is full).
    Outcome sendAll(std::span<const std::uint8_t> bytes);
    Outcome pause(int ms);
    // Ends the connection with a reset (linger 0, close).
    Outcome resetNow(const char* why);
    // Ends the connection orderly: FIN, then reads until the client closes.
    Outcome closeOrderly(const char* why);

    // The protocol.
    Outcome handle(std::span<const std::uint8_t> telegram);
    Outcome handleConnectRequest(std::span<const std::uint8_t> telegram);
    Outcome handleData(std::span<const std::uint8_t> telegram);
    Outcome sendConfirm(const wire::Bytes& confirm, std::uint16_t dstRef);
    Answer carryOut(const wire::RequestHeader& request, std::span<const std::uint8_t> data);
    void traceReply(const wire::Bytes& reply, const wire::RequestHeader& request);

    // Faults.
    Outcome confirmWithFault(const wire::ConnectRequest& request, const ConfirmFault& fault);
    Outcome replyWithFault(const wire::RequestHeader& request, std::span<const std::uint8_t> data,
                           const ReplyFault& fault);
    Outcome sendEmptyUnitsUntilTheClientActs(int everyMs);

    ServerState& server;
    FileDescriptor socket;
    int number;
    wire::Bytes input;
    bool connected = false;  // a CC has been sent
    std::uint16_t ownRef = 0;
    bool ended = false;  // the end has been recorded
};

}  // namespace orvasim
