/* SPDX-License-Identifier: Apache-2.0 */
// A list of variables: what they are, their options, the plan of their read
// with the buffers it needs (made once, reused by every read), and each one's
// current value, status and value to write. No traffic here: transfer.cpp
// carries a list's reads and writes out through liborvanet.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "plan.h"
#include "values.h"

namespace orva::vars {

struct Current {
    Value value;
    int status = ORVAVARS_ERR_NO_VALUE;
    int socketError = 0;
};

class VarList {
public:
    // Moved, never copied: a value's text views the list's own slots.
    VarList() = default;
    VarList(const VarList&) = delete;
    VarList& operator=(const VarList&) = delete;
    VarList(VarList&&) = default;
    VarList& operator=(VarList&&) = default;

    // Parses and appends; the index, or an error code with error filled.
    int add(std::string_view text, ParseError& error);
    int add(const Variable& v);
    int size() const { return static_cast<int>(variables_.size()); }
    const Variable& variable(int i) const { return variables_[static_cast<std::size_t>(i)]; }
    const std::vector<Variable>& variables() const { return variables_; }

    int gap = ORVAVARS_DEFAULT_GAP;
    bool roundTimes = false;
    bool noModify = false;
    void setGap(int bytes);

    // The read plan, made when first asked for after a change.
    const ReadPlan& plan();
    // The plan's buffers: the bytes of every call in the PLC's order, and one
    // call's words as the library gives them.
    std::vector<std::uint8_t>& image() { return image_; }
    std::vector<std::uint16_t>& words() { return words_; }
    // Each call's result and socket error in the last read.
    std::vector<int>& callResults() { return callResults_; }
    std::vector<int>& callSocketErrors() { return callSocketErrors_; }

    // Decodes variable i from its bytes into its current value.
    int decode(int i, std::span<const std::uint8_t> bytes);
    void setStatus(int i, int status, int socketError);
    const Current& current(int i) const { return current_[static_cast<std::size_t>(i)]; }

    // The value to write: checked and encoded at once. The current value
    // becomes what those bytes read as.
    int setValue(int i, const Value& value, std::string& message);
    int setText(int i, std::string_view text, std::string& message);
    bool hasValue(int i) const { return !encoded_[static_cast<std::size_t>(i)].empty(); }
    std::span<const std::uint8_t> encoded(int i) const { return encoded_[static_cast<std::size_t>(i)]; }

private:
    std::vector<Variable> variables_;
    std::vector<Current> current_;
    std::vector<int> slotAt_;  // per variable: its text slot in slots_, and its size
    std::vector<int> slotSize_;
    std::vector<char> slots_;
    std::vector<std::vector<std::uint8_t>> encoded_;
    std::optional<ReadPlan> plan_;
    std::vector<std::uint8_t> image_;
    std::vector<std::uint16_t> words_;
    std::vector<int> callResults_;
    std::vector<int> callSocketErrors_;
};

}  // namespace orva::vars
