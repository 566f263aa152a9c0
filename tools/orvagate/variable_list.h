/* SPDX-License-Identifier: Apache-2.0 */
// The gateway's one seam to the variables library (orvavars): a planned list
// of variables of one PLC, read through a liborvanet handle, and the values
// to write, checked by the library. Nothing else of the gateway knows the
// notation, the formats or how values are coded.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace orvagate {

// A variable's value as the library decodes it.
struct Value {
    enum class Kind { none, boolean, integer, real, text, time };
    Kind kind = Kind::none;
    long long integer = 0;  // boolean 0 or 1; integer; time in milliseconds
    double real = 0;        // real; an integer or a time as a double too
    std::string text;       // text, in UTF-8

    bool numeric() const { return kind == Kind::integer || kind == Kind::real || kind == Kind::time; }
    bool operator==(const Value&) const = default;
};

// One variable's outcome of a read.
struct Reading {
    int status = 0;       // 0, or the library's result (an ORVA_* or ORVAVARS_* code)
    int socketError = 0;  // with status -7
    Value value;          // kind none unless status is 0
    std::string display;  // the value as the tools print it ("1.5s", "18,52")
};

// Why a text is no variable: the message names the position.
struct NotationError {
    int code = 0;
    int position = 0;
    std::string message;
};

// What a read of the list costs.
struct ListPlan {
    int variables = 0;
    int calls = 0;
    int telegrams = 0;
    int bytes = 0;
};

// A value to write, as a JSON scalar carries it.
using WriteValue = std::variant<bool, long long, double, std::string>;

struct CallResult {
    int status = 0;
    int socketError = 0;
};

class VariableList {
public:
    VariableList();
    ~VariableList();
    VariableList(VariableList&&) noexcept;
    VariableList& operator=(VariableList&&) noexcept;

    // Parses and appends a variable; its index, or why it is none.
    std::variant<int, NotationError> add(const std::string& notation);
    int size() const;
    // Its spelling as the tools print it (DB10.DD30:KG).
    std::string spelling(int index) const;
    // False for the areas no write reaches (inputs).
    bool writableArea(int index) const;
    ListPlan plan();

    // Reads every variable through handle; readings get one entry per
    // variable. Bounded by the handle's time-outs.
    void read(int handle, std::vector<Reading>& readings);

    // Checks value against the variable's format and keeps it for the next
    // write; the library's reason when it does not fit.
    std::optional<std::string> setValue(int index, const WriteValue& value);
    // Writes every variable that has a value (a list of one: that one).
    CallResult write(int handle);

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

// A failed status in the one form of the tools and bindings (the library's):
// "socket error 10061 (WSAECONNREFUSED): connection refused: ... (ORVA_ERR_SOCKET, result -7)".
std::string describeStatus(int status, int socketError);
// Its C name: "ORVA_ERR_SOCKET", "ORVAVARS_ERR_INVALID_BCD".
std::string resultName(int status);

// Lost the connection, or never had it: the PLC as a whole is down.
bool isConnectionFailure(int status);

}  // namespace orvagate
