// SPDX-License-Identifier: Apache-2.0
#include "mqtt_link.h"

#include "log.h"
#include "payload.h"
#include "wakeup.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <unordered_map>
#include <vector>

namespace orvagate {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::duration_cast;

// How long the TCP connect to the broker may take.
constexpr Milliseconds probeTimeout{5000};
// How often libmosquitto's housekeeping (keep-alive pings) runs at least.
constexpr int miscIntervalMs = 250;
// After SIGTERM: how long the offline message may take to be acknowledged.
constexpr Milliseconds offlineTimeout{400};
constexpr int packetsPerCall = 64;
// How often the debug log tells what the link published and what waits.
constexpr std::chrono::seconds statsInterval{10};

void initLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

struct MosquittoDeleter {
    void operator()(mosquitto* m) const { mosquitto_destroy(m); }
};
using Mosquitto = std::unique_ptr<mosquitto, MosquittoDeleter>;

struct Properties {
    mosquitto_property* list = nullptr;
    Properties() = default;
    Properties(const Properties&) = delete;
    Properties& operator=(const Properties&) = delete;
    ~Properties() { mosquitto_property_free_all(&list); }
};

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
    int get() const { return fd; }

private:
    int fd;
};

std::string errnoText(int error) {
    char buffer[128];
    return strerror_r(error, buffer, sizeof buffer);
}

std::string mosquittoError(int rc) {
    if (rc == MOSQ_ERR_ERRNO) return errnoText(errno);
    return mosquitto_strerror(rc);
}

// A TCP connection to host:port within the deadline. libmosquitto's own
// connect blocks until the kernel gives up, minutes for a host that drops the
// SYN; this one ends at the deadline, or when woken(), called when wake is
// signalled, says to stop.
std::optional<std::string> probe(const std::string& host, int port, Clock::time_point deadline, int wake,
                                 const std::function<bool()>& woken) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &found); rc != 0)
        return std::string("cannot resolve ") + host + ": " + gai_strerror(rc);
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> addresses(found, freeaddrinfo);
    std::string failure = "no address";
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        Descriptor s(::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol));
        if (s.get() < 0) {
            failure = errnoText(errno);
            continue;
        }
        if (::connect(s.get(), a->ai_addr, a->ai_addrlen) == 0) return std::nullopt;
        if (errno != EINPROGRESS) {
            failure = errnoText(errno);
            continue;
        }
        for (;;) {
            const auto left = duration_cast<Milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) return "no connection within " + std::to_string(probeTimeout.count()) + " ms";
            pollfd fds[2] = {{s.get(), POLLOUT, 0}, {wake, POLLIN, 0}};
            if (::poll(fds, 2, static_cast<int>(left)) < 0 && errno != EINTR) return errnoText(errno);
            if (fds[1].revents != 0 && woken()) return std::string("stopped");
            if (fds[0].revents == 0) continue;
            int error = 0;
            socklen_t length = sizeof error;
            ::getsockopt(s.get(), SOL_SOCKET, SO_ERROR, &error, &length);
            if (error == 0) return std::nullopt;
            failure = errnoText(error);
            break;
        }
    }
    return failure;
}

void nameThisThread(const char* name) { pthread_setname_np(pthread_self(), name); }

}  // namespace

struct MqttLink::Impl {
    BrokerConfig broker;
    LinkIdentity identity;
    Outbox& outbox;
    WriteHandler& writes;

    Wakeup wake;
    std::thread thread;
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> isConnected{false};
    std::mutex doneMutex;
    std::condition_variable doneChanged;
    bool done = false;

    // The link thread's own.
    Mosquitto mosq;
    bool accepted = false;               // a CONNACK that accepts the connection arrived
    bool sessionUp = false;              // and the link has begun the session
    std::optional<std::string> dropped;  // why the callbacks ended the session
    Clock::time_point connectStarted;
    Clock::time_point nextAttempt;
    Milliseconds backoff;
    std::unordered_map<int, Origin> inFlight;
    std::vector<int> deliveredEarly;  // acknowledged before mosquitto_publish returned its id
    int offlineMid = -1;
    bool offlineDelivered = false;
    Clock::time_point statsAt;
    std::uint64_t statsPublished = 0;

    std::atomic<std::uint64_t> connections{0};
    std::atomic<std::uint64_t> published{0};
    std::atomic<std::uint64_t> writesReceived{0};

    Impl(BrokerConfig b, LinkIdentity i, Outbox& o, WriteHandler& w)
        : broker(std::move(b)), identity(std::move(i)), outbox(o), writes(w), backoff(broker.reconnectMin) {}

    std::string brokerName() const { return broker.host + ":" + std::to_string(broker.port); }

    void run();
    void begin();
    void logStats(Clock::time_point now);
    void connect();
    void retryLater(const std::string& why);
    void lose(std::string why);  // by value: it is often *dropped, which it clears
    void publishReady();
    void shutdown();
    void pump(Clock::time_point deadline, const std::function<bool()>& finished);

    static Impl& of(void* self) { return *static_cast<Impl*>(self); }
    static void onConnect(mosquitto*, void* self, int rc, int flags, const mosquitto_property* props);
    static void onDisconnect(mosquitto*, void* self, int rc, const mosquitto_property* props);
    static void onPublish(mosquitto*, void* self, int mid, int reason, const mosquitto_property* props);
    static void onMessage(mosquitto*, void* self, const mosquitto_message* message, const mosquitto_property* props);
};

// The callbacks only take note: libmosquitto holds locks of its own while it
// calls them, and a publish from inside one takes those locks in another
// order. The link's loop acts once the library call has returned.
void MqttLink::Impl::onConnect(mosquitto*, void* self, int rc, int, const mosquitto_property*) {
    Impl& link = of(self);
    if (rc != 0) {
        link.dropped =
            std::string("the broker refused the connection: ") +
            (link.broker.protocol == MqttProtocol::v5 ? mosquitto_reason_string(rc) : mosquitto_connack_string(rc));
        return;
    }
    link.accepted = true;
}

// The broker took the connection: subscribe, announce online, send every state again.
void MqttLink::Impl::begin() {
    accepted = false;
    sessionUp = true;
    isConnected = true;
    backoff = broker.reconnectMin;
    logInfo("connected to the broker at " + brokerName() + " as " + broker.clientId);
    if (const int s = mosquitto_subscribe(mosq.get(), nullptr, identity.setFilter.c_str(), broker.qos);
        s != MOSQ_ERR_SUCCESS) {
        dropped = "cannot subscribe to " + identity.setFilter + ": " + mosquittoError(s);
        return;
    }
    const std::string online = onlinePayload(identity.version, isoTime(std::chrono::system_clock::now()));
    mosquitto_publish(mosq.get(), nullptr, identity.statusTopic.c_str(), static_cast<int>(online.size()), online.data(),
                      broker.qos, true);
    outbox.republishAll();
}

void MqttLink::Impl::onDisconnect(mosquitto*, void* self, int rc, const mosquitto_property*) {
    Impl& link = of(self);
    if (!link.dropped) link.dropped = "the connection ended: " + mosquittoError(rc == 0 ? MOSQ_ERR_CONN_LOST : rc);
}

void MqttLink::Impl::onPublish(mosquitto*, void* self, int mid, int reason, const mosquitto_property*) {
    Impl& link = of(self);
    if (mid == link.offlineMid) {
        link.offlineDelivered = true;
        return;
    }
    if (reason >= 0x80) logWarning(std::string("the broker refused a message: ") + mosquitto_reason_string(reason));
    const auto found = link.inFlight.find(mid);
    if (found == link.inFlight.end()) {
        link.deliveredEarly.push_back(mid);
        return;
    }
    const Origin origin = found->second;
    link.inFlight.erase(found);
    link.outbox.delivered(origin);
}

void MqttLink::Impl::onMessage(mosquitto*, void* self, const mosquitto_message* message,
                               const mosquitto_property* props) {
    Impl& link = of(self);
    ++link.writesReceived;
    IncomingWrite write;
    write.topic = message->topic;
    write.payload = std::string_view(static_cast<const char*>(message->payload),
                                     static_cast<std::size_t>(std::max(message->payloadlen, 0)));
    write.retained = message->retain;
    char* responseTopic = nullptr;
    if (mosquitto_property_read_string(props, MQTT_PROP_RESPONSE_TOPIC, &responseTopic, false) != nullptr) {
        write.responseTopic = responseTopic;
        std::free(responseTopic);
    }
    void* correlation = nullptr;
    std::uint16_t length = 0;
    if (mosquitto_property_read_binary(props, MQTT_PROP_CORRELATION_DATA, &correlation, &length, false) != nullptr) {
        write.correlation.assign(static_cast<const char*>(correlation), length);
        std::free(correlation);
    }
    link.writes.onWrite(write);
}

void MqttLink::Impl::retryLater(const std::string& why) {
    nextAttempt = Clock::now() + backoff;
    logWarning("broker " + brokerName() + ": " + why + "; next try in " + std::to_string(backoff.count()) + " ms");
    backoff = std::min(backoff * 2, broker.reconnectMax);
}

void MqttLink::Impl::lose(std::string why) {
    mosq.reset();
    accepted = false;
    sessionUp = false;
    isConnected = false;
    dropped.reset();
    inFlight.clear();
    deliveredEarly.clear();
    retryLater(why);
}

void MqttLink::Impl::connect() {
    connectStarted = Clock::now();
    if (const auto failure = probe(broker.host, broker.port, connectStarted + probeTimeout, wake.fd(), [this] {
            wake.drain();
            return stopRequested.load();
        })) {
        if (!stopRequested) retryLater("cannot connect: " + *failure);
        return;
    }
    Mosquitto m(mosquitto_new(broker.clientId.c_str(), true, this));
    if (!m) {
        retryLater("cannot make an MQTT client: " + errnoText(errno));
        return;
    }
    mosquitto_int_option(m.get(), MOSQ_OPT_PROTOCOL_VERSION,
                         broker.protocol == MqttProtocol::v5 ? MQTT_PROTOCOL_V5 : MQTT_PROTOCOL_V311);
    // Small messages go out at once, not after the broker's acknowledgement of the last.
    mosquitto_int_option(m.get(), MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect_v5_callback_set(m.get(), onConnect);
    mosquitto_disconnect_v5_callback_set(m.get(), onDisconnect);
    mosquitto_publish_v5_callback_set(m.get(), onPublish);
    mosquitto_message_v5_callback_set(m.get(), onMessage);
    const std::string will = offlinePayload("connection lost", std::nullopt);
    int rc = mosquitto_will_set(m.get(), identity.statusTopic.c_str(), static_cast<int>(will.size()), will.data(),
                                broker.qos, true);
    if (rc == MOSQ_ERR_SUCCESS && broker.username)
        rc = mosquitto_username_pw_set(m.get(), broker.username->c_str(),
                                       broker.password ? broker.password->c_str() : nullptr);
    if (rc == MOSQ_ERR_SUCCESS && broker.tls) {
        auto orNull = [](const std::string& s) { return s.empty() ? nullptr : s.c_str(); };
        rc = mosquitto_tls_set(m.get(), orNull(broker.tls->caFile), orNull(broker.tls->caPath),
                               orNull(broker.tls->certFile), orNull(broker.tls->keyFile), nullptr);
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        retryLater("cannot set up the MQTT client: " + mosquittoError(rc));
        return;
    }
    rc = mosquitto_connect(m.get(), broker.host.c_str(), broker.port, broker.keepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
        retryLater("cannot connect: " + mosquittoError(rc));
        return;
    }
    mosq = std::move(m);
    ++connections;
}

void MqttLink::Impl::publishReady() {
    const bool v5 = broker.protocol == MqttProtocol::v5;
    while (mosq && !dropped) {
        auto item = outbox.take();
        if (!item) return;
        const Message& message = item->first;
        Properties props;
        if (v5 && !message.correlation.empty())
            mosquitto_property_add_binary(&props.list, MQTT_PROP_CORRELATION_DATA, message.correlation.data(),
                                          static_cast<std::uint16_t>(message.correlation.size()));
        int mid = 0;
        deliveredEarly.clear();
        const int rc =
            mosquitto_publish_v5(mosq.get(), &mid, message.topic.c_str(), static_cast<int>(message.payload.size()),
                                 message.payload.data(), broker.qos, message.retain, props.list);
        if (rc == MOSQ_ERR_SUCCESS) {
            ++published;
            if (std::find(deliveredEarly.begin(), deliveredEarly.end(), mid) != deliveredEarly.end())
                outbox.delivered(item->second);
            else
                inFlight[mid] = item->second;
            continue;
        }
        // Not handed over: the slot is free again (a new connection sends its value anew).
        outbox.delivered(item->second);
        switch (rc) {
        case MOSQ_ERR_NO_CONN:
        case MOSQ_ERR_CONN_LOST:
        case MOSQ_ERR_ERRNO: dropped = "cannot publish: " + mosquittoError(rc); return;
        default: logWarning("cannot publish " + message.topic + ": " + mosquittoError(rc));
        }
    }
}

// Reads and writes until finished() or the deadline.
void MqttLink::Impl::pump(Clock::time_point deadline, const std::function<bool()>& finished) {
    while (mosq && !finished()) {
        const auto left = duration_cast<Milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return;
        pollfd fd{mosquitto_socket(mosq.get()),
                  static_cast<short>(POLLIN | (mosquitto_want_write(mosq.get()) ? POLLOUT : 0)), 0};
        ::poll(&fd, 1, static_cast<int>(std::min<long long>(left, miscIntervalMs)));
        if ((fd.revents & (POLLIN | POLLERR | POLLHUP)) && mosquitto_loop_read(mosq.get(), packetsPerCall) != 0) return;
        if (mosquitto_want_write(mosq.get()) && mosquitto_loop_write(mosq.get(), packetsPerCall) != 0) return;
    }
}

void MqttLink::Impl::shutdown() {
    if (mosq && sessionUp && !dropped) {
        const std::string offline = offlinePayload("stopped", isoTime(std::chrono::system_clock::now()));
        offlineDelivered = false;
        const int rc = mosquitto_publish(mosq.get(), &offlineMid, identity.statusTopic.c_str(),
                                         static_cast<int>(offline.size()), offline.data(), broker.qos, true);
        if (rc == MOSQ_ERR_SUCCESS) pump(Clock::now() + offlineTimeout, [this] { return offlineDelivered; });
        mosquitto_disconnect(mosq.get());
        pump(Clock::now() + Milliseconds(100), [this] { return !mosquitto_want_write(mosq.get()); });
        logInfo("offline published; disconnected from the broker");
    }
    mosq.reset();
    sessionUp = false;
    isConnected = false;
}

void MqttLink::Impl::logStats(Clock::time_point now) {
    if (now - statsAt < statsInterval) return;
    if (logs(LogLevel::debug)) {
        const Outbox::Counts c = outbox.counts();
        const std::uint64_t n = published.load();
        logDebug("mqtt: " + std::to_string(n - statsPublished) + " messages published in " +
                 std::to_string(duration_cast<Milliseconds>(now - statsAt).count()) +
                 " ms; outbox: " + std::to_string(c.ready) + " ready, " + std::to_string(c.inFlight) + " in flight, " +
                 std::to_string(c.events) + " events waiting, " + std::to_string(c.droppedEvents) + " dropped");
        statsPublished = n;
    }
    statsAt = now;
}

void MqttLink::Impl::run() {
    nameThisThread("orvagate-mqtt");
    nextAttempt = Clock::now();
    statsAt = nextAttempt;
    while (!stopRequested) {
        logStats(Clock::now());
        if (!mosq) {
            if (Clock::now() >= nextAttempt) {
                connect();
                continue;
            }
        }
        pollfd fds[2] = {{wake.fd(), POLLIN, 0}, {-1, 0, 0}};
        int timeout = miscIntervalMs;
        if (mosq) {
            fds[1] = {mosquitto_socket(mosq.get()),
                      static_cast<short>(POLLIN | (mosquitto_want_write(mosq.get()) ? POLLOUT : 0)), 0};
        } else {
            const auto left = duration_cast<Milliseconds>(nextAttempt - Clock::now()).count();
            timeout = static_cast<int>(std::clamp<long long>(left, 0, 1000));
        }
        ::poll(fds, mosq ? 2 : 1, timeout);
        if (fds[0].revents != 0) wake.drain();
        if (stopRequested || !mosq) continue;

        if ((fds[1].revents & (POLLIN | POLLERR | POLLHUP)) != 0) {
            if (const int rc = mosquitto_loop_read(mosq.get(), packetsPerCall); rc != MOSQ_ERR_SUCCESS && !dropped)
                dropped = "the connection ended: " + mosquittoError(rc);
        }
        if (!dropped && accepted) begin();
        if (!dropped && sessionUp) publishReady();
        if (!dropped && mosquitto_want_write(mosq.get())) {
            if (const int rc = mosquitto_loop_write(mosq.get(), packetsPerCall); rc != MOSQ_ERR_SUCCESS && !dropped)
                dropped = "the connection ended: " + mosquittoError(rc);
        }
        if (!dropped) {
            if (const int rc = mosquitto_loop_misc(mosq.get()); rc != MOSQ_ERR_SUCCESS && !dropped)
                dropped = "the connection ended: " + mosquittoError(rc);
        }
        if (!dropped && !sessionUp && Clock::now() - connectStarted > std::chrono::seconds(broker.keepAliveSeconds))
            dropped = "no answer to the connection request within " + std::to_string(broker.keepAliveSeconds) + " s";
        if (dropped) lose(*dropped);
    }
    shutdown();
    std::lock_guard lock(doneMutex);
    done = true;
    doneChanged.notify_all();
}

MqttLink::MqttLink(BrokerConfig broker, LinkIdentity identity, Outbox& outbox, WriteHandler& writes)
    : impl(std::make_unique<Impl>(std::move(broker), std::move(identity), outbox, writes)) {
    initLibrary();
}

MqttLink::~MqttLink() {
    requestStop();
    if (impl->thread.joinable()) impl->thread.join();
    impl->outbox.setWakeup(nullptr);
}

void MqttLink::start() {
    Impl* link = impl.get();
    impl->outbox.setWakeup([link] { link->wake.signal(); });
    impl->thread = std::thread([link] { link->run(); });
}

void MqttLink::requestStop() {
    impl->stopRequested = true;
    impl->wake.signal();
}

bool MqttLink::waitStopped(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(impl->doneMutex);
    if (!impl->doneChanged.wait_until(lock, deadline, [this] { return impl->done; })) return false;
    lock.unlock();
    if (impl->thread.joinable()) impl->thread.join();
    return true;
}

bool MqttLink::connected() const { return impl->isConnected; }
const BrokerConfig& MqttLink::broker() const { return impl->broker; }
const LinkIdentity& MqttLink::identity() const { return impl->identity; }

MqttLink::Counts MqttLink::counts() const {
    return {impl->connections.load(), impl->published.load(), impl->writesReceived.load()};
}

}  // namespace orvagate
