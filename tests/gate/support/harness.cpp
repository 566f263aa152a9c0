// SPDX-License-Identifier: Apache-2.0
#include "harness.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace gatetest {
namespace {

using Clock = std::chrono::steady_clock;

bool canConnect(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    return ok;
}

}  // namespace

Process::Process(const std::string& program, const std::vector<std::string>& args, std::string log)
    : logFile(std::move(log)) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    // The child starts with no signal blocked and default handlers.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const int rc = posix_spawn(&child, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (rc != 0) throw std::runtime_error("cannot start " + program + ": " + std::strerror(rc));
}

Process::~Process() {
    if (running()) {
        ::kill(child, SIGKILL);
        waitExit(Milliseconds(5000));
    }
}

void Process::signal(int number) const {
    if (child > 0) ::kill(child, number);
}

std::optional<int> Process::waitExit(Milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!status) {
        int raw = 0;
        const pid_t r = ::waitpid(child, &raw, WNOHANG);
        if (r == child) {
            status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -WTERMSIG(raw);
            break;
        }
        if (Clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(Milliseconds(5));
    }
    return status;
}

bool Process::running() { return !waitExit(Milliseconds(0)); }

std::string Process::log() const {
    std::ifstream in(logFile);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool Process::waitForLog(const std::string& text, Milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (log().find(text) != std::string::npos) return true;
        if (!running() || Clock::now() >= deadline) return log().find(text) != std::string::npos;
        std::this_thread::sleep_for(Milliseconds(10));
    }
}

int freePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) throw std::runtime_error("bind: no free port");
    socklen_t length = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &length);
    ::close(s);
    return ntohs(a.sin_port);
}

std::string makeTempDirectory(const std::string& name) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/" + name + ".XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp " + pattern + ": " + std::strerror(errno));
    return pattern;
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::trunc);
    out << text;
    if (!out) throw std::runtime_error("cannot write " + path);
}

Broker::Broker(std::string p, const std::string& dir, const std::string& listenerOptions)
    : program(std::move(p)), directory(dir), configFile(dir + "/mosquitto.conf"), listenPort(freePort()) {
    // "user root": stay as the user that starts it; a private network
    // namespace's root may not change groups.
    writeFile(configFile, "user root\npersistence false\nlistener " + std::to_string(listenPort) +
                              " 127.0.0.1\nset_tcp_nodelay true\n" + listenerOptions);
}

void Broker::start() {
    if (process) return;
    process = std::make_unique<Process>(program, std::vector<std::string>{"-c", configFile},
                                        directory + "/mosquitto-" + std::to_string(++starts) + ".log");
    const auto deadline = Clock::now() + Milliseconds(5000);
    while (!canConnect(listenPort)) {
        if (!process->running() || Clock::now() >= deadline)
            throw std::runtime_error("mosquitto did not listen on port " + std::to_string(listenPort) + ":\n" +
                                     process->log());
        std::this_thread::sleep_for(Milliseconds(10));
    }
}

void Broker::stop() {
    if (!process) return;
    process->signal(SIGTERM);
    if (!process->waitExit(Milliseconds(5000))) throw std::runtime_error("mosquitto did not stop on SIGTERM");
    process.reset();
}

MqttClient::MqttClient(int port, const ClientOptions& options) {
    const bool v5 = options.v5;
    mosquitto_lib_init();
    static int counter = 0;
    const std::string id = "gatetest-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
    client = mosquitto_new(id.c_str(), true, this);
    if (client == nullptr) throw std::runtime_error("mosquitto_new failed");
    mosquitto_int_option(client, MOSQ_OPT_PROTOCOL_VERSION, v5 ? MQTT_PROTOCOL_V5 : MQTT_PROTOCOL_V311);
    mosquitto_int_option(client, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_message_v5_callback_set(
        client, [](mosquitto* m, void* self, const mosquitto_message* msg, const mosquitto_property* props) {
            messageArrived(m, self, msg, props);
        });
    mosquitto_subscribe_v5_callback_set(client,
                                        [](mosquitto*, void* self, int, int, const int*, const mosquitto_property*) {
                                            auto* c = static_cast<MqttClient*>(self);
                                            std::lock_guard lock(c->mutex);
                                            ++c->subscriptions;
                                            c->arrived.notify_all();
                                        });
    if (!options.username.empty())
        mosquitto_username_pw_set(client, options.username.c_str(), options.password.c_str());
    if (!options.caFile.empty()) mosquitto_tls_set(client, options.caFile.c_str(), nullptr, nullptr, nullptr, nullptr);
    if (mosquitto_connect(client, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS)
        throw std::runtime_error("test client: no broker on port " + std::to_string(port));
    mosquitto_loop_start(client);
}

MqttClient::~MqttClient() {
    mosquitto_disconnect(client);
    mosquitto_loop_stop(client, false);
    mosquitto_destroy(client);
}

void MqttClient::subscribe(const std::string& filter) {
    std::unique_lock lock(mutex);
    const int before = subscriptions;
    lock.unlock();
    if (mosquitto_subscribe(client, nullptr, filter.c_str(), 1) != MOSQ_ERR_SUCCESS)
        throw std::runtime_error("cannot subscribe to " + filter);
    lock.lock();
    if (!arrived.wait_for(lock, Milliseconds(5000), [&] { return subscriptions > before; }))
        throw std::runtime_error("no SUBACK for " + filter);
}

void MqttClient::publish(const std::string& topic, const std::string& payload, bool retain,
                         const std::string& responseTopic, const std::string& correlation) {
    mosquitto_property* props = nullptr;
    if (!responseTopic.empty()) mosquitto_property_add_string(&props, MQTT_PROP_RESPONSE_TOPIC, responseTopic.c_str());
    if (!correlation.empty())
        mosquitto_property_add_binary(&props, MQTT_PROP_CORRELATION_DATA, correlation.data(),
                                      static_cast<std::uint16_t>(correlation.size()));
    const int rc = mosquitto_publish_v5(client, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                                        payload.data(), 1, retain, props);
    mosquitto_property_free_all(&props);
    if (rc != MOSQ_ERR_SUCCESS) throw std::runtime_error("cannot publish to " + topic + ": " + mosquitto_strerror(rc));
}

void MqttClient::messageArrived(mosquitto*, void* self, const mosquitto_message* m, const void* p) {
    const auto* props = static_cast<const mosquitto_property*>(p);
    Received r;
    r.at = std::chrono::system_clock::now();
    r.topic = m->topic;
    r.payload.assign(static_cast<const char*>(m->payload), static_cast<std::size_t>(m->payloadlen));
    r.retain = m->retain;
    void* data = nullptr;
    std::uint16_t length = 0;
    if (mosquitto_property_read_binary(props, MQTT_PROP_CORRELATION_DATA, &data, &length, false) != nullptr) {
        r.correlation.assign(static_cast<const char*>(data), length);
        std::free(data);
    }
    static_cast<MqttClient*>(self)->record(std::move(r));
}

void MqttClient::record(Received r) {
    std::unique_lock lock(mutex);
    if (handler) {
        auto h = handler;
        lock.unlock();
        h(r);
        return;
    }
    received.push_back(std::move(r));
    arrived.notify_all();
}

void MqttClient::onMessage(std::function<void(const Received&)> h) {
    std::lock_guard lock(mutex);
    handler = std::move(h);
}

std::vector<Received> MqttClient::messages() const {
    std::lock_guard lock(mutex);
    return received;
}

std::vector<Received> MqttClient::on(const std::string& topic) const {
    std::lock_guard lock(mutex);
    std::vector<Received> out;
    for (const Received& r : received)
        if (r.topic == topic) out.push_back(r);
    return out;
}

void MqttClient::clear() {
    std::lock_guard lock(mutex);
    received.clear();
}

std::optional<Received> MqttClient::waitFor(const std::function<bool(const Received&)>& match, Milliseconds timeout) {
    std::unique_lock lock(mutex);
    std::optional<Received> found;
    std::size_t checked = 0;
    arrived.wait_for(lock, timeout, [&] {
        for (; checked < received.size(); ++checked)
            if (match(received[checked])) {
                found = received[checked];
                return true;
            }
        return false;
    });
    return found;
}

std::optional<Received> MqttClient::waitForTopic(const std::string& topic, Milliseconds timeout) {
    return waitFor([&](const Received& r) { return r.topic == topic; }, timeout);
}

}  // namespace gatetest
