/* SPDX-License-Identifier: Apache-2.0 */
// A program of the project run as a user runs it, with its standard output
// and standard error collected and its exit status: for the tests of orvacli
// and orvasim. POSIX.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

#include "unique_handle.h"

namespace orvatest {

// A started program; killed and reaped when it goes while it still runs.
class RunningProgram {
public:
    // Throws std::runtime_error when the program cannot be started.
    RunningProgram(const std::string& program, const std::vector<std::string>& args);
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    // Collects output until standard output holds text; false when the
    // program closed its output or timeoutMs passed first.
    bool waitForOutput(std::string_view text, int timeoutMs);
    // Collects output until the program has closed both, then reaps it: its
    // exit status, or -1 when it ended by a signal or was not done within
    // timeoutMs (it is killed then).
    int wait(int timeoutMs = 10000);
    void signal(int number);

    const std::string& out() const { return out_; }
    const std::string& err() const { return err_; }

private:
    // Takes what the pipes hold, waiting at most timeoutMs; false once both are closed.
    bool collect(int timeoutMs);

    UniqueFd outPipe, errPipe;
    pid_t pid = -1;
    std::string out_, err_;
};

struct ProgramResult {
    int exitStatus = -1;  // -1 if it did not exit normally
    std::string out;
    std::string err;
};

// Runs program to its end (at most timeoutMs).
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& args, int timeoutMs = 60000);

}  // namespace orvatest
