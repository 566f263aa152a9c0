/* SPDX-License-Identifier: Apache-2.0 */
// Small helpers shared by the library's tests.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "orvanet.h"
#include "scripted_peer.h"

namespace orvatest {

// Short time-outs keep failure tests fast; generous enough for a loaded machine.
inline constexpr int shortReceiveMs = 300;
inline constexpr int shortSendMs = 300;
inline constexpr int shortConnectMs = 300;
// What a call may take beyond the time-out that ends it, on a loaded machine.
// Less than any time-out above, so that a wait which starts its time-out afresh
// part-way is caught.
inline constexpr long long timingMarginMs = 250;

// A handle that is closed when the test ends.
class Handle {
public:
    Handle(const char* address, const char* ownTsap = "", const char* plcTsap = "", int receiveMs = shortReceiveMs,
           int sendMs = shortSendMs, int connectMs = shortConnectMs)
        : value_(ORVAOpen(address, ownTsap, plcTsap, receiveMs, sendMs, connectMs)) {}
    ~Handle() {
        if (value_ >= 0) ORVAClose(value_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    int get() const { return value_; }
    operator int() const { return value_; }

private:
    int value_;
};

class Stopwatch {
public:
    Stopwatch() : begin_(std::chrono::steady_clock::now()) {}
    long long ms() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begin_).count();
    }

private:
    std::chrono::steady_clock::time_point begin_;
};

// Area codes whose start and length count words: data blocks (1), extended
// data blocks (10), timers (7) and counters (6). Spelt out here, apart from
// the library's table, as the tests' own expectation.
inline bool countsWords(std::uint8_t areaCode) {
    return areaCode == 1 || areaCode == 10 || areaCode == 7 || areaCode == 6;
}
// The same for a letter of the functions.
inline bool countsWords(char letter) { return std::string_view("DdXxTtZzCc").find(letter) != std::string_view::npos; }

// What a failed call gives: its result, ORVAGetSockErr, and whether the
// connection is kept (the next call then needs no new one).
struct CallEnd {
    int result;
    int socketError;
    bool connectionKept;
};

// A table case's name, for the test names: each case's own `name`.
template <class Case>
std::string caseName(const ::testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

// Fields of a fetch/write request as it arrived.
struct Request {
    std::uint8_t opCode, area, dbNumber;
    std::uint16_t start, length;
    Bytes data;
};

inline Request parseRequest(const Bytes& t) {
    Request r{t[12],
              t[15],
              t[16],
              static_cast<std::uint16_t>(t[17] << 8 | t[18]),
              static_cast<std::uint16_t>(t[19] << 8 | t[20]),
              Bytes(t.begin() + 23, t.end())};
    return r;
}

}  // namespace orvatest
