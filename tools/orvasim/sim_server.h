/* SPDX-License-Identifier: Apache-2.0 */
// orvasim: a stand-in for an S5 PLC's network adapter. It terminates ISO
// transport connections on TCP (answers a CR with a CC) and serves fetch and
// write telegrams from its own memory of the seven data areas. Tests run it in
// process and inject faults; the orvasim program runs it from the command line.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim_faults.h"
#include "sim_types.h"
#include "wire_format.h"

namespace orvasim {

struct ServerState;

class Server {
public:
    explicit Server(Options options = {});
    ~Server();  // stops
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // A server made and started on address (port 102): for the programs and
    // tests that run one in process. Throws std::runtime_error, with the
    // reason, when it cannot listen.
    static std::unique_ptr<Server> startedOn(const std::string& address);

    // Binds, listens and starts serving. False, with a reason, when it cannot.
    // May be called again after stop(); memory and record are kept.
    bool start(std::string* error = nullptr);
    // Closes the listener and every connection and joins all threads, at once,
    // whatever the connections are waiting for. Connections still open then
    // keep ConnectionEnd::open in the record. Call start() and stop() from one
    // thread; everything else may be called from any thread.
    void stop();
    std::uint16_t port() const;  // the bound port (useful with port 0)

    // Memory. Words are stored big-endian as on the PLC; these helpers take and
    // give host values. Areas E, A, M: 65536 bytes; T, Z: 65536 words; D and X:
    // blocks 0..255 of 2048 words each unless resized (0 words: the block does
    // not exist). All of it starts zeroed. Offsets and counts are in bytes
    // (word helpers: in words); outside an area or block 0..255 they throw
    // std::out_of_range; setBlockWords on E/A/M/T/Z, and any call with
    // AreaCode::none, std::invalid_argument.
    // Resizing keeps the block's content and zeroes what it adds.
    void setBlockWords(orva::wire::AreaCode dbOrDx, int block, int words);
    void writeBytes(orva::wire::AreaCode area, int block, int byteOffset, const std::vector<std::uint8_t>& bytes);
    std::vector<std::uint8_t> readBytes(orva::wire::AreaCode area, int block, int byteOffset, int count) const;
    // The bits of mask in each byte take those of bytes, the others keep theirs (atomically).
    void mergeBytes(orva::wire::AreaCode area, int block, int byteOffset, const std::vector<std::uint8_t>& bytes,
                    std::uint8_t mask);
    // The bytes an area holds: 65536 for E, A and M, 131072 for T and Z, a block twice its words.
    int areaBytes(orva::wire::AreaCode area, int block) const;
    void writeWord(orva::wire::AreaCode area, int block, int wordIndex, std::uint16_t value);
    std::uint16_t readWord(orva::wire::AreaCode area, int block, int wordIndex) const;

    // Faults (sim_faults.h): confirm faults and reply faults wait in a queue
    // each, used in the order they were armed.
    void armConfirmFault(ConfirmFault fault);
    void armReplyFault(ReplyFault fault);
    void clearFaults();

    // What the adapter saw.
    int connectionsAccepted() const;
    int openConnections() const;
    std::vector<std::vector<std::uint8_t>> connectRequests() const;  // every CR telegram, whole
    std::vector<std::vector<std::uint8_t>> requests() const;         // every DT telegram, whole
    // Per accepted connection, in order. A connection's end is recorded when a
    // recv returns 0 (orderlyClose) or fails (reset: ECONNRESET, or a failed
    // send), or when the adapter resets it itself.
    std::vector<ConnectionEnd> connectionEnds() const;
    // Waits until count connections have ended (or timeoutMs passed); true if they did.
    bool waitForEnds(int count, int timeoutMs) const;
    // Forgets the telegrams and the connections accepted so far (their ends
    // are no longer recorded; connectionsAccepted() counts from 0 again).
    void clearRecord();

private:
    std::unique_ptr<ServerState> state;
};

}  // namespace orvasim
