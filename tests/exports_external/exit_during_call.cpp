// SPDX-License-Identifier: Apache-2.0
// Ends the process while another thread waits inside ORVARdB for a reply that
// never comes. The process must end: on Windows the waiting thread is ended by
// the system before the library is detached, so nothing may wait for it (CTest
// bounds the run); on POSIX the exit waits for the call's receive time-out.
#include <chrono>
#include <cstdio>
#include <exception>
#include <thread>

#include "external_env.h"
#include "sim_control.h"

int main() {
    using namespace orvaext;
    constexpr int receiveTimeoutMs = 2000;
    constexpr int waitForRequestMs = 5000;
    const SocketLayer socketLayer;
    try {
        SimControl sim(simControl());
        sim.reset();
        sim.armReplyFault("silence");
        const int h = ORVAOpen(simAddress().c_str(), "", "", receiveTimeoutMs, 0, 0);
        if (h < 0) return 1;
        std::thread([h] {
            unsigned char b[2];
            (void)ORVARdB(h, 'M', 0, 0, 2, b);
        }).detach();
        Stopwatch watch;
        while (sim.requests().empty()) {
            if (watch.ms() > waitForRequestMs) {
                std::puts("the read never reached the adapter");
                return 1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::puts("exiting while a read waits for its reply");
        std::fflush(stdout);
        return 0;
    } catch (const std::exception& e) {
        std::printf("%s\n", e.what());
        return 1;
    }
}
