#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace vocalis::testing {

// A program running beside the test, its output going to a file; killed if running at the end.
class BackgroundProgram {
  public:
    BackgroundProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::vector<std::string>& extraEnvironment, const std::string& logFile) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        // An extra entry replaces the inherited ones it names; a bare name drops those starting with it.
        std::vector<char*> envp, argv{const_cast<char*>(program.c_str())};
        for (char** entry = environ; *entry; ++entry)
            if (std::ranges::none_of(extraEnvironment, [&](const std::string& extra) {
                    return std::string_view(*entry).starts_with(
                        extra.substr(0, std::min(extra.find('='), extra.size() - 1) + 1));
                }))
                envp.push_back(*entry);
        for (const auto& extra : extraEnvironment)
            if (extra.find('=') != std::string::npos) envp.push_back(const_cast<char*>(extra.c_str()));
        envp.push_back(nullptr);
        for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~BackgroundProgram() {
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    BackgroundProgram(const BackgroundProgram&) = delete;
    BackgroundProgram& operator=(const BackgroundProgram&) = delete;

    bool started() const { return pid_ > 0; }
    bool running() {
        if (pid_ <= 0 || exited_) return false;
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            exited_ = true;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        return !exited_;
    }
    // Sends the signal and waits up to `limit` for the exit; its status, or -2 on time-out.
    int stop(int signal, std::chrono::seconds limit) {
        if (!running()) return status_;
        ::kill(pid_, signal);
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            if (!running()) return status_;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -2;
    }

  private:
    pid_t pid_ = -1;
    bool exited_ = false;
    int status_ = -1;
};

}  // namespace vocalis::testing
