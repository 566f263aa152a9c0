// SPDX-License-Identifier: Apache-2.0
// orvagate as it runs: a mosquitto of the test's own on 127.0.0.1, orvasim
// programs on the gateway's loopback addresses (faults armed through their
// control channels), and MQTT clients of the test's own that subscribe and
// write.
#include "harness.h"
#include "sim_control.h"

#include "loopback_addresses.h"
#include "orvanet.h"
#include "payload.h"
#include "wire_format.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <cctype>
#include <set>
#include <thread>

namespace {

using gatetest::Broker;
using gatetest::Milliseconds;
using gatetest::MqttClient;
using gatetest::Process;
using gatetest::Received;
using nlohmann::json;
using orvaext::Bytes;
using orvaext::SimControl;
using Clock = std::chrono::steady_clock;
namespace address = orvatest::address;

constexpr Milliseconds patience{5000};
constexpr std::uint16_t controlPort = 7060;

json payloadOf(const Received& r) { return json::parse(r.payload); }

bool hasValue(const Received& r, const json& value) {
    if (r.payload.empty()) return false;
    const json j = json::parse(r.payload);
    return j.contains("value") && j["value"] == value;
}

class GateSystem : public testing::Test {
protected:
    void SetUp() override {
        directory = temporaryDirectory("orvagate-test");
        broker = std::make_unique<Broker>(MOSQUITTO_PROGRAM, directory);
        broker->start();
    }
    void TearDown() override {
        gate.reset();
        simulators.clear();
        broker.reset();
        // The logs stay for a test that failed.
        if (HasFailure())
            std::printf("the test's files: %s\n", directory.c_str());
        else
            for (const std::string& d : directories) std::filesystem::remove_all(d);
    }

    // A directory of the test's own, removed after it passed.
    std::string temporaryDirectory(const std::string& name) {
        directories.push_back(gatetest::makeTempDirectory(name));
        return directories.back();
    }

    // An orvasim on address with its control channel.
    SimControl& startSim(const std::string& at, const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args{"--address", at, "--control", at + ":" + std::to_string(controlPort)};
        args.insert(args.end(), extra.begin(), extra.end());
        simulators.push_back(std::make_unique<Process>(ORVASIM_PROGRAM, args, directory + "/orvasim-" + at + ".log"));
        if (!simulators.back()->waitForLog("listening on", patience))
            throw std::runtime_error("orvasim did not start:\n" + simulators.back()->log());
        controls.push_back(std::make_unique<SimControl>(at + ":" + std::to_string(controlPort)));
        return *controls.back();
    }

    std::string brokerSection() const {
        return "[gateway]\nname = \"t\"\n[broker]\nhost = \"127.0.0.1\"\nport = " + std::to_string(broker->port()) +
               "\nkeepalive_s = 5\nreconnect_min_ms = 50\nreconnect_max_ms = 200\n";
    }
    static std::string plc(const std::string& name, const std::string& at, int receiveTimeoutMs = 300) {
        return "[[plc]]\nname = \"" + name + "\"\naddress = \"" + at +
               "\"\nreceive_timeout_ms = " + std::to_string(receiveTimeoutMs) +
               "\nsend_timeout_ms = 300\nconnect_timeout_ms = 300\nretry_ms = 200\n";
    }
    // p1's groups: "fast" writable, "slow" with a deadband, "every" on every poll.
    static std::string p1Groups() {
        return "  [[plc.group]]\n  name = \"fast\"\n  interval_ms = 100\n  writable = true\n"
               "  variables = { count = \"DB10.DW4:KF\", speed = \"DB10.DD30:KG\", flag = \"M20.3\" }\n"
               "  [[plc.group]]\n  name = \"slow\"\n  interval_ms = 200\n  deadband = 5\n"
               "  variables = { level = \"DB10.DW8:KF\", in0 = \"EB0\" }\n"
               "  [[plc.group]]\n  name = \"every\"\n  interval_ms = 100\n  publish = \"always\"\n"
               "  variables = { tick = \"MW100\" }\n";
    }
    std::string standardConfig() const { return brokerSection() + plc("p1", address::gateSim1) + p1Groups(); }

    std::string writeConfig(const std::string& text) {
        const std::string path = directory + "/gate.toml";
        gatetest::writeFile(path, text);
        return path;
    }

    Process& startGate(const std::string& text, bool waitForBroker = true) {
        const std::string path = writeConfig(text);
        gate = std::make_unique<Process>(ORVAGATE_PROGRAM, std::vector<std::string>{path, "--log-level", "debug"},
                                         directory + "/orvagate.log");
        if (waitForBroker && !gate->waitForLog("connected to the broker", patience))
            throw std::runtime_error("orvagate did not connect:\n" + gate->log());
        return *gate;
    }

    std::unique_ptr<MqttClient> subscriber(const std::string& filter = "orvanet/t/#", bool v5 = true) {
        auto c = std::make_unique<MqttClient>(broker->port(), v5);
        c->subscribe(filter);
        return c;
    }

    // Waits for a message on topic whose payload satisfies match.
    static std::optional<Received> waitOn(MqttClient& c, const std::string& topic,
                                          const std::function<bool(json)>& match, Milliseconds timeout = patience) {
        return c.waitFor(
            [&](const Received& r) { return r.topic == topic && !r.payload.empty() && match(json::parse(r.payload)); },
            timeout);
    }

    static int writesSeen(SimControl& sim) {
        int writes = 0;
        for (const Bytes& t : sim.requests())
            writes += t.size() > orva::wire::fwHeaderOffset + orva::wire::fwOpCodeOffset &&
                      t[orva::wire::fwHeaderOffset + orva::wire::fwOpCodeOffset] == orva::wire::opWrite;
        return writes;
    }
    static bool wroteAnything(SimControl& sim) { return writesSeen(sim) > 0; }

    std::string directory;
    std::vector<std::string> directories;
    std::unique_ptr<Broker> broker;
    std::vector<std::unique_ptr<Process>> simulators;
    std::vector<std::unique_ptr<SimControl>> controls;
    std::unique_ptr<Process> gate;
};

// "2026-12-09T15:34:53.123456Z": UTC with microseconds.
bool isIsoTime(const std::string& t) {
    const std::string shape = "dddd-dd-ddTdd:dd:dd.ddddddZ";
    if (t.size() != shape.size()) return false;
    for (std::size_t i = 0; i < t.size(); ++i)
        if (shape[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(t[i])) : t[i] != shape[i]) return false;
    return true;
}

TEST_F(GateSystem, ValuesArriveRetainedWithTopicsAndPayloads) {
    SimControl& sim = startSim(address::gateSim1);
    sim.write('D', 10, 8, {0x04, 0xD2});  // count = 1234
    sim.write('M', 0, 20, {0x08});        // flag M20.3
    sim.write('E', 0, 0, {0x2A});         // in0 = 42
    startGate(standardConfig());
    auto live = subscriber();
    ASSERT_TRUE(waitOn(*live, "orvanet/t/p1/status", [](json j) { return j["state"] == "connected"; }));
    ASSERT_TRUE(live->waitForTopic("orvanet/t/p1/in0", patience));

    // A subscriber that comes later gets the last of each at once, retained.
    auto late = subscriber();
    const auto count = late->waitForTopic("orvanet/t/p1/count", patience);
    ASSERT_TRUE(count);
    EXPECT_TRUE(count->retain);
    const json c = payloadOf(*count);
    EXPECT_EQ(c["value"], 1234);
    EXPECT_EQ(c["text"], "1234");
    EXPECT_EQ(c["quality"], "good");
    EXPECT_TRUE(isIsoTime(c["time"].get<std::string>())) << c;
    for (const auto& [topic, value] : std::vector<std::pair<std::string, json>>{{"orvanet/t/p1/flag", true},
                                                                                {"orvanet/t/p1/speed", 0.0},
                                                                                {"orvanet/t/p1/in0", 42},
                                                                                {"orvanet/t/p1/level", 0}}) {
        const auto r = late->waitForTopic(topic, patience);
        ASSERT_TRUE(r) << topic;
        EXPECT_TRUE(r->retain) << topic;
        EXPECT_EQ(payloadOf(*r)["value"], value) << topic << " " << r->payload;
    }
    const auto online = late->waitForTopic("orvanet/t/status", patience);
    ASSERT_TRUE(online);
    EXPECT_TRUE(online->retain);
    EXPECT_EQ(payloadOf(*online)["state"], "online");
    EXPECT_EQ(payloadOf(*online)["version"], ORVA_VERSION);
    const auto status = late->waitForTopic("orvanet/t/p1/status", patience);
    ASSERT_TRUE(status);
    EXPECT_EQ(payloadOf(*status)["address"], address::gateSim1);
    // Nothing but the gateway's own topics.
    for (const Received& r : late->messages()) EXPECT_EQ(r.topic.rfind("orvanet/t/", 0), 0u) << r.topic;
}

TEST_F(GateSystem, AChangeInMemoryShowsWithinOneInterval) {
    SimControl& sim = startSim(address::gateSim1);
    startGate(standardConfig());
    auto live = subscriber();
    ASSERT_TRUE(
        live->waitFor([](const Received& r) { return r.topic == "orvanet/t/p1/count" && hasValue(r, 0); }, patience));
    const auto written = std::chrono::system_clock::now();
    sim.write('D', 10, 8, {0x00, 0x4D});  // 77
    const auto seen =
        live->waitFor([](const Received& r) { return r.topic == "orvanet/t/p1/count" && hasValue(r, 77); }, patience);
    ASSERT_TRUE(seen);
    // "fast" polls every 100 ms; the margin is for a loaded machine.
    EXPECT_LT(seen->at - written, Milliseconds(100 + 400));
}

TEST_F(GateSystem, OnChangeWithADeadbandAndOnEveryPoll) {
    SimControl& sim = startSim(address::gateSim1);
    startGate(standardConfig());
    auto live = subscriber();
    ASSERT_TRUE(
        live->waitFor([](const Received& r) { return r.topic == "orvanet/t/p1/level" && hasValue(r, 0); }, patience));
    live->clear();
    sim.write('D', 10, 16, {0x00, 0x03});  // level 3: within the deadband of 5
    std::this_thread::sleep_for(Milliseconds(700));
    EXPECT_TRUE(live->on("orvanet/t/p1/level").empty()) << live->on("orvanet/t/p1/level").front().payload;
    EXPECT_TRUE(live->on("orvanet/t/p1/count").empty()) << "count did not change, yet was published";
    const auto ticks = live->on("orvanet/t/p1/tick");
    EXPECT_GE(ticks.size(), 4u) << "an \"always\" group publishes every poll";
    std::set<std::string> times;
    for (const Received& r : ticks) times.insert(payloadOf(r)["time"].get<std::string>());
    EXPECT_EQ(times.size(), ticks.size()) << "each poll its own time";
    sim.write('D', 10, 16, {0x00, 0x0A});  // level 10: 10 from the 0 published last
    EXPECT_TRUE(
        live->waitFor([](const Received& r) { return r.topic == "orvanet/t/p1/level" && hasValue(r, 10); }, patience));
}

TEST_F(GateSystem, EveryPollOfAnAlwaysGroupIsPublished) {
    startSim(address::gateSim1);
    startSim(address::gateSim2);
    std::string config = brokerSection();
    for (const auto& [name, at] : {std::pair{"p1", address::gateSim1}, std::pair{"p2", address::gateSim2}}) {
        config +=
            plc(name, at) + "  [[plc.group]]\n  interval_ms = 20\n  publish = \"always\"\n  [plc.group.variables]\n";
        for (int v = 0; v < 20; ++v) config += "  v" + std::to_string(v) + " = \"DB10.DW" + std::to_string(v) + "\"\n";
    }
    startGate(config);
    auto live = subscriber("orvanet/t/+/+");
    ASSERT_TRUE(live->waitForTopic("orvanet/t/p2/v19", patience));
    live->clear();
    std::this_thread::sleep_for(Milliseconds(3000));
    // 150 polls each; a value that changes before the last was sent replaces
    // it, which a loaded machine may cause now and then, but not for most.
    std::map<std::string, int> counts;
    for (const Received& r : live->messages()) ++counts[r.topic];
    for (const char* p : {"p1", "p2"})
        for (int v = 0; v < 20; ++v) {
            const std::string topic = std::string("orvanet/t/") + p + "/v" + std::to_string(v);
            EXPECT_GE(counts[topic], 75) << topic;
        }
}

TEST_F(GateSystem, AWriteReachesTheMemoryAndItsResultIsPublished) {
    SimControl& sim = startSim(address::gateSim1);
    startGate(standardConfig());
    auto live = subscriber();
    ASSERT_TRUE(live->waitForTopic("orvanet/t/p1/count", patience));
    live->publish("orvanet/t/p1/count/set", R"({"value": 4321, "id": "w1"})");
    const auto result = live->waitForTopic("orvanet/t/p1/count/set/result", patience);
    ASSERT_TRUE(result);
    EXPECT_FALSE(result->retain);
    const json r = payloadOf(*result);
    EXPECT_EQ(r["result"], "done") << r;
    EXPECT_EQ(r["id"], "w1");
    EXPECT_EQ(r["value"], 4321);
    EXPECT_EQ(sim.read('D', 10, 8, 2), (Bytes{0x10, 0xE1}));
    // And read back onto the value topic.
    EXPECT_TRUE(live->waitFor([](const Received& x) { return x.topic == "orvanet/t/p1/count" && hasValue(x, 4321); },
                              patience));

    live->publish("orvanet/t/p1/flag/set", "true");
    live->publish("orvanet/t/p1/speed/set", "12.5");
    EXPECT_TRUE(live->waitFor([](const Received& x) { return x.topic == "orvanet/t/p1/speed" && hasValue(x, 12.5); },
                              patience));
    EXPECT_TRUE(
        live->waitFor([](const Received& x) { return x.topic == "orvanet/t/p1/flag" && hasValue(x, true); }, patience));
    EXPECT_EQ(sim.read('M', 0, 20, 1), (Bytes{0x08}));
}

TEST_F(GateSystem, Mqtt5ResponseTopicAndCorrelationDataAreHonoured) {
    startSim(address::gateSim1);
    startGate(standardConfig());
    auto writer = subscriber("replies/for/me");
    const std::string correlation("req\x01\x00\xff", 6);
    writer->publish("orvanet/t/p1/count/set", "7", false, "replies/for/me", correlation);
    const auto reply = writer->waitForTopic("replies/for/me", patience);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->correlation, correlation);
    EXPECT_EQ(payloadOf(*reply)["result"], "done");
    // A refusal goes the same way.
    writer->publish("orvanet/t/p1/level/set", "7", false, "replies/for/me", "second");
    const auto refused = writer->waitFor(
        [](const Received& r) { return r.topic == "replies/for/me" && r.correlation == "second"; }, patience);
    ASSERT_TRUE(refused);
    EXPECT_EQ(payloadOf(*refused)["result"], "refused");
}

TEST_F(GateSystem, AWriteToAReadOnlyVariableNeverReachesThePlc) {
    SimControl& sim = startSim(address::gateSim1);
    startGate(standardConfig());
    auto live = subscriber("orvanet/t/p1/+/set/result");
    sim.call("clear record");
    live->publish("orvanet/t/p1/level/set", "5");
    live->publish("orvanet/t/p1/in0/set", "5");
    live->publish("orvanet/t/p1/nothere/set", "5");
    const auto level = live->waitForTopic("orvanet/t/p1/level/set/result", patience);
    ASSERT_TRUE(level);
    EXPECT_EQ(payloadOf(*level)["result"], "refused");
    EXPECT_NE(payloadOf(*level)["reason"].get<std::string>().find("is not writable"), std::string::npos)
        << level->payload;
    const auto in0 = live->waitForTopic("orvanet/t/p1/in0/set/result", patience);
    ASSERT_TRUE(in0);
    EXPECT_EQ(payloadOf(*in0)["result"], "refused");
    const auto unknown = live->waitForTopic("orvanet/t/p1/nothere/set/result", patience);
    ASSERT_TRUE(unknown);
    EXPECT_EQ(payloadOf(*unknown)["reason"], "no variable nothere on PLC p1");
    std::this_thread::sleep_for(Milliseconds(300));
    EXPECT_FALSE(wroteAnything(sim));
    EXPECT_EQ(sim.read('D', 10, 16, 2), (Bytes{0, 0}));
}

TEST_F(GateSystem, PayloadsThatAreNoValueOfTheFormatAreRefusedWithTheirReason) {
    SimControl& sim = startSim(address::gateSim1);
    startGate(standardConfig());
    auto live = subscriber("orvanet/t/p1/+/set/result");
    sim.call("clear record");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"12x", "not JSON"},
        {"99999", "DB10.DW4:KF"},  // out of KF's range: the library's words
        {R"({"valeu": 1})", "unknown member \"valeu\""},
        {"\"abc\"", "DB10.DW4:KF"},
        {"[1]", "must be a number, a string or a boolean"},
    };
    for (const auto& [payload, reason] : cases) {
        live->clear();
        live->publish("orvanet/t/p1/count/set", payload);
        const auto r = live->waitForTopic("orvanet/t/p1/count/set/result", patience);
        ASSERT_TRUE(r) << payload;
        EXPECT_EQ(payloadOf(*r)["result"], "refused") << payload;
        EXPECT_NE(payloadOf(*r)["reason"].get<std::string>().find(reason), std::string::npos)
            << payload << ": " << r->payload;
    }
}

TEST_F(GateSystem, ARetainedWriteRequestIsNotCarriedOut) {
    SimControl& sim = startSim(address::gateSim1);
    auto live = subscriber("orvanet/t/p1/+/set/result");
    // Kept by the broker: the gateway would get it again on every reconnect.
    live->publish("orvanet/t/p1/count/set", "11", true);
    startGate(standardConfig());
    const auto r = live->waitForTopic("orvanet/t/p1/count/set/result", patience);
    ASSERT_TRUE(r);
    EXPECT_EQ(payloadOf(*r)["result"], "refused");
    EXPECT_NE(payloadOf(*r)["reason"].get<std::string>().find("retained"), std::string::npos) << r->payload;
    live->publish("orvanet/t/p1/count/set", "", true);  // cleared
    std::this_thread::sleep_for(Milliseconds(300));
    EXPECT_FALSE(wroteAnything(sim));
    EXPECT_EQ(sim.read('D', 10, 8, 2), (Bytes{0, 0}));
}

TEST_F(GateSystem, AWriteThatWaitsIsReplacedByANewerOne) {
    SimControl& sim = startSim(address::gateSim1);
    startGate(standardConfig());
    auto live = subscriber("orvanet/t/p1/count/set/result");
    // A slow adapter for a second: the writes come faster than it takes them.
    for (int i = 0; i < 10; ++i) sim.armReplyFault("delayReply", 0, 100);
    constexpr int writes = 200;
    for (int i = 1; i <= writes; ++i)
        live->publish("orvanet/t/p1/count/set",
                      R"({"value": )" + std::to_string(i) + R"(, "id": )" + std::to_string(i) + "}");
    const auto last =
        live->waitFor([](const Received& r) { return payloadOf(r)["id"] == writes; }, Milliseconds(10000));
    ASSERT_TRUE(last);
    EXPECT_EQ(payloadOf(*last)["result"], "done") << "the newest write is carried out";
    std::this_thread::sleep_for(Milliseconds(300));
    std::map<int, std::string> outcomes;
    int done = 0, replaced = 0;
    for (const Received& r : live->messages()) {
        const json j = payloadOf(r);
        EXPECT_TRUE(outcomes.emplace(j["id"].get<int>(), j["result"]).second) << "two results for " << j["id"];
        done += j["result"] == "done" ? 1 : 0;
        replaced += j["result"] == "replaced" ? 1 : 0;
    }
    EXPECT_EQ(outcomes.size(), static_cast<std::size_t>(writes)) << "every write gets its result";
    EXPECT_EQ(done + replaced, writes);
    EXPECT_GT(replaced, 0) << "writes waited behind the slow adapter, one per variable";
    EXPECT_EQ(sim.read('D', 10, 8, 2), (Bytes{0, static_cast<std::uint8_t>(writes)}));
}

TEST_F(GateSystem, AFloodOfWritesDoesNotHoldUpThePolls) {
    SimControl& sim = startSim(address::gateSim1);
    startGate(standardConfig());
    auto live = subscriber("orvanet/t/p1/tick");
    ASSERT_TRUE(live->waitForTopic("orvanet/t/p1/tick", patience));
    // Every request takes 10 ms: the adapter takes some 100 a second, of
    // which the polls need about half.
    for (int i = 0; i < 400; ++i) sim.armReplyFault("delayReply", 0, 10);
    MqttClient writer(broker->port());
    // Two seconds of writes to two variables, some 1000 a second, far more
    // than the adapter takes: a sender that ran flat out would only measure
    // how the machine shares its cores between it and the gateway.
    const auto start = std::chrono::system_clock::now();
    const auto end = start + Milliseconds(2000);
    int sent = 0;
    while (std::chrono::system_clock::now() < end) {
        writer.publish(sent % 2 == 0 ? "orvanet/t/p1/count/set" : "orvanet/t/p1/flag/set",
                       sent % 2 == 0 ? std::to_string(sent % 1000) : "true");
        ++sent;
        if (sent % 2 == 0) std::this_thread::sleep_for(Milliseconds(1));
    }
    // Polls are counted by the time the gateway took them, once a poll after
    // the flood shows that those before it have all come through the broker.
    const std::string from = orvagate::isoTime(start), to = orvagate::isoTime(end);
    ASSERT_TRUE(waitOn(*live, "orvanet/t/p1/tick", [&](json j) { return j["time"].get<std::string>() > to; }));
    // "every" polls every 100 ms, 20 times in these two seconds; between
    // two of its polls go at most a write and the other groups' polls.
    int ticks = 0;
    for (const Received& r : live->on("orvanet/t/p1/tick")) {
        const std::string time = payloadOf(r)["time"];
        ticks += time >= from && time <= to ? 1 : 0;
    }
    EXPECT_GE(ticks, 12) << sent << " writes sent";
    EXPECT_GE(writesSeen(sim), 10) << "and the writes went on beside the polls";
}

TEST_F(GateSystem, ARefusedConnectionShowsAsQualityAndStatus) {
    startSim(address::gateSim1);
    startGate(standardConfig() + plc("p2", address::gateNobody) + "  [[plc.group]]\n  variables = { v = \"MW0\" }\n");
    auto live = subscriber();
    const auto status = waitOn(*live, "orvanet/t/p2/status", [](json j) { return j["state"] == "failed"; });
    ASSERT_TRUE(status);
    const json s = payloadOf(*status);
    EXPECT_EQ(s["code"], ORVA_ERR_SOCKET);
    EXPECT_EQ(s["socketError"], ORVA_WSAECONNREFUSED);
    EXPECT_NE(s["error"].get<std::string>().find("connection refused"), std::string::npos);
    const auto v = waitOn(*live, "orvanet/t/p2/v", [](json j) { return j["quality"] == "bad"; });
    ASSERT_TRUE(v);
    EXPECT_EQ(payloadOf(*v)["socketError"], ORVA_WSAECONNREFUSED);
    EXPECT_FALSE(payloadOf(*v).contains("value"));
    // The other PLC is not affected.
    EXPECT_TRUE(waitOn(*live, "orvanet/t/p1/status", [](json j) { return j["state"] == "connected"; }));
}

TEST_F(GateSystem, ASilentAdapterShowsAsTimeOutAndRecovers) {
    SimControl& sim = startSim(address::gateSim1);
    startGate(standardConfig());
    auto live = subscriber();
    ASSERT_TRUE(waitOn(*live, "orvanet/t/p1/status", [](json j) { return j["state"] == "connected"; }));
    for (int i = 0; i < 100; ++i) sim.armReplyFault("silence");
    const auto failed = waitOn(*live, "orvanet/t/p1/status", [](json j) { return j["state"] == "failed"; });
    ASSERT_TRUE(failed);
    EXPECT_EQ(payloadOf(*failed)["code"], ORVA_ERR_SOCKET);
    EXPECT_EQ(payloadOf(*failed)["socketError"], ORVA_WSAETIMEDOUT);
    EXPECT_TRUE(waitOn(*live, "orvanet/t/p1/count", [](json j) { return j["quality"] == "bad"; }));
    live->clear();
    sim.call("clear faults");
    EXPECT_TRUE(waitOn(*live, "orvanet/t/p1/status", [](json j) { return j["state"] == "connected"; }));
    EXPECT_TRUE(waitOn(*live, "orvanet/t/p1/count", [](json j) { return j["quality"] == "good"; }));
}

TEST_F(GateSystem, AResetShowsAsTheFailureItIs) {
    SimControl& sim = startSim(address::gateSim1);
    startGate(standardConfig());
    auto live = subscriber();
    ASSERT_TRUE(waitOn(*live, "orvanet/t/p1/status", [](json j) { return j["state"] == "connected"; }));
    for (int i = 0; i < 100; ++i) sim.armReplyFault("resetBeforeReply");
    const auto failed = waitOn(*live, "orvanet/t/p1/status", [](json j) { return j["state"] == "failed"; });
    ASSERT_TRUE(failed);
    const json s = payloadOf(*failed);
    const bool resetSeen =
        (s["code"] == ORVA_ERR_SOCKET && s["socketError"] == ORVA_WSAECONNRESET) || s["code"] == ORVA_ERR_DROPPED;
    EXPECT_TRUE(resetSeen) << s;
    sim.call("clear faults");
    EXPECT_TRUE(waitOn(*live, "orvanet/t/p1/status", [](json j) { return j["state"] == "connected"; }));
}

TEST_F(GateSystem, AMissingBlockIsBadQualityOnAConnectedPlc) {
    SimControl& sim = startSim(address::gateSim1);
    startGate(standardConfig());
    auto live = subscriber();
    ASSERT_TRUE(waitOn(*live, "orvanet/t/p1/count", [](json j) { return j["quality"] == "good"; }));
    sim.setBlockWords('D', 10, 0);
    const auto count = waitOn(*live, "orvanet/t/p1/count", [](json j) { return j["quality"] == "bad"; });
    ASSERT_TRUE(count);
    EXPECT_EQ(payloadOf(*count)["code"], ORVA_ERR_PLC);
    std::this_thread::sleep_for(Milliseconds(300));
    const auto status = live->on("orvanet/t/p1/status");
    ASSERT_FALSE(status.empty());
    EXPECT_EQ(payloadOf(status.back())["state"], "connected");
    const auto flag = live->on("orvanet/t/p1/flag");
    ASSERT_FALSE(flag.empty());
    EXPECT_EQ(payloadOf(flag.back())["quality"], "good") << "M20.3 does not live in DB 10";
}

TEST_F(GateSystem, OneSlowPlcNeverDelaysAnother) {
    SimControl& slow = startSim(address::gateSim1);
    startSim(address::gateSim2);
    startGate(standardConfig() + plc("p2", address::gateSim2) +
              "  [[plc.group]]\n  interval_ms = 100\n  publish = \"always\"\n  variables = { beat = \"MW0\" }\n");
    auto live = subscriber();
    ASSERT_TRUE(waitOn(*live, "orvanet/t/p1/status", [](json j) { return j["state"] == "connected"; }));
    for (int i = 0; i < 200; ++i) slow.armReplyFault("silence");
    ASSERT_TRUE(waitOn(*live, "orvanet/t/p1/status", [](json j) { return j["state"] == "failed"; }));
    live->clear();
    std::this_thread::sleep_for(Milliseconds(2000));
    // p2 polls every 100 ms while p1 waits 300 ms on every call.
    EXPECT_GE(live->on("orvanet/t/p2/beat").size(), 15u);
}

TEST_F(GateSystem, ABrokerThatGoesAwayIsReconnectedWithOnlyTheLatestValues) {
    SimControl& sim = startSim(address::gateSim1);
    Process& g = startGate(standardConfig());
    {
        auto live = subscriber();
        ASSERT_TRUE(live->waitForTopic("orvanet/t/p1/count", patience));
    }
    broker->stop();
    // Polling goes on: every value of count while the broker is away.
    for (std::uint8_t v = 1; v <= 8; ++v) {
        sim.write('D', 10, 8, {0, v});
        std::this_thread::sleep_for(Milliseconds(150));
    }
    broker->start();
    auto live = subscriber();  // before the gateway is back: the broker keeps nothing (no persistence)
    const auto latest = live->waitFor([](const Received& r) { return r.topic == "orvanet/t/p1/count"; }, patience);
    ASSERT_TRUE(latest);
    EXPECT_TRUE(hasValue(*latest, 8)) << "the first value after the reconnect is the latest: " << latest->payload;
    EXPECT_TRUE(live->waitFor(
        [](const Received& r) { return r.topic == "orvanet/t/status" && payloadOf(r)["state"] == "online"; },
        patience));
    std::this_thread::sleep_for(Milliseconds(500));
    EXPECT_EQ(live->on("orvanet/t/p1/count").size(), 1u) << "no backlog of the values in between";
    const std::string log = g.log();
    std::size_t connects = 0;
    for (std::size_t at = log.find("connected to the broker"); at != std::string::npos;
         at = log.find("connected to the broker", at + 1))
        ++connects;
    EXPECT_EQ(connects, 2u) << log;
}

TEST_F(GateSystem, SigtermPublishesOfflineAndEndsWithinASecond) {
    startSim(address::gateSim1);
    Process& g = startGate(standardConfig());
    auto live = subscriber("orvanet/t/status");
    ASSERT_TRUE(live->waitForTopic("orvanet/t/status", patience));
    live->clear();
    const auto sent = Clock::now();
    g.signal(SIGTERM);
    const auto status = g.waitExit(Milliseconds(1000));
    ASSERT_TRUE(status) << "still running a second after SIGTERM";
    EXPECT_EQ(*status, 0);
    EXPECT_LT(Clock::now() - sent, Milliseconds(1000));
    const auto offline = live->waitForTopic("orvanet/t/status", patience);
    ASSERT_TRUE(offline);
    EXPECT_EQ(payloadOf(*offline)["state"], "offline");
    EXPECT_EQ(payloadOf(*offline)["reason"], "stopped");
    auto late = subscriber("orvanet/t/status");
    const auto kept = late->waitForTopic("orvanet/t/status", patience);
    ASSERT_TRUE(kept);
    EXPECT_TRUE(kept->retain);
    EXPECT_EQ(payloadOf(*kept)["reason"], "stopped");
}

TEST_F(GateSystem, SigtermEndsWithinASecondWhileAPlcIsInsideALongCall) {
    SimControl& sim = startSim(address::gateSim1);
    Process& g = startGate(brokerSection() + plc("p1", address::gateSim1, 5000) + p1Groups());
    auto live = subscriber();
    ASSERT_TRUE(live->waitForTopic("orvanet/t/p1/count", patience));
    for (int i = 0; i < 20; ++i) sim.armReplyFault("silence");
    std::this_thread::sleep_for(Milliseconds(500));  // the worker waits up to 5 s for a reply
    g.signal(SIGTERM);
    const auto status = g.waitExit(Milliseconds(1000));
    ASSERT_TRUE(status) << "still running a second after SIGTERM";
    EXPECT_EQ(*status, 0);
    EXPECT_TRUE(waitOn(*live, "orvanet/t/status", [](json j) { return j["reason"] == "stopped"; }));
}

TEST_F(GateSystem, TheLastWillShowsACrashAsOffline) {
    startSim(address::gateSim1);
    Process& g = startGate(standardConfig());
    auto live = subscriber("orvanet/t/status");
    ASSERT_TRUE(waitOn(*live, "orvanet/t/status", [](json j) { return j["state"] == "online"; }));
    g.signal(SIGKILL);
    const auto will = waitOn(*live, "orvanet/t/status", [](json j) { return j["state"] == "offline"; });
    ASSERT_TRUE(will);
    EXPECT_EQ(payloadOf(*will)["reason"], "connection lost");
    auto late = subscriber("orvanet/t/status");
    const auto kept = late->waitForTopic("orvanet/t/status", patience);
    ASSERT_TRUE(kept);
    EXPECT_TRUE(kept->retain);
    EXPECT_EQ(payloadOf(*kept)["state"], "offline");
}

TEST_F(GateSystem, SighupTakesAGoodFileAndKeepsTheOldOneForABadOne) {
    startSim(address::gateSim1);
    Process& g = startGate(standardConfig());
    auto live = subscriber();
    ASSERT_TRUE(live->waitForTopic("orvanet/t/p1/count", patience));
    ASSERT_TRUE(live->waitForTopic("orvanet/t/p1/level", patience));

    // Good: "slow" loses level and gains extra.
    std::string next = standardConfig();
    next.replace(next.find("level = \"DB10.DW8:KF\""), std::string("level = \"DB10.DW8:KF\"").size(),
                 "extra = \"MW50\"");
    writeConfig(next);
    live->clear();
    g.signal(SIGHUP);
    EXPECT_TRUE(live->waitForTopic("orvanet/t/p1/extra", patience));
    const auto cleared =
        live->waitFor([](const Received& r) { return r.topic == "orvanet/t/p1/level" && r.payload.empty(); }, patience);
    ASSERT_TRUE(cleared) << "the retained value of a variable that is gone is cleared";
    EXPECT_TRUE(g.waitForLog("SIGHUP: reloaded", patience));

    // Bad: an interval of 0 on the line of "fast"'s interval.
    std::string bad = next;
    const std::size_t at = bad.find("interval_ms = 100");
    bad.replace(at, std::string("interval_ms = 100").size(), "interval_ms = 0");
    const int line = static_cast<int>(std::count(bad.begin(), bad.begin() + static_cast<long>(at), '\n')) + 1;
    writeConfig(bad);
    g.signal(SIGHUP);
    ASSERT_TRUE(g.waitForLog("the configuration in force stays", patience));
    EXPECT_NE(g.log().find("gate.toml:" + std::to_string(line) + ":17: plc p1, group fast: interval_ms must be"),
              std::string::npos)
        << g.log();
    live->clear();
    EXPECT_TRUE(live->waitForTopic("orvanet/t/p1/tick", patience)) << "still polling with the old configuration";
    EXPECT_TRUE(g.running());
}

TEST_F(GateSystem, Mqtt311Works) {
    SimControl& sim = startSim(address::gateSim1);
    std::string config = standardConfig();
    config.replace(config.find("keepalive_s"), 0, "protocol = \"3.1.1\"\n");
    startGate(config);
    auto live = subscriber("orvanet/t/#", false);
    ASSERT_TRUE(waitOn(*live, "orvanet/t/p1/count", [](json j) { return j["quality"] == "good"; }));
    live->publish("orvanet/t/p1/count/set", R"({"value": 5, "id": "v3"})");
    const auto r = waitOn(*live, "orvanet/t/p1/count/set/result", [](json j) { return j["id"] == "v3"; });
    ASSERT_TRUE(r);
    EXPECT_EQ(payloadOf(*r)["result"], "done");
    EXPECT_EQ(sim.read('D', 10, 8, 2), (Bytes{0, 5}));
}

TEST_F(GateSystem, ABrokerThatRefusesTheUserIsTriedAgainAndAReloadFixesIt) {
    startSim(address::gateSim1);
    const std::string passwords = directory + "/passwords";
    for (const auto& [user, password] : {std::pair{"gate", "right"}, std::pair{"watcher", "pw"}}) {
        std::vector<std::string> args{"-b", passwords, user, password};
        if (std::string(user) == "gate") args.insert(args.begin(), "-c");
        Process p("/usr/bin/mosquitto_passwd", args, directory + "/passwd.log");
        ASSERT_EQ(p.waitExit(patience), 0) << p.log();
    }
    broker->stop();
    broker = std::make_unique<Broker>(MOSQUITTO_PROGRAM, temporaryDirectory("orvagate-auth"),
                                      "allow_anonymous false\npassword_file " + passwords + "\n");
    broker->start();
    std::string config = standardConfig();
    const std::string wrong = "username = \"gate\"\npassword = \"wrong\"\n";
    config.replace(config.find("keepalive_s"), 0, wrong);
    Process& g = startGate(config, false);
    ASSERT_TRUE(g.waitForLog("the broker refused the connection: Not authorized; next try in", patience)) << g.log();
    EXPECT_TRUE(g.running());

    config.replace(config.find(wrong), wrong.size(), "username = \"gate\"\npassword = \"right\"\n");
    writeConfig(config);
    g.signal(SIGHUP);
    ASSERT_TRUE(g.waitForLog("connected to the broker", patience)) << g.log();
    MqttClient watcher(broker->port(), gatetest::ClientOptions{true, "watcher", "pw", {}});
    watcher.subscribe("orvanet/t/#");
    EXPECT_TRUE(waitOn(watcher, "orvanet/t/status", [](json j) { return j["state"] == "online"; }));
    EXPECT_TRUE(waitOn(watcher, "orvanet/t/p1/count", [](json j) { return j["quality"] == "good"; }));
}

TEST_F(GateSystem, TlsWithTheBrokersCertificate) {
    startSim(address::gateSim1);
    const std::string dir = temporaryDirectory("orvagate-tls");
    Process openssl("/usr/bin/openssl",
                    {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=127.0.0.1", "-addext",
                     "subjectAltName=IP:127.0.0.1", "-keyout", dir + "/key.pem", "-out", dir + "/cert.pem"},
                    dir + "/openssl.log");
    ASSERT_EQ(openssl.waitExit(Milliseconds(20000)), 0) << openssl.log();
    broker->stop();
    broker = std::make_unique<Broker>(MOSQUITTO_PROGRAM, dir,
                                      "allow_anonymous true\ncafile " + dir + "/cert.pem\ncertfile " + dir +
                                          "/cert.pem\nkeyfile " + dir + "/key.pem\n");
    broker->start();
    startGate(standardConfig() + "[broker.tls]\nca_file = \"" + dir + "/cert.pem\"\n");
    MqttClient watcher(broker->port(), gatetest::ClientOptions{true, {}, {}, dir + "/cert.pem"});
    watcher.subscribe("orvanet/t/#");
    EXPECT_TRUE(waitOn(watcher, "orvanet/t/p1/count", [](json j) { return j["quality"] == "good"; }));
    watcher.publish("orvanet/t/p1/count/set", "9");
    EXPECT_TRUE(waitOn(watcher, "orvanet/t/p1/count/set/result", [](json j) { return j["result"] == "done"; }));
}

TEST_F(GateSystem, ConfigurationErrorsExitWith64BeforeAnyTraffic) {
    SimControl& sim = startSim(address::gateSim1);
    std::string bad = standardConfig();
    bad.replace(bad.find("keepalive_s = 5"), std::string("keepalive_s = 5").size(), "keepalive_s = 1");
    Process& g = startGate(bad, false);
    const auto status = g.waitExit(patience);
    ASSERT_TRUE(status);
    EXPECT_EQ(*status, 64);
    EXPECT_NE(g.log().find("gate.toml:6:15: [broker] keepalive_s must be 5..65535, not 1"), std::string::npos)
        << g.log();
    EXPECT_NE(g.log().find("1 error: nothing was started"), std::string::npos) << g.log();
    EXPECT_EQ(sim.connectionsAccepted(), 0);

    // --check: the same verdict, and a good file's summary.
    Process check(ORVAGATE_PROGRAM, {"--check", writeConfig(standardConfig())}, directory + "/check.log");
    ASSERT_EQ(check.waitExit(patience), 0);
    EXPECT_NE(check.log().find("gate.toml: ok"), std::string::npos) << check.log();
    EXPECT_EQ(sim.connectionsAccepted(), 0);
    auto live = subscriber("#");
    std::this_thread::sleep_for(Milliseconds(200));
    EXPECT_TRUE(live->messages().empty()) << "something reached the broker: " << live->messages().front().topic;
}

}  // namespace
