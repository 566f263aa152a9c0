/* SPDX-License-Identifier: Apache-2.0 */
// How orvacli shows values, results and failures.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "options.h"

namespace orvacli {

// Exit statuses (64 is the EX_USAGE of sysexits.h).
enum ExitStatus : int {
    exitSuccess = 0,
    exitOtherFailure = 1,
    exitPlcError = 2,
    exitConnectionFailure = 3,
    exitUsage = 64
};

// The exit status for a library result code.
int exitStatusFor(int result);

// A text as a JSON string, with its quotes.
std::string jsonString(std::string_view text);

// One element's address as the PLC's own notation writes it ("DB 5 DW3").
std::string elementAddress(const Options& request, int index);

// What one request did. values hold the bytes or words read; socketError is
// only meaningful for a failed result.
struct Outcome {
    int result = 0;
    int socketError = 0;
    std::vector<std::uint16_t> values;
};

// Output of a successful read or write, in the chosen format, ending in a
// newline (or empty: a write prints nothing in hex format). round counts from 1
// and appears only when repeating.
std::string formatSuccess(const Options& request, const Outcome& outcome, int round);
// The failure line for standard error ("orvacli: reading ... failed: " and the
// one form of every tool and binding, orva::vars::failureText), and for json
// the object for standard output.
std::string failureMessage(const Options& request, const Outcome& outcome);
std::string failureJson(const Options& request, const Outcome& outcome, int round);
// The closing line of a repeated run.
std::string repeatSummary(int rounds, int failures);

}  // namespace orvacli
