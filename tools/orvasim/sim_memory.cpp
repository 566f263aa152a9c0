#include "sim_memory.h"

#include "wire_format.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>

namespace orvasim {

namespace w = orva::wire;

Memory::Memory()
    : inputs(byteAreaSize), outputs(byteAreaSize), flags(byteAreaSize),
      timers(wordAreaWords * 2), counters(wordAreaWords * 2) {
    for (auto& b : dataBlocks) b.assign(defaultBlockWords * 2, 0);
    for (auto& b : extendedBlocks) b.assign(defaultBlockWords * 2, 0);
}

std::size_t Memory::byteCount(std::uint8_t areaCode, std::uint16_t length) {
    return w::isWordCounted(static_cast<w::AreaCode>(areaCode)) ? 2u * length : length;
}

const std::vector<std::uint8_t>* Memory::bytesOf(std::uint8_t areaCode, std::uint8_t block) const {
    const std::vector<std::uint8_t>* area = nullptr;
    switch (static_cast<w::AreaCode>(areaCode)) {
    case w::AreaCode::inputs: area = &inputs; break;
    case w::AreaCode::outputs: area = &outputs; break;
    case w::AreaCode::flags: area = &flags; break;
    case w::AreaCode::timers: area = &timers; break;
    case w::AreaCode::counters: area = &counters; break;
    case w::AreaCode::dataBlock: area = &dataBlocks[block]; break;
    case w::AreaCode::extendedDataBlock: area = &extendedBlocks[block]; break;
    default: return nullptr;
    }
    return area->empty() ? nullptr : area;  // a block of 0 words does not exist
}

std::vector<std::uint8_t>* Memory::bytesOf(std::uint8_t areaCode, std::uint8_t block) {
    return const_cast<std::vector<std::uint8_t>*>(std::as_const(*this).bytesOf(areaCode, block));
}

std::uint8_t Memory::locate(std::uint8_t areaCode, std::uint8_t block, std::uint16_t start, std::uint16_t length,
                            std::size_t& offset, std::size_t& count) const {
    const auto* area = bytesOf(areaCode, block);
    if (!area) return w::ackAreaMissing;
    offset = byteCount(areaCode, start);
    count = byteCount(areaCode, length);
    if (offset + count > area->size()) return w::ackAreaTooSmall;
    return w::ackNoError;
}

std::uint8_t Memory::fetch(std::uint8_t areaCode, std::uint8_t block, std::uint16_t start, std::uint16_t length,
                           std::vector<std::uint8_t>& out) const {
    std::lock_guard lock(mutex);
    std::size_t offset = 0, count = 0;
    std::uint8_t error = locate(areaCode, block, start, length, offset, count);
    if (error != w::ackNoError) return error;
    const auto& area = *bytesOf(areaCode, block);
    out.assign(area.begin() + static_cast<std::ptrdiff_t>(offset),
               area.begin() + static_cast<std::ptrdiff_t>(offset + count));
    return w::ackNoError;
}

std::uint8_t Memory::store(std::uint8_t areaCode, std::uint8_t block, std::uint16_t start, std::uint16_t length,
                           std::span<const std::uint8_t> data) {
    std::lock_guard lock(mutex);
    std::size_t offset = 0, count = 0;
    std::uint8_t error = locate(areaCode, block, start, length, offset, count);
    if (error != w::ackNoError) return error;
    auto& area = *bytesOf(areaCode, block);
    std::copy_n(data.begin(), std::min(count, data.size()), area.begin() + static_cast<std::ptrdiff_t>(offset));
    return w::ackNoError;
}

std::vector<std::uint8_t>& Memory::directArea(Area area, int block) {
    bool blocks = area == Area::dataBlock || area == Area::extendedDataBlock;
    if (blocks && (block < 0 || block >= blockCount))
        throw std::out_of_range("orvasim: block number " + std::to_string(block) + " outside 0..255");
    switch (area) {
    case Area::inputs: return inputs;
    case Area::outputs: return outputs;
    case Area::flags: return flags;
    case Area::timers: return timers;
    case Area::counters: return counters;
    case Area::dataBlock: return dataBlocks[static_cast<std::size_t>(block)];
    case Area::extendedDataBlock: return extendedBlocks[static_cast<std::size_t>(block)];
    }
    throw std::invalid_argument("orvasim: unknown area");
}

void Memory::setBlockWords(Area area, int block, int words) {
    if (area != Area::dataBlock && area != Area::extendedDataBlock)
        throw std::invalid_argument("orvasim: only data blocks (D, X) can be resized");
    if (words < 0 || words > maxBlockWords)
        throw std::out_of_range("orvasim: block size " + std::to_string(words) + " outside 0..65535 words");
    std::lock_guard lock(mutex);
    directArea(area, block).resize(static_cast<std::size_t>(words) * 2, 0);
}

void Memory::writeBytes(Area area, int block, int byteOffset, std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(mutex);
    auto& a = directArea(area, block);
    if (byteOffset < 0 || static_cast<std::size_t>(byteOffset) + bytes.size() > a.size())
        throw std::out_of_range("orvasim: write outside the area");
    std::copy(bytes.begin(), bytes.end(), a.begin() + byteOffset);
}

std::vector<std::uint8_t> Memory::readBytes(Area area, int block, int byteOffset, int count) const {
    std::lock_guard lock(mutex);
    const auto& a = const_cast<Memory*>(this)->directArea(area, block);
    if (byteOffset < 0 || count < 0 || static_cast<std::size_t>(byteOffset) + static_cast<std::size_t>(count) > a.size())
        throw std::out_of_range("orvasim: read outside the area");
    return {a.begin() + byteOffset, a.begin() + byteOffset + count};
}

}  // namespace orvasim
