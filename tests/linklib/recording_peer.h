/* SPDX-License-Identifier: Apache-2.0 */
// A well-behaved adapter built on ScriptedPeer that records every telegram and
// serves fetches from a fixed pattern, so tests can check each byte that moved.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "scripted_peer.h"
#include "test_util.h"
#include "wire_format.h"

namespace orvatest {

// The pattern: byte address a of a byte area holds byteAt(a); word w of a word
// area holds wordAt(w).
inline std::uint8_t byteAt(std::uint32_t a) { return static_cast<std::uint8_t>(a * 7 + 3); }
inline std::uint16_t wordAt(std::uint32_t w) { return static_cast<std::uint16_t>(w * 3 + 1); }

class RecordingPeer {
public:
    // Called for each request before the normal reply; returns true when it
    // answered (or refused to answer) on its own.
    using Override = std::function<bool(PeerLink&, const Bytes& request, int index)>;

    explicit RecordingPeer(const std::string& address) : peer_(address) {
        peer_.onConnection([this](PeerLink& link) { serve(link); });
    }

    void setOverride(Override o) {
        std::lock_guard lock(mutex_);
        override_ = std::move(o);
    }
    std::vector<Bytes> connectRequests() const {
        std::lock_guard lock(mutex_);
        return connectRequests_;
    }
    std::vector<Bytes> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    int connections() const { return peer_.connectionsAccepted(); }

    static Bytes fetchData(const Request& r) {
        Bytes data;
        const bool words = countsWords(r.area);
        for (std::uint32_t i = 0; i < r.length; ++i) {
            if (words) {
                const std::uint16_t w = wordAt(r.start + i);
                data.push_back(static_cast<std::uint8_t>(w >> 8));
                data.push_back(static_cast<std::uint8_t>(w));
            } else {
                data.push_back(byteAt(r.start + i));
            }
        }
        return data;
    }

private:
    void serve(PeerLink& link) {
        const Bytes cr = link.readTpkt();
        {
            std::lock_guard lock(mutex_);
            connectRequests_.push_back(cr);
        }
        link.confirm();
        for (;;) {
            const Bytes request = link.readTpkt();
            int index;
            Override o;
            {
                std::lock_guard lock(mutex_);
                requests_.push_back(request);
                index = static_cast<int>(requests_.size()) - 1;
                o = override_;
            }
            if (o && o(link, request, index)) continue;
            const Request r = parseRequest(request);
            const bool fetch = r.opCode == orva::wire::opFetch;
            link.acknowledge(fetch, fetch ? fetchData(r) : Bytes{});
        }
    }

    mutable std::mutex mutex_;
    Override override_;
    std::vector<Bytes> connectRequests_;
    std::vector<Bytes> requests_;
    // Last, so that its threads end before the members they use go away.
    ScriptedPeer peer_;
};

}  // namespace orvatest
