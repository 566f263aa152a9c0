// SPDX-License-Identifier: Apache-2.0
#include "connection_table.h"

#include "platform/lifetime.h"

namespace orva {

int ConnectionTable::claimSlot() {
    for (int slot = 0; slot < slotCount; ++slot) {
        int expected = 0;
        if (inUse[static_cast<std::size_t>(slot)].compare_exchange_strong(expected, 1)) return slot;
    }
    return noSlot;
}

void ConnectionTable::releaseSlot(int slot) {
    handles[static_cast<std::size_t>(slot)].reset();
    inUse[static_cast<std::size_t>(slot)].store(0);
}

bool ConnectionTable::isOpen(int handle) const {
    return handle >= 0 && handle < slotCount && inUse[static_cast<std::size_t>(handle)].load() != 0;
}

OpenHandle* ConnectionTable::handleIn(int slot) {
    if (!isOpen(slot)) return nullptr;
    return handles[static_cast<std::size_t>(slot)].get();
}

void ConnectionTable::install(int slot, std::unique_ptr<OpenHandle> handle) {
    handles[static_cast<std::size_t>(slot)] = std::move(handle);
}

bool ConnectionTable::close(int slot) {
    OpenHandle* handle = handleIn(slot);
    if (handle == nullptr) return false;
    handle->transport.close();
    inUse[static_cast<std::size_t>(slot)].store(0);
    handles[static_cast<std::size_t>(slot)].reset();
    return true;
}

void ConnectionTable::closeAll() {
    for (int slot = 0; slot < slotCount; ++slot) {
        std::lock_guard guard(lockOf(slot));
        (void)close(slot);
    }
}

void ConnectionTable::closeAllNotInUse() {
    for (int slot = 0; slot < slotCount; ++slot) {
        std::unique_lock lock(lockOf(slot), std::try_to_lock);
        if (lock.owns_lock()) (void)close(slot);
    }
}

ConnectionTable& connectionTable() {
    static ConnectionTable table;
    static const bool unloadHooked = [] {
        platform::setUnloadActions(
            {[] { connectionTable().closeAll(); }, [] { connectionTable().closeAllNotInUse(); }});
        return true;
    }();
    (void)unloadHooked;
    return table;
}

}  // namespace orva
