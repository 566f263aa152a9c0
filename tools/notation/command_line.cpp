// SPDX-License-Identifier: Apache-2.0
#include "command_line.h"

#include <cctype>

namespace orva::notation {
namespace {

bool isNegativeNumber(const std::string& arg) {
    return arg.size() > 1 && arg[0] == '-' && std::isdigit(static_cast<unsigned char>(arg[1]));
}

}  // namespace

bool ArgumentReader::done() {
    if (!optionsEnded_ && at_ < args_.size() && args_[at_] == "--") {
        optionsEnded_ = true;
        ++at_;
    }
    return at_ >= args_.size();
}

bool ArgumentReader::next() {
    std::string arg = args_[at_++];
    inlineValue_.reset();
    if (optionsEnded_ || arg.size() < 2 || arg[0] != '-' || isNegativeNumber(arg)) {
        operand_ = arg;
        return false;
    }
    if (const std::size_t eq = arg.find('='); arg.starts_with("--") && eq != std::string::npos) {
        inlineValue_ = arg.substr(eq + 1);
        arg.resize(eq);
    }
    name_ = arg;
    return true;
}

std::optional<std::string> ArgumentReader::value(std::string& error) {
    if (inlineValue_) return inlineValue_;
    if (at_ >= args_.size()) {
        error = "option " + name_ + " needs a value";
        return std::nullopt;
    }
    return args_[at_++];
}

bool ArgumentReader::noValue(std::string& error) const {
    if (!inlineValue_) return true;
    error = "option " + name_ + " takes no value";
    return false;
}

}  // namespace orva::notation
