// SPDX-License-Identifier: Apache-2.0
// The seven exported functions: handle and letter checks, the slot lock, and
// the one int result built from the connection's state.
#include <algorithm>
#include <memory>
#include <new>
#include <string_view>

#include "connection_table.h"
#include "orvanet.h"

namespace orva {
namespace {

// Letters each data function accepts; the whole int is compared, so a code with
// higher bits set is refused.
constexpr std::string_view readByteLetters = "AEIMOaeimo";
constexpr std::string_view readWordLetters = "ACDEIMOTXZacdeimotxz";
constexpr std::string_view writeByteLetters = "AMOamo";
constexpr std::string_view writeWordLetters = "ACDMOTXZacdmotxz";

bool accepts(std::string_view letters, int areaLetter) {
    return areaLetter > 0 && areaLetter < 0x80 && letters.find(static_cast<char>(areaLetter)) != std::string_view::npos;
}

// Runs body on the connection of an open handle with its slot's lock held. The
// flag is checked again under the lock: a handle closed by another thread while
// this one waited is not touched.
template <class Body>
int onOpenHandle(int handle, Body&& body) noexcept {
    try {
        ConnectionTable& table = connectionTable();
        if (!table.isOpen(handle)) return ORVA_ERR_HANDLE;
        std::lock_guard guard(table.lockOf(handle));
        PlcConnection* connection = table.connectionIn(handle);
        if (connection == nullptr) return ORVA_ERR_HANDLE;
        return body(*connection);
    } catch (...) {
        return ORVA_ERR_FAILED;
    }
}

// The result of a failed transfer, from what the connection recorded.
int failureResult(const PlcConnection& connection) {
    if (connection.lastSocketError != 0) return ORVA_ERR_SOCKET;
    if (connection.linkStatus != LinkStatus::none) return connection.linkStatus;
    return ORVA_ERR_FAILED;
}

template <class Transfer>
int dataCall(int handle, std::string_view letters, int areaLetter, int dbNumber, int start, int count, int elementSize,
             const void* buffer, Transfer&& transfer) noexcept {
    return onOpenHandle(handle, [&](PlcConnection& connection) -> int {
        if (!accepts(letters, areaLetter)) return ORVA_ERR_AREA;
        if (buffer == nullptr && (count & 0xFFFF) != 0) return ORVA_ERR_FAILED;
        // Past address 65535 the telegrams' 16-bit start would wrap to 0, and a
        // block number past 255 would lose its high bits: data of other
        // addresses, or of another block, would come back as success.
        if (!fitsAddressSpace(start, count, areaLetter, elementSize)) return ORVA_ERR_FAILED;
        if (!isBlockNumber(dbNumber, areaLetter)) return ORVA_ERR_FAILED;
        if (transfer(connection)) return ORVA_OK;
        return failureResult(connection);
    });
}

}  // namespace
}  // namespace orva

using orva::ConnectionTable;
using orva::PlcConnection;

extern "C" {

ORVA_API int ORVA_CALL ORVAOpen(const char* ipAddress, const char* ownTsap, const char* plcTsap, int receiveTimeoutMs,
                                int sendTimeoutMs, int connectTimeoutMs) {
    try {
        ConnectionTable& table = orva::connectionTable();
        const int slot = table.claimSlot();
        if (slot == ConnectionTable::noSlot) return ORVA_ERR_NO_FREE_HANDLE;
        std::lock_guard guard(table.lockOf(slot));
        std::unique_ptr<PlcConnection> connection(new (std::nothrow) PlcConnection);
        if (!connection) {
            table.releaseSlot(slot);
            return ORVA_ERR_FAILED;
        }
        connection->configure(ipAddress, orva::wire::isoTcpPort, ownTsap == nullptr ? "" : ownTsap,
                              plcTsap == nullptr ? "" : plcTsap, receiveTimeoutMs, sendTimeoutMs, connectTimeoutMs);
        table.install(slot, std::move(connection));
        return slot;
    } catch (...) {
        return ORVA_ERR_FAILED;
    }
}

ORVA_API int ORVA_CALL ORVAClose(int handle) {
    try {
        ConnectionTable& table = orva::connectionTable();
        if (!table.isOpen(handle)) return ORVA_ERR_HANDLE;
        std::lock_guard guard(table.lockOf(handle));
        return table.close(handle) ? ORVA_OK : ORVA_ERR_HANDLE;
    } catch (...) {
        return ORVA_ERR_FAILED;
    }
}

ORVA_API int ORVA_CALL ORVARdB(int handle, int areaLetter, int dbNumber, int start, int count, unsigned char* buffer) {
    return orva::dataCall(handle, orva::readByteLetters, areaLetter, dbNumber, start, count, 1, buffer,
                          [&](PlcConnection& c) { return c.readBytes(dbNumber, start, count, buffer, areaLetter); });
}

ORVA_API int ORVA_CALL ORVARdW(int handle, int areaLetter, int dbNumber, int start, int count, unsigned short* buffer) {
    return orva::dataCall(handle, orva::readWordLetters, areaLetter, dbNumber, start, count, 2, buffer,
                          [&](PlcConnection& c) { return c.readWords(dbNumber, start, count, buffer, areaLetter); });
}

ORVA_API int ORVA_CALL ORVAWrB(int handle, int areaLetter, int dbNumber, int start, int count,
                               const unsigned char* buffer) {
    return orva::dataCall(handle, orva::writeByteLetters, areaLetter, dbNumber, start, count, 1, buffer,
                          [&](PlcConnection& c) { return c.writeBytes(dbNumber, start, count, buffer, areaLetter); });
}

ORVA_API int ORVA_CALL ORVAWrW(int handle, int areaLetter, int dbNumber, int start, int count,
                               const unsigned short* buffer) {
    return orva::dataCall(handle, orva::writeWordLetters, areaLetter, dbNumber, start, count, 2, buffer,
                          [&](PlcConnection& c) { return c.writeWords(dbNumber, start, count, buffer, areaLetter); });
}

ORVA_API int ORVA_CALL ORVAGetSockErr(int handle) {
    return orva::onOpenHandle(handle, [](PlcConnection& c) -> int { return c.lastSocketError; });
}

}  // extern "C"
