/* SPDX-License-Identifier: Apache-2.0 */
// A list's read and write carried out with liborvanet's calls: the only code
// of orvavars that makes traffic.
#pragma once

#include <span>
#include <vector>

#include "var_list.h"

namespace orva::vars {

// Reads every variable of the list in its planned calls; each one's current
// value and status come from its call. Returns 0; the result of the first
// call that failed; or, when every call succeeded, the status of the first
// variable (in list order) that did not decode.
int readList(int handle, VarList& list);

struct WriteOutcome {
    int status = ORVAVARS_OK;
    int socketError = 0;
};
// Writes every variable with a value; outcomes gets one entry per variable.
// Returns 0; the result of the first call that failed; or the status of the
// first variable that was not written.
int writeList(int handle, VarList& list, std::vector<WriteOutcome>& outcomes);

// After these results the connection is gone (or the handle is): the rest of a
// list's calls are not made.
bool lostConnection(int result);

}  // namespace orva::vars
