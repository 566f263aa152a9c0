// SPDX-License-Identifier: Apache-2.0
#include "program_runner.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

extern char** environ;

namespace clitest {
namespace {

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(Fd&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
    Fd& operator=(Fd&& o) noexcept {
        if (this != &o) {
            reset();
            fd_ = o.fd_;
            o.fd_ = -1;
        }
        return *this;
    }
    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

struct Pipe {
    Fd read, write;
    Pipe() {
        int fds[2];
        if (::pipe(fds) != 0) throw std::runtime_error("pipe failed");
        read = Fd(fds[0]);
        write = Fd(fds[1]);
    }
};

// A child process with its two output pipes; reaped (and killed if still
// running) when it goes out of scope.
class Child {
public:
    Child(const std::string& program, const std::vector<std::string>& args) {
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
        out.write.reset();
        err.write.reset();
    }
    ~Child() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Reads what is there, waiting at most timeoutMs; false once both pipes closed.
    bool pump(ProgramResult& r, int timeoutMs) {
        pollfd fds[2] = {{out.read.get(), POLLIN, 0}, {err.read.get(), POLLIN, 0}};
        const int open = (fds[0].fd >= 0) + (fds[1].fd >= 0);
        if (open == 0) return false;
        if (::poll(fds, 2, timeoutMs) <= 0) return true;
        drain(fds[0], out, r.out);
        drain(fds[1], err, r.err);
        return true;
    }

    int wait() {
        int status = 0;
        ::waitpid(pid, &status, 0);
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    void signal(int number) { ::kill(pid, number); }

private:
    static void drain(const pollfd& p, Pipe& pipe, std::string& into) {
        if (p.fd < 0 || (p.revents & (POLLIN | POLLHUP | POLLERR)) == 0) return;
        char buffer[4096];
        const ssize_t n = ::read(p.fd, buffer, sizeof buffer);
        if (n > 0)
            into.append(buffer, static_cast<std::size_t>(n));
        else
            pipe.read.reset();
    }

    Pipe out, err;
    pid_t pid = -1;
};

}  // namespace

ProgramResult runProgram(const std::string& program, const std::vector<std::string>& args) {
    ProgramResult r;
    Child child(program, args);
    while (child.pump(r, 1000)) {}
    r.exitStatus = child.wait();
    return r;
}

ProgramResult runAndInterrupt(const std::string& program, const std::vector<std::string>& args,
                              const std::string& waitFor, int giveUpMs) {
    ProgramResult r;
    Child child(program, args);
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(giveUpMs);
    bool sent = false;
    while (child.pump(r, 20)) {
        if (!sent && r.out.find(waitFor) != std::string::npos) {
            child.signal(SIGINT);
            sent = true;
        }
        if (!sent && std::chrono::steady_clock::now() > giveUp) return r;  // killed by Child's destructor
    }
    r.exitStatus = child.wait();
    return r;
}

}  // namespace clitest
