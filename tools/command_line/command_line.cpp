// SPDX-License-Identifier: Apache-2.0
#include "command_line.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>

#include "notation.h"

namespace orva::command_line {
namespace {

// Where a description starts in the help.
constexpr std::size_t descriptionColumn = 28;

// Thrown by the help and version flags, to end the reading where they stand.
struct Stop {
    CommandLine::Outcome outcome;
};

bool isNegativeNumber(const std::string& arg) {
    return arg.size() > 1 && arg[0] == '-' && std::isdigit(static_cast<unsigned char>(arg[1]));
}

bool looksLikeOption(const std::string& arg) { return arg.size() > 1 && arg[0] == '-' && !isNegativeNumber(arg); }

// Options in the help as "  -b, --bytes  ..." or "      --own-tsap NAME  ...", in the
// program's order, under the heading of their group; the program's texts around them.
class HelpLayout : public CLI::Formatter {
public:
    std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode) const override {
        std::string text = app->get_description();
        for (const std::string& group : app->get_groups()) {
            if (group.empty()) continue;
            text += "\n" + group + ":\n";
            for (const CLI::Option* o :
                 app->get_options([&](const CLI::Option* candidate) { return candidate->get_group() == group; }))
                text += make_option(o, false);
        }
        return text + app->get_footer();
    }

    std::string make_option(const CLI::Option* o, bool) const override {
        std::string line = o->get_snames().empty() ? "      " : "  -" + o->get_snames().front() + ", ";
        for (std::size_t i = 0; i < o->get_lnames().size(); ++i) line += (i ? ", --" : "--") + o->get_lnames()[i];
        if (!o->get_option_text().empty()) line += " " + o->get_option_text();
        line += std::string(line.size() + 2 > descriptionColumn ? 2 : descriptionColumn - line.size(), ' ');
        for (const char c : o->get_description())
            line += c == '\n' ? "\n" + std::string(descriptionColumn, ' ') : std::string(1, c);
        return line + "\n";
    }
};

}  // namespace

long long numberOrUsageError(std::string_view text, long long low, long long high, std::string_view what) {
    std::string error;
    const auto value = vars::readNumber(text, low, high, what, error);
    if (!value) throw UsageError{error};
    return *value;
}

CommandLine::CommandLine(std::string intro, std::string outro) : app(std::make_unique<CLI::App>(std::move(intro))) {
    app->set_help_flag();  // the program's own, below
    app->footer(std::move(outro));
    app->formatter(std::make_shared<HelpLayout>());
}

CommandLine::~CommandLine() = default;

void CommandLine::group(std::string heading) { currentGroup = std::move(heading); }

void CommandLine::flag(const std::string& names, std::string description, std::function<void()> handler) {
    app->add_flag_callback(names, std::move(handler), std::move(description))->group(currentGroup)->trigger_on_parse();
}

void CommandLine::option(const std::string& names, std::string valueName, std::string description,
                         std::function<void(const std::string&)> handler) {
    app->add_option_function<std::string>(names, std::move(handler), std::move(description))
        ->option_text(std::move(valueName))
        ->group(currentGroup)
        ->trigger_on_parse();
}

void CommandLine::choiceFlags(const std::string& names, std::string description,
                              std::function<void(const std::string&)> handler) {
    app->add_flag(names)
        ->description(std::move(description))
        ->group(currentGroup)
        ->each(std::move(handler))
        ->trigger_on_parse();
}

void CommandLine::helpFlag(const std::string& names, std::string description) {
    flag(names, std::move(description), [] { throw Stop{Outcome::help}; });
    helpOption = app->get_option_no_throw(names.substr(0, names.find(',')));
}

void CommandLine::versionFlag(const std::string& names, std::string description) {
    flag(names, std::move(description), [] { throw Stop{Outcome::version}; });
    versionOption = app->get_option_no_throw(names.substr(0, names.find(',')));
}

void CommandLine::operands(std::vector<std::string>& into) {
    app->add_option("operands", into)->group("");
    takesOperands = true;
}

CommandLine::Outcome CommandLine::read(const std::vector<std::string>& args) {
    auto fail = [this](std::string message) {
        error_ = std::move(message);
        return Outcome::usageError;
    };
    // The form is checked here, before CLI11 reads it: CLI11 would take "--name=" as
    // "--name" and its value from the next argument, accept a value on a flag, and
    // word these faults in its own way.
    // Of a fault of the form, CLI11 reads only the arguments before it, so that the
    // first fault in their order is the one reported.
    std::vector<std::string> checked;
    std::string fault;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size() && fault.empty(); ++i) {
        const std::string& arg = args[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
            checked.push_back(arg);
            continue;
        }
        if (optionsEnded || !looksLikeOption(arg)) {
            if (!takesOperands) {
                fault = "unexpected argument '" + arg + "'";
                break;
            }
            checked.push_back(arg);
            continue;
        }
        // "--name", "--name=value" or "-n"; a short one stands alone ("-n5" and "-wb" are unknown).
        const std::size_t eq = arg.starts_with("--") ? arg.find('=') : std::string::npos;
        const std::string name = arg.substr(0, eq);
        const CLI::Option* o = name.starts_with("--") || name.size() == 2 ? app->get_option_no_throw(name) : nullptr;
        if (o == nullptr) {
            fault = "unknown option '" + name + "'";
            break;
        }
        if (o == helpOption || o == versionOption) {
            checked.insert(checked.end(), args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
            break;  // it ends the reading where it stands
        }
        const bool takesValue = o->get_items_expected_max() > 0;
        if (eq != std::string::npos && !takesValue) {
            fault = "option " + name + " takes no value";
        } else if (eq != std::string::npos && eq + 1 == arg.size()) {
            checked.insert(checked.end(), {name, ""});  // an empty value
        } else if (takesValue && eq == std::string::npos) {
            if (i + 1 == args.size())
                fault = "option " + name + " needs a value";
            else
                checked.insert(checked.end(), {arg, args[++i]});  // whatever it looks like
        } else {
            checked.push_back(arg);
        }
    }
    try {
        std::reverse(checked.begin(), checked.end());  // CLI11 takes them from the back
        app->parse(checked);
    } catch (const Stop& stop) {
        return stop.outcome;
    } catch (const UsageError& e) {
        return fail(e.message);
    } catch (const CLI::ParseError& e) {
        return fail(e.what());  // nothing checked above leads here; CLI11's own words all the same
    }
    return fault.empty() ? Outcome::run : fail(fault);
}

std::string CommandLine::help() const { return app->help(); }

}  // namespace orva::command_line
