#pragma once

// A private PulseAudio daemon for tests: one null sink, a socket in a temporary folder, no
// session bus, no cookie. Runs as root too (a CI machine). Stopped on destruction.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

extern char** environ;

namespace vocalis::testing {

class PulseDaemon {
  public:
    static constexpr const char* kSinkName = "vocalis_test_sink";

    PulseDaemon() { start(); }

    // Starts (again) on the same socket.
    void start() {
        if (pid_ > 0) return;
        const std::string program = "/usr/bin/pulseaudio";
        std::vector<std::string> args = {
            program,
            "--daemonize=no",
            "-n",  // no default configuration: only what is loaded here
            "--use-pid-file=no",
            "--exit-idle-time=-1",
            "--disallow-exit",
            "--realtime=no",
            "--high-priority=no",
            "--log-target=stderr",
            "--log-level=error",
            std::string("--load=module-null-sink sink_name=") + kSinkName,
            "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socketPath(),
        };
        // Its own runtime and home folders, so it meets no other daemon and leaves nothing.
        std::vector<std::string> environment;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            if (entry.rfind("HOME=", 0) == 0 || entry.rfind("XDG_RUNTIME_DIR=", 0) == 0 ||
                entry.rfind("PULSE_", 0) == 0 || entry.rfind("DBUS_SESSION_BUS_ADDRESS=", 0) == 0) {
                continue;
            }
            environment.push_back(entry);
        }
        environment.push_back("HOME=" + dir_.path());
        environment.push_back("XDG_RUNTIME_DIR=" + dir_.path());
        environment.push_back("PULSE_RUNTIME_PATH=" + (dir_ / "pulse"));
        environment.push_back("DBUS_SESSION_BUS_ADDRESS=disabled:");

        std::vector<char*> argv, envp;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        for (auto& e : environment) envp.push_back(e.data());
        envp.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, (dir_ / "daemon.log").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        if (pid_ > 0) waitUntilListening();
    }

    ~PulseDaemon() { stop(); }
    PulseDaemon(const PulseDaemon&) = delete;
    PulseDaemon& operator=(const PulseDaemon&) = delete;

    bool running() const { return listening_; }
    std::string socketPath() const { return dir_ / "native"; }
    std::string server() const { return "unix:" + socketPath(); }
    std::string log() const { return dir_ / "daemon.log"; }

    void stop() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
        listening_ = false;
    }

  private:
    // Generous: a loaded CI machine may take a while to start the daemon.
    void waitUntilListening() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < deadline) {
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                return;
            }
            if (connects()) {
                listening_ = true;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    bool connects() const {
        const std::string path = socketPath();
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (fd < 0) return false;
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        return ok;
    }

    TempDir dir_;
    pid_t pid_ = -1;
    bool listening_ = false;
};

}  // namespace vocalis::testing
