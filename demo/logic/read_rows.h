/* SPDX-License-Identifier: Apache-2.0 */
// The rows of the result list: address label, decimal, hexadecimal and
// character texts of each byte or word read.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvapanel {

enum class Unit { byte, word };

// The four columns of the result list, in order.
struct ListColumn {
    std::string_view heading;
    bool rightAligned;
};
inline constexpr std::array<ListColumn, 4> listColumns = {{
    {"Adr /Addr", false},
    {"Wert/Value(dec.)", true},
    {"Wert/Value(hex)", true},
    {"ASCII", true},
}};

struct RowTexts {
    std::string address;
    std::string decimal;
    std::string hex;
    std::string chars;  // empty when not every byte is printable

    bool operator==(const RowTexts&) const = default;
};

// One row; address as the list shows it ("MB1", "DB 5 DW3").
RowTexts byteRow(std::string address, std::uint8_t value);
// The character pair shows the low-order byte first.
RowTexts wordRow(std::string address, std::uint16_t value);

// The address texts with the most characters among every read that the
// fields allow (largest block, start and count, each area and unit it
// reads): the address column is made wide enough for each of them.
std::vector<std::string> longestAddressTexts();

// The rows of a read from start, each element's address in the PLC's notation
// of the variables library ("EB3", "MW12", "DB 5 DW3", "T 7").
std::vector<RowTexts> byteRows(char areaLetter, unsigned dbNumber, unsigned start,
                               std::span<const std::uint8_t> values);
std::vector<RowTexts> wordRows(char areaLetter, unsigned dbNumber, unsigned start,
                               std::span<const std::uint16_t> values);

}  // namespace orvapanel
