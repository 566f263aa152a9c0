/* SPDX-License-Identifier: Apache-2.0 */
// A program's command line, declared option by option and read with CLI11,
// the same way in every program: options as --name=value, --name value or
// -n value; "--" ends the options; a negative number is an operand. The
// handlers run in the order of the arguments, so that of two options given
// the later one counts; a handler refuses a value with UsageError. Faults of
// the form are said in the project's words ("unknown option '--x'", "option
// --port needs a value", "option --verbose takes no value", "unexpected
// argument 'x'"), and of several faults the first in the arguments' order;
// --help and --version, met before any fault, end the reading. The help is
// made of the declarations, between the program's own texts. A program with
// commands (orvacli) takes them among its operands.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace orva::command_line {

// A refused value, thrown by an option's handler with the line that says
// what is wrong ("repeat -1 is out of range (0..2147483647)").
struct UsageError {
    std::string message;
};

// orva::vars::readNumber for a handler: the number within [low, high], or UsageError
// with readNumber's words.
long long numberOrUsageError(std::string_view text, long long low, long long high, std::string_view what);

class CommandLine {
public:
    enum class Outcome { run, help, version, usageError };

    // intro: the help text before the options (usage, what the program does,
    // its operands); outro: after them (exit statuses, examples).
    CommandLine(std::string intro, std::string outro);
    ~CommandLine();
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;

    // The heading in the help of the options declared next.
    void group(std::string heading);
    // names as "-w,--words" or "--table". A description of several lines
    // continues under its first line.
    void flag(const std::string& names, std::string description, std::function<void()> handler);
    void option(const std::string& names, std::string valueName, std::string description,
                std::function<void(const std::string&)> handler);
    // Flags that each choose a value, as "--table{table},--hex{hex}": handler gets the value.
    void choiceFlags(const std::string& names, std::string description,
                     std::function<void(const std::string&)> handler);
    // The flags that end the reading with Outcome::help or Outcome::version.
    void helpFlag(const std::string& names, std::string description);
    void versionFlag(const std::string& names, std::string description);
    // Where the operands go, in order; without it an operand is refused.
    void operands(std::vector<std::string>& into);

    // args: the program's arguments without its name.
    Outcome read(const std::vector<std::string>& args);
    // After Outcome::usageError: the one line that says what is wrong.
    const std::string& error() const { return error_; }

    std::string help() const;

private:
    std::unique_ptr<CLI::App> app;
    const CLI::Option* helpOption = nullptr;
    const CLI::Option* versionOption = nullptr;
    std::string currentGroup = "Options";
    bool takesOperands = false;
    std::string error_;
};

}  // namespace orva::command_line
