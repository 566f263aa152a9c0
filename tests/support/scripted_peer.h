/* SPDX-License-Identifier: Apache-2.0 */
// A hand-driven adapter for tests that need exact control of every byte: it
// listens on one loopback address and runs a script for each connection it
// accepts, on a thread of its own.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "telegrams.h"

namespace orvatest {

using orva::wire::acknowledgement;
using orva::wire::Bytes;
using orva::wire::dataUnit;

// One accepted connection, as the script sees it. Reads fail the script (throw)
// when the client closes or nothing arrives within the peer's wait.
class PeerLink {
public:
    explicit PeerLink(std::shared_ptr<std::atomic<int>> fd) : fd_(std::move(fd)) {}
    // One TPKT packet, framed by its length field.
    Bytes readTpkt();
    void send(const Bytes& bytes);
    // A connection confirm for the request just read.
    void confirm();
    // The acknowledgement of a fetch with data, or of a write (data empty).
    void acknowledge(bool fetch, const Bytes& data, std::uint8_t errorByte = 0);
    void reset();
    void closeOrderly();
    // True when the client reset the connection (rather than closing it orderly).
    bool waitForClientEnd(bool& wasReset, int timeoutMs);

private:
    int fd() const { return fd_->load(); }
    std::shared_ptr<std::atomic<int>> fd_;  // -1 once reset closed it
};

class ScriptedPeer {
public:
    using Script = std::function<void(PeerLink&)>;
    // Listens on address:port (port 102 by default).
    explicit ScriptedPeer(std::string address, std::uint16_t port = 102);
    ~ScriptedPeer();
    // The script for each following connection (the same one for all of them).
    void onConnection(Script script);
    int connectionsAccepted() const;
    // Errors thrown by scripts, in order.
    std::vector<std::string> scriptErrors() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// A listener with a full accept queue: connects to it hang until their time-out.
class BlackHoleListener {
public:
    explicit BlackHoleListener(std::string address);
    ~BlackHoleListener();

private:
    int listener_ = -1;
    std::vector<int> probes_;
};

// "03 00 00 17" -> bytes: for tests that spell out bytes on purpose, apart
// from the builders of telegrams.h.
Bytes bytesOf(const std::string& text);

}  // namespace orvatest
