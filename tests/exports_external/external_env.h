/* SPDX-License-Identifier: Apache-2.0 */
// Where the external orvasim runs, and small helpers of the tests that call
// the library through its exports. The addresses can be changed through the
// environment (ORVASIM_ADDRESS, ORVASIM_CONTROL); CTest sets them to the
// simulator its fixture starts.
#pragma once

#include <chrono>
#include <cstdlib>
#include <string>

#include "loopback_addresses.h"
#include "orvanet.h"

#if defined(_WIN32)
#  include <windows.h>
#endif

namespace orvaext {

inline std::string fromEnvironment(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : fallback;
}

// The control channel of the simulator, and the adapter (port 102), by default
// at the address of the control channel.
inline std::string simControl() { return fromEnvironment("ORVASIM_CONTROL", "127.0.0.50:7050"); }
inline std::string simAddress() {
    const std::string control = simControl();
    return fromEnvironment("ORVASIM_ADDRESS", control.substr(0, control.rfind(':')).c_str());
}
// Nothing listens on port 102 here.
inline constexpr const char* refusingAddress = orvatest::address::externalNobody;
// A test's own listener that never accepts.
inline constexpr const char* blackHoleAddress = orvatest::address::externalBlackHole;

// True for a Windows program that runs under Wine, whose sockets differ from
// Windows' in a few places (the tests that meet one say which).
inline bool underWine() {
#if defined(_WIN32)
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

// One open handle, closed by the destructor.
class Handle {
public:
    explicit Handle(const std::string& address, int receiveMs = 0, int sendMs = 0, int connectMs = 0,
                    const char* ownTsap = "", const char* plcTsap = "")
        : handle(ORVAOpen(address.c_str(), ownTsap, plcTsap, receiveMs, sendMs, connectMs)) {}
    ~Handle() {
        if (handle >= 0) ORVAClose(handle);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    operator int() const { return handle; }

private:
    int handle;
};

class Stopwatch {
public:
    long long ms() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begin).count();
    }

private:
    std::chrono::steady_clock::time_point begin = std::chrono::steady_clock::now();
};

}  // namespace orvaext
