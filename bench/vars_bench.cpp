// SPDX-License-Identifier: Apache-2.0
// The typed read of a list against the raw read of the same bytes, against
// the in-process simulator on its loopback address (varsBenchSim): 100
// variables of mixed formats over data words 0..400 of one block, read by
// ORVAVarsRead, beside one ORVARdW of the span (401 words) on the same
// handle, iteration by iteration, in an order that alternates. Reported: both
// medians and their ratio, the telegrams each sent, heap allocations per
// typed read, and planning and decoding per variable. Run it pinned to one
// core (taskset -c 0) in the bench preset (Release).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "bench_simulator.h"
#include "counting_new.h"
#include "loopback_addresses.h"
#include "orvanet.h"
#include "orvavars.h"
#include "sim_server.h"
#include "var_list.h"

namespace {

using orva::wire::AreaCode;

constexpr const char* simAddress = orvatest::address::varsBenchSim;
constexpr int block = 1;
constexpr int spanWords = 401;
constexpr int timeoutMs = 2000;

orvasim::Server& simulator() {
    return orvabench::processSimulator(simAddress, [](orvasim::Server& s) {
        s.setBlockWords(AreaCode::dataBlock, block, 2048);
        // Valid values for every format: BCD digits for KT and KZ, a KG number.
        for (int w = 0; w < spanWords; ++w) s.writeWord(AreaCode::dataBlock, block, w, 0x1234);
    });
}

// 100 variables over data words 0..400: words in eight formats, every fifth a KG double word.
std::vector<std::string> mixedList() {
    const char* formats[] = {"", ":KF", ":KH", ":KT", ":KZ", ":KY", ":KM", ":KC"};
    std::vector<std::string> texts;
    for (int i = 0; i < 99; ++i) {
        const int word = i * 4;
        texts.push_back(i % 5 == 4 ? "DB1.DD" + std::to_string(word) + ":KG"
                                   : "DB1.DW" + std::to_string(word) + formats[i % 8]);
    }
    texts.push_back("DB1.DW400:KF");
    return texts;
}

struct ListDeleter {
    void operator()(ORVAVarList* l) const { ORVAVarsFreeList(l); }
};

std::unique_ptr<ORVAVarList, ListDeleter> newList() {
    std::unique_ptr<ORVAVarList, ListDeleter> list(ORVAVarsNewList());
    for (const std::string& t : mixedList()) ORVAVarsAdd(list.get(), t.c_str(), nullptr);
    return list;
}

double median(std::vector<double>& v) {
    if (v.empty()) return 0;
    std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

// Nanoseconds since t0 for each of n things.
double nanosecondsPer(std::chrono::steady_clock::time_point t0, std::size_t n) {
    const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count();
    return n ? ns / static_cast<double>(n) : 0;
}

double microseconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

void typedBesideRaw(benchmark::State& state) {
    orvasim::Server& sim = simulator();
    auto list = newList();
    const int count = ORVAVarsCount(list.get());
    std::vector<ORVAVarResult> results(static_cast<std::size_t>(count));
    std::vector<unsigned short> words(spanWords);
    const int h = ORVAOpen(simAddress, "", "", timeoutMs, timeoutMs, timeoutMs);
    // Connects and plans: not measured.
    if (ORVAVarsRead(h, list.get(), results.data(), count) != 0 || ORVARdW(h, 'D', block, 0, spanWords, words.data()))
        state.SkipWithError("first read failed");
    ORVAVarsPlanInfo plan{};
    ORVAVarsPlan(list.get(), &plan);

    std::vector<double> typed, raw;
    typed.reserve(1 << 16);
    raw.reserve(1 << 16);
    std::size_t allocations = 0, typedReads = 0, typedTelegrams = 0, rawTelegrams = 0;
    bool typedFirst = true;
    for (auto _ : state) {
        for (int k = 0; k < 2; ++k) {
            const bool runTyped = (k == 0) == typedFirst;
            sim.clearRecord();
            const auto t0 = std::chrono::steady_clock::now();
            int result = 0;
            if (runTyped) {
                const std::size_t before = orvabench::allocationsOnThisThread();
                result = ORVAVarsRead(h, list.get(), results.data(), count);
                allocations += orvabench::allocationsOnThisThread() - before;
            } else {
                result = ORVARdW(h, 'D', block, 0, spanWords, words.data());
            }
            const double us = microseconds(std::chrono::steady_clock::now() - t0);
            (runTyped ? typedTelegrams : rawTelegrams) += sim.requests().size();
            if (runTyped) ++typedReads;
            std::vector<double>& samples = runTyped ? typed : raw;
            if (samples.size() < samples.capacity()) samples.push_back(us);
            if (result != 0) state.SkipWithError("read failed");
        }
        typedFirst = !typedFirst;
    }
    ORVAClose(h);
    const double t = median(typed), r = median(raw);
    state.counters["typed_us"] = t;
    state.counters["raw_us"] = r;
    state.counters["ratio"] = r > 0 ? t / r : 0;
    state.counters["variables"] = count;
    state.counters["planned_calls"] = plan.calls;
    state.counters["planned_telegrams"] = plan.telegrams;
    state.counters["typed_telegrams"] = typedReads ? static_cast<double>(typedTelegrams) / typedReads : 0;
    state.counters["raw_telegrams"] = typedReads ? static_cast<double>(rawTelegrams) / typedReads : 0;
    state.counters["allocs_per_read"] = typedReads ? static_cast<double>(allocations) / typedReads : 0;
    sim.clearRecord();
}

// Planning the list, per variable: the plan is dropped (by setting the gap)
// and made again.
void planning(benchmark::State& state) {
    auto list = newList();
    const int count = ORVAVarsCount(list.get());
    const auto t0 = std::chrono::steady_clock::now();
    for (auto _ : state) {
        ORVAVarsSetOption(list.get(), ORVAVARS_OPTION_GAP, ORVAVARS_DEFAULT_GAP);
        ORVAVarsPlanInfo plan;
        ORVAVarsPlan(list.get(), &plan);
        benchmark::DoNotOptimize(plan);
    }
    state.counters["per_variable_ns"] = nanosecondsPer(t0, state.iterations() * static_cast<std::size_t>(count));
}

// Decoding every variable from the bytes of the span, per variable, as a read does after its calls.
void decoding(benchmark::State& state) {
    orva::vars::VarList list;
    orva::vars::ParseError error;
    for (const std::string& t : mixedList()) list.add(t, error);
    const orva::vars::ReadPlan& plan = list.plan();
    std::vector<std::uint8_t> image(static_cast<std::size_t>(plan.imageBytes));
    for (std::size_t i = 0; i < image.size(); i += 2) {
        image[i] = 0x12;
        image[i + 1] = 0x34;
    }
    const auto t0 = std::chrono::steady_clock::now();
    for (auto _ : state) {
        for (int i = 0; i < list.size(); ++i)
            list.decode(i, {image.data() + plan.imageAt[static_cast<std::size_t>(i)],
                            static_cast<std::size_t>(list.variable(i).byteCount)});
        benchmark::DoNotOptimize(list.current(0));
    }
    state.counters["per_variable_ns"] = nanosecondsPer(t0, state.iterations() * static_cast<std::size_t>(list.size()));
}

}  // namespace

BENCHMARK(typedBesideRaw)->UseRealTime();
BENCHMARK(planning);
BENCHMARK(decoding);

BENCHMARK_MAIN();
