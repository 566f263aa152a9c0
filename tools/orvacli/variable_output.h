/* SPDX-License-Identifier: Apache-2.0 */
// How orvacli shows the variables of get and set: a line per variable in the
// value text of the variables library, or one JSON object with a member per
// variable; failures per variable in the one form of every tool and binding.
#pragma once

#include <span>
#include <string>

#include "options.h"

namespace orvacli {

// What one round did to one variable: 0, or the failure of its call (and its
// socket error), or the library's own status (a BCD digit above 9).
struct VariableResult {
    int status = 0;
    int socketError = 0;
};

// Standard output of a round: "DB10.DD30:KG = 12.34567" for each variable that
// succeeded (the value read, or for set the value written), after "round N"
// when repeating; with json one object for all of them:
//   {"DB10.DD30:KG":{"value":12.345670700073242,"text":"12.34567"},
//    "MW20:KF":{"error":{"name":"ORVA_ERR_PLC","code":2,"socket_error":0,"message":"..."}}}
// ("round":N first when repeating). round counts from 1; 0 when not repeating.
std::string variablesOutput(const Options& request, std::span<const VariableResult> results, int round);

// Standard error of a round: a line per variable that failed,
// "orvacli: reading MW20:KF at 127.0.0.1 failed: <orva::vars::failureText>".
std::string variableFailures(const Options& request, std::span<const VariableResult> results);

// A variable's value as a JSON value: true or false, a number (a time in
// milliseconds, a real as the double it decodes to), or a string.
std::string jsonValue(const orva::vars::Value& value);

}  // namespace orvacli
