/* SPDX-License-Identifier: Apache-2.0 */
// A command line read an argument at a time, the same way in every program:
// options as --name=value, --name value or -n value; everything else is an
// operand, and so is a negative number; "--" ends the options.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace orva::notation {

class ArgumentReader {
public:
    explicit ArgumentReader(std::vector<std::string> args) : args_(std::move(args)) {}

    // True when no argument is left (a "--" that ends the options is taken here).
    bool done();

    // Takes the next argument. True for an option, whose name() is then set;
    // false for an operand, whose text is operand().
    bool next();
    const std::string& name() const { return name_; }
    // The options every program takes: -h or --help, -V or --version.
    bool isHelp() const { return name_ == "-h" || name_ == "--help"; }
    bool isVersion() const { return name_ == "-V" || name_ == "--version"; }
    const std::string& operand() const { return operand_; }

    // The value of the option just taken: the text after its '=', or the next
    // argument. Nothing when there is none, with "option NAME needs a value".
    std::optional<std::string> value(std::string& error);
    // True when the option just taken came without "=value"; otherwise false,
    // with "option NAME takes no value".
    bool noValue(std::string& error) const;

private:
    std::vector<std::string> args_;
    std::size_t at_ = 0;
    bool optionsEnded_ = false;
    std::string name_;
    std::string operand_;
    std::optional<std::string> inlineValue_;
};

}  // namespace orva::notation
