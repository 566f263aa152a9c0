/* SPDX-License-Identifier: Apache-2.0 */
// The process-wide table of handles: 64 slots, each with its open handle, a
// re-entrant lock and an in-use flag.
#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <mutex>

#include "fetch_write.h"
#include "outcome.h"
#include "transport.h"

namespace orva {

// One open handle: its transport connection, the fetch/write layer over it,
// and what its calls recorded.
struct OpenHandle {
    OpenHandle() : fetchWrite(transport) {}
    OpenHandle(const OpenHandle&) = delete;
    OpenHandle& operator=(const OpenHandle&) = delete;

    Transport transport;
    FetchWrite fetchWrite;
    Record record;
};

class ConnectionTable {
public:
    static constexpr int slotCount = 64;
    static constexpr int noSlot = -1;

    ConnectionTable() = default;
#if defined(_WIN32)
    // DllMain closes the handles at unload, before Windows Sockets is cleaned
    // up. At process exit Windows has ended the other threads before static
    // objects are destroyed, and a slot lock owned by such a thread would
    // never be released: closing here could hang the exit.
    ~ConnectionTable() = default;
#else
    // Unload: every open handle is closed as ORVAClose closes it.
    ~ConnectionTable() { closeAll(); }
#endif
    ConnectionTable(const ConnectionTable&) = delete;
    ConnectionTable& operator=(const ConnectionTable&) = delete;

    // Claims the lowest free slot in one indivisible step, so parallel opens never
    // share one; noSlot when all are in use.
    int claimSlot();
    // Gives a claimed slot back (its lock must be held).
    void releaseSlot(int slot);

    // True when handle is 0..63 and its in-use flag is set. Checked before the
    // lock is taken, and again after, by handleIn.
    bool isOpen(int handle) const;
    std::recursive_mutex& lockOf(int slot) { return locks[static_cast<std::size_t>(slot)]; }
    // The handle of an open slot, or null; call with the slot's lock held.
    OpenHandle* handleIn(int slot);
    void install(int slot, std::unique_ptr<OpenHandle> handle);

    // Closes an open slot: abortive close of its connection, flag cleared, handle
    // destroyed. False when the slot is not open. Call with the slot's lock held.
    bool close(int slot);
    void closeAll();
    // Closes the open slots whose lock nobody holds, without waiting for the others.
    void closeAllNotInUse();

private:
    std::array<std::unique_ptr<OpenHandle>, slotCount> handles{};
    std::array<std::recursive_mutex, slotCount> locks{};
    // Last: the test of isOpen's range puts bytes that are all set right
    // behind the table, where a check that let 64 through would read a flag.
    std::array<std::atomic<int>, slotCount> inUse{};
};

// The one table of the process.
ConnectionTable& connectionTable();

}  // namespace orva
