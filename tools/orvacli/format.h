// How orvacli shows values, results and failures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "options.h"

namespace orvacli {

// Exit statuses (64 is the EX_USAGE of sysexits.h).
enum ExitStatus : int { exitSuccess = 0, exitOtherFailure = 1, exitPlcError = 2, exitConnectionFailure = 3, exitUsage = 64 };

// The exit status for a library result code.
int exitStatusFor(int result);

// A failed call in words: the result (ORVAResultName) and its code, led by
// the socket error number and its text (ORVASocketErrorText) for -7.
std::string describeFailure(int result, int socketError);

// Address texts as the PLC's own notation writes them: the label of an area and
// unit ("MB", "EW", "DB 5 DW", "T "), and one element's address ("DB 5 DW3").
std::string addressLabel(const Area& area, Unit unit);
std::string elementAddress(const Options& request, int index);

// The printable characters of one element, quoted ('A'; a word shows its
// low-order byte first), or "" when any byte is not printable.
std::string printableText(std::uint16_t value, Unit unit);

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
// The failure line for standard error ("orvacli: ..."), and for json the
// object for standard output.
std::string failureMessage(const Options& request, const Outcome& outcome);
std::string failureJson(const Options& request, const Outcome& outcome, int round);
// The closing line of a repeated run.
std::string repeatSummary(int rounds, int failures);

}  // namespace orvacli
