// SPDX-License-Identifier: Apache-2.0
// The adapter simulator: an accept thread and one thread per connection (a
// Session, sim_session.h). Every blocking wait polls a wake-up pipe as well,
// so stop() ends all threads at once by writing one byte into it.
#include "sim_server.h"

#include <stdexcept>

#include "sim_session.h"
#include "sim_state.h"

#include <arpa/inet.h>
#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <utility>

namespace orvasim {

namespace w = orva::wire;

void ServerState::trace(int connection, const char* format, ...) {
    if (!options.verbose) return;
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::lock_guard lock(traceMutex);
    std::fprintf(stderr, "orvasim #%d %s\n", connection, text);
    std::fflush(stderr);
}

void ServerState::recordTelegram(std::vector<std::vector<std::uint8_t>>& list, std::span<const std::uint8_t> telegram) {
    std::lock_guard lock(recordMutex);
    list.emplace_back(telegram.begin(), telegram.end());
}

void ServerState::recordEnd(int number, ConnectionEnd end) {
    std::lock_guard lock(recordMutex);
    --openCount;
    int index = number - recordBase;
    if (index >= 0 && index < static_cast<int>(ends.size()) &&
        ends[static_cast<std::size_t>(index)] == ConnectionEnd::open)
        ends[static_cast<std::size_t>(index)] = end;
    recordChanged.notify_all();
}

void ServerState::acceptLoop() {
    for (;;) {
        pollfd fds[2] = {{listener.socket.get(), POLLIN, 0}, {listener.wakeRead.get(), POLLIN, 0}};
        int r = ::poll(fds, 2, -1);
        if (stopping || (r > 0 && fds[1].revents)) return;
        if (r <= 0 || !(fds[0].revents & POLLIN)) continue;
        sockaddr_in peer{};
        socklen_t peerLength = sizeof peer;
        FileDescriptor socket(::accept(listener.socket.get(), reinterpret_cast<sockaddr*>(&peer), &peerLength));
        if (!socket) continue;

        int number;
        {
            std::lock_guard lock(recordMutex);
            number = ++totalAccepted;
            ends.push_back(ConnectionEnd::open);
            ++openCount;
        }
        char address[INET_ADDRSTRLEN] = "?";
        ::inet_ntop(AF_INET, &peer.sin_addr, address, sizeof address);
        trace(number, "accepted from %s:%u", address, ntohs(peer.sin_port));

        std::lock_guard lock(connectionsMutex);
        // Join the threads of connections that have ended.
        connections.remove_if([](const std::unique_ptr<Connection>& c) { return c->finished.load(); });
        auto connection = std::make_unique<Connection>();
        Connection* c = connection.get();
        c->thread = std::jthread([this, c, number, s = std::move(socket)]() mutable {
            Session session(*this, std::move(s), number);
            session.run();
            if (!session.endRecorded()) {  // the server stopped: the record keeps "open"
                std::lock_guard lock(recordMutex);
                --openCount;
                recordChanged.notify_all();
            }
            c->finished = true;
        });
        connections.push_back(std::move(connection));
    }
}

// ---------------------------------------------------------------------------
// The interface.

Server::Server(Options options) : state(std::make_unique<ServerState>(std::move(options))) {}

Server::~Server() { stop(); }

std::unique_ptr<Server> Server::startedOn(const std::string& address) {
    Options options;
    options.address = address;
    auto server = std::make_unique<Server>(options);
    std::string error;
    if (!server->start(&error))
        throw std::runtime_error("cannot start a simulator on " + address + ":" + std::to_string(options.port) + ": " +
                                 error);
    return server;
}

bool Server::start(std::string* error) {
    ServerState& s = *state;
    if (!s.served.running()) s.stopping = false;
    return s.served.start(s.options.address, s.options.port, s.options.backlog, error, [&s] { s.acceptLoop(); });
}

void Server::stop() {
    ServerState& s = *state;
    if (!s.served.running()) return;
    s.stopping = true;
    s.served.wakeAndJoin();
    std::list<std::unique_ptr<ServerState::Connection>> ending;
    {
        std::lock_guard lock(s.connectionsMutex);
        ending.swap(s.connections);
    }
    ending.clear();  // joins every connection thread, which watch the wake-up pipe too
    s.served.close();
}

std::uint16_t Server::port() const { return state->listener.port; }

void Server::setBlockWords(w::AreaCode dbOrDx, int block, int words) {
    state->memory.setBlockWords(dbOrDx, block, words);
}

void Server::writeBytes(w::AreaCode area, int block, int byteOffset, const std::vector<std::uint8_t>& bytes) {
    state->memory.writeBytes(area, block, byteOffset, bytes);
}

std::vector<std::uint8_t> Server::readBytes(w::AreaCode area, int block, int byteOffset, int count) const {
    return state->memory.readBytes(area, block, byteOffset, count);
}

void Server::mergeBytes(w::AreaCode area, int block, int byteOffset, const std::vector<std::uint8_t>& bytes,
                        std::uint8_t mask) {
    state->memory.mergeBytes(area, block, byteOffset, bytes, mask);
}

int Server::areaBytes(w::AreaCode area, int block) const { return state->memory.byteSize(area, block); }

void Server::writeWord(w::AreaCode area, int block, int wordIndex, std::uint16_t value) {
    std::vector<std::uint8_t> bytes(2);
    w::writeBe16(bytes.data(), value);
    state->memory.writeBytes(area, block, wordIndex * 2, bytes);
}

std::uint16_t Server::readWord(w::AreaCode area, int block, int wordIndex) const {
    auto bytes = state->memory.readBytes(area, block, wordIndex * 2, 2);
    return w::readBe16(bytes.data());
}

void Server::armConfirmFault(ConfirmFault fault) {
    std::lock_guard lock(state->faultMutex);
    state->confirmFaults.push_back(fault);
}

void Server::armReplyFault(ReplyFault fault) {
    std::lock_guard lock(state->faultMutex);
    state->replyFaults.push_back(fault);
}

void Server::clearFaults() {
    std::lock_guard lock(state->faultMutex);
    state->confirmFaults.clear();
    state->replyFaults.clear();
}

int Server::connectionsAccepted() const {
    std::lock_guard lock(state->recordMutex);
    return static_cast<int>(state->ends.size());
}

int Server::openConnections() const {
    std::lock_guard lock(state->recordMutex);
    return state->openCount;
}

std::vector<std::vector<std::uint8_t>> Server::connectRequests() const {
    std::lock_guard lock(state->recordMutex);
    return state->connectRequests;
}

std::vector<std::vector<std::uint8_t>> Server::requests() const {
    std::lock_guard lock(state->recordMutex);
    return state->requests;
}

std::vector<ConnectionEnd> Server::connectionEnds() const {
    std::lock_guard lock(state->recordMutex);
    return state->ends;
}

bool Server::waitForEnds(int count, int timeoutMs) const {
    std::unique_lock lock(state->recordMutex);
    return state->recordChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return std::count_if(state->ends.begin(), state->ends.end(),
                             [](ConnectionEnd e) { return e != ConnectionEnd::open; }) >= count;
    });
}

void Server::clearRecord() {
    std::lock_guard lock(state->recordMutex);
    state->recordBase = state->totalAccepted + 1;
    state->connectRequests.clear();
    state->requests.clear();
    state->ends.clear();
}

}  // namespace orvasim
