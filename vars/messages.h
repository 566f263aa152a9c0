/* SPDX-License-Identifier: Apache-2.0 */
// The names and words of every result and socket error, and the one form in
// which the tools and every binding report a failed call.
#pragma once

#include <string>
#include <string_view>

namespace orva::vars {

// The C name of a result: "ORVA_ERR_SOCKET", "ORVAVARS_ERR_INVALID_BCD"; "" for
// a code neither header lists.
std::string_view resultName(int code);
// Its words: ORVAResultName's for liborvanet's codes.
std::string_view resultText(int code);
// The name of a socket error number as the header spells it without its
// ORVA_ prefix ("WSAECONNREFUSED"); "" for a number it does not list.
std::string_view socketErrorName(int number);

// What a failed call reports, after "<what was asked> failed: ":
//   socket error 10061 (WSAECONNREFUSED): connection refused: ... (ORVA_ERR_SOCKET, result -7)
//   the connection was dropped: ... (ORVA_ERR_DROPPED, result -1)
// The socket error is named only with ORVA_ERR_SOCKET, whose cause it is.
std::string failureText(int result, int socketError);

}  // namespace orva::vars
