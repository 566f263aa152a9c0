// SPDX-License-Identifier: Apache-2.0
#include "plan.h"

#include <algorithm>
#include <map>
#include <numeric>

namespace orva::vars {
namespace {

bool wordCalls(AreaCode area) { return wire::isWordCounted(area); }

// The order in which ranges are merged: area, block, first byte.
bool before(const Variable& a, const Variable& b) {
    if (a.area != b.area) return a.area < b.area;
    if (a.block != b.block) return a.block < b.block;
    return a.byteOffset < b.byteOffset;
}

// The call that covers bytes [first, end) of an area: whole words where words are counted.
Call callFor(AreaCode area, int block, int first, int end) {
    Call c;
    c.area = area;
    c.block = block;
    c.words = wordCalls(area);
    if (c.words) {
        c.start = first / 2;
        c.count = (end + 1) / 2 - c.start;
    } else {
        c.start = first;
        c.count = end - first;
    }
    c.firstByte = c.words ? 2 * c.start : c.start;
    return c;
}

}  // namespace

ReadPlan planRead(std::span<const Variable> variables, int gapBytes) {
    ReadPlan plan;
    plan.callOf.assign(variables.size(), 0);
    plan.imageAt.assign(variables.size(), 0);
    std::vector<std::size_t> order(variables.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return before(variables[a], variables[b]); });

    std::vector<std::size_t> members;  // of the range being built
    int first = 0, end = 0;
    auto close = [&]() {
        if (members.empty()) return;
        const Variable& v = variables[members.front()];
        Call c = callFor(v.area, v.block, first, end);
        c.imageAt = plan.imageBytes;
        plan.imageBytes += c.bytes();
        plan.telegrams += c.telegrams();
        if (c.words) plan.wordCount = std::max(plan.wordCount, c.count);
        for (std::size_t i : members) {
            plan.callOf[i] = static_cast<int>(plan.calls.size());
            plan.imageAt[i] = c.imageAt + variables[i].byteOffset - c.firstByte;
        }
        plan.calls.push_back(c);
        members.clear();
    };
    for (std::size_t i : order) {
        const Variable& v = variables[i];
        const int vEnd = v.byteOffset + v.byteCount;
        if (!members.empty()) {
            const Variable& head = variables[members.front()];
            const bool sameArea = head.area == v.area && head.block == v.block;
            const int mergedEnd = std::max(end, vEnd);
            const bool fits = callFor(v.area, v.block, first, mergedEnd).count <= maxCallCount;
            if (sameArea && fits && v.byteOffset <= end + gapBytes) {
                end = mergedEnd;
                members.push_back(i);
                continue;
            }
            close();
        }
        first = v.byteOffset;
        end = vEnd;
        members.push_back(i);
    }
    close();
    return plan;
}

namespace {

std::vector<WriteRun> runsOf(std::span<const Variable> variables, std::span<const WritePiece> pieces) {
    // Per area and block: every byte given, with the bits given, and who gave it.
    struct Given {
        WriteByte byte;
        std::vector<int> by;
    };
    std::map<std::pair<int, int>, std::map<int, Given>> areas;
    for (const WritePiece& p : pieces) {
        const Variable& v = variables[static_cast<std::size_t>(p.variable)];
        auto& bytes = areas[{static_cast<int>(v.area), v.block}];
        for (int k = 0; k < v.byteCount; ++k) {
            const std::uint8_t mask = v.byteMask();
            Given& g = bytes[v.byteOffset + k];
            g.byte.value =
                static_cast<std::uint8_t>((g.byte.value & ~mask) | (p.bytes[static_cast<std::size_t>(k)] & mask));
            g.byte.mask |= mask;
            if (std::find(g.by.begin(), g.by.end(), p.variable) == g.by.end()) g.by.push_back(p.variable);
        }
    }

    std::vector<WriteRun> runs;
    for (const auto& [key, bytes] : areas) {
        const auto area = static_cast<AreaCode>(key.first);
        const int block = key.second;
        const bool words = wordCalls(area);
        const int unit = words ? 2 : 1;
        // Elements (bytes or words) touched, in order; a run is consecutive elements.
        auto it = bytes.begin();
        while (it != bytes.end()) {
            const int firstElement = it->first / unit;
            int lastElement = firstElement;
            auto runEnd = it;
            while (runEnd != bytes.end() && runEnd->first / unit <= lastElement + 1 &&
                   (runEnd->first / unit - firstElement) < maxCallCount) {
                lastElement = std::max(lastElement, runEnd->first / unit);
                ++runEnd;
            }
            WriteRun run;
            run.write = callFor(area, block, firstElement * unit, (lastElement + 1) * unit);
            run.bytes.assign(static_cast<std::size_t>(run.write.bytes()), WriteByte{});
            int firstPartial = -1, lastPartial = -1;
            for (auto b = it; b != runEnd; ++b) {
                run.bytes[static_cast<std::size_t>(b->first - run.write.firstByte)] = b->second.byte;
                for (int v : b->second.by)
                    if (std::find(run.variables.begin(), run.variables.end(), v) == run.variables.end())
                        run.variables.push_back(v);
            }
            for (int e = firstElement; e <= lastElement; ++e) {
                bool whole = true;
                for (int k = 0; k < unit; ++k)
                    whole = whole && run.bytes[static_cast<std::size_t>((e - firstElement) * unit + k)].mask == 0xFF;
                if (whole) continue;
                if (firstPartial < 0) firstPartial = e;
                lastPartial = e;
            }
            if (firstPartial >= 0) {
                run.readFirst = true;
                run.read = callFor(area, block, firstPartial * unit, (lastPartial + 1) * unit);
            }
            std::sort(run.variables.begin(), run.variables.end());
            runs.push_back(std::move(run));
            it = runEnd;
        }
    }
    return runs;
}

}  // namespace

std::vector<WriteRun> planWrite(std::span<const Variable> variables, std::span<const WritePiece> pieces, bool noModify,
                                std::vector<int>& refused) {
    std::vector<WritePiece> kept(pieces.begin(), pieces.end());
    while (true) {
        std::vector<WriteRun> runs = runsOf(variables, kept);
        if (!noModify) return runs;
        // Who touches an element that the run must read first.
        std::vector<int> out;
        for (const WriteRun& run : runs) {
            if (!run.readFirst) continue;
            const int unit = run.write.words ? 2 : 1;
            for (int e = run.read.start; e < run.read.start + run.read.count; ++e) {
                bool whole = true;
                for (int k = 0; k < unit; ++k)
                    whole = whole && run.bytes[static_cast<std::size_t>((e - run.write.start) * unit + k)].mask == 0xFF;
                if (whole) continue;
                for (int v : run.variables) {
                    const Variable& var = variables[static_cast<std::size_t>(v)];
                    if (var.byteOffset < (e + 1) * unit && var.byteOffset + var.byteCount > e * unit) out.push_back(v);
                }
            }
        }
        if (out.empty()) return runs;
        std::erase_if(kept,
                      [&](const WritePiece& p) { return std::find(out.begin(), out.end(), p.variable) != out.end(); });
        refused.insert(refused.end(), out.begin(), out.end());
        std::sort(refused.begin(), refused.end());
        refused.erase(std::unique(refused.begin(), refused.end()), refused.end());
    }
}

}  // namespace orva::vars
