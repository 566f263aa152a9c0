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

// Each code with its C name, said once: NAMED(ORVA_OK); with the words of
// orvavars' own codes, WORDED(ORVAVARS_ERR_SYNTAX, "..."); a socket error by
// its name without ORVA_, SOCKET(WSAEINTR). A test holds them to the two
// headers' enums.
// clang-format off
#define NAMED(code) Named{code, #code, ""}
#define WORDED(code, words) Named{code, #code, words}
#define SOCKET(name) Named{ORVA_##name, #name, ""}
// clang-format on

constexpr std::array results = {
    NAMED(ORVA_OK),
    NAMED(ORVA_ERR_PLC),
    NAMED(ORVA_ERR_DROPPED),
    NAMED(ORVA_ERR_NO_FREE_HANDLE),
    NAMED(ORVA_ERR_FAILED),
    NAMED(ORVA_ERR_CONNECT),
    NAMED(ORVA_ERR_SOCKET),
    NAMED(ORVA_ERR_AREA),
    NAMED(ORVA_ERR_HANDLE),
    WORDED(ORVAVARS_ERR_SYNTAX, "not a variable: the text is not written as the notation has it"),
    WORDED(ORVAVARS_ERR_UNKNOWN_AREA, "unknown area: A E M DB DX T Z (also Q or O, I, C)"),
    WORDED(ORVAVARS_ERR_UNKNOWN_FORMAT, "unknown data format"),
    WORDED(ORVAVARS_ERR_FORMAT_UNIT, "the data format does not apply to that unit"),
    WORDED(ORVAVARS_ERR_OUT_OF_RANGE, "an address, bit, block number or length out of range"),
    WORDED(ORVAVARS_ERR_VALUE_TEXT, "the value's text does not read as a value of the format"),
    WORDED(ORVAVARS_ERR_VALUE_RANGE, "the value does not fit the format"),
    WORDED(ORVAVARS_ERR_VALUE_PRECISION, "the time is no whole number of its time base, and rounding is not allowed"),
    WORDED(ORVAVARS_ERR_VALUE_KIND, "a value of the wrong kind for the format"),
    WORDED(ORVAVARS_ERR_NOT_FINITE, "not a finite number"),
    WORDED(ORVAVARS_ERR_INVALID_BCD, "invalid value: a BCD digit above 9"),
    WORDED(ORVAVARS_ERR_NO_VALUE, "no value"),
    WORDED(ORVAVARS_ERR_MODIFY_REFUSED, "refused: the write would read the PLC first and write back the rest"),
    WORDED(ORVAVARS_ERR_NOT_TRIED, "not tried: an earlier call of the list lost the connection"),
    WORDED(ORVAVARS_ERR_ARGUMENT, "invalid argument: a null pointer, an index outside the list, or a wrong count"),
    WORDED(ORVAVARS_ERR_NO_MEMORY, "out of memory"),
    WORDED(ORVAVARS_ERR_TOO_MANY, "the list is full (65535 variables)")};

constexpr std::array socketErrors = {
    SOCKET(WSAEINTR),        SOCKET(WSAEACCES),        SOCKET(WSAEFAULT),      SOCKET(WSAEINVAL),
    SOCKET(WSAEMFILE),       SOCKET(WSAEINPROGRESS),   SOCKET(WSAENOTSOCK),    SOCKET(WSAEMSGSIZE),
    SOCKET(WSAEADDRINUSE),   SOCKET(WSAEADDRNOTAVAIL), SOCKET(WSAENETDOWN),    SOCKET(WSAENETUNREACH),
    SOCKET(WSAENETRESET),    SOCKET(WSAECONNABORTED),  SOCKET(WSAECONNRESET),  SOCKET(WSAENOBUFS),
    SOCKET(WSAEISCONN),      SOCKET(WSAENOTCONN),      SOCKET(WSAESHUTDOWN),   SOCKET(WSAETIMEDOUT),
    SOCKET(WSAECONNREFUSED), SOCKET(WSAEHOSTDOWN),     SOCKET(WSAEHOSTUNREACH)};

#undef NAMED
#undef WORDED
#undef SOCKET

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
