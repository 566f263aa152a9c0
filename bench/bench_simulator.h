// SPDX-License-Identifier: Apache-2.0
// The benchmarks' adapter: one simulator in the benchmark's own process,
// started on first use and prepared once, before any benchmark talks to it.
#pragma once

#include <memory>

#include "sim_server.h"

namespace orvabench {

template <typename Prepare>
orvasim::Server& processSimulator(const char* address, Prepare prepare) {
    static const std::unique_ptr<orvasim::Server> server = [&] {
        auto s = orvasim::Server::startedOn(address);
        prepare(*s);
        return s;
    }();
    return *server;
}

}  // namespace orvabench
