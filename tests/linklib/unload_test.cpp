// SPDX-License-Identifier: Apache-2.0
// Unloading the library closes every open handle as ORVAClose does: the
// adapter sees each connection reset, whether the library is unloaded with
// dlclose or goes away with the process.
#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <thread>

#include "scripted_peer.h"
#include "loopback_addresses.h"

using namespace orvatest;

namespace {

constexpr const char* peerAddress = orvatest::address::unloadPeer;
constexpr int handlesInChild = 3;

using OpenFn = int (*)(const char*, const char*, const char*, int, int, int);
using ReadBytesFn = int (*)(int, int, int, int, int, unsigned char*);

// Counts the connections that ended, and how.
struct EndCounter {
    std::atomic<int> resets{0}, orderly{0};
    int total() const { return resets + orderly; }
};

void serveOneReadThenWatchTheEnd(ScriptedPeer& peer, EndCounter& ends) {
    peer.onConnection([&ends](PeerLink& link) {
        link.readTpkt();
        link.confirm();
        link.readTpkt();
        link.acknowledge(true, {7});
        bool reset = false;
        if (link.waitForClientEnd(reset, 10000)) ++(reset ? ends.resets : ends.orderly);
    });
}

// In the child: load the library, open and connect handles, then unload it
// with dlclose (or not), report on the pipe, and wait to be told to exit.
[[noreturn]] void child(bool useDlclose, int reportFd, int goFd) {
    void* library = ::dlopen(ORVANET_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) ::_exit(10);
    auto open = reinterpret_cast<OpenFn>(::dlsym(library, "ORVAOpen"));
    auto read = reinterpret_cast<ReadBytesFn>(::dlsym(library, "ORVARdB"));
    if (open == nullptr || read == nullptr) ::_exit(11);
    for (int i = 0; i < handlesInChild; ++i) {
        const int h = open(peerAddress, "", "", 1000, 1000, 1000);
        unsigned char b = 0;
        if (h < 0 || read(h, 'E', 0, 0, 1, &b) != 0 || b != 7) ::_exit(12);
    }
    if (!useDlclose) std::exit(0);  // static termination runs as the process ends
    if (::dlclose(library) != 0) ::_exit(13);
    char c = 'u';
    (void)!::write(reportFd, &c, 1);
    (void)!::read(goFd, &c, 1);
    ::_exit(0);
}

bool waitFor(const std::function<bool()>& condition, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += 10) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

}  // namespace

TEST(Unload, DlcloseResetsEveryOpenConnectionWhileTheProcessLives) {
    ScriptedPeer peer(peerAddress);
    EndCounter ends;
    serveOneReadThenWatchTheEnd(peer, ends);
    int report[2], go[2];
    ASSERT_EQ(::pipe(report), 0);
    ASSERT_EQ(::pipe(go), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) child(true, report[1], go[0]);

    char c = 0;
    ASSERT_EQ(::read(report[0], &c, 1), 1) << "the child could not unload the library";
    EXPECT_TRUE(waitFor([&] { return ends.total() == handlesInChild; }, 3000));
    EXPECT_EQ(ends.resets, handlesInChild) << "each connection ends with a reset before the process does";
    ASSERT_EQ(::write(go[1], "x", 1), 1);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    for (int fd : {report[0], report[1], go[0], go[1]}) ::close(fd);
}

TEST(Unload, ProcessExitResetsEveryOpenConnection) {
    ScriptedPeer peer(peerAddress);
    EndCounter ends;
    serveOneReadThenWatchTheEnd(peer, ends);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) child(false, -1, -1);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_TRUE(waitFor([&] { return ends.total() == handlesInChild; }, 3000));
    EXPECT_EQ(ends.resets, handlesInChild);
}
