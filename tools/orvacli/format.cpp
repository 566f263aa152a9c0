#include "format.h"

#include <algorithm>
#include <cstdio>

#include "orvanet.h"

namespace orvacli {
namespace {

constexpr int firstPrintable = 0x20;
constexpr int lastPrintable = 0x7E;
constexpr int hexBytesPerLine = 16;
constexpr int hexWordsPerLine = 8;

bool isPrintable(unsigned value) {
    return value >= firstPrintable && value <= lastPrintable;
}

std::string hex(unsigned value, int digits) {
    char text[8];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < firstPrintable) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string areaCode(const Area& area) {
    if (area.letter == 'D') return "DB";
    if (area.letter == 'X') return "DX";
    return std::string(1, area.letter);
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
    if (r.area.letter == 'D' || r.area.letter == 'X') out += ",\"block\":" + std::to_string(r.area.block);
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
        // Hex as two digits at least: a word is not padded to four (1F4).
        Row row{elementAddress(r, static_cast<int>(i)), std::to_string(values[i]), hex(values[i], 2),
                printableText(values[i], r.unit)};
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
        out += hex(values[i], words ? 4 : 2);
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

std::string describeResult(int result) {
    switch (result) {
    case ORVA_OK: return "success";
    case ORVA_ERR_PLC: return "the PLC side reported an error: data area missing or too small";
    case ORVA_ERR_DROPPED: return "no valid reply in time; the connection was dropped";
    case ORVA_ERR_NO_FREE_HANDLE: return "all 64 handles are in use";
    case ORVA_ERR_FAILED: return "failed with no recorded cause";
    case ORVA_ERR_CONNECT: return "setting up the transport connection failed: check the TSAPs and the adapter's configuration";
    case ORVA_ERR_SOCKET: return "socket error";
    case ORVA_ERR_AREA: return "area not supported by this function";
    case ORVA_ERR_HANDLE: return "invalid handle";
    default: return "unknown result";
    }
}

std::string describeSocketError(int socketError) {
    switch (socketError) {
    case 0: return "none";
    case ORVA_WSAETIMEDOUT: return "timed out: no answer within the receive or send time-out";
    case ORVA_WSAECONNREFUSED: return "connection refused: nothing listens on port 102 at that address";
    case ORVA_WSAEHOSTUNREACH: return "host unreachable: the TCP connect did not finish within the connect time-out";
    case ORVA_WSAECONNRESET: return "connection reset by the adapter";
    case ORVA_WSAECONNABORTED: return "connection aborted";
    case ORVA_WSAEADDRNOTAVAIL: return "address not usable";
    case ORVA_WSAENETDOWN: return "network is down";
    case ORVA_WSAENETUNREACH: return "network unreachable: no route to that address";
    case ORVA_WSAENOTCONN: return "not connected";
    case ORVA_WSAEMFILE: return "too many open sockets";
    case ORVA_WSAENOBUFS: return "no buffer space";
    case ORVA_WSAEACCES: return "permission denied";
    default: return "";
    }
}

std::string addressLabel(const Area& area, Unit unit) {
    const char unitLetter = unit == Unit::bytes ? 'B' : 'W';
    switch (area.letter) {
    case 'D': return "DB " + std::to_string(area.block) + " D" + unitLetter;
    case 'X': return "DX " + std::to_string(area.block) + " D" + unitLetter;
    case 'T': return "T ";
    case 'Z': return "Z ";
    default: return std::string{area.letter, unitLetter};
    }
}

std::string elementAddress(const Options& r, int index) {
    const int address = r.start + index * addressSpan(r.area.letter, r.unit);
    return addressLabel(r.area, r.unit) + std::to_string(address);
}

std::string printableText(std::uint16_t value, Unit unit) {
    if (unit == Unit::bytes) {
        if (!isPrintable(value)) return "";
        return std::string{'\'', static_cast<char>(value), '\''};
    }
    const unsigned low = value & 0xFFu;
    const unsigned high = value >> 8;
    if (!isPrintable(low) || !isPrintable(high)) return "";
    return std::string{'\'', static_cast<char>(low), static_cast<char>(high), '\''};
}

std::string formatSuccess(const Options& r, const Outcome& outcome, int round) {
    const bool read = r.direction == Direction::read;
    switch (r.format) {
    case Format::table: {
        std::string out = round > 0 ? "round " + std::to_string(round) + "\n" : "";
        if (read) return out + table(r, outcome.values);
        return out + "wrote " + describeRange(r) + "\n";
    }
    case Format::hex:
        return read ? plainHex(r, outcome.values) : "";
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
    text += describeRange(r) + " at " + r.address + " failed: " + describeResult(outcome.result) + " (result " +
            std::to_string(outcome.result) + "), socket error " + std::to_string(outcome.socketError);
    const std::string socketText = describeSocketError(outcome.socketError);
    if (!socketText.empty()) text += ": " + socketText;
    return text + "\n";
}

std::string failureJson(const Options& r, const Outcome& outcome, int round) {
    std::string out = jsonRequestFields(r, round) + ",\"ok\":false";
    out += ",\"result\":" + std::to_string(outcome.result);
    out += ",\"result_text\":" + jsonString(describeResult(outcome.result));
    out += ",\"socket_error\":" + std::to_string(outcome.socketError);
    out += ",\"socket_error_text\":" + jsonString(describeSocketError(outcome.socketError));
    return out + "}\n";
}

std::string repeatSummary(int rounds, int failures) {
    return "orvacli: " + std::to_string(rounds) + (rounds == 1 ? " round, " : " rounds, ") + std::to_string(failures) +
           " failed\n";
}

}  // namespace orvacli
