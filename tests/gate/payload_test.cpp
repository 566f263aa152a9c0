// SPDX-License-Identifier: Apache-2.0
// Topics, payloads, the reading of write requests, and when a reading is
// published.
#include "change_filter.h"
#include "payload.h"
#include "topics.h"

#include "orvanet.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace orvagate {
namespace {

using nlohmann::json;

TEST(Topics, NamesAndTheSetFilter) {
    const Topics t("plant/site1", "line1");
    EXPECT_EQ(t.gatewayStatus(), "plant/site1/line1/status");
    EXPECT_EQ(t.plcStatus("press1"), "plant/site1/line1/press1/status");
    EXPECT_EQ(t.value("press1", "speed"), "plant/site1/line1/press1/speed");
    EXPECT_EQ(t.set("press1", "speed"), "plant/site1/line1/press1/speed/set");
    EXPECT_EQ(t.result("press1", "speed"), "plant/site1/line1/press1/speed/set/result");
    EXPECT_EQ(t.setFilter(), "plant/site1/line1/+/+/set");
}

TEST(Topics, ParseSetTakesExactlyPlcAndVariable) {
    const Topics t("orvanet", "g");
    const auto ok = t.parseSet("orvanet/g/press1/speed/set");
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->plc, "press1");
    EXPECT_EQ(ok->variable, "speed");
    for (const char* wrong : {"orvanet/g/press1/set", "orvanet/g/press1/speed/set/result", "orvanet/h/press1/speed/set",
                              "orvanet/gx/press1/speed/set", "orvanet/g//speed/set", "orvanet/g/press1//set",
                              "orvanet/g/a/b/c/set", "orvanet/g/press1/speed/get"})
        EXPECT_FALSE(t.parseSet(wrong)) << wrong;
}

TEST(Topics, NameRules) {
    for (const char* good : {"a", "Press_1", "line-2.b"}) EXPECT_TRUE(isTopicName(good)) << good;
    for (const char* bad : {"", "a b", "a/b", "a+", "#", "ä"}) EXPECT_FALSE(isTopicName(bad)) << bad;
    EXPECT_TRUE(isTopicPrefix("orvanet"));
    EXPECT_TRUE(isTopicPrefix("plant/site-1/gw"));
    for (const char* bad : {"", "/a", "a/", "a//b", "$SYS/x", "a/+"}) EXPECT_FALSE(isTopicPrefix(bad)) << bad;
}

TEST(Payload, TimeIsUtcWithMicroseconds) {
    const SystemTime t = SystemTime(std::chrono::microseconds(1796830493123456LL));
    EXPECT_EQ(isoTime(t), "2026-12-09T15:34:53.123456Z");
    EXPECT_EQ(isoTime(SystemTime{}), "1970-01-01T00:00:00.000000Z");
}

TEST(Payload, GoodValuesKeepTheirJsonType) {
    Reading r;
    r.value = {Value::Kind::real, 0, 12.5, {}};
    r.display = "12.5";
    EXPECT_EQ(json::parse(valuePayload(r, "T")),
              (json{{"value", 12.5}, {"text", "12.5"}, {"quality", "good"}, {"time", "T"}}));
    r.value = {Value::Kind::boolean, 1, 1, {}};
    EXPECT_EQ(json::parse(valuePayload(r, "T"))["value"], true);
    r.value = {Value::Kind::integer, -32768, -32768, {}};
    EXPECT_EQ(json::parse(valuePayload(r, "T"))["value"], -32768);
    r.value = {Value::Kind::time, 1500, 1500, {}};
    r.display = "1.5s";
    EXPECT_EQ(json::parse(valuePayload(r, "T"))["value"], 1500);
    r.value = {Value::Kind::text, 0, 0, "Grüße"};
    EXPECT_EQ(json::parse(valuePayload(r, "T"))["value"], "Grüße");
}

TEST(Payload, BadQualityCarriesTheResultAndItsWords) {
    Reading r;
    r.status = ORVA_ERR_SOCKET;
    r.socketError = ORVA_WSAECONNREFUSED;
    const json j = json::parse(valuePayload(r, "T"));
    EXPECT_EQ(j["quality"], "bad");
    EXPECT_EQ(j["code"], -7);
    EXPECT_EQ(j["socketError"], 10061);
    EXPECT_EQ(j["name"], "ORVA_ERR_SOCKET");
    // The library's one form of a failure.
    EXPECT_EQ(j["error"],
              "socket error 10061 (WSAECONNREFUSED): connection refused: nothing listens on port 102 at that address "
              "(ORVA_ERR_SOCKET, result -7)");
    EXPECT_FALSE(j.contains("value"));
    r.status = ORVA_ERR_PLC;
    r.socketError = 0;
    const json plc = json::parse(valuePayload(r, "T"));
    EXPECT_FALSE(plc.contains("socketError"));
    EXPECT_EQ(plc["name"], "ORVA_ERR_PLC");
    EXPECT_EQ(plc["error"], std::string(ORVAResultName(ORVA_ERR_PLC)) + " (ORVA_ERR_PLC, result 2)");
}

TEST(Payload, StatusPayloads) {
    EXPECT_EQ(json::parse(plcStatusPayload({true, 0, 0, "127.0.6.1", "S"})),
              (json{{"state", "connected"}, {"address", "127.0.6.1"}, {"since", "S"}}));
    const json failed = json::parse(plcStatusPayload({false, ORVA_ERR_SOCKET, ORVA_WSAETIMEDOUT, "127.0.6.1", "S"}));
    EXPECT_EQ(failed["state"], "failed");
    EXPECT_EQ(failed["code"], -7);
    EXPECT_EQ(failed["socketError"], 10060);
    EXPECT_EQ(json::parse(onlinePayload("1.0.0", "T")),
              (json{{"state", "online"}, {"version", "1.0.0"}, {"time", "T"}}));
    EXPECT_EQ(json::parse(offlinePayload("connection lost", std::nullopt)),
              (json{{"state", "offline"}, {"reason", "connection lost"}}));
}

TEST(WriteRequests, ScalarsAndObjects) {
    auto value = [](std::string_view payload) {
        auto r = parseWriteRequest(payload);
        EXPECT_TRUE(std::holds_alternative<WriteRequest>(r)) << payload << ": " << std::get<std::string>(r);
        return std::get<WriteRequest>(r);
    };
    EXPECT_EQ(std::get<long long>(value("42").value), 42);
    EXPECT_EQ(std::get<long long>(value("-9223372036854775808").value), std::numeric_limits<long long>::min());
    EXPECT_EQ(std::get<double>(value("12.5").value), 12.5);
    EXPECT_EQ(std::get<bool>(value("true").value), true);
    EXPECT_EQ(std::get<std::string>(value("\"1.5s\"").value), "1.5s");
    const WriteRequest r = value(R"({"value": 7, "id": "a1"})");
    EXPECT_EQ(std::get<long long>(r.value), 7);
    EXPECT_EQ(r.valueJson, "7");
    EXPECT_EQ(r.idJson, "\"a1\"");
    EXPECT_EQ(value(R"({"id": 3, "value": "x"})").idJson, "3");
    EXPECT_EQ(value("{\"value\": 1}").idJson, "");
}

TEST(WriteRequests, RefusedWithTheirReason) {
    auto reason = [](std::string_view payload) {
        auto r = parseWriteRequest(payload);
        EXPECT_TRUE(std::holds_alternative<std::string>(r)) << payload;
        return std::holds_alternative<std::string>(r) ? std::get<std::string>(r) : std::string();
    };
    EXPECT_NE(reason("").find("an empty payload"), std::string::npos);
    EXPECT_EQ(reason("12x").rfind("not JSON: parse error at line 1, column 3", 0), 0u) << reason("12x");
    EXPECT_NE(reason("null").find("null"), std::string::npos);
    EXPECT_NE(reason("[1,2]").find("not array"), std::string::npos);
    EXPECT_NE(reason(R"({"valeu": 1})").find("unknown member \"valeu\""), std::string::npos);
    EXPECT_NE(reason(R"({"id": 1})").find("no \"value\""), std::string::npos);
    EXPECT_NE(reason(R"({"value": 1, "id": [1]})").find("\"id\" must be"), std::string::npos);
    EXPECT_NE(reason("18446744073709551615").find("out of range"), std::string::npos);
}

TEST(WriteRequests, ResultPayloads) {
    WriteResult done{WriteOutcome::done, "42", "\"a1\"", 0, 0, {}};
    EXPECT_EQ(json::parse(resultPayload(done, "T")),
              (json{{"result", "done"}, {"value", 42}, {"id", "a1"}, {"time", "T"}}));
    WriteResult failed{WriteOutcome::failed, "1", "", ORVA_ERR_SOCKET, ORVA_WSAETIMEDOUT, "socket error 10060"};
    const json f = json::parse(resultPayload(failed, "T"));
    EXPECT_EQ(f["result"], "failed");
    EXPECT_EQ(f["code"], -7);
    EXPECT_EQ(f["socketError"], 10060);
    EXPECT_EQ(f["error"], "socket error 10060");
    WriteResult refused{WriteOutcome::refused, "", "", 0, 0, "not writable"};
    EXPECT_EQ(json::parse(resultPayload(refused, "T")),
              (json{{"result", "refused"}, {"reason", "not writable"}, {"time", "T"}}));
}

Reading good(Value v) {
    Reading r;
    r.value = std::move(v);
    return r;
}
Reading integer(long long i) { return good({Value::Kind::integer, i, static_cast<double>(i), {}}); }
Reading real(double d) { return good({Value::Kind::real, 0, d, {}}); }

TEST(ChangeFilter, AlwaysAndFirst) {
    const Reading r = integer(1);
    EXPECT_TRUE(shouldPublish(PublishMode::always, 0, &r, r));
    EXPECT_TRUE(shouldPublish(PublishMode::onChange, 100, nullptr, r));
    EXPECT_FALSE(shouldPublish(PublishMode::onChange, 0, &r, r));
}

TEST(ChangeFilter, DeadbandOnNumbers) {
    const Reading a = real(10.0);
    EXPECT_FALSE(shouldPublish(PublishMode::onChange, 0.5, &a, real(10.5)));
    EXPECT_TRUE(shouldPublish(PublishMode::onChange, 0.5, &a, real(10.51)));
    EXPECT_TRUE(shouldPublish(PublishMode::onChange, 0.5, &a, real(9.4)));
    EXPECT_TRUE(shouldPublish(PublishMode::onChange, 0, &a, real(10.000001)));
    const Reading i = integer(100);
    EXPECT_FALSE(shouldPublish(PublishMode::onChange, 5, &i, integer(105)));
    EXPECT_TRUE(shouldPublish(PublishMode::onChange, 5, &i, integer(94)));
    // 64-bit counts that a double cannot tell apart.
    const Reading big = integer(9007199254740993LL);
    EXPECT_TRUE(shouldPublish(PublishMode::onChange, 0, &big, integer(9007199254740992LL)));
}

TEST(ChangeFilter, QualityAndOtherKinds) {
    const Reading a = integer(1);
    Reading bad;
    bad.status = ORVA_ERR_SOCKET;
    bad.socketError = ORVA_WSAETIMEDOUT;
    EXPECT_TRUE(shouldPublish(PublishMode::onChange, 1000, &a, bad));
    EXPECT_FALSE(shouldPublish(PublishMode::onChange, 0, &bad, bad));
    Reading otherSocketError = bad;
    otherSocketError.socketError = ORVA_WSAECONNREFUSED;
    EXPECT_TRUE(shouldPublish(PublishMode::onChange, 0, &bad, otherSocketError));
    EXPECT_TRUE(shouldPublish(PublishMode::onChange, 1000, &bad, a));
    const Reading t = good({Value::Kind::text, 0, 0, "AB"});
    EXPECT_TRUE(shouldPublish(PublishMode::onChange, 1000, &t, good({Value::Kind::text, 0, 0, "AC"})));
    const Reading off = good({Value::Kind::boolean, 0, 0, {}});
    EXPECT_TRUE(shouldPublish(PublishMode::onChange, 1000, &off, good({Value::Kind::boolean, 1, 1, {}})));
}

}  // namespace
}  // namespace orvagate
