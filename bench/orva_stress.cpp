// SPDX-License-Identifier: Apache-2.0
// orva_stress: many handles on several threads against four simulators that
// inject random faults; every byte read is checked against what was written.
// Then a run of connect/drop cycles. Reports telegrams, faults, result codes,
// mismatches, the longest call, and file descriptors and memory at start and
// end. Exit status 0 only when nothing went wrong.
//
//   orva_stress [--seconds S] [--threads T] [--handles H] [--cycles C]
//               [--fault-every-ms F] [--seed N]
#include <dirent.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "orvanet.h"
#include "sim_server.h"
#include "loopback_addresses.h"

namespace {

constexpr std::array<const char*, 4> simAddresses = {orvatest::address::stressSim1, orvatest::address::stressSim2,
                                                     orvatest::address::stressSim3, orvatest::address::stressSim4};
constexpr int receiveMs = 200, sendMs = 200, connectMs = 500;
// The longest a call may take: a connect, a request and a reply each up to their
// time-outs (the reply in two bounded reads), plus a margin for a loaded machine.
constexpr long long callBoundMs = connectMs + sendMs + 2 * receiveMs + 2000;
constexpr int regionElements = 1024;  // each handle's own part of every area
constexpr int resyncAttempts = 20;

struct Options {
    int seconds = 10;
    int threads = 8;
    int handles = 64;
    int cycles = 1000;
    int faultEveryMs = 20;
    unsigned seed = 1;
};

// The areas a handle writes and reads back, each in its own region.
struct AreaUse {
    char letter;
    bool words;
    bool block;  // D and X: the handle's own block; the others: its own range
};
constexpr std::array<AreaUse, 6> areas = {{{'M', false, false},
                                           {'A', false, false},
                                           {'D', true, true},
                                           {'X', true, true},
                                           {'T', true, false},
                                           {'Z', true, false}}};

struct Totals {
    std::atomic<long long> calls{0}, telegrams{0}, mismatches{0}, undocumented{0}, overBound{0}, cycles{0};
    std::atomic<long long> unverified{0};  // failed writes whose range no read could check
    std::atomic<long long> faultsArmed{0}, maxCallMs{0};
    std::mutex codesMutex;
    std::map<int, long long> codes;
    void code(int c) {
        std::lock_guard lock(codesMutex);
        ++codes[c];
    }
};

bool documented(int code) {
    return code == ORVA_OK || code == ORVA_ERR_PLC || code == ORVA_ERR_DROPPED || code == ORVA_ERR_CONNECT ||
           code == ORVA_ERR_SOCKET;
}

int openDescriptors() {
    int n = 0;
    if (DIR* d = ::opendir("/proc/self/fd")) {
        while (::readdir(d) != nullptr) ++n;
        ::closedir(d);
    }
    return n - 3;  // ".", ".." and the directory itself
}

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// One handle with the values it last wrote (or read) in each area: a byte per
// element for byte areas, a host-order word for word areas. An element is
// unknown after a failed write whose range could not be read back (a fault
// can hit every read of it): it is known again from the next good read or write.
class Worker {
public:
    Worker(int index, Totals& totals, std::mt19937& random)
        : index_(index),
          totals_(totals),
          random_(random),
          handle_(ORVAOpen(simAddresses[static_cast<std::size_t>(index) % simAddresses.size()], "STRESS", "SIM",
                           receiveMs, sendMs, connectMs)) {
        for (auto& s : shadow_) s.assign(regionElements, 0);
        for (auto& k : known_) k.assign(regionElements, true);
    }
    ~Worker() { ORVAClose(handle_); }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    void step() {
        const std::size_t a = random_() % areas.size();
        const int n = 1 + static_cast<int>(random_() % (random_() % 4 == 0 ? regionElements : 64));
        const int first = static_cast<int>(random_() % static_cast<unsigned>(regionElements - n + 1));
        if (random_() % 2 == 0) {
            std::vector<std::uint16_t> values(static_cast<std::size_t>(n));
            for (auto& v : values) v = static_cast<std::uint16_t>(random_() & (areas[a].words ? 0xFFFF : 0xFF));
            const int r = call(a, true, first, n, values);
            if (r == ORVA_OK) {
                std::copy(values.begin(), values.end(), shadow_[a].begin() + first);
                std::fill_n(known_[a].begin() + first, n, true);
            } else {
                resync(a, first, n, values);
            }
        } else {
            std::vector<std::uint16_t> values(static_cast<std::size_t>(n));
            if (call(a, false, first, n, values) == ORVA_OK) compare(a, first, values);
        }
    }

private:
    // Address of element i of the handle's region in area a, in the area's unit.
    int addressOf(std::size_t a, int i) const {
        if (areas[a].block) return i;
        return index_ * regionElements + i;
    }
    int blockOf(std::size_t a) const { return areas[a].block ? index_ : 0; }

    int call(std::size_t a, bool write, int first, int n, std::vector<std::uint16_t>& values) {
        const AreaUse& u = areas[a];
        const auto begin = std::chrono::steady_clock::now();
        int r;
        if (u.words) {
            r = write ? ORVAWrW(handle_, u.letter, blockOf(a), addressOf(a, first), n, values.data())
                      : ORVARdW(handle_, u.letter, blockOf(a), addressOf(a, first), n, values.data());
        } else {
            std::vector<std::uint8_t> bytes(values.begin(), values.end());
            r = write ? ORVAWrB(handle_, u.letter, 0, addressOf(a, first), n, bytes.data())
                      : ORVARdB(handle_, u.letter, 0, addressOf(a, first), n, bytes.data());
            if (!write) std::copy(bytes.begin(), bytes.end(), values.begin());
        }
        const long long ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begin).count();
        long long seen = totals_.maxCallMs.load();
        while (ms > seen && !totals_.maxCallMs.compare_exchange_weak(seen, ms)) {}
        if (ms > callBoundMs) ++totals_.overBound;
        ++totals_.calls;
        totals_.code(r);
        if (!documented(r)) ++totals_.undocumented;
        if (r == ORVA_OK) {
            const int per = u.words ? 246 : 492;
            totals_.telegrams += (n + per - 1) / per;
        }
        return r;
    }

    void compare(std::size_t a, int first, const std::vector<std::uint16_t>& values) {
        for (std::size_t i = 0; i < values.size(); ++i) {
            const std::size_t e = static_cast<std::size_t>(first) + i;
            if (!known_[a][e]) {
                shadow_[a][e] = values[i];
                known_[a][e] = true;
                continue;
            }
            if (values[i] != shadow_[a][e]) {
                if (totals_.mismatches++ < 10)
                    std::fprintf(stderr, "mismatch: handle %d area %c element %zu: read %u, wrote %u\n", index_,
                                 areas[a].letter, first + i, values[i],
                                 shadow_[a][static_cast<std::size_t>(first) + i]);
            }
        }
    }

    // A failed write may have stored some of its telegrams: read the range back
    // and accept, element by element, only the old or the new value.
    void resync(std::size_t a, int first, int n, const std::vector<std::uint16_t>& attempted) {
        std::vector<std::uint16_t> back(static_cast<std::size_t>(n));
        for (int attempt = 0; attempt < resyncAttempts; ++attempt) {
            if (call(a, false, first, n, back) != ORVA_OK) continue;
            for (std::size_t i = 0; i < back.size(); ++i) {
                const std::size_t e = static_cast<std::size_t>(first) + i;
                std::uint16_t& old = shadow_[a][e];
                if (known_[a][e] && back[i] != old && back[i] != attempted[i]) {
                    if (totals_.mismatches++ < 10)
                        std::fprintf(stderr, "mismatch after a failed write: handle %d area %c element %zu\n", index_,
                                     areas[a].letter, first + i);
                }
                old = back[i];
                known_[a][e] = true;
            }
            return;
        }
        // Each element holds the old value or the new one, which no read could tell.
        std::fill_n(known_[a].begin() + first, n, false);
        ++totals_.unverified;
    }

    int index_;
    Totals& totals_;
    std::mt19937& random_;
    int handle_;
    std::array<std::vector<std::uint16_t>, areas.size()> shadow_;
    std::array<std::vector<bool>, areas.size()> known_;
};

// Faults a random simulator uses on its next connection request or request.
void armRandomFault(std::vector<std::unique_ptr<orvasim::Server>>& sims, std::mt19937& random) {
    using C = orvasim::ConfirmFaultKind;
    using R = orvasim::ReplyFaultKind;
    static const std::vector<orvasim::ConfirmFault> confirms = {
        {C::disconnectInsteadOfConfirm}, {C::shortConfirm},         {C::confirmCredit, 3}, {C::silentConfirm},
        {C::resetOnConnectRequest},      {C::closeOnConnectRequest}};
    static const std::vector<orvasim::ReplyFault> replies = {{R::emptyUnitsBefore, 3},
                                                             {R::endlessEmptyUnits, 2},
                                                             {R::splitReply, 3, 2},
                                                             {R::drip, 0, 1},
                                                             {R::silence},
                                                             {R::resetBeforeReply},
                                                             {R::closeBeforeReply},
                                                             {R::resetAfterBytes, 5},
                                                             {R::resetAfterBytes, 30},
                                                             {R::closeAfterBytes, 12},
                                                             {R::wrongDataLength, 2},
                                                             {R::wrongDataLength, -1},
                                                             {R::badTypeByte, 0xE0},
                                                             {R::badEotByte, 0x00},
                                                             {R::tpktLength, 0},
                                                             {R::tpktLength, 6},
                                                             {R::tpktLength, 1048},
                                                             {R::tpktLength, 65535},
                                                             {R::errorByte, 3},
                                                             {R::delayReply, 0, 20},
                                                             {R::delayReply, 0, 300},
                                                             {R::duplicateReply}};
    const std::size_t pick = random() % (confirms.size() + replies.size());
    orvasim::Server& s = *sims[random() % sims.size()];
    if (pick < confirms.size())
        s.armConfirmFault(confirms[pick]);
    else
        s.armReplyFault(replies[pick - confirms.size()]);
}

int parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) return 2;
        const int v = std::atoi(argv[++i]);
        if (arg == "--seconds")
            o.seconds = v;
        else if (arg == "--threads")
            o.threads = std::max(1, v);
        else if (arg == "--handles")
            o.handles = std::clamp(v, 1, static_cast<int>(ORVA_MAX_HANDLES));
        else if (arg == "--cycles")
            o.cycles = v;
        else if (arg == "--fault-every-ms")
            o.faultEveryMs = std::max(1, v);
        else if (arg == "--seed")
            o.seed = static_cast<unsigned>(v);
        else
            return 2;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (parse(argc, argv, o) != 0) {
        std::fprintf(stderr,
                     "usage: orva_stress [--seconds S] [--threads T] [--handles H] [--cycles C] "
                     "[--fault-every-ms F] [--seed N]\n");
        return 2;
    }
    std::vector<std::unique_ptr<orvasim::Server>> sims;
    try {
        for (const char* address : simAddresses) sims.push_back(orvasim::Server::startedOn(address));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orva_stress: %s\n", e.what());
        return 1;
    }
    const int fdStart = openDescriptors();
    const long rssStart = residentKiB();
    Totals totals;

    // Phase 1: random traffic with random faults.
    std::atomic<bool> stop{false};
    std::thread faults([&] {
        std::mt19937 random(o.seed * 7919u);
        while (!stop) {
            std::this_thread::sleep_for(std::chrono::milliseconds(o.faultEveryMs));
            armRandomFault(sims, random);
            ++totals.faultsArmed;
            for (auto& s : sims) s->clearRecord();  // the simulator's record would grow without end
        }
        for (auto& s : sims) s->clearFaults();
    });
    std::vector<std::thread> threads;
    for (int t = 0; t < o.threads; ++t) {
        threads.emplace_back([&, t] {
            std::mt19937 random(o.seed + static_cast<unsigned>(t) * 104729u);
            std::vector<std::unique_ptr<Worker>> mine;
            for (int h = t; h < o.handles; h += o.threads) mine.push_back(std::make_unique<Worker>(h, totals, random));
            if (mine.empty()) return;
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(o.seconds);
            while (std::chrono::steady_clock::now() < end) mine[random() % mine.size()]->step();
        });
    }
    for (auto& t : threads) t.join();
    threads.clear();
    stop = true;
    faults.join();
    const long long faultsArmed = totals.faultsArmed;

    // Phase 2: connect/drop cycles, spread over the threads. The handle is
    // opened, connects with one read, and is closed (an abortive close).
    const int fdBeforeCycles = openDescriptors();
    const long rssBeforeCycles = residentKiB();
    for (int t = 0; t < o.threads; ++t) {
        threads.emplace_back([&, t] {
            std::uint8_t b[4];
            for (int i = t; i < o.cycles; i += o.threads) {
                const int h = ORVAOpen(simAddresses[static_cast<std::size_t>(i) % simAddresses.size()], "", "",
                                       receiveMs, sendMs, connectMs);
                const int r = ORVARdB(h, 'M', 0, 0, 4, b);
                if (r != ORVA_OK) {
                    totals.code(r);
                    if (!documented(r)) ++totals.undocumented;
                }
                ORVAClose(h);
                ++totals.cycles;
                if (i % 4096 == 0)
                    for (auto& s : sims) s->clearRecord();
            }
        });
    }
    for (auto& t : threads) t.join();
    for (auto& s : sims) {
        s->clearRecord();
        for (int i = 0; i < 100 && s->openConnections() > 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const int fdEnd = openDescriptors();
    const long rssEnd = residentKiB();

    std::printf("orva_stress: %d s, %d threads, %d handles, seed %u\n", o.seconds, o.threads, o.handles, o.seed);
    std::printf("  calls              %lld\n", totals.calls.load());
    std::printf("  telegrams done     %lld (in calls that succeeded)\n", totals.telegrams.load());
    std::printf("  faults injected    %lld\n", faultsArmed);
    std::printf("  results           ");
    for (const auto& [code, n] : totals.codes) std::printf(" %d: %lld,", code, n);
    std::printf("\n");
    std::printf("  undocumented codes %lld\n", totals.undocumented.load());
    std::printf("  mismatches         %lld\n", totals.mismatches.load());
    std::printf("  unverified writes  %lld (failed, and no read of their range got through)\n",
                totals.unverified.load());
    std::printf("  longest call       %lld ms (bound %lld ms, over it: %lld)\n", totals.maxCallMs.load(), callBoundMs,
                totals.overBound.load());
    std::printf("  connect/drop cycles %lld\n", totals.cycles.load());
    std::printf("  descriptors        start %d, before cycles %d, end %d\n", fdStart, fdBeforeCycles, fdEnd);
    std::printf("  resident memory    start %ld KiB, before cycles %ld KiB, end %ld KiB\n", rssStart, rssBeforeCycles,
                rssEnd);
    const bool ok = totals.mismatches == 0 && totals.undocumented == 0 && totals.overBound == 0 && fdEnd <= fdStart;
    std::printf("orva_stress: %s\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}
