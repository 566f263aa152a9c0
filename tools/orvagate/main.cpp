// SPDX-License-Identifier: Apache-2.0
// orvagate: the gateway's command line and its life: read and check the
// configuration, run until SIGTERM or SIGINT, reload on SIGHUP.
#include "config_file.h"
#include "gateway.h"
#include "log.h"

#include <CLI/CLI.hpp>

#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <iostream>

namespace {

using namespace orvagate;
using Clock = std::chrono::steady_clock;

constexpr int exitSuccess = 0;
constexpr int exitFailure = 1;
constexpr int exitUsage = 64;  // also a configuration with errors: nothing was started
// SIGTERM to exit: the offline message and the threads get this long.
constexpr Milliseconds stopBudget{700};

void printErrors(const std::vector<ConfigError>& errors) {
    for (const ConfigError& e : errors) std::fprintf(stderr, "%s\n", describe(e).c_str());
    std::fprintf(stderr, "%zu error%s: nothing was started\n", errors.size(), errors.size() == 1 ? "" : "s");
}

std::string reloadErrors(const std::vector<ConfigError>& errors) {
    std::string text;
    for (const ConfigError& e : errors) text += "\n  " + describe(e);
    return text;
}

void applyLogLevel(const Config& config, const std::optional<LogLevel>& commandLine) {
    setLogLevel(commandLine ? *commandLine : config.logLevel.value_or(LogLevel::info));
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"orvagate: publishes the variables of S5 PLCs to an MQTT broker, and writes the ones it may"};
    std::string file;
    bool check = false;
    std::string level;
    app.add_option("CONFIG", file, "the configuration file (TOML), e.g. /etc/orvanet/orvagate.toml")->required();
    app.add_flag("--check", check, "check the file and print what it sets up; exit 0 when it is good, 64 when not");
    app.add_option("--log-level", level, "error, warning, info or debug (overrides the file's)");
    app.set_version_flag("-V,--version", "orvagate " ORVA_VERSION);
    app.footer(
        "Signals: SIGHUP reloads CONFIG (a file with errors is not taken: the old one stays);\n"
        "SIGTERM and SIGINT publish offline and stop.\n"
        "Exit status: 0 stopped by a signal (or --check of a good file), 1 failure, 64 bad usage or configuration.");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e);
        return status == 0 ? exitSuccess : exitUsage;
    }
    std::optional<LogLevel> commandLineLevel;
    if (!level.empty()) {
        commandLineLevel = logLevelNamed(level);
        if (!commandLineLevel) {
            std::fprintf(stderr, "orvagate: --log-level %s: use %s\n", level.c_str(),
                         std::string(logLevelNames).c_str());
            return exitUsage;
        }
    }

    ConfigResult loaded = readConfigFile(file);
    if (auto* errors = std::get_if<std::vector<ConfigError>>(&loaded)) {
        printErrors(*errors);
        return exitUsage;
    }
    Config config = std::get<Config>(std::move(loaded));
    if (check) {
        std::fputs(configSummary(config).c_str(), stdout);
        return exitSuccess;
    }
    applyLogLevel(config, commandLineLevel);

    // The signals go to the main thread's sigwait alone: blocked before any thread starts.
    sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&signals, s);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    auto gateway = std::make_unique<Gateway>(ORVA_VERSION);
    try {
        logInfo("orvagate " ORVA_VERSION " starting: " + std::to_string(config.plcs.size()) + " PLCs from " + file);
        gateway->start(std::move(config));
    } catch (const std::exception& e) {
        logError(std::string("cannot start: ") + e.what());
        return exitFailure;
    }

    int received = 0;
    for (;;) {
        sigwait(&signals, &received);
        if (received != SIGHUP) break;
        ConfigResult next = readConfigFile(file);
        if (auto* errors = std::get_if<std::vector<ConfigError>>(&next)) {
            logError("SIGHUP: " + file + " has errors; the configuration in force stays:" + reloadErrors(*errors));
            continue;
        }
        Config fresh = std::get<Config>(std::move(next));
        applyLogLevel(fresh, commandLineLevel);
        const std::size_t plcs = fresh.plcs.size();
        try {
            gateway->reload(std::move(fresh));
            logInfo("SIGHUP: reloaded " + file + ": " + std::to_string(plcs) + " PLCs");
        } catch (const std::exception& e) {
            logError(std::string("SIGHUP: cannot reload: ") + e.what());
        }
    }

    const Clock::time_point deadline = Clock::now() + stopBudget;
    logInfo(std::string(received == SIGINT ? "SIGINT" : "SIGTERM") + ": stopping");
    if (!gateway->stop(deadline)) {
        // A worker inside a library call that outlasts the budget (a long
        // connect time-out): not waited for. The kernel closes its socket.
        logWarning("stopped without waiting for a PLC still inside a library call");
        std::fflush(nullptr);
        _exit(exitSuccess);
    }
    gateway.reset();
    logInfo("stopped");
    return exitSuccess;
}
