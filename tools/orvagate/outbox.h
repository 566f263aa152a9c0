/* SPDX-License-Identifier: Apache-2.0 */
// What waits to be published, in bounded room whatever the broker does.
//
// States (a value, a PLC's status) live in slots: a slot holds the latest
// payload of its topic only, so a value that changes while the broker is away
// or slow replaces the one before it, and each slot has at most one message in
// the MQTT client at a time. Events (the results of writes) wait in a queue of
// fixed length; when it is full the oldest waiting one is dropped.
//
// The PLC workers update slots and post events from their threads; the MQTT
// link takes messages and reports them delivered from its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace orvagate {

struct Message {
    std::string topic;
    std::string payload;
    bool retain = false;
    std::string correlation;  // MQTT 5 correlation data; empty: none
};

using SlotId = std::size_t;

// Where a message taken came from, for delivered().
struct Origin {
    bool event = false;
    std::uint64_t generation = 0;
    SlotId slot = 0;
};

class Outbox {
public:
    explicit Outbox(std::size_t eventCapacity = defaultEventCapacity);
    static constexpr std::size_t defaultEventCapacity = 256;

    // Forgets every slot (a new configuration); events stay. Call it while no
    // worker updates slots.
    void resetSlots();
    SlotId addSlot(std::string topic);  // a retained topic
    // The slot's latest payload; an earlier one not yet taken is replaced.
    void update(SlotId slot, std::string payload);
    void post(Message event);

    // Called (outside the lock) whenever something becomes ready to take.
    void setWakeup(std::function<void()> wakeup);

    // The link's side: the next message to publish (events first), or none.
    std::optional<std::pair<Message, Origin>> take();
    // The client has sent it (QoS 0) or the broker acknowledged it.
    void delivered(const Origin& origin);
    // A new connection: every slot that has a payload is ready again, and
    // nothing counts as in flight any more.
    void republishAll();

    struct Counts {
        std::size_t slots = 0;
        std::size_t ready = 0;     // slots waiting to be taken
        std::size_t inFlight = 0;  // slots and events taken, not yet delivered
        std::size_t events = 0;    // events waiting
        std::uint64_t droppedEvents = 0;
    };
    Counts counts() const;

private:
    struct Slot {
        std::string topic;
        std::string payload;
        bool hasPayload = false;
        bool changed = false;  // updated since it was last taken
        bool queued = false;
        bool inFlight = false;
    };
    void enqueueLocked(SlotId slot);
    void wake();

    const std::size_t eventCapacity;
    mutable std::mutex mutex;
    std::uint64_t generation = 1;
    std::vector<Slot> slots;
    std::deque<SlotId> ready;
    std::deque<Message> events;
    std::size_t eventsInFlight = 0;
    std::uint64_t droppedEvents = 0;
    std::function<void()> wakeup;
};

}  // namespace orvagate
