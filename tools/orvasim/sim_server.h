// orvasim: a stand-in for an S5 PLC's network adapter. It terminates ISO
// transport connections on TCP (answers a CR with a CC) and serves fetch and
// write telegrams from its own memory of the seven data areas. Tests run it in
// process and inject faults; the orvasim program runs it from the command line.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace orvasim {

// Data areas, by the area code of the fetch/write header.
enum class Area : std::uint8_t {
    dataBlock = 1,
    flags = 2,
    inputs = 3,
    outputs = 4,
    counters = 6,
    timers = 7,
    extendedDataBlock = 10,
};

// What the adapter does wrongly, on purpose, for one connection set-up or one
// request. A fault is armed for the next CR or the next request that arrives
// (on any connection), used once and then forgotten.
// Details of the simulator's choice:
// - A write is carried out under every reply fault except errorByte (the
//   adapter refuses it); errorByteWithData carries it out and still reports.
// - After a DR, a silent or a short confirm the connection stays open: the
//   client may send a new CR (after a DR or silence) or just close.
// - wrongDataLength with a negative value may cut into the acknowledgement,
//   never below the 7-byte header; added bytes are zeros. The TPKT length
//   always tells the true length, except under tpktLength.
// - endlessEmptyUnits ends when the client closes, resets or sends anything;
//   the reply is never sent.
// - "Closes orderly" sends a FIN (shutdown for writing) and then reads, and
//   drops, whatever arrives until the client closes: the record then tells how
//   the client ended its side. "Resets" is linger {1, 0} and close, recorded as
//   a reset.
enum class FaultKind {
    // Answering a connection request.
    disconnectInsteadOfConfirm,  // a DR unit (byte 5 = 0x80) in place of the CC
    shortConfirm,                // only the first 5 bytes of a CC
    confirmCredit,               // a CC whose byte 5 is 0xD0 | (value & 0x0F)
    silentConfirm,               // never answers the CR
    resetOnConnectRequest,       // resets the connection on the CR
    closeOnConnectRequest,       // closes the connection orderly on the CR
    // Answering a fetch or write request.
    emptyUnitsBefore,      // value empty data units 03 00 00 07 02 F0 00 before the reply
    endlessEmptyUnits,     // empty data units every value ms until the client gives up
    splitReply,            // the reply in value pieces, pauseMs apart
    drip,                  // the reply one byte at a time, pauseMs apart
    silence,               // never answers
    resetBeforeReply,      // resets the connection instead of replying
    closeBeforeReply,      // closes orderly instead of replying
    resetAfterBytes,       // sends the first value bytes of the reply, then resets
    closeAfterBytes,       // sends the first value bytes of the reply, then closes orderly
    wrongDataLength,       // the reply carries value more (or, negative, fewer) data bytes
    badTypeByte,           // reply byte 5 = value (for example 0xE0)
    badEotByte,            // reply byte 6 = value (for example 0x00)
    tpktLength,            // reply TPKT length field = value, the rest of the reply as it is
    errorByte,             // acknowledgement error byte = value, no data
    errorByteWithData,     // acknowledgement error byte = value, data as requested
    delayReply,            // the whole reply, pauseMs late
};

struct Fault {
    FaultKind kind;
    int value = 0;
    int pauseMs = 0;
};

struct Options {
    std::string address = "127.0.0.1";
    std::uint16_t port = 102;
    bool verbose = false;  // a readable trace of every telegram on stderr
    int backlog = 64;
};

// How a connection ended, as the adapter saw it.
enum class ConnectionEnd { open, orderlyClose, reset };

class Server {
public:
    explicit Server(Options options = {});
    ~Server();  // stops
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

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
    // std::out_of_range, setBlockWords on E/A/M/T/Z std::invalid_argument.
    // Resizing keeps the block's content and zeroes what it adds.
    void setBlockWords(Area dbOrDx, int block, int words);
    void writeBytes(Area area, int block, int byteOffset, const std::vector<std::uint8_t>& bytes);
    std::vector<std::uint8_t> readBytes(Area area, int block, int byteOffset, int count) const;
    void writeWord(Area area, int block, int wordIndex, std::uint16_t value);
    std::uint16_t readWord(Area area, int block, int wordIndex) const;

    // Faults, used in the order they were armed.
    void armConfirmFault(Fault fault);
    void armReplyFault(Fault fault);
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
    struct Impl;
    std::unique_ptr<Impl> impl;
};

}  // namespace orvasim
