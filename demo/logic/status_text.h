/* SPDX-License-Identifier: Apache-2.0 */
// The words in which the panel reports a library result.
#pragma once

#include <string>

namespace orvapanel {

// Text for a result code; socketError fills the socket-error text and is
// ignored for every other code.
std::string statusText(int result, int socketError);

// Every result but success is also shown in a message box.
bool showsMessageBox(int result);

// Only the socket-error text needs the handle's socket error number.
bool needsSocketError(int result);

}  // namespace orvapanel
