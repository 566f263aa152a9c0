// SPDX-License-Identifier: Apache-2.0
// The outbox's bounds: the latest payload per slot, one message per slot in
// flight, a fixed queue of events; and the one write that waits per variable.
#include "outbox.h"
#include "plc_worker.h"

#include <gtest/gtest.h>

namespace orvagate {
namespace {

std::vector<std::string> drain(Outbox& box, std::vector<Origin>* origins = nullptr) {
    std::vector<std::string> payloads;
    while (auto m = box.take()) {
        payloads.push_back(m->first.topic + "=" + m->first.payload);
        if (origins) origins->push_back(m->second);
    }
    return payloads;
}

TEST(Outbox, ALaterPayloadReplacesOneNotYetTaken) {
    Outbox box;
    const SlotId a = box.addSlot("a");
    const SlotId b = box.addSlot("b");
    for (int i = 0; i < 1000; ++i) box.update(a, std::to_string(i));
    box.update(b, "x");
    EXPECT_EQ(box.counts().ready, 2u);
    std::vector<Origin> origins;
    EXPECT_EQ(drain(box, &origins), (std::vector<std::string>{"a=999", "b=x"}));
    auto taken = box.take();
    EXPECT_FALSE(taken);
}

TEST(Outbox, OneMessagePerSlotInFlight) {
    Outbox box;
    const SlotId a = box.addSlot("a");
    box.update(a, "1");
    auto first = box.take();
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->first.retain);
    box.update(a, "2");
    box.update(a, "3");
    EXPECT_FALSE(box.take()) << "a second message of a slot while the first is in flight";
    EXPECT_EQ(box.counts().inFlight, 1u);
    box.delivered(first->second);
    auto second = box.take();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->first.payload, "3");
    box.delivered(second->second);
    EXPECT_FALSE(box.take()) << "nothing new since";
}

TEST(Outbox, ANewConnectionSendsEveryStateAgain) {
    Outbox box;
    const SlotId a = box.addSlot("a");
    box.addSlot("never");
    const SlotId c = box.addSlot("c");
    box.update(a, "1");
    box.update(c, "2");
    drain(box);  // in flight when the connection went
    box.republishAll();
    EXPECT_EQ(drain(box), (std::vector<std::string>{"a=1", "c=2"}));
}

TEST(Outbox, EventsComeFirstAndTheOldestIsDroppedWhenFull) {
    Outbox box(3);
    const SlotId a = box.addSlot("a");
    box.update(a, "v");
    for (int i = 0; i < 5; ++i) box.post(Message{"r", std::to_string(i), false, "c" + std::to_string(i)});
    EXPECT_EQ(box.counts().events, 3u);
    EXPECT_EQ(box.counts().droppedEvents, 2u);
    auto first = box.take();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->first.payload, "2");
    EXPECT_EQ(first->first.correlation, "c2");
    EXPECT_FALSE(first->first.retain);
    EXPECT_EQ(drain(box), (std::vector<std::string>{"r=3", "r=4", "a=v"}));
}

TEST(Outbox, EventsInFlightAreBoundedToo) {
    Outbox box(2);
    for (int i = 0; i < 2; ++i) box.post(Message{"r", std::to_string(i), false, {}});
    std::vector<Origin> origins;
    EXPECT_EQ(drain(box, &origins).size(), 2u);
    box.post(Message{"r", "2", false, {}});
    EXPECT_FALSE(box.take()) << "two events in flight already";
    box.delivered(origins[0]);
    auto next = box.take();
    ASSERT_TRUE(next);
    EXPECT_EQ(next->first.payload, "2");
}

TEST(Outbox, ANewConfigurationForgetsTheOldSlots) {
    Outbox box;
    const SlotId a = box.addSlot("old");
    box.update(a, "1");
    auto taken = box.take();
    ASSERT_TRUE(taken);
    box.resetSlots();
    const SlotId fresh = box.addSlot("new");
    EXPECT_EQ(fresh, a);
    box.update(fresh, "2");
    box.delivered(taken->second);  // of the old slot: changes nothing
    EXPECT_EQ(drain(box), (std::vector<std::string>{"new=2"}));
}

TEST(Outbox, WakesWhenSomethingBecomesReady) {
    Outbox box;
    int wakes = 0;
    box.setWakeup([&] { ++wakes; });
    const SlotId a = box.addSlot("a");
    box.update(a, "1");
    box.update(a, "2");  // still queued: no second wake-up
    EXPECT_EQ(wakes, 1);
    box.post(Message{"r", "x", false, {}});
    EXPECT_EQ(wakes, 2);
}

TEST(PendingWrites, ANewerWriteReplacesTheOneWaiting) {
    PlcConfig plc;
    plc.name = "p";
    plc.address = "127.0.6.1";
    GroupConfig g;
    g.writable = true;
    g.variables = {{"a", "MW0", 1}, {"b", "MW2", 1}};
    plc.groups = {g};
    GroupConfig readOnly;
    readOnly.variables = {{"c", "MW4", 1}};
    plc.groups.push_back(readOnly);
    PlcWorker worker(plc, Topics("orvanet", "g"));  // not started: writes wait
    ASSERT_EQ(worker.writableIndex("b"), 1u);
    EXPECT_FALSE(worker.writableIndex("c"));

    auto write = [](long long v) {
        WriteRequest r{v, std::to_string(v), ""};
        return PendingWrite{r, "res", "corr" + std::to_string(v)};
    };
    std::optional<PendingWrite> replaced;
    EXPECT_EQ(worker.submit(0, write(1), replaced), PlcWorker::Queued::waiting);
    EXPECT_FALSE(replaced);
    EXPECT_EQ(worker.submit(1, write(10), replaced), PlcWorker::Queued::waiting) << "another variable's slot";
    EXPECT_EQ(worker.submit(0, write(2), replaced), PlcWorker::Queued::replacedOne);
    ASSERT_TRUE(replaced);
    EXPECT_EQ(std::get<long long>(replaced->request.value), 1);
    EXPECT_EQ(replaced->correlation, "corr1");
    replaced.reset();
    EXPECT_EQ(worker.submit(0, write(3), replaced), PlcWorker::Queued::replacedOne);
    EXPECT_EQ(std::get<long long>(replaced->request.value), 2);

    worker.requestStop();
    replaced.reset();
    EXPECT_EQ(worker.submit(0, write(4), replaced), PlcWorker::Queued::stopped);
    EXPECT_FALSE(replaced);
}

}  // namespace
}  // namespace orvagate
