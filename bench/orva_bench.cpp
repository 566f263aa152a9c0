// SPDX-License-Identifier: Apache-2.0
// Benchmarks of the library against the raw-socket floor, in one run, against
// the in-process simulator on 127.0.0.70:102.
//
// Each "pair" benchmark alternates, iteration by iteration, one library call
// with the same telegrams sent and read by a bare socket client on its own
// connection to the same simulator, so that both see the same load on the
// machine; it reports the median time of each and their ratio. The bare client
// runs twice: reading each reply with as few receives as it can (the floor),
// in the two steps the library must take (header, then exactly the rest), and
// so with the receive time-out set as well, which makes the kernel arm a timer
// for every receive that waits.
// Heap allocations are counted on the calling thread during the library calls.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <new>
#include <numeric>
#include <string>
#include <vector>

#include "bench_simulator.h"
#include "counting_new.h"
#include "orvanet.h"
#include "floor_client.h"
#include "sim_server.h"
#include "loopback_addresses.h"

using namespace orvabench;

namespace {

constexpr const char* simAddress = orvatest::address::benchSim;
constexpr int timeoutMs = 2000;
constexpr int dataBlock = 1;
constexpr int maxBytes = 492;
constexpr int maxWords = 246;

orvasim::Server& simulator() {
    return processSimulator(
        simAddress, [](orvasim::Server& s) { s.setBlockWords(orva::wire::AreaCode::dataBlock, dataBlock, 65535); });
}

// The simulator records every telegram; cleared between benchmarks so that the
// record never grows into the measurement.
void clearRecord() { simulator().clearRecord(); }

enum class Call { readBytes, readWords, writeBytes, writeWords };

// The telegrams that the library sends for one call on flags (bytes) or data
// block 1 (words), starting at 0.
std::vector<Bytes> telegramsOf(Call call, int count, const std::vector<std::uint8_t>& data) {
    const bool words = call == Call::readWords || call == Call::writeWords;
    const bool write = call == Call::writeBytes || call == Call::writeWords;
    const int per = words ? maxWords : maxBytes;
    std::vector<Bytes> out;
    for (int done = 0; done < count; done += per) {
        const int k = std::min(per, count - done);
        const int bytes = k * (words ? 2 : 1);
        std::span<const std::uint8_t> payload;
        Bytes swapped;
        if (write) {
            swapped.assign(data.begin() + done * (words ? 2 : 1), data.begin() + done * (words ? 2 : 1) + bytes);
            if (words)
                for (std::size_t i = 0; i + 1 < swapped.size(); i += 2) std::swap(swapped[i], swapped[i + 1]);
            payload = swapped;
        }
        out.push_back(telegram(write, words ? wire::AreaCode::dataBlock : wire::AreaCode::flags, words ? dataBlock : 0,
                               done, k, payload));
    }
    return out;
}

double median(std::vector<double>& v) {
    if (v.empty()) return 0;
    std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

double microseconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

void pair(benchmark::State& state, Call call, int count) {
    simulator();
    const bool words = call == Call::readWords || call == Call::writeWords;
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(count) * (words ? 2 : 1));
    std::iota(buffer.begin(), buffer.end(), std::uint8_t{1});
    const std::vector<Bytes> requests = telegramsOf(call, count, buffer);
    const int h = ORVAOpen(simAddress, "", "", timeoutMs, timeoutMs, timeoutMs);
    auto* wordBuffer = reinterpret_cast<unsigned short*>(buffer.data());
    auto libraryCall = [&]() -> int {
        switch (call) {
        case Call::readBytes: return ORVARdB(h, 'M', 0, 0, count, buffer.data());
        case Call::readWords: return ORVARdW(h, 'D', dataBlock, 0, count, wordBuffer);
        case Call::writeBytes: return ORVAWrB(h, 'M', 0, 0, count, buffer.data());
        case Call::writeWords: return ORVAWrW(h, 'D', dataBlock, 0, count, wordBuffer);
        }
        return ORVA_ERR_FAILED;
    };
    FloorClient raw(simAddress);
    FloorClient timed(simAddress, timeoutMs);
    FloorClient looking(simAddress, timeoutMs);
    if (libraryCall() != ORVA_OK) state.SkipWithError("library call failed");  // connects: not measured
    for (const Bytes& r : requests) raw.roundTrip(r);
    for (const Bytes& r : requests) timed.roundTripFramed(r);
    for (const Bytes& r : requests) looking.roundTripFramed(r, true);

    // The five take turns in an order that rotates, so that none always runs
    // right after another.
    constexpr std::size_t runs = 5;
    std::array<std::vector<double>, runs> samples;
    for (auto& v : samples) v.reserve(1 << 16);
    std::size_t allocations = 0, libraryCalls = 0, turn = 0;
    int result = ORVA_OK;
    for (auto _ : state) {
        for (std::size_t k = 0; k < runs; ++k) {
            const std::size_t which = (turn + k) % runs;
            const auto t0 = std::chrono::steady_clock::now();
            switch (which) {
            case 0: {
                const std::size_t before = orvabench::allocationsOnThisThread();
                result = libraryCall();
                allocations += orvabench::allocationsOnThisThread() - before;
                ++libraryCalls;
                break;
            }
            case 1:
                for (const Bytes& r : requests) raw.roundTrip(r);
                break;
            case 2:
                for (const Bytes& r : requests) raw.roundTripFramed(r);
                break;
            case 3:
                for (const Bytes& r : requests) timed.roundTripFramed(r);
                break;
            default:
                for (const Bytes& r : requests) looking.roundTripFramed(r, true);
                break;
            }
            const double us = microseconds(std::chrono::steady_clock::now() - t0);
            if (samples[which].size() < samples[which].capacity()) samples[which].push_back(us);
        }
        ++turn;
        if (result != ORVA_OK) {
            state.SkipWithError("library call failed");
            break;
        }
    }
    ORVAClose(h);
    const double lib = median(samples[0]), raw_ = median(samples[1]), rawFramed = median(samples[2]),
                 rawTimed = median(samples[3]), rawLooking = median(samples[4]);
    state.counters["library_us"] = lib;
    state.counters["floor_us"] = raw_;
    state.counters["ratio"] = raw_ > 0 ? lib / raw_ : 0;
    // The floor that reads each reply in the two steps the library must take.
    state.counters["framed_floor_us"] = rawFramed;
    state.counters["ratio_framed"] = rawFramed > 0 ? lib / rawFramed : 0;
    // And the same with the receive time-out set.
    state.counters["timed_floor_us"] = rawTimed;
    // The socket calls of the library: the same, and a look at what is waiting
    // before each send; the look's cost per call is the difference.
    state.counters["same_calls_us"] = rawLooking;
    state.counters["ratio_same_calls"] = rawLooking > 0 ? lib / rawLooking : 0;
    state.counters["look_us"] = rawLooking - rawTimed;
    state.counters["telegrams"] = static_cast<double>(requests.size());
    state.counters["allocs_per_telegram"] =
        libraryCalls ? static_cast<double>(allocations) / static_cast<double>(libraryCalls * requests.size()) : 0;
    clearRecord();
}

void firstCall(benchmark::State& state) {
    simulator();
    const Bytes fetch = telegram(false, wire::AreaCode::flags, 0, 0, 1);
    std::uint8_t byte = 0;
    std::vector<double> library, floor;
    library.reserve(1 << 14);
    floor.reserve(1 << 14);
    bool libraryFirst = true;
    for (auto _ : state) {
        int result = ORVA_OK;
        for (int k = 0; k < 2; ++k) {
            const bool runLibrary = (k == 0) == libraryFirst;
            const auto t0 = std::chrono::steady_clock::now();
            if (runLibrary) {
                const int h = ORVAOpen(simAddress, "", "", timeoutMs, timeoutMs, timeoutMs);
                result = ORVARdB(h, 'M', 0, 0, 1, &byte);
                ORVAClose(h);
            } else {
                FloorClient raw(simAddress);  // TCP connect and the CR/CC round trip
                raw.roundTrip(fetch);
            }
            const double us = microseconds(std::chrono::steady_clock::now() - t0);
            std::vector<double>& samples = runLibrary ? library : floor;
            if (samples.size() < samples.capacity()) samples.push_back(us);
        }
        libraryFirst = !libraryFirst;
        if (result != ORVA_OK) {
            state.SkipWithError("first call failed");
            break;
        }
    }
    const double lib = median(library), raw = median(floor);
    state.counters["library_us"] = lib;
    state.counters["floor_us"] = raw;
    state.counters["ratio"] = raw > 0 ? lib / raw : 0;
    clearRecord();
}

// One handle per thread, each reading its own 16 flag bytes.
void libraryHandles(benchmark::State& state) {
    simulator();
    const int h = ORVAOpen(simAddress, "", "", timeoutMs, timeoutMs, timeoutMs);
    std::uint8_t buffer[16];
    const int start = 16 * state.thread_index();
    if (ORVARdB(h, 'M', 0, start, 16, buffer) != ORVA_OK) state.SkipWithError("connect failed");
    for (auto _ : state) {
        if (ORVARdB(h, 'M', 0, start, 16, buffer) != ORVA_OK) {
            state.SkipWithError("read failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
    ORVAClose(h);
    if (state.thread_index() == 0) clearRecord();
}

// The same with bare socket clients: what the simulator sustains.
void floorHandles(benchmark::State& state) {
    simulator();
    FloorClient raw(simAddress);
    const Bytes fetch = telegram(false, wire::AreaCode::flags, 0, 16 * state.thread_index(), 16);
    const std::uint32_t segmentsBefore = raw.dataSegmentsIn();
    for (auto _ : state) raw.roundTrip(fetch);
    state.SetItemsProcessed(state.iterations());
    // One data segment per reply on loopback means one send per reply.
    state.counters["segments_per_reply"] = benchmark::Counter(
        static_cast<double>(raw.dataSegmentsIn() - segmentsBefore) / static_cast<double>(state.iterations()),
        benchmark::Counter::kAvgThreads);
    if (state.thread_index() == 0) clearRecord();
}

}  // namespace

BENCHMARK_CAPTURE(pair, RdB_1, Call::readBytes, 1);
BENCHMARK_CAPTURE(pair, RdB_492, Call::readBytes, 492);
BENCHMARK_CAPTURE(pair, RdW_246, Call::readWords, 246);
BENCHMARK_CAPTURE(pair, WrB_1, Call::writeBytes, 1);
BENCHMARK_CAPTURE(pair, WrB_492, Call::writeBytes, 492);
BENCHMARK_CAPTURE(pair, WrW_246, Call::writeWords, 246);
BENCHMARK_CAPTURE(pair, RdB_65535, Call::readBytes, 65535);
BENCHMARK_CAPTURE(pair, RdW_65535, Call::readWords, 65535);
BENCHMARK(firstCall);
BENCHMARK(libraryHandles)->Threads(1)->Threads(2)->Threads(4)->Threads(8)->Threads(64)->UseRealTime();
BENCHMARK(floorHandles)->Threads(1)->Threads(2)->Threads(4)->Threads(8)->Threads(64)->UseRealTime();

BENCHMARK_MAIN();
