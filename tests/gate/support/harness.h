/* SPDX-License-Identifier: Apache-2.0 */
// What the gateway's tests and its benchmark run around it: child processes
// (mosquitto, orvasim, orvagate) stopped by their process ids, a broker of
// their own on 127.0.0.1 and a free port, and an MQTT client that records
// what it receives.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace gatetest {

using Milliseconds = std::chrono::milliseconds;

// A child process; its standard output and error go to one log file. (Not
// tests/support's RunningProgram, whose pipes fill up unless the test reads
// them: these run for the whole test and log all the while.)
class Process {
public:
    Process(const std::string& program, const std::vector<std::string>& args, std::string logFile);
    ~Process();  // SIGKILL and reaped, if it still runs
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    pid_t pid() const { return child; }
    void signal(int number) const;
    // Its exit status (a signal's number negated), or none within timeout.
    std::optional<int> waitExit(Milliseconds timeout);
    bool running();
    std::string log() const;
    // True once the log holds text; false when timeout passed or the process ended first.
    bool waitForLog(const std::string& text, Milliseconds timeout);

private:
    pid_t child = -1;
    std::optional<int> status;
    std::string logFile;
};

// A TCP port that nothing listens on at 127.0.0.1 just now.
int freePort();

// A fresh directory under TMPDIR for one test's files.
std::string makeTempDirectory(const std::string& name);
void writeFile(const std::string& path, const std::string& text);

// mosquitto with a configuration of its own: 127.0.0.1, a free port, and
// the listener's options (anonymous clients unless told otherwise).
class Broker {
public:
    Broker(std::string program, const std::string& directory,
           const std::string& listenerOptions = "allow_anonymous true\n");
    void start();  // on the same port every time; waits until it listens
    void stop();   // SIGTERM, waited for
    int port() const { return listenPort; }
    bool running() const { return process != nullptr; }
    pid_t pid() const { return process ? process->pid() : -1; }

private:
    std::string program;
    std::string directory;
    std::string configFile;
    int listenPort;
    int starts = 0;
    std::unique_ptr<Process> process;
};

struct Received {
    std::string topic;
    std::string payload;
    bool retain = false;
    std::string correlation;  // MQTT 5 correlation data
    std::chrono::system_clock::time_point at;
};

// What a client needs beyond the port: a user, a CA file for TLS.
struct ClientOptions {
    bool v5 = true;
    std::string username;
    std::string password;
    std::string caFile;
};

// A client on its own libmosquitto thread, MQTT 5 or 3.1.1.
class MqttClient {
public:
    explicit MqttClient(int port, bool v5 = true) : MqttClient(port, ClientOptions{v5, {}, {}, {}}) {}
    MqttClient(int port, const ClientOptions& options);
    ~MqttClient();
    MqttClient(const MqttClient&) = delete;
    MqttClient& operator=(const MqttClient&) = delete;

    // Waits for the subscription's acknowledgement.
    void subscribe(const std::string& filter);
    void publish(const std::string& topic, const std::string& payload, bool retain = false,
                 const std::string& responseTopic = "", const std::string& correlation = "");

    std::vector<Received> messages() const;
    std::vector<Received> on(const std::string& topic) const;
    void clear();
    // The first message received (earlier ones included) that matches, or none within timeout.
    std::optional<Received> waitFor(const std::function<bool(const Received&)>& match, Milliseconds timeout);
    std::optional<Received> waitForTopic(const std::string& topic, Milliseconds timeout);
    // Called on the client's thread for every message, instead of recording it.
    void onMessage(std::function<void(const Received&)> handler);

private:
    static void messageArrived(mosquitto*, void* self, const ::mosquitto_message* m, const void* props);
    void record(Received r);

    mosquitto* client = nullptr;
    mutable std::mutex mutex;
    std::condition_variable arrived;
    std::vector<Received> received;
    std::function<void(const Received&)> handler;
    int subscriptions = 0;
};

}  // namespace gatetest
