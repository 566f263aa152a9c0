// SPDX-License-Identifier: Apache-2.0
// The control channel: one thread polls the listener, the clients and a
// wake-up pipe; every request is answered at once (no command waits), so one
// thread serves all clients.
#include "control_channel.h"
#include "sim_socket.h"
#include "sim_variables.h"
#include "notation.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

namespace orvasim {
namespace {

using Bytes = std::vector<std::uint8_t>;
using orva::vars::isBlockArea;
using orva::vars::readArea;
using orva::vars::readNumber;

// A request line longer than this (a write of 64 KiB is 128 Ki hex digits) ends the client.
constexpr std::size_t maxLineLength = 256 * 1024;
// A client that does not read its replies for this long is dropped.
constexpr int clientSendTimeoutMs = 2000;
constexpr int listenBacklog = 8;

// A malformed request; its text becomes the "error" line.
struct BadRequest : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t at = 0;
    while (at < line.size()) {
        const std::size_t begin = line.find_first_not_of(" \t", at);
        if (begin == std::string_view::npos) break;
        std::size_t end = line.find_first_of(" \t", begin);
        if (end == std::string_view::npos) end = line.size();
        out.push_back(line.substr(begin, end - begin));
        at = end;
    }
    return out;
}

int number(std::string_view text, long long low, long long high, std::string_view what) {
    std::string error;
    const auto value = readNumber(text, low, high, what, error);
    if (!value) throw BadRequest(error);
    return static_cast<int>(*value);
}

// Where in memory: an area and its block, the block spelled with the area
// (DB5, X7) or in the next word (D 5; 0 for areas without blocks).
struct Place {
    orva::wire::AreaCode area;
    int block;
};

Place place(const std::vector<std::string_view>& w, std::size_t& at) {
    if (at >= w.size()) throw BadRequest("wrong number of words for " + std::string(w[0]));
    std::string error;
    const auto spelled = readArea(w[at++], error);
    if (!spelled) throw BadRequest(error);
    if (spelled->block) return {spelled->area, *spelled->block};
    if (at >= w.size()) throw BadRequest("wrong number of words for " + std::string(w[0]));
    return {spelled->area, number(w[at++], 0, orva::vars::maxBlock, "block")};
}

std::string toHex(const Bytes& bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 0x0F];
    }
    return out;
}

Bytes fromHex(std::string_view text) {
    if (text.size() % 2 != 0) throw BadRequest("odd number of hex digits");
    Bytes out(text.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto [end, error] = std::from_chars(text.data() + 2 * i, text.data() + 2 * i + 2, out[i], 16);
        if (error != std::errc{} || end != text.data() + 2 * i + 2) throw BadRequest("bad hex: " + std::string(text));
    }
    return out;
}

const char* endName(ConnectionEnd end) {
    switch (end) {
    case ConnectionEnd::open: return "open";
    case ConnectionEnd::orderlyClose: return "orderly";
    case ConnectionEnd::reset: return "reset";
    }
    return "?";
}

void expectWords(const std::vector<std::string_view>& w, std::size_t low, std::size_t high) {
    if (w.size() < low || w.size() > high) throw BadRequest("wrong number of words for " + std::string(w[0]));
}

// Data lines of the reply to one request; throws BadRequest (and the memory's
// range errors) for a request that cannot be served. rest: the line after
// its first word, for the requests that take a variable (which may hold blanks).
std::string dataLines(Server& server, const std::vector<std::string_view>& w, std::string_view rest) {
    const std::string_view command = w[0];
    std::string out;
    auto telegrams = [&out](const std::vector<Bytes>& list) {
        for (const Bytes& t : list) out += toHex(t) + '\n';
    };
    if (command == "ping") {
        expectWords(w, 1, 1);
    } else if (command == "reset") {
        expectWords(w, 1, 1);
        server.clearFaults();
        server.clearRecord();
    } else if (command == "clear") {
        expectWords(w, 2, 2);
        if (w[1] == "faults") {
            server.clearFaults();
        } else if (w[1] == "record") {
            server.clearRecord();
        } else {
            throw BadRequest("clear what: faults or record");
        }
    } else if (command == "fault") {
        expectWords(w, 3, 5);
        const bool onConfirm = w[1] == "confirm";
        if (!onConfirm && w[1] != "reply") throw BadRequest("fault confirm or fault reply");
        const FaultEntry* entry = findFault(w[2]);
        if (entry == nullptr) throw BadRequest("no fault " + std::string(w[2]));
        if ((entry->phase() == FaultPhase::confirm) != onConfirm)
            throw BadRequest(std::string(w[2]) + " is a " + (onConfirm ? "reply" : "confirm") + " fault, not a " +
                             std::string(w[1]) + " fault");
        const int value = w.size() > 3 ? number(w[3], -65535, 65535, "value") : 0;
        const int pauseMs = w.size() > 4 ? number(w[4], 0, 600000, "pause") : 0;
        if (const auto* kind = std::get_if<ConfirmFaultKind>(&entry->kind)) {
            if (pauseMs != 0) throw BadRequest("a confirm fault takes no pause");
            server.armConfirmFault({*kind, value});
        } else {
            server.armReplyFault({std::get<ReplyFaultKind>(entry->kind), value, pauseMs});
        }
    } else if (command == "crs") {
        expectWords(w, 1, 1);
        telegrams(server.connectRequests());
    } else if (command == "dts") {
        expectWords(w, 1, 1);
        telegrams(server.requests());
    } else if (command == "ends") {
        expectWords(w, 1, 1);
        for (ConnectionEnd end : server.connectionEnds()) out += std::string(endName(end)) + '\n';
    } else if (command == "accepted") {
        expectWords(w, 1, 1);
        out += std::to_string(server.connectionsAccepted()) + '\n';
    } else if (command == "open") {
        expectWords(w, 1, 1);
        out += std::to_string(server.openConnections()) + '\n';
    } else if (command == "read") {
        std::size_t at = 1;
        const Place p = place(w, at);
        expectWords(w, at + 2, at + 2);
        out += toHex(server.readBytes(p.area, p.block, number(w[at], 0, 131071, "offset"),
                                      number(w[at + 1], 0, 131072, "count"))) +
               '\n';
    } else if (command == "write") {
        std::size_t at = 1;
        const Place p = place(w, at);
        expectWords(w, at + 2, at + 2);
        server.writeBytes(p.area, p.block, number(w[at], 0, 131071, "offset"), fromHex(w[at + 1]));
    } else if (command == "blocksize") {
        std::size_t at = 1;
        const Place p = place(w, at);
        expectWords(w, at + 1, at + 1);
        if (!isBlockArea(p.area)) throw BadRequest("blocksize takes a data block: DB<n> or DX<n>");
        server.setBlockWords(p.area, p.block, number(w[at], 0, 65535, "words"));
    } else if (command == "set" || command == "show") {
        if (w.size() < 2) throw BadRequest(std::string(command) + " needs a variable, as in DB5.DD30:KG");
        out += (command == "set" ? setVariable(server, rest) : showVariable(server, rest)) + '\n';
    } else {
        throw BadRequest("unknown command: " + std::string(command));
    }
    return out;
}

}  // namespace

std::string controlReply(Server& server, std::string_view line) {
    const std::vector<std::string_view> w = words(line);
    if (w.empty()) return "error empty request\n";
    const std::string_view rest = line.substr(w[0].data() + w[0].size() - line.data());
    try {
        return dataLines(server, w, rest.substr(rest.empty() ? 0 : 1)) + "ok\n";
    } catch (const std::exception& e) {
        return std::string("error ") + e.what() + '\n';
    }
}

struct ControlChannel::Impl {
    Impl(Server& server, std::string address, std::uint16_t port)
        : server(server), address(std::move(address)), requestedPort(port) {}

    struct Client {
        FileDescriptor socket;
        std::string input;
    };

    Server& server;
    std::string address;
    std::uint16_t requestedPort;
    ServedListener served;  // its thread runs serve
    WakeableListener& listener = served.listener;

    void serve();
    void accept(std::vector<Client>& clients);
    // Reads what the client sent and answers every whole line; false when the client is done.
    bool serveClient(Client& client);
};

void ControlChannel::Impl::serve() {
    std::vector<Client> clients;
    std::vector<pollfd> polled;
    for (;;) {
        polled.clear();
        polled.push_back({listener.wakeRead.get(), POLLIN, 0});
        polled.push_back({listener.socket.get(), POLLIN, 0});
        for (const Client& c : clients) polled.push_back({c.socket.get(), POLLIN, 0});
        if (::poll(polled.data(), polled.size(), -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (polled[0].revents != 0) return;
        // Clients first: accepting adds to the vector that polled mirrors.
        for (std::size_t i = clients.size(); i-- > 0;) {
            if (polled[i + 2].revents != 0 && !serveClient(clients[i]))
                clients.erase(clients.begin() + static_cast<long>(i));
        }
        if (polled[1].revents != 0) accept(clients);
    }
}

void ControlChannel::Impl::accept(std::vector<Client>& clients) {
    FileDescriptor socket(::accept4(listener.socket.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!socket) return;
    const int one = 1;
    ::setsockopt(socket.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    timeval limit{clientSendTimeoutMs / 1000, (clientSendTimeoutMs % 1000) * 1000};
    ::setsockopt(socket.get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    clients.push_back(Client{std::move(socket), {}});
}

bool ControlChannel::Impl::serveClient(Client& client) {
    char buffer[4096];
    const ssize_t n = ::recv(client.socket.get(), buffer, sizeof buffer, 0);
    if (n <= 0) return n < 0 && errno == EINTR;
    client.input.append(buffer, static_cast<std::size_t>(n));
    for (std::size_t end; (end = client.input.find('\n')) != std::string::npos;) {
        std::string_view line(client.input.data(), end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::string reply = controlReply(server, line);
        client.input.erase(0, end + 1);
        for (std::size_t sent = 0; sent < reply.size();) {
            const ssize_t r = ::send(client.socket.get(), reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) return false;
            sent += static_cast<std::size_t>(r);
        }
    }
    return client.input.size() <= maxLineLength;
}

ControlChannel::ControlChannel(Server& server, std::string address, std::uint16_t port)
    : impl(std::make_unique<Impl>(server, std::move(address), port)) {}

ControlChannel::~ControlChannel() { stop(); }

bool ControlChannel::start(std::string* error) {
    Impl& s = *impl;
    return s.served.start(s.address, s.requestedPort, listenBacklog, error, [&s] { s.serve(); });
}

void ControlChannel::stop() {
    Impl& s = *impl;
    if (!s.served.running()) return;
    s.served.wakeAndJoin();
    s.served.close();
}

std::uint16_t ControlChannel::port() const { return impl->listener.port; }

}  // namespace orvasim
