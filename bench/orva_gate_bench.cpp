// SPDX-License-Identifier: Apache-2.0
// orvagate under load: many simulated adapters (in this process, on
// 127.0.7.1 and up), a mosquitto of its own on 127.0.0.1, the orvagate
// program polling every adapter's variables and publishing each on every
// poll, and a subscriber here that takes every message. It reports messages
// per second, the CPU time per second of the gateway (by thread), of the
// broker and of this process, and the latency from the end of the poll (the
// payload's time) to the subscriber on the same clock.
//
//   orva_gate_bench [--plcs 64] [--variables 20] [--interval-ms 100] [--seconds 20] [--qos 0]
//
// It listens on port 102 of its adapters' addresses: run it in a network
// namespace of its own, scripts/netns-run.sh (docs/gate.md, "Measured").
#include "harness.h"
#include "sim_server.h"

#include <nlohmann/json.hpp>

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <ctime>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using gatetest::Milliseconds;
using SystemClock = std::chrono::system_clock;

struct Options {
    int plcs = 64;
    int variables = 20;
    int intervalMs = 100;
    int seconds = 20;
    int warmupSeconds = 3;
    int qos = 0;
};

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const int value = std::atoi(argv[i + 1]);
        if (name == "--plcs")
            o.plcs = std::clamp(value, 1, 64);
        else if (name == "--variables")
            o.variables = std::clamp(value, 1, 1000);
        else if (name == "--interval-ms")
            o.intervalMs = std::max(value, 10);
        else if (name == "--seconds")
            o.seconds = std::max(value, 1);
        else if (name == "--warmup-seconds")
            o.warmupSeconds = std::max(value, 0);
        else if (name == "--qos")
            o.qos = std::clamp(value, 0, 2);
        else {
            std::fprintf(stderr, "orva_gate_bench: unknown option %s\n", name.c_str());
            std::exit(64);
        }
    }
    return o;
}

std::string adapterAddress(int i) { return "127.0.7." + std::to_string(i + 1); }

std::string configText(const Options& o, int brokerPort) {
    std::ostringstream c;
    c << "[gateway]\nname = \"bench\"\nlog_level = \"warning\"\n[broker]\nhost = \"127.0.0.1\"\nport = " << brokerPort
      << "\nqos = " << o.qos << "\n";
    for (int p = 0; p < o.plcs; ++p) {
        c << "[[plc]]\nname = \"p" << p << "\"\naddress = \"" << adapterAddress(p)
          << "\"\n  [[plc.group]]\n  interval_ms = " << o.intervalMs
          << "\n  publish = \"always\"\n  [plc.group.variables]\n";
        for (int v = 0; v < o.variables; ++v) c << "  v" << v << " = \"DB10.DW" << v << ":KF\"\n";
    }
    return c.str();
}

// CPU seconds (user + system) of a process, or of one of its threads.
double cpuSeconds(const std::string& statPath) {
    std::ifstream in(statPath);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream rest(text.substr(close + 2));
    std::string field;
    std::vector<std::string> fields;
    while (rest >> field) fields.push_back(field);
    if (fields.size() < 13) return 0;
    // After the name: state is field 3; utime and stime are fields 14 and 15.
    return (std::stod(fields[11]) + std::stod(fields[12])) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

std::string threadName(const std::string& taskDir) {
    std::ifstream in(taskDir + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

// CPU seconds of a process's threads, grouped by kind of thread.
std::map<std::string, double> cpuByThread(pid_t pid) {
    std::map<std::string, double> out;
    const std::string dir = "/proc/" + std::to_string(pid) + "/task";
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) return out;
    while (dirent* e = ::readdir(d)) {
        if (e->d_name[0] == '.') continue;
        const std::string task = dir + "/" + e->d_name;
        std::string name = threadName(task);
        if (name.rfind("plc ", 0) == 0)
            name = "PLC workers";
        else if (name == "orvagate-mqtt")
            name = "MQTT link";
        else
            name = "main";
        out[name] += cpuSeconds(task + "/stat");
    }
    ::closedir(d);
    return out;
}

long residentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// "2026-12-09T15:34:53.123456Z" as a time point.
SystemClock::time_point parseTime(const std::string& text) {
    std::tm t{};
    long micros = 0;
    if (std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d.%ldZ", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour, &t.tm_min,
                    &t.tm_sec, &micros) != 7)
        return {};
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    return SystemClock::from_time_t(timegm(&t)) + std::chrono::microseconds(micros);
}

struct Tally {
    std::mutex mutex;
    bool measuring = false;
    long long messages = 0;
    long long bad = 0;
    std::vector<double> latenciesMs;
    std::map<std::string, long long> perTopic;
};

double percentile(std::vector<double>& v, double p) {
    if (v.empty()) return 0;
    const auto k = static_cast<std::size_t>(
        std::min<double>(static_cast<double>(v.size() - 1), p * static_cast<double>(v.size())));
    std::nth_element(v.begin(), v.begin() + static_cast<long>(k), v.end());
    return v[k];
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = parse(argc, argv);
    const std::string directory = gatetest::makeTempDirectory("orva-gate-bench");

    std::vector<std::unique_ptr<orvasim::Server>> adapters;
    try {
        for (int p = 0; p < o.plcs; ++p) adapters.push_back(orvasim::Server::startedOn(adapterAddress(p)));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orva_gate_bench: %s (run it in a network namespace of its own: scripts/netns-run.sh)\n",
                     e.what());
        return 1;
    }
    gatetest::Broker broker(MOSQUITTO_PROGRAM, directory);
    broker.start();

    Tally tally;
    tally.latenciesMs.reserve(static_cast<std::size_t>(o.plcs) * o.variables * (1000 / o.intervalMs + 1) * o.seconds);
    gatetest::MqttClient subscriber(broker.port());
    subscriber.onMessage([&](const gatetest::Received& r) {
        if (r.topic.size() < 3 || r.topic.compare(r.topic.size() - 7, 7, "/status") == 0) return;
        const auto j = nlohmann::json::parse(r.payload, nullptr, false);
        if (j.is_discarded() || !j.contains("time")) return;
        const double latency =
            std::chrono::duration<double, std::milli>(r.at - parseTime(j["time"].get<std::string>())).count();
        std::lock_guard lock(tally.mutex);
        if (!tally.measuring) return;
        ++tally.messages;
        if (j["quality"] != "good") ++tally.bad;
        ++tally.perTopic[r.topic];
        tally.latenciesMs.push_back(latency);
    });
    subscriber.subscribe("orvanet/bench/+/+");

    const std::string config = directory + "/bench.toml";
    gatetest::writeFile(config, configText(o, broker.port()));
    gatetest::Process gate(ORVAGATE_PROGRAM, {config}, directory + "/orvagate.log");
    std::this_thread::sleep_for(std::chrono::seconds(o.warmupSeconds));
    if (!gate.running()) {
        std::fprintf(stderr, "orvagate ended:\n%s\n", gate.log().c_str());
        return 1;
    }

    const pid_t gatePid = gate.pid();
    const std::string gateStat = "/proc/" + std::to_string(gatePid) + "/stat";
    const double gate0 = cpuSeconds(gateStat);
    const auto threads0 = cpuByThread(gatePid);
    const double self0 = cpuSeconds("/proc/self/stat");
    const std::string brokerStat = "/proc/" + std::to_string(broker.pid()) + "/stat";
    const double broker0 = cpuSeconds(brokerStat);
    const long rss0 = residentKiB(gatePid);
    const auto start = std::chrono::steady_clock::now();
    {
        std::lock_guard lock(tally.mutex);
        tally.measuring = true;
    }
    std::this_thread::sleep_for(std::chrono::seconds(o.seconds));
    {
        std::lock_guard lock(tally.mutex);
        tally.measuring = false;
    }
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double gateCpu = cpuSeconds(gateStat) - gate0;
    const auto threads1 = cpuByThread(gatePid);
    const double selfCpu = cpuSeconds("/proc/self/stat") - self0;
    const double brokerCpu = cpuSeconds(brokerStat) - broker0;
    const long rss1 = residentKiB(gatePid);

    std::lock_guard lock(tally.mutex);
    const double target = static_cast<double>(o.plcs) * o.variables * 1000.0 / o.intervalMs;
    std::printf("orvagate: %d PLCs x %d variables every %d ms, published on every poll, QoS %d, %d s measured\n",
                o.plcs, o.variables, o.intervalMs, o.qos, o.seconds);
    std::printf("  messages/s at the subscriber   %10.0f   (target %.0f; %lld of bad quality)\n",
                static_cast<double>(tally.messages) / elapsed, target, tally.bad);
    std::vector<double> rates;
    for (const auto& [topic, n] : tally.perTopic) rates.push_back(static_cast<double>(n) / elapsed);
    std::sort(rates.begin(), rates.end());
    if (!rates.empty())
        std::printf("  messages/s of one variable     %10.1f min, %.1f median, %.1f max (%zu variables heard)\n",
                    rates.front(), rates[rates.size() / 2], rates.back(), rates.size());
    std::printf("  gateway CPU s/s                %10.3f\n", gateCpu / elapsed);
    for (const auto& [name, seconds] : threads1) {
        const auto before = threads0.find(name);
        std::printf("    %-26s %10.3f\n", name.c_str(),
                    (seconds - (before == threads0.end() ? 0 : before->second)) / elapsed);
    }
    std::printf("  gateway CPU per message        %10.1f us\n",
                tally.messages > 0 ? gateCpu / static_cast<double>(tally.messages) * 1e6 : 0.0);
    std::printf("  gateway resident memory        %7ld -> %ld KiB\n", rss0, rss1);
    std::printf("  mosquitto CPU s/s              %10.3f\n", brokerCpu / elapsed);
    std::printf("  this process CPU s/s           %10.3f   (the %d adapters and the subscriber)\n", selfCpu / elapsed,
                o.plcs);
    std::printf("  latency poll -> subscriber     median %.2f ms, p99 %.2f ms, max %.2f ms\n",
                percentile(tally.latenciesMs, 0.5), percentile(tally.latenciesMs, 0.99),
                percentile(tally.latenciesMs, 1.0));
    gate.signal(SIGTERM);
    gate.waitExit(Milliseconds(2000));
    std::filesystem::remove_all(directory);
    return 0;
}
