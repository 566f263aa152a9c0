// SPDX-License-Identifier: Apache-2.0
#include "scripted_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "wire_format.h"

namespace orvatest {
namespace {

constexpr int peerWaitMs = 5000;

bool waitReadable(int fd, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) > 0;
}

void readExactly(int fd, std::uint8_t* out, std::size_t n) {
    if (fd < 0) throw std::runtime_error("peer: connection was reset");
    std::size_t got = 0;
    while (got < n) {
        if (!waitReadable(fd, peerWaitMs)) throw std::runtime_error("peer: nothing arrived");
        const ssize_t r = ::recv(fd, out + got, n - got, 0);
        if (r <= 0) throw std::runtime_error("peer: client closed");
        got += static_cast<std::size_t>(r);
    }
}

int listenOn(const std::string& address, std::uint16_t port, int backlog) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, backlog) != 0) {
        const std::string why = std::strerror(errno);
        ::close(fd);
        throw std::runtime_error("cannot listen on " + address + ": " + why);
    }
    return fd;
}

}  // namespace

Bytes PeerLink::readTpkt() {
    Bytes packet(orva::wire::tpktHeaderSize);
    readExactly(fd(), packet.data(), packet.size());
    const std::size_t length = orva::wire::readBe16(&packet[orva::wire::tpktLengthOffset]);
    if (length < orva::wire::tpktHeaderSize) throw std::runtime_error("peer: bad TPKT length");
    packet.resize(length);
    readExactly(fd(), packet.data() + orva::wire::tpktHeaderSize, length - orva::wire::tpktHeaderSize);
    return packet;
}

void PeerLink::send(const Bytes& bytes) {
    if (::send(fd(), bytes.data(), bytes.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(bytes.size()))
        throw std::runtime_error("peer: send failed");
}

void PeerLink::confirm() { send(orva::wire::connectConfirm()); }

void PeerLink::acknowledge(bool fetch, const Bytes& data, std::uint8_t errorByte) {
    send(acknowledgement(fetch, data, errorByte));
}

void PeerLink::reset() {
    const int s = fd_->exchange(-1);
    if (s < 0) return;
    linger l{1, 0};
    ::setsockopt(s, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    ::close(s);
}

void PeerLink::closeOrderly() { ::shutdown(fd(), SHUT_WR); }

bool PeerLink::waitForClientEnd(bool& wasReset, int timeoutMs) {
    std::uint8_t sink[64];
    for (;;) {
        if (!waitReadable(fd(), timeoutMs)) return false;
        const ssize_t r = ::recv(fd(), sink, sizeof sink, 0);
        if (r > 0) continue;
        wasReset = r < 0 && errno == ECONNRESET;
        return true;
    }
}

struct ScriptedPeer::Impl {
    int listener = -1;
    std::atomic<bool> stopping{false};
    mutable std::mutex mutex;
    Script script;
    std::vector<std::string> errors;
    std::vector<std::thread> workers;
    std::vector<std::shared_ptr<std::atomic<int>>> links;
    std::atomic<int> accepted{0};
    std::thread acceptor;

    void acceptLoop() {
        while (!stopping) {
            if (!waitReadable(listener, 50)) continue;
            const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            ++accepted;
            std::lock_guard lock(mutex);
            auto shared = std::make_shared<std::atomic<int>>(fd);
            links.push_back(shared);
            workers.emplace_back([this, shared, s = script] {
                try {
                    PeerLink link(shared);
                    if (s) s(link);
                } catch (const std::exception& e) {
                    std::lock_guard l(mutex);
                    errors.emplace_back(e.what());
                }
            });
        }
    }
};

ScriptedPeer::ScriptedPeer(std::string address, std::uint16_t port) : impl_(std::make_unique<Impl>()) {
    impl_->listener = listenOn(address, port, 16);
    impl_->acceptor = std::thread([this] { impl_->acceptLoop(); });
}

ScriptedPeer::~ScriptedPeer() {
    impl_->stopping = true;
    impl_->acceptor.join();
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(impl_->mutex);
        for (auto& fd : impl_->links)
            if (const int s = fd->load(); s >= 0) ::shutdown(s, SHUT_RDWR);
        workers.swap(impl_->workers);
    }
    for (auto& w : workers) w.join();
    for (auto& fd : impl_->links)
        if (const int s = fd->exchange(-1); s >= 0) ::close(s);
    ::close(impl_->listener);
}

void ScriptedPeer::onConnection(Script script) {
    std::lock_guard lock(impl_->mutex);
    impl_->script = std::move(script);
}

int ScriptedPeer::connectionsAccepted() const { return impl_->accepted; }

std::vector<std::string> ScriptedPeer::scriptErrors() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->errors;
}

BlackHoleListener::BlackHoleListener(std::string address) {
    listener_ = listenOn(address, orva::wire::isoTcpPort, 0);
    // Fill the accept queue: once a probe cannot complete, further SYNs are dropped.
    for (int i = 0; i < 8; ++i) {
        const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(orva::wire::isoTcpPort);
        ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
        ::connect(probe, reinterpret_cast<sockaddr*>(&a), sizeof a);
        probes_.push_back(probe);
        pollfd p{probe, POLLOUT, 0};
        if (::poll(&p, 1, 300) == 0) break;
    }
}

BlackHoleListener::~BlackHoleListener() {
    for (int fd : probes_) ::close(fd);
    ::close(listener_);
}

Bytes bytesOf(const std::string& text) {
    Bytes out;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        out.push_back(static_cast<std::uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return out;
}

}  // namespace orvatest
