// SPDX-License-Identifier: Apache-2.0
#include "messages.h"

#include <array>

#include "orvanet.h"
#include "orvavars.h"

namespace orva::vars {
namespace {

struct Named {
    int code;
    std::string_view name;
    std::string_view text;  // empty: the header's own words (ORVAResultName, ORVASocketErrorText)
};

// A test holds these names to the two headers' enums.
constexpr std::array results = {
    Named{ORVA_OK, "ORVA_OK", ""},
    Named{ORVA_ERR_PLC, "ORVA_ERR_PLC", ""},
    Named{ORVA_ERR_DROPPED, "ORVA_ERR_DROPPED", ""},
    Named{ORVA_ERR_NO_FREE_HANDLE, "ORVA_ERR_NO_FREE_HANDLE", ""},
    Named{ORVA_ERR_FAILED, "ORVA_ERR_FAILED", ""},
    Named{ORVA_ERR_CONNECT, "ORVA_ERR_CONNECT", ""},
    Named{ORVA_ERR_SOCKET, "ORVA_ERR_SOCKET", ""},
    Named{ORVA_ERR_AREA, "ORVA_ERR_AREA", ""},
    Named{ORVA_ERR_HANDLE, "ORVA_ERR_HANDLE", ""},
    Named{ORVAVARS_ERR_SYNTAX, "ORVAVARS_ERR_SYNTAX", "not a variable: the text is not written as the notation has it"},
    Named{ORVAVARS_ERR_UNKNOWN_AREA, "ORVAVARS_ERR_UNKNOWN_AREA", "unknown area: A E M DB DX T Z (also Q or O, I, C)"},
    Named{ORVAVARS_ERR_UNKNOWN_FORMAT, "ORVAVARS_ERR_UNKNOWN_FORMAT", "unknown data format"},
    Named{ORVAVARS_ERR_FORMAT_UNIT, "ORVAVARS_ERR_FORMAT_UNIT", "the data format does not apply to that unit"},
    Named{ORVAVARS_ERR_OUT_OF_RANGE, "ORVAVARS_ERR_OUT_OF_RANGE",
          "an address, bit, block number or length out of range"},
    Named{ORVAVARS_ERR_VALUE_TEXT, "ORVAVARS_ERR_VALUE_TEXT",
          "the value's text does not read as a value of the format"},
    Named{ORVAVARS_ERR_VALUE_RANGE, "ORVAVARS_ERR_VALUE_RANGE", "the value does not fit the format"},
    Named{ORVAVARS_ERR_VALUE_PRECISION, "ORVAVARS_ERR_VALUE_PRECISION",
          "the time is no whole number of its time base, and rounding is not allowed"},
    Named{ORVAVARS_ERR_VALUE_KIND, "ORVAVARS_ERR_VALUE_KIND", "a value of the wrong kind for the format"},
    Named{ORVAVARS_ERR_NOT_FINITE, "ORVAVARS_ERR_NOT_FINITE", "not a finite number"},
    Named{ORVAVARS_ERR_INVALID_BCD, "ORVAVARS_ERR_INVALID_BCD", "invalid value: a BCD digit above 9"},
    Named{ORVAVARS_ERR_NO_VALUE, "ORVAVARS_ERR_NO_VALUE", "no value"},
    Named{ORVAVARS_ERR_MODIFY_REFUSED, "ORVAVARS_ERR_MODIFY_REFUSED",
          "refused: the write would read the PLC first and write back the rest"},
    Named{ORVAVARS_ERR_NOT_TRIED, "ORVAVARS_ERR_NOT_TRIED",
          "not tried: an earlier call of the list lost the connection"},
    Named{ORVAVARS_ERR_ARGUMENT, "ORVAVARS_ERR_ARGUMENT",
          "invalid argument: a null pointer, an index outside the list, or a wrong count"},
    Named{ORVAVARS_ERR_NO_MEMORY, "ORVAVARS_ERR_NO_MEMORY", "out of memory"},
    Named{ORVAVARS_ERR_TOO_MANY, "ORVAVARS_ERR_TOO_MANY", "the list is full (65535 variables)"},
};

constexpr std::array socketErrors = {
    Named{ORVA_WSAEINTR, "WSAEINTR", ""},
    Named{ORVA_WSAEACCES, "WSAEACCES", ""},
    Named{ORVA_WSAEFAULT, "WSAEFAULT", ""},
    Named{ORVA_WSAEINVAL, "WSAEINVAL", ""},
    Named{ORVA_WSAEMFILE, "WSAEMFILE", ""},
    Named{ORVA_WSAEINPROGRESS, "WSAEINPROGRESS", ""},
    Named{ORVA_WSAENOTSOCK, "WSAENOTSOCK", ""},
    Named{ORVA_WSAEMSGSIZE, "WSAEMSGSIZE", ""},
    Named{ORVA_WSAEADDRINUSE, "WSAEADDRINUSE", ""},
    Named{ORVA_WSAEADDRNOTAVAIL, "WSAEADDRNOTAVAIL", ""},
    Named{ORVA_WSAENETDOWN, "WSAENETDOWN", ""},
    Named{ORVA_WSAENETUNREACH, "WSAENETUNREACH", ""},
    Named{ORVA_WSAENETRESET, "WSAENETRESET", ""},
    Named{ORVA_WSAECONNABORTED, "WSAECONNABORTED", ""},
    Named{ORVA_WSAECONNRESET, "WSAECONNRESET", ""},
    Named{ORVA_WSAENOBUFS, "WSAENOBUFS", ""},
    Named{ORVA_WSAEISCONN, "WSAEISCONN", ""},
    Named{ORVA_WSAENOTCONN, "WSAENOTCONN", ""},
    Named{ORVA_WSAESHUTDOWN, "WSAESHUTDOWN", ""},
    Named{ORVA_WSAETIMEDOUT, "WSAETIMEDOUT", ""},
    Named{ORVA_WSAECONNREFUSED, "WSAECONNREFUSED", ""},
    Named{ORVA_WSAEHOSTDOWN, "WSAEHOSTDOWN", ""},
    Named{ORVA_WSAEHOSTUNREACH, "WSAEHOSTUNREACH", ""},
};

template <typename Table>
const Named* find(const Table& table, int code) {
    for (const Named& n : table)
        if (n.code == code) return &n;
    return nullptr;
}

}  // namespace

std::string_view resultName(int code) {
    const Named* n = find(results, code);
    return n ? n->name : std::string_view("");  // its data() is a C string too
}

std::string_view resultText(int code) {
    const Named* n = find(results, code);
    return n && !n->text.empty() ? n->text : std::string_view(ORVAResultName(code));
}

std::string_view socketErrorName(int number) {
    const Named* n = find(socketErrors, number);
    return n ? n->name : std::string_view("");
}

std::string failureText(int result, int socketError) {
    const std::string_view name = resultName(result);
    const std::string tail =
        " (" + (name.empty() ? std::string() : std::string(name) + ", ") + "result " + std::to_string(result) + ")";
    if (result != ORVA_ERR_SOCKET || socketError == 0) return std::string(resultText(result)) + tail;
    // The socket error says more than its result: it leads.
    std::string text = "socket error " + std::to_string(socketError);
    if (const std::string_view n = socketErrorName(socketError); !n.empty()) text += " (" + std::string(n) + ")";
    if (const std::string_view words = ORVASocketErrorText(socketError); !words.empty())
        text += ": " + std::string(words);
    return text + tail;
}

}  // namespace orva::vars
