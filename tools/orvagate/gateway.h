/* SPDX-License-Identifier: Apache-2.0 */
// The running gateway: its PLC workers (a Site, made from one configuration),
// the outbox between them and the broker, and the MQTT link. A reload makes a
// new Site from a configuration already checked and swaps it in; the link
// stays connected unless the broker or the topics changed.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "config.h"
#include "mqtt_link.h"
#include "outbox.h"
#include "plc_worker.h"
#include "topics.h"

namespace orvagate {

// The PLCs of one configuration and the routes of write requests to them.
class Site {
public:
    explicit Site(const Config& config);
    void attach(Outbox& outbox);
    void start();
    void requestStop();
    bool waitFinished(std::chrono::steady_clock::time_point deadline);
    std::vector<std::string> retainedTopics() const;

    // A message on a set topic, from the link's thread: refused with its
    // reason, or handed to the PLC's worker. Results go to the outbox.
    void onWrite(const IncomingWrite& write, Outbox& outbox);

private:
    struct Route {
        PlcWorker* worker = nullptr;
        std::optional<std::size_t> writable;
        std::string spelling;
        std::unique_ptr<VariableList> checker;  // the link thread's own, for checking values
    };
    Topics topics;
    std::vector<std::unique_ptr<PlcWorker>> workers;
    std::unordered_map<std::string, Route> routes;  // "PLC/VARIABLE"
};

class Gateway : public WriteHandler {
public:
    explicit Gateway(std::string version);
    ~Gateway();

    void start(Config config);
    // Swaps in a checked configuration.
    void reload(Config config);
    // Publishes offline and stops every thread; true when all of them ended
    // by the deadline (a worker may still be inside a library call).
    bool stop(std::chrono::steady_clock::time_point deadline);

    void onWrite(const IncomingWrite& write) override;

    const Config& config() const { return current; }
    Outbox& outbox() { return box; }
    MqttLink* link() { return mqtt.get(); }

private:
    LinkIdentity identityFor(const Config& config) const;

    std::string version;
    Config current;
    Outbox box;
    std::mutex siteMutex;  // the link thread's onWrite against a reload's swap
    std::unique_ptr<Site> site;
    std::unique_ptr<MqttLink> mqtt;
};

}  // namespace orvagate
