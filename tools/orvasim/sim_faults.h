/* SPDX-License-Identifier: Apache-2.0 */
// What the adapter does wrongly, on purpose. A confirm fault is used by the
// next CR, a reply fault by the next fetch or write request; either arrives on
// any connection, is used once and then forgotten. The two are types of their
// own, so that a reply fault cannot be armed for a confirm.
//
// faultTable below is the one list of them: their names (the control
// channel's, the trace's and the help's) and what each does.
// Details of the simulator's choice:
// - A write is carried out under every reply fault except errorByte (the
//   adapter refuses it); errorByteWithData carries it out and still reports.
// - After a DR, a silent or a short confirm the connection stays open: the
//   client may send a new CR (after a DR or silence) or just close.
// - wrongDataLength with a negative value may cut into the acknowledgement,
//   never below the 7-byte header; added bytes are zeros. The TPKT length
//   always tells the true length, except under tpktLength.
// - endlessEmptyUnits ends when the client closes, resets or sends anything;
//   the reply is never sent.
// - "Closes orderly" sends a FIN (shutdown for writing) and then reads, and
//   drops, whatever arrives until the client closes: the record then tells how
//   the client ended its side. "Resets" is linger {1, 0} and close, recorded as
//   a reset.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>
#include <variant>

namespace orvasim {

// Both in the order of faultTable below.
enum class ConfirmFaultKind {
    disconnectInsteadOfConfirm,
    shortConfirm,
    confirmCredit,
    silentConfirm,
    resetOnConnectRequest,
    closeOnConnectRequest,
};

enum class ReplyFaultKind {
    emptyUnitsBefore,
    endlessEmptyUnits,
    splitReply,
    drip,
    silence,
    resetBeforeReply,
    closeBeforeReply,
    resetAfterBytes,
    closeAfterBytes,
    wrongDataLength,
    badTypeByte,
    badEotByte,
    tpktLength,
    errorByte,
    errorByteWithData,
    delayReply,
    duplicateReply,
};

struct ConfirmFault {
    ConfirmFaultKind kind;
    int value = 0;
};

struct ReplyFault {
    ReplyFaultKind kind;
    int value = 0;
    int pauseMs = 0;
};

enum class FaultPhase { confirm, reply };

struct FaultEntry {
    std::string_view name;
    std::variant<ConfirmFaultKind, ReplyFaultKind> kind;
    std::string_view effect;  // what it does, in one short line (VALUE, PAUSE: the fault's numbers)

    constexpr FaultPhase phase() const {
        return std::holds_alternative<ConfirmFaultKind>(kind) ? FaultPhase::confirm : FaultPhase::reply;
    }
};

inline constexpr std::array faultTable = {
    FaultEntry{"disconnectInsteadOfConfirm", ConfirmFaultKind::disconnectInsteadOfConfirm, "a DR in place of the CC"},
    FaultEntry{"shortConfirm", ConfirmFaultKind::shortConfirm, "only the first 5 bytes of the CC"},
    FaultEntry{"confirmCredit", ConfirmFaultKind::confirmCredit, "a CC whose code byte is D0 | (VALUE & 0F)"},
    FaultEntry{"silentConfirm", ConfirmFaultKind::silentConfirm, "no answer to the CR"},
    FaultEntry{"resetOnConnectRequest", ConfirmFaultKind::resetOnConnectRequest, "resets the connection on the CR"},
    FaultEntry{"closeOnConnectRequest", ConfirmFaultKind::closeOnConnectRequest,
               "closes the connection orderly on the CR"},
    FaultEntry{"emptyUnitsBefore", ReplyFaultKind::emptyUnitsBefore, "VALUE empty data units, then the reply"},
    FaultEntry{"endlessEmptyUnits", ReplyFaultKind::endlessEmptyUnits, "an empty data unit every VALUE ms, no reply"},
    FaultEntry{"splitReply", ReplyFaultKind::splitReply, "the reply in VALUE pieces, PAUSE ms apart"},
    FaultEntry{"drip", ReplyFaultKind::drip, "the reply byte by byte, PAUSE ms apart"},
    FaultEntry{"silence", ReplyFaultKind::silence, "no answer"},
    FaultEntry{"resetBeforeReply", ReplyFaultKind::resetBeforeReply, "resets the connection instead of replying"},
    FaultEntry{"closeBeforeReply", ReplyFaultKind::closeBeforeReply, "closes orderly instead of replying"},
    FaultEntry{"resetAfterBytes", ReplyFaultKind::resetAfterBytes, "VALUE bytes of the reply, then a reset"},
    FaultEntry{"closeAfterBytes", ReplyFaultKind::closeAfterBytes, "VALUE bytes of the reply, then an orderly close"},
    FaultEntry{"wrongDataLength", ReplyFaultKind::wrongDataLength, "VALUE more data bytes (negative: fewer)"},
    FaultEntry{"badTypeByte", ReplyFaultKind::badTypeByte, "reply byte 5 (the unit's code) = VALUE"},
    FaultEntry{"badEotByte", ReplyFaultKind::badEotByte, "reply byte 6 (the end mark) = VALUE"},
    FaultEntry{"tpktLength", ReplyFaultKind::tpktLength, "the reply's TPKT length field = VALUE"},
    FaultEntry{"errorByte", ReplyFaultKind::errorByte, "error byte VALUE, no data, nothing written"},
    FaultEntry{"errorByteWithData", ReplyFaultKind::errorByteWithData, "error byte VALUE, data as requested"},
    FaultEntry{"delayReply", ReplyFaultKind::delayReply, "the whole reply, PAUSE ms late"},
    FaultEntry{"duplicateReply", ReplyFaultKind::duplicateReply, "the reply twice, in one send"},
};

namespace detail {

// Confirm faults come first, then reply faults, each kind once and in the order
// of its enumeration: an entry is found by its kind's value.
constexpr bool inEnumerationOrder() {
    std::size_t confirms = 0, replies = 0;
    for (const FaultEntry& entry : faultTable) {
        // std::get, not std::get_if: the pointer that get_if takes is no
        // constant expression in a build with UndefinedBehaviorSanitizer.
        if (std::holds_alternative<ConfirmFaultKind>(entry.kind)) {
            if (replies != 0 || static_cast<std::size_t>(std::get<ConfirmFaultKind>(entry.kind)) != confirms++)
                return false;
        } else if (static_cast<std::size_t>(std::get<ReplyFaultKind>(entry.kind)) != replies++) {
            return false;
        }
    }
    return true;
}
static_assert(inEnumerationOrder(), "faultTable: confirm faults, then reply faults, each in enumeration order");

inline constexpr std::size_t confirmFaultCount = static_cast<std::size_t>(std::count_if(
    faultTable.begin(), faultTable.end(), [](const FaultEntry& e) { return e.phase() == FaultPhase::confirm; }));

}  // namespace detail

// The entry of a kind, and of a name (null for an unknown name).
constexpr const FaultEntry& faultEntry(ConfirmFaultKind kind) { return faultTable.at(static_cast<std::size_t>(kind)); }
constexpr const FaultEntry& faultEntry(ReplyFaultKind kind) {
    return faultTable.at(detail::confirmFaultCount + static_cast<std::size_t>(kind));
}
constexpr const FaultEntry* findFault(std::string_view name) {
    for (const FaultEntry& entry : faultTable)
        if (entry.name == name) return &entry;
    return nullptr;
}

}  // namespace orvasim
