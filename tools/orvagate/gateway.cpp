// SPDX-License-Identifier: Apache-2.0
#include "gateway.h"

#include "log.h"
#include "payload.h"

#include <algorithm>
#include <set>

namespace orvagate {
namespace {

using Clock = std::chrono::steady_clock;

std::string key(std::string_view plc, std::string_view variable) {
    return std::string(plc) + "/" + std::string(variable);
}

}  // namespace

Site::Site(const Config& config) : topics(config.topicPrefix, config.gatewayName) {
    for (const PlcConfig& plc : config.plcs) {
        workers.push_back(std::make_unique<PlcWorker>(plc, topics));
        PlcWorker* worker = workers.back().get();
        for (const GroupConfig& g : plc.groups)
            for (const VariableConfig& v : g.variables) {
                Route route{worker, worker->writableIndex(v.name), v.notation, nullptr};
                if (route.writable) {
                    route.checker = std::make_unique<VariableList>();
                    route.checker->add(v.notation);
                    route.spelling = route.checker->spelling(0);
                }
                routes.emplace(key(plc.name, v.name), std::move(route));
            }
    }
}

void Site::attach(Outbox& outbox) {
    for (auto& w : workers) w->attach(outbox);
}

void Site::start() {
    for (auto& w : workers) w->start();
}

void Site::requestStop() {
    for (auto& w : workers) w->requestStop();
}

bool Site::waitFinished(Clock::time_point deadline) {
    bool all = true;
    for (auto& w : workers) all = w->waitFinished(deadline) && all;
    return all;
}

std::vector<std::string> Site::retainedTopics() const {
    std::vector<std::string> out;
    for (const auto& w : workers) {
        auto t = w->retainedTopics();
        out.insert(out.end(), t.begin(), t.end());
    }
    return out;
}

void Site::onWrite(const IncomingWrite& write, Outbox& outbox) {
    const std::string resultTopic =
        write.responseTopic.empty() ? std::string(write.topic) + "/result" : write.responseTopic;
    WriteResult result;
    auto answer = [&](const WriteResult& r) {
        outbox.post(Message{resultTopic, resultPayload(r, isoTime(std::chrono::system_clock::now())), false,
                            write.correlation});
    };
    auto refuse = [&](std::string reason) {
        logWarning("write to " + std::string(write.topic) + " refused: " + reason);
        result.outcome = WriteOutcome::refused;
        result.reason = std::move(reason);
        answer(result);
    };

    const auto target = topics.parseSet(write.topic);
    if (!target) return;  // the subscription's filter lets no other topic through
    const auto found = routes.find(key(target->plc, target->variable));
    if (found == routes.end()) return refuse("no variable " + target->variable + " on PLC " + target->plc);
    Route& route = found->second;
    if (!route.writable)
        return refuse(target->plc + "/" + target->variable + " (" + route.spelling +
                      ") is not writable: its group is not marked writable");
    // A request kept by the broker would be carried out again on every
    // reconnect: only requests sent now count.
    if (write.retained)
        return refuse("a retained write request is not carried out (clear it with an empty retained message)");
    auto parsed = parseWriteRequest(write.payload);
    if (auto* reason = std::get_if<std::string>(&parsed)) return refuse(*reason);
    WriteRequest& request = std::get<WriteRequest>(parsed);
    result.valueJson = request.valueJson;
    result.idJson = request.idJson;
    if (auto reason = route.checker->setValue(0, request.value))
        return refuse(std::string(route.spelling) + ": " + *reason);

    std::optional<PendingWrite> replaced;
    const auto queued = route.worker->submit(
        *route.writable, PendingWrite{std::move(request), resultTopic, write.correlation}, replaced);
    if (queued == PlcWorker::Queued::stopped) return refuse("the gateway is stopping or reloading");
    if (replaced) {
        WriteResult r;
        r.outcome = WriteOutcome::replaced;
        r.valueJson = replaced->request.valueJson;
        r.idJson = replaced->request.idJson;
        r.reason = "a newer write to " + target->plc + "/" + target->variable + " came before this one was carried out";
        outbox.post(Message{replaced->resultTopic, resultPayload(r, isoTime(std::chrono::system_clock::now())), false,
                            replaced->correlation});
    }
}

Gateway::Gateway(std::string v) : version(std::move(v)) {}

Gateway::~Gateway() {
    if (mqtt) mqtt->requestStop();
    if (site) site->requestStop();
    mqtt.reset();
    site.reset();
}

LinkIdentity Gateway::identityFor(const Config& config) const {
    const Topics topics(config.topicPrefix, config.gatewayName);
    return {topics.gatewayStatus(), topics.setFilter(), version};
}

void Gateway::start(Config config) {
    current = std::move(config);
    site = std::make_unique<Site>(current);
    site->attach(box);
    mqtt = std::make_unique<MqttLink>(current.broker, identityFor(current), box, *this);
    mqtt->start();
    site->start();
}

void Gateway::reload(Config config) {
    auto next = std::make_unique<Site>(config);
    const bool newLink = !(config.broker == current.broker) || config.topicPrefix != current.topicPrefix ||
                         config.gatewayName != current.gatewayName;
    const std::vector<std::string> oldTopics = site->retainedTopics();

    site->requestStop();
    site->waitFinished(Clock::time_point::max());
    if (newLink) {
        mqtt->requestStop();
        mqtt->waitStopped(Clock::time_point::max());
        mqtt.reset();
    }
    {
        std::lock_guard lock(siteMutex);
        site = std::move(next);
    }
    box.resetSlots();
    site->attach(box);
    // Topics of variables and PLCs that are gone: their retained values cleared.
    std::vector<std::string> newTopics = site->retainedTopics();
    std::sort(newTopics.begin(), newTopics.end());
    for (const std::string& t : oldTopics)
        if (!std::binary_search(newTopics.begin(), newTopics.end(), t)) box.post(Message{t, "", true, {}});

    current = std::move(config);
    if (newLink) {
        mqtt = std::make_unique<MqttLink>(current.broker, identityFor(current), box, *this);
        mqtt->start();
    }
    site->start();
}

bool Gateway::stop(Clock::time_point deadline) {
    if (site) site->requestStop();
    if (mqtt) mqtt->requestStop();
    const bool linkDone = !mqtt || mqtt->waitStopped(deadline);
    const bool workersDone = !site || site->waitFinished(deadline);
    return linkDone && workersDone;
}

void Gateway::onWrite(const IncomingWrite& write) {
    std::lock_guard lock(siteMutex);
    if (site) site->onWrite(write, box);
}

}  // namespace orvagate
