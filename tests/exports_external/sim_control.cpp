// SPDX-License-Identifier: Apache-2.0
#include "sim_control.h"

#include <chrono>
#include <stdexcept>
#include <thread>

namespace orvaext {
namespace {

constexpr int connectTimeoutMs = 3000;
constexpr int replyTimeoutMs = 5000;
constexpr int pollIntervalMs = 10;

std::string joinFault(const std::string& where, const std::string& kind, int value, int pauseMs) {
    return "fault " + where + " " + kind + " " + std::to_string(value) + " " + std::to_string(pauseMs);
}

}  // namespace

std::string toHex(const Bytes& bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    for (std::uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 0x0F];
    }
    return out;
}

Bytes fromHex(const std::string& text) {
    if (text.size() % 2 != 0) throw std::runtime_error("odd hex text: " + text);
    Bytes out;
    for (std::size_t i = 0; i < text.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return out;
}

SimControl::SimControl(const std::string& endpoint) {
    const auto colon = endpoint.rfind(':');
    if (colon == std::string::npos) throw std::runtime_error("control endpoint is not address:port: " + endpoint);
    const auto port = static_cast<std::uint16_t>(std::stoi(endpoint.substr(colon + 1)));
    if (!client.connect(endpoint.substr(0, colon), port, connectTimeoutMs))
        throw std::runtime_error("no orvasim control channel at " + endpoint + " (is orvasim running with --control?)");
}

std::vector<std::string> SimControl::call(const std::string& request) {
    if (!client.sendAll(request + "\n")) throw std::runtime_error("control channel: cannot send " + request);
    std::vector<std::string> lines;
    for (;;) {
        auto line = client.readLine(replyTimeoutMs);
        if (!line) throw std::runtime_error("control channel: no reply to " + request);
        if (*line == "ok") return lines;
        if (line->rfind("error", 0) == 0) throw std::runtime_error("control channel: " + request + ": " + *line);
        lines.push_back(std::move(*line));
    }
}

void SimControl::armConfirmFault(const std::string& kind, int value, int pauseMs) {
    call(joinFault("confirm", kind, value, pauseMs));
}

void SimControl::armReplyFault(const std::string& kind, int value, int pauseMs) {
    call(joinFault("reply", kind, value, pauseMs));
}

int SimControl::connectionsAccepted() { return std::stoi(call("accepted").at(0)); }

bool SimControl::waitForEnds(int count, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int ended = 0;
        for (const std::string& end : connectionEnds()) ended += end != "open" ? 1 : 0;
        if (ended >= count) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(pollIntervalMs));
    }
}

Bytes SimControl::read(char area, int block, int byteOffset, int count) {
    return fromHex(call(std::string("read ") + area + " " + std::to_string(block) + " " + std::to_string(byteOffset) +
                        " " + std::to_string(count))
                       .at(0));
}

void SimControl::write(char area, int block, int byteOffset, const Bytes& bytes) {
    call(std::string("write ") + area + " " + std::to_string(block) + " " + std::to_string(byteOffset) + " " +
         toHex(bytes));
}

void SimControl::setBlockWords(char area, int block, int words) {
    call(std::string("blocksize ") + area + " " + std::to_string(block) + " " + std::to_string(words));
}

std::vector<Bytes> SimControl::telegrams(const std::string& request) {
    std::vector<Bytes> out;
    for (const std::string& line : call(request)) out.push_back(fromHex(line));
    return out;
}

}  // namespace orvaext
