/* SPDX-License-Identifier: Apache-2.0 */
// What the server's interface (sim_server.h) and its inner parts (sim_state.h,
// the sessions) both speak of: the options a server runs with, and how a
// connection it recorded ended. Here, so that the inner parts need nothing of
// the interface above them.
#pragma once

#include <cstdint>
#include <string>

namespace orvasim {

struct Options {
    std::string address = "127.0.0.1";
    std::uint16_t port = 102;
    bool verbose = false;  // a readable trace of every telegram on stderr
    int backlog = 64;
};

// How a connection ended, as the adapter saw it.
enum class ConnectionEnd { open, orderlyClose, reset };

}  // namespace orvasim
