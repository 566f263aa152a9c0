// SPDX-License-Identifier: Apache-2.0
#include "var_list.h"

namespace orva::vars {

int VarList::add(std::string_view text, ParseError& error) {
    auto parsed = parseVariable(text);
    if (auto* e = std::get_if<ParseError>(&parsed)) {
        error = std::move(*e);
        return error.code;
    }
    return add(std::get<Variable>(parsed));
}

int VarList::add(const Variable& v) {
    if (size() >= ORVAVARS_MAX_VARIABLES) return ORVAVARS_ERR_TOO_MANY;
    variables_.push_back(v);
    current_.emplace_back();
    slotAt_.push_back(static_cast<int>(slots_.size()));
    slotSize_.push_back(textSlotSize(v));
    slots_.resize(slots_.size() + static_cast<std::size_t>(slotSize_.back()));
    encoded_.emplace_back();
    plan_.reset();
    return size() - 1;
}

void VarList::setGap(int bytes) {
    gap = bytes;
    plan_.reset();
}

const ReadPlan& VarList::plan() {
    if (!plan_) {
        plan_ = planRead(variables_, gap);
        image_.assign(static_cast<std::size_t>(plan_->imageBytes), 0);
        words_.assign(static_cast<std::size_t>(plan_->wordCount), 0);
        callResults_.assign(plan_->calls.size(), ORVAVARS_ERR_NOT_TRIED);
        callSocketErrors_.assign(plan_->calls.size(), 0);
    }
    return *plan_;
}

int VarList::decode(int i, std::span<const std::uint8_t> bytes) {
    const auto at = static_cast<std::size_t>(i);
    const Variable& v = variables_[at];
    const std::span<char> slot(slots_.data() + slotAt_[at], static_cast<std::size_t>(slotSize_[at]));
    Current& c = current_[at];
    c.status = decodeValue(v, bytes, slot, c.value);
    c.socketError = 0;
    return c.status;
}

void VarList::setStatus(int i, int status, int socketError) {
    Current& c = current_[static_cast<std::size_t>(i)];
    c.status = status;
    c.socketError = socketError;
    c.value = Value{};
}

int VarList::setValue(int i, const Value& value, std::string& message) {
    const auto at = static_cast<std::size_t>(i);
    const Variable& v = variables_[at];
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(v.byteCount));
    const int status = encodeValue(v, value, EncodeOptions{roundTimes}, bytes, message);
    if (status != ORVAVARS_OK) {
        encoded_[at].clear();
        setStatus(i, ORVAVARS_ERR_NO_VALUE, 0);
        return status;
    }
    encoded_[at] = std::move(bytes);
    decode(i, encoded_[at]);
    return ORVAVARS_OK;
}

int VarList::setText(int i, std::string_view text, std::string& message) {
    std::string storage;
    Value value;
    const int status = valueFromText(variables_[static_cast<std::size_t>(i)], text, storage, value, message);
    if (status != ORVAVARS_OK) {
        encoded_[static_cast<std::size_t>(i)].clear();
        setStatus(i, ORVAVARS_ERR_NO_VALUE, 0);
        return status;
    }
    return setValue(i, value, message);
}

}  // namespace orva::vars
