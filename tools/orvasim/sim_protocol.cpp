// SPDX-License-Identifier: Apache-2.0
// A session's protocol: telegrams framed by their TPKT length, a CR answered
// with a CC, a DT's fetch or write request carried out against memory and
// answered. A fault armed for the confirm or the reply is handed to
// sim_fault_effects.cpp.
#include "sim_session.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>

namespace orvasim {

namespace w = orva::wire;

namespace {

constexpr std::size_t maxTpktLength = 0xFFFF;

}  // namespace

void Session::run() {
    int one = 1;
    ::setsockopt(socket.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ::fcntl(socket.get(), F_SETFL, ::fcntl(socket.get(), F_GETFL) | O_NONBLOCK);
    for (;;) {
        // Serve every complete telegram in the input, framed by its TPKT length.
        while (input.size() >= w::tpktHeaderSize) {
            if (input[0] != w::tpktVersion) {
                server.trace(number, "<- not a TPKT (version byte %02X): %s", input[0], wire::spacedHex(input).c_str());
                closeOrderly("bad telegram");
                return;
            }
            std::size_t length = w::readBe16(input.data() + w::tpktLengthOffset);
            if (length < w::dtHeaderSize) {
                server.trace(number, "<- TPKT length %zu is too small: %s", length, wire::spacedHex(input).c_str());
                closeOrderly("bad telegram");
                return;
            }
            if (input.size() < length) break;
            wire::Bytes telegram(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(length));
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
    server.trace(number, "<- unit %02X, neither CR nor DT: %s", code, wire::spacedHex(telegram).c_str());
    return closeOrderly("unexpected unit");
}

Outcome Session::handleConnectRequest(std::span<const std::uint8_t> telegram) {
    server.recordTelegram(server.connectRequests, telegram);
    auto request = wire::parseConnectRequest(telegram);
    if (!request) {
        server.trace(number, "<- CR, malformed: %s", wire::spacedHex(telegram).c_str());
        return closeOrderly("malformed CR");
    }
    server.trace(number, "<- CR %s", wire::describeConnectRequest(*request).c_str());
    if (connected) {
        server.trace(number, "   a second CR on a connected transport connection");
        return closeOrderly("CR while connected");
    }
    // One own reference per TCP connection, never 0 (the counter may wrap).
    while (ownRef == 0) ownRef = server.nextOwnRef++;

    if (auto fault = server.takeFault(server.confirmFaults)) return confirmWithFault(*request, *fault);
    return sendConfirm(wire::confirmFor(*request, ownRef), request->srcRef);
}

Outcome Session::sendConfirm(const wire::Bytes& confirm, std::uint16_t dstRef) {
    server.trace(number, "-> CC dst-ref %04X src-ref %04X code %02X: %s", dstRef, ownRef, confirm[w::cotpCodeOffset],
                 wire::spacedHex(confirm).c_str());
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
        server.trace(number, "<- DT before any CR: %s", wire::spacedHex(telegram).c_str());
        return closeOrderly("DT without a transport connection");
    }
    if (telegram[w::cotpCodeOffset] != w::cotpData || telegram[w::cotpLengthIndicatorOffset] != w::dtLengthIndicator ||
        eot != w::dtEndOfTsdu) {
        server.trace(number, "<- DT header %s is not 02 F0 80", wire::spacedHex(telegram.subspan(4, 3)).c_str());
        return closeOrderly("bad DT header");
    }
    std::string why;
    auto header = wire::parseRequestHeader(telegram, &why);
    if (!header) {
        server.trace(number, "<- DT, not a fetch/write request (%s): %s", why.c_str(),
                     wire::spacedHex(telegram).c_str());
        return closeOrderly("bad fetch/write header");
    }
    auto data = telegram.subspan(w::fwDataOffset);
    std::size_t expected = header->opCode == w::opWrite ? Memory::byteCount(header->area, header->length) : 0;
    server.trace(number, "<- DT %s, %zu data bytes", wire::describeHeader(*header).c_str(), data.size());
    if (data.size() != expected) {
        server.trace(number, "   %zu data bytes where the header asks for %zu", data.size(), expected);
        return closeOrderly("data length does not match the header");
    }

    if (auto fault = server.takeFault(server.replyFaults)) return replyWithFault(*header, data, *fault);
    Answer answer = carryOut(*header, data);
    wire::Bytes reply = orva::wire::reply(answer.ackOpCode, answer.error, answer.data);
    traceReply(reply, *header);
    return sendAll(reply);
}

Answer Session::carryOut(const wire::RequestHeader& request, std::span<const std::uint8_t> data) {
    Answer answer;
    answer.ackOpCode = wire::ackOpCodeFor(request.opCode);
    if (request.opCode == w::opWrite) {
        answer.error = server.memory.store(request.area, request.block, request.start, request.length, data);
        return answer;
    }
    std::size_t byteCount = Memory::byteCount(request.area, request.length);
    if (byteCount > maxTpktLength - w::fwDataOffset) {  // more than one reply can carry
        answer.error = w::ackAreaTooSmall;
        return answer;
    }
    answer.requestedBytes = byteCount;
    answer.error = server.memory.fetch(request.area, request.block, request.start, request.length, answer.data);
    return answer;
}

void Session::traceReply(const wire::Bytes& reply, const wire::RequestHeader& request) {
    server.trace(number, "-> DT %s (%s)", wire::describeReply(reply).c_str(), wire::describeHeader(request).c_str());
}

}  // namespace orvasim
