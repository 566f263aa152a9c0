/* SPDX-License-Identifier: Apache-2.0 */
// The panel's input fields and the rules that take them from the edits'
// texts: the numbers, their ranges, the TSAP length and the refusal messages.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "notation.h"

namespace orvapanel {

inline constexpr unsigned maxCount = 2048;  // both read buffers hold this many elements
inline constexpr unsigned minCount = 1;
inline constexpr unsigned minDbNumber = 1;
inline constexpr unsigned maxDbNumber = orva::vars::maxBlock;  // the telegram carries it in one byte
inline constexpr unsigned minStart = 0;
inline constexpr unsigned maxStart = 65535;
inline constexpr std::size_t maxTsapChars = orva::wire::maxTsapLength;  // one byte a character on the wire
inline constexpr std::string_view defaultIpAddress = "192.168.0.99";

struct DialogFields {
    unsigned count = 1;
    unsigned dbNumber = 1;
    std::string ipAddress{defaultIpAddress};
    unsigned start = 0;
    std::string ownTsap;
    std::string plcTsap;
    char areaLetter = 'E';
};

// The texts of the six edits (UTF-8).
struct FieldTexts {
    std::string count;
    std::string dbNumber;
    std::string ipAddress;
    std::string start;
    std::string ownTsap;
    std::string plcTsap;
};

// In the order the fields are taken from the edits.
enum class Field { count, dbNumber, ipAddress, start, ownTsap, plcTsap, area };

struct FieldFailure {
    Field field;
    std::string message;
};

// Reads an unsigned decimal number the way the edits are read: from the first
// 31 characters, blanks and tabs around an optional '+' and the digits. Empty
// for anything else, and for a text that reads as 0 without starting with the
// digit 0. Values beyond 32 bits read as the largest 32-bit value.
std::optional<std::uint32_t> readUnsigned(std::string_view text);

// Number of characters (not bytes) of a UTF-8 text.
std::size_t characterCount(std::string_view utf8);

std::string notANumberMessage();
std::string rangeMessage(unsigned low, unsigned high);
std::string tooLongMessage(std::size_t maxChars);

// The texts that the edits show for fields.
FieldTexts fieldTexts(const DialogFields& fields);

// Takes texts and the selected area item into fields, in the fixed order
// count, data block, address, start, own TSAP, PLC TSAP, area. The first field
// that fails stops it: that field and all after it keep their old values, and
// the failure is returned. An areaIndex that names no item leaves the letter.
std::optional<FieldFailure> readFieldTexts(const FieldTexts& texts, int areaIndex, DialogFields& fields);

}  // namespace orvapanel
