/* SPDX-License-Identifier: Apache-2.0 */
// Which library calls read or write a list of variables: ranges of one area
// and block merged across gaps of at most a set number of bytes for reads,
// only where they touch for writes (a write must not carry bytes it was not
// given). Pure: the calls are made by transfer.cpp.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "variable.h"

namespace orva::vars {

inline constexpr int maxCallCount = 65535;  // elements of one library call
inline constexpr int telegramBytes = 492;   // data bytes of one fetch or write telegram

// One library call: ORVARdW/ORVAWrW (words) for D, X, T and Z, ORVARdB/ORVAWrB
// (bytes) for A, E and M.
struct Call {
    AreaCode area = AreaCode::none;
    int block = 0;
    bool words = false;
    int start = 0;      // in the call's unit
    int count = 0;      // elements
    int firstByte = 0;  // byte offset in the area of its first byte
    int imageAt = 0;    // where its bytes lie in the list's image
    int bytes() const { return words ? 2 * count : count; }
    int telegrams() const { return (bytes() + telegramBytes - 1) / telegramBytes; }
};

struct ReadPlan {
    std::vector<Call> calls;
    std::vector<int> callOf;   // per variable: its call
    std::vector<int> imageAt;  // per variable: where its first byte lies in the image
    int imageBytes = 0;
    int wordCount = 0;  // the largest word call, for the list's word buffer
    int telegrams = 0;
};

ReadPlan planRead(std::span<const Variable> variables, int gapBytes);

// One byte a write sets: the bits of mask take those of value.
struct WriteByte {
    std::uint8_t value = 0;
    std::uint8_t mask = 0;
};

// What a write must do for one run of consecutive elements: the write call,
// and when some of its elements are only partly given, the read before it
// (the elements from the first to the last partial one).
struct WriteRun {
    Call write;
    bool readFirst = false;
    Call read;
    std::vector<WriteByte> bytes;  // one per byte of the write call
    std::vector<int> variables;    // those it writes
};

struct WritePiece {
    int variable = 0;
    std::span<const std::uint8_t> bytes;  // v.byteCount; a bit: its byte
};

// The runs that write the pieces (each a variable with its encoded value);
// later pieces win where two set the same bits. With noModify, no run reads
// first: the variables that would leave part of an element to be read are
// left out and listed in refused (others that give the rest of the element
// make it whole: DL3 and DR3 together are written as DW3).
std::vector<WriteRun> planWrite(std::span<const Variable> variables, std::span<const WritePiece> pieces, bool noModify,
                                std::vector<int>& refused);

}  // namespace orva::vars
