// SPDX-License-Identifier: Apache-2.0
#include "sim_memory.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>

namespace orvasim {

namespace w = orva::wire;

Memory::Memory()
    : inputs(byteAreaSize),
      outputs(byteAreaSize),
      flags(byteAreaSize),
      timers(wordAreaWords * 2),
      counters(wordAreaWords * 2) {
    for (auto& b : dataBlocks) b.assign(defaultBlockWords * 2, 0);
    for (auto& b : extendedBlocks) b.assign(defaultBlockWords * 2, 0);
}

std::size_t Memory::byteCount(AreaCode area, std::uint16_t length) {
    return w::isWordCounted(area) ? 2u * length : length;
}

const std::vector<std::uint8_t>* Memory::bytesOf(AreaCode area, std::uint8_t block) const {
    const std::vector<std::uint8_t>* bytes = nullptr;
    switch (area) {
    case AreaCode::inputs: bytes = &inputs; break;
    case AreaCode::outputs: bytes = &outputs; break;
    case AreaCode::flags: bytes = &flags; break;
    case AreaCode::timers: bytes = &timers; break;
    case AreaCode::counters: bytes = &counters; break;
    case AreaCode::dataBlock: bytes = &dataBlocks[block]; break;
    case AreaCode::extendedDataBlock: bytes = &extendedBlocks[block]; break;
    default: return nullptr;  // none, and codes no area has
    }
    return bytes->empty() ? nullptr : bytes;  // a block of 0 words does not exist
}

std::vector<std::uint8_t>* Memory::bytesOf(AreaCode area, std::uint8_t block) {
    return const_cast<std::vector<std::uint8_t>*>(std::as_const(*this).bytesOf(area, block));
}

std::uint8_t Memory::locate(AreaCode area, std::uint8_t block, std::uint16_t start, std::uint16_t length,
                            std::size_t& offset, std::size_t& count) const {
    const auto* bytes = bytesOf(area, block);
    if (!bytes) return w::ackAreaMissing;
    offset = byteCount(area, start);
    count = byteCount(area, length);
    if (offset + count > bytes->size()) return w::ackAreaTooSmall;
    return w::ackNoError;
}

std::uint8_t Memory::fetch(AreaCode area, std::uint8_t block, std::uint16_t start, std::uint16_t length,
                           std::vector<std::uint8_t>& out) const {
    std::lock_guard lock(mutex);
    std::size_t offset = 0, count = 0;
    std::uint8_t error = locate(area, block, start, length, offset, count);
    if (error != w::ackNoError) return error;
    const auto& bytes = *bytesOf(area, block);
    out.assign(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
               bytes.begin() + static_cast<std::ptrdiff_t>(offset + count));
    return w::ackNoError;
}

std::uint8_t Memory::store(AreaCode area, std::uint8_t block, std::uint16_t start, std::uint16_t length,
                           std::span<const std::uint8_t> data) {
    std::lock_guard lock(mutex);
    std::size_t offset = 0, count = 0;
    std::uint8_t error = locate(area, block, start, length, offset, count);
    if (error != w::ackNoError) return error;
    auto& bytes = *bytesOf(area, block);
    std::copy_n(data.begin(), std::min(count, data.size()), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
    return w::ackNoError;
}

std::vector<std::uint8_t>& Memory::directArea(AreaCode area, int block) {
    bool blocks = area == AreaCode::dataBlock || area == AreaCode::extendedDataBlock;
    if (blocks && (block < 0 || block >= blockCount))
        throw std::out_of_range("orvasim: block number " + std::to_string(block) + " outside 0..255");
    switch (area) {
    case AreaCode::inputs: return inputs;
    case AreaCode::outputs: return outputs;
    case AreaCode::flags: return flags;
    case AreaCode::timers: return timers;
    case AreaCode::counters: return counters;
    case AreaCode::dataBlock: return dataBlocks[static_cast<std::size_t>(block)];
    case AreaCode::extendedDataBlock: return extendedBlocks[static_cast<std::size_t>(block)];
    case AreaCode::none: break;
    }
    throw std::invalid_argument("orvasim: no such area");
}

void Memory::setBlockWords(AreaCode area, int block, int words) {
    if (area != AreaCode::dataBlock && area != AreaCode::extendedDataBlock)
        throw std::invalid_argument("orvasim: only data blocks (DB, DX) can be resized");
    if (words < 0 || words > maxBlockWords)
        throw std::out_of_range("orvasim: block size " + std::to_string(words) + " outside 0..65535 words");
    std::lock_guard lock(mutex);
    directArea(area, block).resize(static_cast<std::size_t>(words) * 2, 0);
}

void Memory::writeBytes(AreaCode area, int block, int byteOffset, std::span<const std::uint8_t> bytes) {
    mergeBytes(area, block, byteOffset, bytes, 0xFF);
}

void Memory::mergeBytes(AreaCode area, int block, int byteOffset, std::span<const std::uint8_t> bytes,
                        std::uint8_t mask) {
    std::lock_guard lock(mutex);
    auto& a = directArea(area, block);
    if (byteOffset < 0 || static_cast<std::size_t>(byteOffset) + bytes.size() > a.size())
        throw std::out_of_range("orvasim: write outside the area");
    std::transform(bytes.begin(), bytes.end(), a.begin() + byteOffset, a.begin() + byteOffset,
                   [mask](std::uint8_t given, std::uint8_t held) {
                       return static_cast<std::uint8_t>((held & ~mask) | (given & mask));
                   });
}

int Memory::byteSize(AreaCode area, int block) const {
    std::lock_guard lock(mutex);
    return static_cast<int>(const_cast<Memory*>(this)->directArea(area, block).size());
}

std::vector<std::uint8_t> Memory::readBytes(AreaCode area, int block, int byteOffset, int count) const {
    std::lock_guard lock(mutex);
    const auto& a = const_cast<Memory*>(this)->directArea(area, block);
    if (byteOffset < 0 || count < 0 ||
        static_cast<std::size_t>(byteOffset) + static_cast<std::size_t>(count) > a.size())
        throw std::out_of_range("orvasim: read outside the area");
    return {a.begin() + byteOffset, a.begin() + byteOffset + count};
}

}  // namespace orvasim
