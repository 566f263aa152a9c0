/* SPDX-License-Identifier: Apache-2.0 */
// Runs a program with arguments and collects its standard output, standard
// error and exit status.
#pragma once

#include <string>
#include <vector>

namespace clitest {

struct ProgramResult {
    int exitStatus = -1;  // -1 if it did not exit normally
    std::string out;
    std::string err;
};

// Runs program to its end.
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& args);

// Runs program, and once its standard output holds waitFor, sends it SIGINT;
// then collects it to its end. A program that never prints waitFor within
// giveUpMs is killed and reported with exit status -1.
ProgramResult runAndInterrupt(const std::string& program, const std::vector<std::string>& args,
                              const std::string& waitFor, int giveUpMs);

}  // namespace clitest
