/* SPDX-License-Identifier: Apache-2.0 */
// A link that records every library call of the panel on its way to the real
// library, for the tests of both dialogs (Qt and native Windows): what each
// Open was given and returned, the handles closed, each read with what the
// window showed while it ran, and the asks for the socket error. What "what
// the window showed" is, each view's harness says with its Watch.
#pragma once

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "plc_link.h"

namespace panel_test {

struct OpenCall {
    std::string ipAddress, ownTsap, plcTsap;
    int receiveTimeoutMs, sendTimeoutMs, connectTimeoutMs;
    int result;
};

template <class During>
struct ReadCallWith {
    char unit;  // 'B' or 'W'
    int handle, areaLetter, dbNumber, start, count;
    During during;  // what the window showed while the library call ran
    int result;
    double callMs;  // the library call alone
};

// Watch: a callable object whose call tells what the window shows now.
template <class Watch>
class RecordingLinkWith : public orvapanel::PlcLink {
public:
    using ReadCall = ReadCallWith<decltype(std::declval<const Watch&>()())>;

    std::vector<OpenCall> opens;
    std::vector<int> closes;
    std::vector<ReadCall> reads;
    int socketErrorCalls = 0;
    Watch watch;

    int open(const char* ip, const char* own, const char* plc, int rx, int tx, int connect) override {
        const int r = real.open(ip, own, plc, rx, tx, connect);
        opens.push_back({ip, own, plc, rx, tx, connect, r});
        return r;
    }
    int close(int handle) override {
        closes.push_back(handle);
        return real.close(handle);
    }
    int readBytes(int handle, int area, int db, int start, int count, unsigned char* buffer) override {
        return record({'B', handle, area, db, start, count, watch(), 0, 0},
                      [&] { return real.readBytes(handle, area, db, start, count, buffer); });
    }
    int readWords(int handle, int area, int db, int start, int count, unsigned short* buffer) override {
        return record({'W', handle, area, db, start, count, watch(), 0, 0},
                      [&] { return real.readWords(handle, area, db, start, count, buffer); });
    }
    int socketError(int handle) override {
        ++socketErrorCalls;
        return real.socketError(handle);
    }

private:
    template <class Call>
    int record(ReadCall call, Call libraryCall) {
        const auto begin = std::chrono::steady_clock::now();
        call.result = libraryCall();
        call.callMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
        reads.push_back(call);
        return call.result;
    }

    orvapanel::OrvanetLink real;
};

}  // namespace panel_test
