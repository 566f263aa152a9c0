/* SPDX-License-Identifier: Apache-2.0 */
// The gateway's connection to its broker, on a thread of its own: connects
// (with back-off after a failure), announces the gateway online with a last
// will of offline, subscribes to the write requests, and publishes what the
// outbox holds while connected. While the broker is away the outbox keeps the
// latest value of each topic; a new connection publishes them all again.
//
// libmosquitto runs in this thread alone (its external-loop interface: the
// link polls the socket and a wake-up descriptor itself), so its message ids
// and callbacks need no locks of their own.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "config.h"
#include "outbox.h"

namespace orvagate {

// A message on a set topic, as it arrived.
struct IncomingWrite {
    std::string_view topic;
    std::string_view payload;
    bool retained = false;      // sent from the broker's store, not by a writer just now
    std::string responseTopic;  // MQTT 5; empty: none
    std::string correlation;    // MQTT 5 correlation data
};

class WriteHandler {
public:
    virtual void onWrite(const IncomingWrite& write) = 0;

protected:
    ~WriteHandler() = default;
};

struct LinkIdentity {
    std::string statusTopic;  // online, offline and the last will
    std::string setFilter;    // the one subscription
    std::string version;
};

class MqttLink {
public:
    MqttLink(BrokerConfig broker, LinkIdentity identity, Outbox& outbox, WriteHandler& writes);
    ~MqttLink();  // stops, without waiting for the offline message to be acknowledged
    MqttLink(const MqttLink&) = delete;
    MqttLink& operator=(const MqttLink&) = delete;

    void start();
    // Asks the thread to publish offline (when connected), disconnect and end.
    void requestStop();
    // Waits for that until deadline; true when the thread has ended (joined).
    bool waitStopped(std::chrono::steady_clock::time_point deadline);

    bool connected() const;
    const BrokerConfig& broker() const;
    const LinkIdentity& identity() const;

    struct Counts {
        std::uint64_t connections = 0;
        std::uint64_t published = 0;
        std::uint64_t writesReceived = 0;
    };
    Counts counts() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

}  // namespace orvagate
