// The adapter simulator: an accept thread and one thread per connection. Every
// blocking wait (accept, recv, send, pauses of faults) polls a wake-up pipe as
// well, so stop() ends all threads at once by writing one byte into it. Each
// connection thread owns its socket; nobody else touches it.
#include "sim_server.h"

#include "sim_memory.h"
#include "sim_socket.h"
#include "sim_wire.h"
#include "wire_format.h"

#include <arpa/inet.h>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <list>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace orvasim {

namespace w = orva::wire;
using wire::Bytes;

namespace {

const char* faultName(FaultKind kind) {
    switch (kind) {
    case FaultKind::disconnectInsteadOfConfirm: return "disconnectInsteadOfConfirm";
    case FaultKind::shortConfirm: return "shortConfirm";
    case FaultKind::confirmCredit: return "confirmCredit";
    case FaultKind::silentConfirm: return "silentConfirm";
    case FaultKind::resetOnConnectRequest: return "resetOnConnectRequest";
    case FaultKind::closeOnConnectRequest: return "closeOnConnectRequest";
    case FaultKind::emptyUnitsBefore: return "emptyUnitsBefore";
    case FaultKind::endlessEmptyUnits: return "endlessEmptyUnits";
    case FaultKind::splitReply: return "splitReply";
    case FaultKind::drip: return "drip";
    case FaultKind::silence: return "silence";
    case FaultKind::resetBeforeReply: return "resetBeforeReply";
    case FaultKind::closeBeforeReply: return "closeBeforeReply";
    case FaultKind::resetAfterBytes: return "resetAfterBytes";
    case FaultKind::closeAfterBytes: return "closeAfterBytes";
    case FaultKind::wrongDataLength: return "wrongDataLength";
    case FaultKind::badTypeByte: return "badTypeByte";
    case FaultKind::badEotByte: return "badEotByte";
    case FaultKind::tpktLength: return "tpktLength";
    case FaultKind::errorByte: return "errorByte";
    case FaultKind::errorByteWithData: return "errorByteWithData";
    case FaultKind::delayReply: return "delayReply";
    }
    return "?";
}

}  // namespace

// The state of one server, shared by its threads.
struct ServerCore {
    explicit ServerCore(Options o) : options(std::move(o)) {}

    // One accepted connection: its thread (which owns the socket) and whether it has ended.
    struct Connection {
        std::atomic<bool> finished{false};
        std::jthread thread;
    };

    Options options;
    Memory memory;

    WakeableListener listener;
    std::atomic<bool> stopping{false};
    bool running = false;
    std::jthread acceptThread;
    std::mutex connectionsMutex;
    std::list<std::unique_ptr<Connection>> connections;

    std::mutex faultMutex;
    std::deque<Fault> confirmFaults, replyFaults;

    mutable std::mutex recordMutex;
    mutable std::condition_variable recordChanged;
    int totalAccepted = 0;  // since start, never cleared: the connection numbers
    int recordBase = 1;     // number of the first connection in `ends`
    int openCount = 0;
    std::vector<Bytes> connectRequests, requests;
    std::vector<ConnectionEnd> ends;

    std::atomic<std::uint16_t> nextOwnRef{0x0101};
    std::mutex traceMutex;

    void trace(int connection, const char* format, ...) __attribute__((format(printf, 3, 4)));

    std::optional<Fault> takeFault(std::deque<Fault>& faults) {
        std::lock_guard lock(faultMutex);
        if (faults.empty()) return std::nullopt;
        Fault f = faults.front();
        faults.pop_front();
        return f;
    }

    void recordTelegram(std::vector<Bytes>& list, std::span<const std::uint8_t> t) {
        std::lock_guard lock(recordMutex);
        list.emplace_back(t.begin(), t.end());
    }

    // The connection has ended: recorded and no longer counted as open, in one step.
    void recordEnd(int number, ConnectionEnd end) {
        std::lock_guard lock(recordMutex);
        --openCount;
        int index = number - recordBase;
        if (index >= 0 && index < static_cast<int>(ends.size()) && ends[static_cast<std::size_t>(index)] == ConnectionEnd::open)
            ends[static_cast<std::size_t>(index)] = end;
        recordChanged.notify_all();
    }

    void acceptLoop();
};

struct Server::Impl : ServerCore {
    using ServerCore::ServerCore;
};

void ServerCore::trace(int connection, const char* format, ...) {
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

// ---------------------------------------------------------------------------
// One connection.

namespace {

enum class Outcome { goOn, ended };

class Session {
public:
    Session(ServerCore& server, FileDescriptor socket, int number)
        : server(server), socket(std::move(socket)), number(number) {}

    void run();
    bool endRecorded() const { return ended; }

private:
    void recordEnd(ConnectionEnd end) {
        ended = true;
        server.recordEnd(number, end);
    }

    // Waits for the socket (events) or the wake-up pipe, at most timeoutMs (-1: no limit).
    // Returns the socket's revents, 0 on time-out, -1 when the server stops.
    int waitFor(short events, int timeoutMs);
    // Receives what is there into `input`. goOn when bytes came; otherwise the
    // end has been recorded (or the server stops) and the connection is over.
    Outcome receiveSome();
    // Sends all bytes (one send() call unless the socket buffer is full).
    Outcome sendAll(std::span<const std::uint8_t> bytes);
    Outcome pause(int ms);
    // Ends the connection with a reset (linger 0, close).
    Outcome resetNow(const char* why);
    // Ends the connection orderly: FIN, then reads until the client closes.
    Outcome closeOrderly(const char* why);

    Outcome handle(std::span<const std::uint8_t> telegram);
    Outcome handleConnectRequest(std::span<const std::uint8_t> telegram);
    Outcome handleData(std::span<const std::uint8_t> telegram);
    Outcome deliver(Bytes reply, const std::optional<Fault>& fault, const wire::RequestHeader& request);

    ServerCore& server;
    FileDescriptor socket;
    int number;
    Bytes input;
    bool connected = false;  // a CC has been sent
    std::uint16_t ownRef = 0;
    bool ended = false;  // the end has been recorded
};

int Session::waitFor(short events, int timeoutMs) {
    for (;;) {
        pollfd fds[2] = {{socket.get(), events, 0}, {server.listener.wakeRead.get(), POLLIN, 0}};
        int r = ::poll(fds, 2, timeoutMs);
        if (r < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (fds[1].revents || server.stopping) return -1;
        return fds[0].revents;
    }
}

Outcome Session::receiveSome() {
    for (;;) {
        if (waitFor(POLLIN, -1) < 0) return Outcome::ended;  // stopping: the record keeps "open"
        std::uint8_t chunk[4096];
        ssize_t n = ::recv(socket.get(), chunk, sizeof chunk, 0);
        if (n > 0) {
            input.insert(input.end(), chunk, chunk + n);
            return Outcome::goOn;
        }
        if (n == 0) {
            server.trace(number, "end: orderly close by the client");
            recordEnd(ConnectionEnd::orderlyClose);
            return Outcome::ended;
        }
        if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
        server.trace(number, "end: %s", errno == ECONNRESET ? "reset by the client" : std::strerror(errno));
        recordEnd(ConnectionEnd::reset);
        return Outcome::ended;
    }
}

Outcome Session::sendAll(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::send(socket.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n > 0) {
            bytes = bytes.subspan(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            if (waitFor(POLLOUT, -1) < 0) return Outcome::ended;
            continue;
        }
        // EPIPE or ECONNRESET: the client has reset the connection.
        server.trace(number, "end: send failed (%s)", std::strerror(errno));
        recordEnd(ConnectionEnd::reset);
        return Outcome::ended;
    }
    return Outcome::goOn;
}

Outcome Session::pause(int ms) {
    if (ms <= 0) return server.stopping ? Outcome::ended : Outcome::goOn;
    pollfd fd{server.listener.wakeRead.get(), POLLIN, 0};
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
        if (left <= 0) return Outcome::goOn;
        int r = ::poll(&fd, 1, static_cast<int>(left));
        if (r > 0 || server.stopping) return Outcome::ended;
    }
}

Outcome Session::resetNow(const char* why) {
    server.trace(number, "end: adapter resets the connection (%s)", why);
    linger hard{1, 0};
    ::setsockopt(socket.get(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    socket.reset();
    recordEnd(ConnectionEnd::reset);
    return Outcome::ended;
}

Outcome Session::closeOrderly(const char* why) {
    server.trace(number, "adapter closes the connection (%s)", why);
    ::shutdown(socket.get(), SHUT_WR);
    // Whatever the client still sends is not served; the record tells how it
    // ended its side: an orderly close or a reset.
    while (receiveSome() == Outcome::goOn) input.clear();
    return Outcome::ended;
}

void Session::run() {
    int one = 1;
    ::setsockopt(socket.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ::fcntl(socket.get(), F_SETFL, ::fcntl(socket.get(), F_GETFL) | O_NONBLOCK);
    for (;;) {
        // Serve every complete telegram in the input, framed by its TPKT length.
        while (input.size() >= w::tpktHeaderSize) {
            if (input[0] != w::tpktVersion) {
                server.trace(number, "<- not a TPKT (version byte %02X): %s", input[0], wire::hex(input).c_str());
                closeOrderly("bad telegram");
                return;
            }
            std::size_t length = w::readBe16(input.data() + w::tpktLengthOffset);
            if (length < w::dtHeaderSize) {
                server.trace(number, "<- TPKT length %zu is too small: %s", length, wire::hex(input).c_str());
                closeOrderly("bad telegram");
                return;
            }
            if (input.size() < length) break;
            Bytes telegram(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(length));
            input.erase(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(length));
            if (handle(telegram) == Outcome::ended) return;
        }
        if (receiveSome() == Outcome::ended) return;
    }
}

Outcome Session::handle(std::span<const std::uint8_t> telegram) {
    std::uint8_t code = telegram[w::cotpCodeOffset];
    if ((code & w::cotpCodeMask) == w::cotpConnectRequest) return handleConnectRequest(telegram);
    if ((code & w::cotpCodeMask) == w::cotpData) return handleData(telegram);
    server.trace(number, "<- unit %02X, neither CR nor DT: %s", code, wire::hex(telegram).c_str());
    return closeOrderly("unexpected unit");
}

Outcome Session::handleConnectRequest(std::span<const std::uint8_t> telegram) {
    server.recordTelegram(server.connectRequests, telegram);
    auto request = wire::parseConnectRequest(telegram);
    if (!request) {
        server.trace(number, "<- CR, malformed: %s", wire::hex(telegram).c_str());
        return closeOrderly("malformed CR");
    }
    server.trace(number, "<- CR %s", wire::describeConnectRequest(*request).c_str());
    if (connected) {
        server.trace(number, "   a second CR on a connected transport connection");
        return closeOrderly("CR while connected");
    }
    // One own reference per TCP connection, never 0 (the counter may wrap).
    while (ownRef == 0) ownRef = server.nextOwnRef++;

    auto fault = server.takeFault(server.confirmFaults);
    Bytes confirm = wire::buildConnectConfirm(*request, ownRef);
    if (fault) {
        server.trace(number, "   fault %s value %d pause %d ms", faultName(fault->kind), fault->value, fault->pauseMs);
        switch (fault->kind) {
        case FaultKind::disconnectInsteadOfConfirm: {
            Bytes dr = wire::buildDisconnectRequest(*request, ownRef);
            server.trace(number, "-> DR %s", wire::hex(dr).c_str());
            return sendAll(dr);  // the transport connection stays unconfirmed; a new CR may follow
        }
        case FaultKind::shortConfirm:
            confirm.resize(5);
            server.trace(number, "-> CC cut to 5 bytes: %s", wire::hex(confirm).c_str());
            connected = true;
            return sendAll(confirm);
        case FaultKind::confirmCredit:
            confirm[w::cotpCodeOffset] = static_cast<std::uint8_t>(w::cotpConnectConfirm | (fault->value & 0x0F));
            break;
        case FaultKind::silentConfirm:
            server.trace(number, "-> nothing (the CR stays unanswered)");
            return Outcome::goOn;
        case FaultKind::resetOnConnectRequest:
            return resetNow("fault on CR");
        case FaultKind::closeOnConnectRequest:
            return closeOrderly("fault on CR");
        default:
            break;
        }
    }
    server.trace(number, "-> CC dst-ref %04X src-ref %04X code %02X: %s", request->srcRef, ownRef,
                 confirm[w::cotpCodeOffset], wire::hex(confirm).c_str());
    connected = true;
    return sendAll(confirm);
}

Outcome Session::handleData(std::span<const std::uint8_t> telegram) {
    server.recordTelegram(server.requests, telegram);
    std::uint8_t eot = telegram[w::dtEotOffset];
    if (telegram.size() == w::dtHeaderSize && eot == w::dtNoEndOfTsdu) {
        server.trace(number, "<- DT empty, ignored");
        return Outcome::goOn;
    }
    if (!connected) {
        server.trace(number, "<- DT before any CR: %s", wire::hex(telegram).c_str());
        return closeOrderly("DT without a transport connection");
    }
    if (telegram[w::cotpCodeOffset] != w::cotpData || telegram[w::cotpLengthIndicatorOffset] != w::dtLengthIndicator ||
        eot != w::dtEndOfTsdu) {
        server.trace(number, "<- DT header %s is not 02 F0 80", wire::hex(telegram.subspan(4, 3)).c_str());
        return closeOrderly("bad DT header");
    }
    std::string why;
    auto header = wire::parseRequestHeader(telegram, &why);
    if (!header) {
        server.trace(number, "<- DT, not a fetch/write request (%s): %s", why.c_str(), wire::hex(telegram).c_str());
        return closeOrderly("bad fetch/write header");
    }
    auto data = telegram.subspan(w::fwDataOffset);
    std::size_t expected = header->opCode == w::opWrite ? Memory::byteCount(header->area, header->length) : 0;
    server.trace(number, "<- DT %s, %zu data bytes", wire::describeHeader(*header).c_str(), data.size());
    if (data.size() != expected) {
        server.trace(number, "   %zu data bytes where the header asks for %zu", data.size(), expected);
        return closeOrderly("data length does not match the header");
    }

    auto fault = server.takeFault(server.replyFaults);
    if (fault) server.trace(number, "   fault %s value %d pause %d ms", faultName(fault->kind), fault->value, fault->pauseMs);

    bool fetch = header->opCode == w::opFetch;
    std::size_t byteCount = Memory::byteCount(header->area, header->length);
    bool fits = byteCount <= 0xFFFF - w::fwDataOffset;  // what one TPKT can carry
    Bytes fetched;
    std::uint8_t error;
    if (fault && fault->kind == FaultKind::errorByte)
        error = static_cast<std::uint8_t>(fault->value);  // refused: not carried out, no data
    else if (!fetch)
        error = server.memory.store(header->area, header->block, header->start, header->length, data);
    else if (!fits)
        error = w::ackAreaTooSmall;
    else
        error = server.memory.fetch(header->area, header->block, header->start, header->length, fetched);
    if (fault && fault->kind == FaultKind::errorByteWithData) {
        error = static_cast<std::uint8_t>(fault->value);
        if (fetch && fits) fetched.resize(byteCount, 0);  // zeros where nothing could be read
    }
    Bytes reply = wire::buildReply(fetch ? w::opFetchAck : w::opWriteAck, error, fetched);
    return deliver(std::move(reply), fault, *header);
}

Outcome Session::deliver(Bytes reply, const std::optional<Fault>& fault, const wire::RequestHeader& request) {
    int value = fault ? fault->value : 0;
    int pauseMs = fault ? fault->pauseMs : 0;
    FaultKind kind = fault ? fault->kind : FaultKind::delayReply;
    if (fault) {
        switch (kind) {
        case FaultKind::wrongDataLength: {
            long size = static_cast<long>(reply.size()) + value;
            reply.resize(static_cast<std::size_t>(std::max<long>(size, w::dtHeaderSize)), 0);
            w::writeBe16(reply.data() + w::tpktLengthOffset, static_cast<std::uint16_t>(reply.size()));
            break;
        }
        case FaultKind::badTypeByte: reply[w::cotpCodeOffset] = static_cast<std::uint8_t>(value); break;
        case FaultKind::badEotByte: reply[w::dtEotOffset] = static_cast<std::uint8_t>(value); break;
        case FaultKind::tpktLength:
            w::writeBe16(reply.data() + w::tpktLengthOffset, static_cast<std::uint16_t>(value));
            break;
        default: break;
        }
    }
    server.trace(number, "-> DT %s (%s)", wire::describeReply(reply).c_str(), wire::describeHeader(request).c_str());
    if (!fault) return sendAll(reply);

    std::span<const std::uint8_t> all(reply);
    switch (kind) {
    case FaultKind::emptyUnitsBefore: {
        Bytes out;
        for (int i = 0; i < value; ++i) {
            Bytes empty = wire::emptyDataUnit();
            out.insert(out.end(), empty.begin(), empty.end());
        }
        out.insert(out.end(), reply.begin(), reply.end());
        return sendAll(out);
    }
    case FaultKind::endlessEmptyUnits: {
        Bytes empty = wire::emptyDataUnit();
        int every = std::max(value, 1);
        for (;;) {
            if (sendAll(empty) == Outcome::ended) return Outcome::ended;
            auto next = std::chrono::steady_clock::now() + std::chrono::milliseconds(every);
            for (;;) {
                auto left = std::chrono::duration_cast<std::chrono::milliseconds>(next - std::chrono::steady_clock::now()).count();
                if (left <= 0) break;
                int r = waitFor(POLLIN, static_cast<int>(left));
                if (r < 0) return Outcome::ended;
                if (r == 0) continue;
                // The client has given up (closed or reset), or sent something new,
                // which ends the empty units; the reply is never sent.
                if (receiveSome() == Outcome::ended) return Outcome::ended;
                server.trace(number, "   new bytes from the client end the empty data units");
                return Outcome::goOn;
            }
        }
    }
    case FaultKind::splitReply: {
        std::size_t pieces = static_cast<std::size_t>(std::clamp<int>(value, 1, static_cast<int>(all.size())));
        std::size_t done = 0;
        for (std::size_t i = 0; i < pieces; ++i) {
            if (i > 0 && pause(pauseMs) == Outcome::ended) return Outcome::ended;
            std::size_t end = all.size() * (i + 1) / pieces;
            if (sendAll(all.subspan(done, end - done)) == Outcome::ended) return Outcome::ended;
            done = end;
        }
        return Outcome::goOn;
    }
    case FaultKind::drip:
        for (std::size_t i = 0; i < all.size(); ++i) {
            if (i > 0 && pause(pauseMs) == Outcome::ended) return Outcome::ended;
            if (sendAll(all.subspan(i, 1)) == Outcome::ended) return Outcome::ended;
        }
        return Outcome::goOn;
    case FaultKind::silence:
        server.trace(number, "   (not sent: silence)");
        return Outcome::goOn;
    case FaultKind::resetBeforeReply: return resetNow("instead of the reply");
    case FaultKind::closeBeforeReply: return closeOrderly("instead of the reply");
    case FaultKind::resetAfterBytes:
    case FaultKind::closeAfterBytes: {
        std::size_t n = static_cast<std::size_t>(std::clamp<int>(value, 0, static_cast<int>(all.size())));
        if (n > 0 && sendAll(all.first(n)) == Outcome::ended) return Outcome::ended;
        return kind == FaultKind::resetAfterBytes ? resetNow("after part of the reply")
                                                  : closeOrderly("after part of the reply");
    }
    case FaultKind::delayReply:
        if (pause(pauseMs) == Outcome::ended) return Outcome::ended;
        return sendAll(all);
    default:
        return sendAll(all);
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Accepting.

void ServerCore::acceptLoop() {
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

Server::Server(Options options) : impl(std::make_unique<Impl>(std::move(options))) {}

Server::~Server() { stop(); }

bool Server::start(std::string* error) {
    Impl& s = *impl;
    if (s.running) {
        if (error) *error = "already running";
        return false;
    }
    if (!s.listener.open(s.options.address, s.options.port, s.options.backlog, error)) return false;
    s.stopping = false;
    s.running = true;
    s.acceptThread = std::jthread([&s] { s.acceptLoop(); });
    return true;
}

void Server::stop() {
    Impl& s = *impl;
    if (!s.running) return;
    s.stopping = true;
    s.listener.wake();
    if (s.acceptThread.joinable()) s.acceptThread.join();
    std::list<std::unique_ptr<ServerCore::Connection>> ending;
    {
        std::lock_guard lock(s.connectionsMutex);
        ending.swap(s.connections);
    }
    ending.clear();  // joins every connection thread
    s.listener.close();
    s.running = false;
}

std::uint16_t Server::port() const { return impl->listener.port; }

void Server::setBlockWords(Area dbOrDx, int block, int words) { impl->memory.setBlockWords(dbOrDx, block, words); }

void Server::writeBytes(Area area, int block, int byteOffset, const std::vector<std::uint8_t>& bytes) {
    impl->memory.writeBytes(area, block, byteOffset, bytes);
}

std::vector<std::uint8_t> Server::readBytes(Area area, int block, int byteOffset, int count) const {
    return impl->memory.readBytes(area, block, byteOffset, count);
}

void Server::writeWord(Area area, int block, int wordIndex, std::uint16_t value) {
    std::vector<std::uint8_t> bytes(2);
    w::writeBe16(bytes.data(), value);
    impl->memory.writeBytes(area, block, wordIndex * 2, bytes);
}

std::uint16_t Server::readWord(Area area, int block, int wordIndex) const {
    auto bytes = impl->memory.readBytes(area, block, wordIndex * 2, 2);
    return w::readBe16(bytes.data());
}

void Server::armConfirmFault(Fault fault) {
    std::lock_guard lock(impl->faultMutex);
    impl->confirmFaults.push_back(fault);
}

void Server::armReplyFault(Fault fault) {
    std::lock_guard lock(impl->faultMutex);
    impl->replyFaults.push_back(fault);
}

void Server::clearFaults() {
    std::lock_guard lock(impl->faultMutex);
    impl->confirmFaults.clear();
    impl->replyFaults.clear();
}

int Server::connectionsAccepted() const {
    std::lock_guard lock(impl->recordMutex);
    return static_cast<int>(impl->ends.size());
}

int Server::openConnections() const {
    std::lock_guard lock(impl->recordMutex);
    return impl->openCount;
}

std::vector<std::vector<std::uint8_t>> Server::connectRequests() const {
    std::lock_guard lock(impl->recordMutex);
    return impl->connectRequests;
}

std::vector<std::vector<std::uint8_t>> Server::requests() const {
    std::lock_guard lock(impl->recordMutex);
    return impl->requests;
}

std::vector<ConnectionEnd> Server::connectionEnds() const {
    std::lock_guard lock(impl->recordMutex);
    return impl->ends;
}

bool Server::waitForEnds(int count, int timeoutMs) const {
    std::unique_lock lock(impl->recordMutex);
    return impl->recordChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return std::count_if(impl->ends.begin(), impl->ends.end(),
                             [](ConnectionEnd e) { return e != ConnectionEnd::open; }) >= count;
    });
}

void Server::clearRecord() {
    std::lock_guard lock(impl->recordMutex);
    impl->recordBase = impl->totalAccepted + 1;
    impl->connectRequests.clear();
    impl->requests.clear();
    impl->ends.clear();
}

}  // namespace orvasim
