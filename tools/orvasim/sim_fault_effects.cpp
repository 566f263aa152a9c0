// SPDX-License-Identifier: Apache-2.0
// What each fault does: a confirm fault to the answer of a CR, a reply fault
// to the answer of a fetch or write request (sim_faults.h says what each is).
#include "sim_session.h"

#include <algorithm>
#include <chrono>
#include <poll.h>
#include <string>

namespace orvasim {

namespace w = orva::wire;

Outcome Session::confirmWithFault(const wire::ConnectRequest& request, const ConfirmFault& fault) {
    server.trace(number, "   fault %s value %d", std::string(faultEntry(fault.kind).name).c_str(), fault.value);
    switch (fault.kind) {
    case ConfirmFaultKind::disconnectInsteadOfConfirm: {
        wire::Bytes dr = wire::disconnectFor(request, ownRef);
        server.trace(number, "-> DR %s", wire::spacedHex(dr).c_str());
        return sendAll(dr);  // the transport connection stays unconfirmed; a new CR may follow
    }
    case ConfirmFaultKind::shortConfirm: {
        wire::Bytes confirm = wire::confirmFor(request, ownRef);
        confirm.resize(5);
        server.trace(number, "-> CC cut to 5 bytes: %s", wire::spacedHex(confirm).c_str());
        connected = true;
        return sendAll(confirm);
    }
    case ConfirmFaultKind::confirmCredit:
        return sendConfirm(wire::confirmFor(request, ownRef, static_cast<std::uint8_t>(fault.value)), request.srcRef);
    case ConfirmFaultKind::silentConfirm:
        server.trace(number, "-> nothing (the CR stays unanswered)");
        return Outcome::goOn;
    case ConfirmFaultKind::resetOnConnectRequest: return resetNow("fault on CR");
    case ConfirmFaultKind::closeOnConnectRequest: return closeOrderly("fault on CR");
    }
    return sendConfirm(wire::confirmFor(request, ownRef), request.srcRef);
}

Outcome Session::replyWithFault(const wire::RequestHeader& request, std::span<const std::uint8_t> data,
                                const ReplyFault& fault) {
    const int value = fault.value;
    server.trace(number, "   fault %s value %d pause %d ms", std::string(faultEntry(fault.kind).name).c_str(), value,
                 fault.pauseMs);

    // The answer: under errorByte the request is refused, not carried out.
    Answer answer;
    if (fault.kind == ReplyFaultKind::errorByte) {
        answer.ackOpCode = wire::ackOpCodeFor(request.opCode);
        answer.error = static_cast<std::uint8_t>(value);
    } else {
        answer = carryOut(request, data);
    }
    if (fault.kind == ReplyFaultKind::errorByteWithData) {
        answer.error = static_cast<std::uint8_t>(value);
        answer.data.resize(answer.requestedBytes, 0);  // zeros where nothing could be read
    }

    // Its bytes, changed.
    wire::Bytes reply = orva::wire::reply(answer.ackOpCode, answer.error, answer.data);
    switch (fault.kind) {
    case ReplyFaultKind::wrongDataLength: {
        long size = static_cast<long>(reply.size()) + value;
        reply.resize(static_cast<std::size_t>(std::max<long>(size, w::dtHeaderSize)), 0);
        w::writeBe16(reply.data() + w::tpktLengthOffset, static_cast<std::uint16_t>(reply.size()));
        break;
    }
    case ReplyFaultKind::badTypeByte: reply[w::cotpCodeOffset] = static_cast<std::uint8_t>(value); break;
    case ReplyFaultKind::badEotByte: reply[w::dtEotOffset] = static_cast<std::uint8_t>(value); break;
    case ReplyFaultKind::tpktLength:
        w::writeBe16(reply.data() + w::tpktLengthOffset, static_cast<std::uint16_t>(value));
        break;
    default: break;
    }
    traceReply(reply, request);

    // How they are sent, if at all.
    std::span<const std::uint8_t> all(reply);
    switch (fault.kind) {
    case ReplyFaultKind::emptyUnitsBefore: {
        wire::Bytes out;
        const wire::Bytes empty = orva::wire::emptyDataUnit();
        for (int i = 0; i < value; ++i) out.insert(out.end(), empty.begin(), empty.end());
        out.insert(out.end(), reply.begin(), reply.end());
        return sendAll(out);
    }
    case ReplyFaultKind::endlessEmptyUnits: return sendEmptyUnitsUntilTheClientActs(std::max(value, 1));
    case ReplyFaultKind::splitReply: {
        std::size_t pieces = static_cast<std::size_t>(std::clamp<int>(value, 1, static_cast<int>(all.size())));
        std::size_t done = 0;
        for (std::size_t i = 0; i < pieces; ++i) {
            if (i > 0 && pause(fault.pauseMs) == Outcome::ended) return Outcome::ended;
            std::size_t end = all.size() * (i + 1) / pieces;
            if (sendAll(all.subspan(done, end - done)) == Outcome::ended) return Outcome::ended;
            done = end;
        }
        return Outcome::goOn;
    }
    case ReplyFaultKind::drip:
        for (std::size_t i = 0; i < all.size(); ++i) {
            if (i > 0 && pause(fault.pauseMs) == Outcome::ended) return Outcome::ended;
            if (sendAll(all.subspan(i, 1)) == Outcome::ended) return Outcome::ended;
        }
        return Outcome::goOn;
    case ReplyFaultKind::silence: server.trace(number, "   (not sent: silence)"); return Outcome::goOn;
    case ReplyFaultKind::resetBeforeReply: return resetNow("instead of the reply");
    case ReplyFaultKind::closeBeforeReply: return closeOrderly("instead of the reply");
    case ReplyFaultKind::resetAfterBytes:
    case ReplyFaultKind::closeAfterBytes: {
        std::size_t n = static_cast<std::size_t>(std::clamp<int>(value, 0, static_cast<int>(all.size())));
        if (n > 0 && sendAll(all.first(n)) == Outcome::ended) return Outcome::ended;
        return fault.kind == ReplyFaultKind::resetAfterBytes ? resetNow("after part of the reply")
                                                             : closeOrderly("after part of the reply");
    }
    case ReplyFaultKind::delayReply:
        if (pause(fault.pauseMs) == Outcome::ended) return Outcome::ended;
        return sendAll(all);
    case ReplyFaultKind::duplicateReply: {
        server.trace(number, "   (twice, in one send)");
        wire::Bytes twice = reply;
        twice.insert(twice.end(), reply.begin(), reply.end());
        return sendAll(twice);
    }
    case ReplyFaultKind::wrongDataLength:
    case ReplyFaultKind::badTypeByte:
    case ReplyFaultKind::badEotByte:
    case ReplyFaultKind::tpktLength:
    case ReplyFaultKind::errorByte:
    case ReplyFaultKind::errorByteWithData: break;
    }
    return sendAll(all);
}

Outcome Session::sendEmptyUnitsUntilTheClientActs(int everyMs) {
    const wire::Bytes empty = orva::wire::emptyDataUnit();
    for (;;) {
        if (sendAll(empty) == Outcome::ended) return Outcome::ended;
        auto next = std::chrono::steady_clock::now() + std::chrono::milliseconds(everyMs);
        for (;;) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(next - std::chrono::steady_clock::now()).count();
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

}  // namespace orvasim
