// SPDX-License-Identifier: Apache-2.0
#include "outbox.h"

#include <utility>

namespace orvagate {

Outbox::Outbox(std::size_t eventCapacity) : eventCapacity(eventCapacity == 0 ? 1 : eventCapacity) {}

void Outbox::resetSlots() {
    std::lock_guard lock(mutex);
    ++generation;
    slots.clear();
    ready.clear();
}

SlotId Outbox::addSlot(std::string topic) {
    std::lock_guard lock(mutex);
    Slot slot;
    slot.topic = std::move(topic);
    slots.push_back(std::move(slot));
    return slots.size() - 1;
}

void Outbox::enqueueLocked(SlotId slot) {
    slots[slot].queued = true;
    ready.push_back(slot);
}

void Outbox::update(SlotId slot, std::string payload) {
    bool becameReady = false;
    {
        std::lock_guard lock(mutex);
        if (slot >= slots.size()) return;
        Slot& s = slots[slot];
        s.payload = std::move(payload);
        s.hasPayload = true;
        s.changed = true;
        if (!s.inFlight && !s.queued) {
            enqueueLocked(slot);
            becameReady = true;
        }
    }
    if (becameReady) wake();
}

void Outbox::post(Message event) {
    {
        std::lock_guard lock(mutex);
        if (events.size() >= eventCapacity) {
            events.pop_front();
            ++droppedEvents;
        }
        events.push_back(std::move(event));
    }
    wake();
}

void Outbox::setWakeup(std::function<void()> w) {
    std::lock_guard lock(mutex);
    wakeup = std::move(w);
}

void Outbox::wake() {
    std::function<void()> w;
    {
        std::lock_guard lock(mutex);
        w = wakeup;
    }
    if (w) w();
}

std::optional<std::pair<Message, Origin>> Outbox::take() {
    std::lock_guard lock(mutex);
    if (!events.empty() && eventsInFlight < eventCapacity) {
        Message m = std::move(events.front());
        events.pop_front();
        ++eventsInFlight;
        return std::pair{std::move(m), Origin{true, generation, 0}};
    }
    while (!ready.empty()) {
        const SlotId id = ready.front();
        ready.pop_front();
        Slot& s = slots[id];
        s.queued = false;
        if (!s.changed) continue;
        s.changed = false;
        s.inFlight = true;
        return std::pair{Message{s.topic, s.payload, true, {}}, Origin{false, generation, id}};
    }
    return std::nullopt;
}

void Outbox::delivered(const Origin& origin) {
    bool becameReady = false;
    {
        std::lock_guard lock(mutex);
        if (origin.event) {
            if (eventsInFlight > 0) --eventsInFlight;
            becameReady = !events.empty();
        } else if (origin.generation == generation && origin.slot < slots.size()) {
            Slot& s = slots[origin.slot];
            s.inFlight = false;
            if (s.changed && !s.queued) {
                enqueueLocked(origin.slot);
                becameReady = true;
            }
        }
    }
    if (becameReady) wake();
}

void Outbox::republishAll() {
    bool any = false;
    {
        std::lock_guard lock(mutex);
        eventsInFlight = 0;
        for (SlotId id = 0; id < slots.size(); ++id) {
            Slot& s = slots[id];
            s.inFlight = false;
            if (!s.hasPayload) continue;
            s.changed = true;
            if (!s.queued) enqueueLocked(id);
            any = true;
        }
        any = any || !events.empty();
    }
    if (any) wake();
}

Outbox::Counts Outbox::counts() const {
    std::lock_guard lock(mutex);
    Counts c;
    c.slots = slots.size();
    c.ready = ready.size();
    for (const Slot& s : slots) c.inFlight += s.inFlight ? 1 : 0;
    c.inFlight += eventsInFlight;
    c.events = events.size();
    c.droppedEvents = droppedEvents;
    return c;
}

}  // namespace orvagate
