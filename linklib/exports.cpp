// SPDX-License-Identifier: Apache-2.0
// The seven exported functions: the handle and argument checks, the request
// decoded once, the slot lock, and the one int result made from a transfer's
// outcome and the handle's record.
#include <memory>
#include <new>
#include <string_view>

#include "area_letters.h"
#include "connection_table.h"
#include "orvanet.h"
#include "request.h"

namespace orva {
namespace {

// Runs body on an open handle with its slot's lock held. The flag is checked
// again under the lock: a handle closed by another thread while this one
// waited is not touched.
template <class Body>
int onOpenHandle(int handle, Body&& body) noexcept {
    try {
        ConnectionTable& table = connectionTable();
        if (!table.isOpen(handle)) return ORVA_ERR_HANDLE;
        std::lock_guard guard(table.lockOf(handle));
        OpenHandle* open = table.handleIn(handle);
        if (open == nullptr) return ORVA_ERR_HANDLE;
        return body(*open);
    } catch (...) {
        return ORVA_ERR_FAILED;
    }
}

// The call's result: its outcome goes into the handle's record first, and a
// failure is reported from the record, so that a step which recorded nothing
// reports what the handle's earlier steps and calls left.
int resultOf(Record& record, const Outcome& outcome) {
    record.take(outcome);
    if (outcome.succeeded) return ORVA_OK;
    if (record.socketError != platform::wsa::none) return ORVA_ERR_SOCKET;
    if (record.failure != Failure::none) return static_cast<int>(record.failure);
    return ORVA_ERR_FAILED;
}

template <class Transfer>
int dataCall(int handle, std::string_view letters, int areaLetter, int dbNumber, int start, int count, int elementSize,
             const void* buffer, Transfer&& transfer) noexcept {
    return onOpenHandle(handle, [&](OpenHandle& open) -> int {
        if (!letters::accepts(letters, areaLetter)) return ORVA_ERR_AREA;
        if (buffer == nullptr && (count & 0xFFFF) != 0) return ORVA_ERR_FAILED;
        const Request request = Request::of(wire::areaCodeOf(areaLetter), dbNumber, start, count, elementSize);
        if (!request.fitsAddressSpace() || !Request::blockNumberFits(request.area, dbNumber)) return ORVA_ERR_FAILED;
        return resultOf(open.record, transfer(open.fetchWrite, request));
    });
}

}  // namespace
}  // namespace orva

using orva::ConnectionTable;
using orva::FetchWrite;
using orva::OpenHandle;
using orva::Request;

extern "C" {

ORVA_API int ORVA_CALL ORVAOpen(const char* ipAddress, const char* ownTsap, const char* plcTsap, int receiveTimeoutMs,
                                int sendTimeoutMs, int connectTimeoutMs) {
    try {
        ConnectionTable& table = orva::connectionTable();
        const int slot = table.claimSlot();
        if (slot == ConnectionTable::noSlot) return ORVA_ERR_NO_FREE_HANDLE;
        std::lock_guard guard(table.lockOf(slot));
        std::unique_ptr<OpenHandle> open(new (std::nothrow) OpenHandle);
        if (!open) {
            table.releaseSlot(slot);
            return ORVA_ERR_FAILED;
        }
        open->transport.configure(ipAddress, orva::wire::isoTcpPort, ownTsap, plcTsap, receiveTimeoutMs, sendTimeoutMs,
                                  connectTimeoutMs);
        table.install(slot, std::move(open));
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
    return orva::dataCall(handle, orva::letters::readBytes, areaLetter, dbNumber, start, count, orva::byteElement,
                          buffer, [&](FetchWrite& f, const Request& r) { return f.read(r, buffer); });
}

ORVA_API int ORVA_CALL ORVARdW(int handle, int areaLetter, int dbNumber, int start, int count, unsigned short* buffer) {
    return orva::dataCall(handle, orva::letters::readWords, areaLetter, dbNumber, start, count, orva::wordElement,
                          buffer, [&](FetchWrite& f, const Request& r) { return f.read(r, buffer); });
}

ORVA_API int ORVA_CALL ORVAWrB(int handle, int areaLetter, int dbNumber, int start, int count,
                               const unsigned char* buffer) {
    return orva::dataCall(handle, orva::letters::writeBytes, areaLetter, dbNumber, start, count, orva::byteElement,
                          buffer, [&](FetchWrite& f, const Request& r) { return f.write(r, buffer); });
}

ORVA_API int ORVA_CALL ORVAWrW(int handle, int areaLetter, int dbNumber, int start, int count,
                               const unsigned short* buffer) {
    return orva::dataCall(handle, orva::letters::writeWords, areaLetter, dbNumber, start, count, orva::wordElement,
                          buffer, [&](FetchWrite& f, const Request& r) { return f.write(r, buffer); });
}

ORVA_API int ORVA_CALL ORVAGetSockErr(int handle) {
    return orva::onOpenHandle(handle, [](OpenHandle& open) -> int { return open.record.socketError; });
}

}  // extern "C"
