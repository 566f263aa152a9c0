// SPDX-License-Identifier: Apache-2.0
#include "running_program.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace orvatest {
namespace {

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point until) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

struct Pipe {
    UniqueFd read, write;
    Pipe() {
        int ends[2];
        if (::pipe(ends) != 0) throw std::runtime_error("pipe failed");
        read.reset(ends[0]);
        write.reset(ends[1]);
    }
};

// Appends what one pipe holds; closes it at its end.
void take(const pollfd& p, UniqueFd& pipe, std::string& into) {
    if (p.fd < 0 || (p.revents & (POLLIN | POLLHUP | POLLERR)) == 0) return;
    char buffer[4096];
    const ssize_t n = ::read(p.fd, buffer, sizeof buffer);
    if (n > 0)
        into.append(buffer, static_cast<std::size_t>(n));
    else
        pipe.reset();
}

}  // namespace

RunningProgram::RunningProgram(const std::string& program, const std::vector<std::string>& args) {
    Pipe out, err;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out.write.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err.write.get(), STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, out.read.get());
    posix_spawn_file_actions_addclose(&actions, err.read.get());
    std::vector<std::string> all{program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int rc = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + program);
    outPipe = std::move(out.read);
    errPipe = std::move(err.read);
}

RunningProgram::~RunningProgram() {
    if (pid > 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
}

bool RunningProgram::collect(int timeoutMs) {
    pollfd fds[2] = {{outPipe.get(), POLLIN, 0}, {errPipe.get(), POLLIN, 0}};
    if (!outPipe && !errPipe) return false;
    if (::poll(fds, 2, timeoutMs) <= 0) return true;
    take(fds[0], outPipe, out_);
    take(fds[1], errPipe, err_);
    return true;
}

bool RunningProgram::waitForOutput(std::string_view text, int timeoutMs) {
    const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out_.find(text) == std::string::npos) {
        if (!outPipe || msLeft(until) == 0 || !collect(msLeft(until))) return false;
    }
    return true;
}

int RunningProgram::wait(int timeoutMs) {
    constexpr auto pollInterval = std::chrono::milliseconds(5);
    const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (msLeft(until) > 0 && collect(msLeft(until))) {}
    // Output closed: the exit follows at once, but not within the same instant.
    for (int status = 0; pid > 0; std::this_thread::sleep_for(pollInterval)) {
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        if (msLeft(until) == 0) break;
    }
    return -1;  // still running: the destructor kills it
}

void RunningProgram::signal(int number) { ::kill(pid, number); }

ProgramResult runProgram(const std::string& program, const std::vector<std::string>& args, int timeoutMs) {
    RunningProgram running(program, args);
    ProgramResult r;
    r.exitStatus = running.wait(timeoutMs);
    r.out = running.out();
    r.err = running.err();
    return r;
}

}  // namespace orvatest
