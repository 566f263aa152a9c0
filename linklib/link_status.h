/* SPDX-License-Identifier: Apache-2.0 */
// Protocol status of a handle's last operation, as the data calls report it.
#pragma once

namespace orva::LinkStatus {
inline constexpr int none = 0;
inline constexpr int dropped = -1;      // an exchange failed and the connection was dropped
inline constexpr int setupFailed = -6;  // TCP connect, connection request or confirm failed
inline constexpr int plcError = 2;      // the acknowledgement carried a nonzero error byte
}  // namespace orva::LinkStatus
