// SPDX-License-Identifier: Apache-2.0
#include "format.h"

#include <algorithm>
#include <cstdio>

#include "messages.h"
#include "orvanet.h"

namespace orvacli {
namespace {

constexpr int hexBytesPerLine = 16;
constexpr int hexWordsPerLine = 8;

std::string hexDigits(unsigned value, int digits) {
    char text[8];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

// The json field "area": DB or DX without the block (that is a field of its
// own), or the letter.
std::string areaCode(const Area& area) {
    if (orva::vars::isBlockArea(area.code)) return area.code == orva::wire::AreaCode::dataBlock ? "DB" : "DX";
    return std::string(1, area.letter());
}

const char* unitName(Unit unit, int count) {
    if (unit == Unit::bytes) return count == 1 ? "byte" : "bytes";
    return count == 1 ? "word" : "words";
}

// The fields every json object of one request shares.
std::string jsonRequestFields(const Options& r, int round) {
    std::string out = "{";
    if (round > 0) out += "\"round\":" + std::to_string(round) + ",";
    out += "\"address\":" + jsonString(r.address);
    out += ",\"operation\":" + jsonString(r.direction == Direction::read ? "read" : "write");
    out += ",\"area\":" + jsonString(areaCode(r.area));
    if (orva::vars::isBlockArea(r.area.code)) out += ",\"block\":" + std::to_string(r.area.block);
    out += ",\"unit\":" + jsonString(r.unit == Unit::bytes ? "bytes" : "words");
    out += ",\"start\":" + std::to_string(r.start);
    out += ",\"count\":" + std::to_string(r.count);
    return out;
}

std::string table(const Options& r, const std::vector<std::uint16_t>& values) {
    struct Row {
        std::string address, decimal, hexText, chars;
    };
    std::vector<Row> rows;
    rows.reserve(values.size());
    std::size_t widths[3] = {std::string_view("Address").size(), std::string_view("Decimal").size(),
                             std::string_view("Hex").size()};
    for (std::size_t i = 0; i < values.size(); ++i) {
        // Two hex digits a byte, four a word, as in the hex format.
        Row row{elementAddress(r, static_cast<int>(i)), std::to_string(values[i]),
                hexDigits(values[i], r.unit == Unit::words ? 4 : 2), orva::vars::printableText(values[i], r.unit)};
        widths[0] = std::max(widths[0], row.address.size());
        widths[1] = std::max(widths[1], row.decimal.size());
        widths[2] = std::max(widths[2], row.hexText.size());
        rows.push_back(std::move(row));
    }
    auto line = [&](const std::string& a, const std::string& d, const std::string& h, const std::string& c) {
        std::string out = a + std::string(widths[0] - a.size(), ' ');
        out += "  " + std::string(widths[1] - d.size(), ' ') + d;
        out += "  " + std::string(widths[2] - h.size(), ' ') + h;
        if (!c.empty()) out += "  " + c;
        return out + "\n";
    };
    std::string out = line("Address", "Decimal", "Hex", "ASCII");
    for (const Row& row : rows) out += line(row.address, row.decimal, row.hexText, row.chars);
    return out;
}

std::string plainHex(const Options& r, const std::vector<std::uint16_t>& values) {
    const bool words = r.unit == Unit::words;
    const std::size_t perLine = words ? hexWordsPerLine : hexBytesPerLine;
    std::string out;
    for (std::size_t i = 0; i < values.size(); ++i) {
        out += hexDigits(values[i], words ? 4 : 2);
        out += (i + 1) % perLine == 0 || i + 1 == values.size() ? "\n" : " ";
    }
    return out;
}

std::string describeRange(const Options& r) {
    std::string text = std::to_string(r.count) + " " + unitName(r.unit, r.count) + " ";
    text += r.direction == Direction::read ? "from " : "to ";
    text += elementAddress(r, 0);
    if (r.count > 1) text += ".." + elementAddress(r, r.count - 1);
    return text;
}

}  // namespace

int exitStatusFor(int result) {
    switch (result) {
    case ORVA_OK: return exitSuccess;
    case ORVA_ERR_PLC: return exitPlcError;
    case ORVA_ERR_DROPPED:
    case ORVA_ERR_CONNECT:
    case ORVA_ERR_SOCKET: return exitConnectionFailure;
    default: return exitOtherFailure;
    }
}

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string elementAddress(const Options& r, int index) {
    return orva::vars::elementAddress(r.area.code, r.area.block, r.unit, r.start, index);
}

std::string formatSuccess(const Options& r, const Outcome& outcome, int round) {
    const bool read = r.direction == Direction::read;
    switch (r.format) {
    case Format::table: {
        std::string out = round > 0 ? "round " + std::to_string(round) + "\n" : "";
        if (read) return out + table(r, outcome.values);
        return out + "wrote " + describeRange(r) + "\n";
    }
    case Format::hex: return read ? plainHex(r, outcome.values) : "";
    case Format::json: {
        std::string out = jsonRequestFields(r, round) + ",\"ok\":true";
        if (read) {
            out += ",\"values\":[";
            for (std::size_t i = 0; i < outcome.values.size(); ++i)
                out += (i ? "," : "") + std::to_string(outcome.values[i]);
            out += "]";
        }
        return out + "}\n";
    }
    }
    return "";
}

std::string failureMessage(const Options& r, const Outcome& outcome) {
    std::string text = "orvacli: ";
    text += r.direction == Direction::read ? "reading " : "writing ";
    text += describeRange(r) + " at " + r.address +
            " failed: " + orva::vars::failureText(outcome.result, outcome.socketError);
    return text + "\n";
}

std::string failureJson(const Options& r, const Outcome& outcome, int round) {
    std::string out = jsonRequestFields(r, round) + ",\"ok\":false";
    out += ",\"result\":" + std::to_string(outcome.result);
    out += ",\"result_text\":" + jsonString(ORVAResultName(outcome.result));
    out += ",\"socket_error\":" + std::to_string(outcome.socketError);
    out += ",\"socket_error_text\":" + jsonString(ORVASocketErrorText(outcome.socketError));
    return out + "}\n";
}

std::string repeatSummary(int rounds, int failures) {
    return "orvacli: " + std::to_string(rounds) + (rounds == 1 ? " round, " : " rounds, ") + std::to_string(failures) +
           " failed\n";
}

}  // namespace orvacli
