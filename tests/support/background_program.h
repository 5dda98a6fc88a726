#pragma once

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "support/eventually.h"
#include "support/run_program.h"

namespace vocalis::testing {

// A program running beside the test, its output going to a file; killed if running at the end.
class BackgroundProgram {
  public:
    BackgroundProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::vector<std::string>& extraEnvironment, const std::string& logFile) {
        // An extra entry replaces the inherited ones it names; a bare name drops those starting with it.
        std::vector<char*> envp;
        for (char** entry = environ; *entry; ++entry)
            if (std::ranges::none_of(extraEnvironment, [&](const std::string& extra) {
                    return std::string_view(*entry).starts_with(
                        extra.substr(0, std::min(extra.find('='), extra.size() - 1) + 1));
                }))
                envp.push_back(*entry);
        for (const auto& extra : extraEnvironment)
            if (extra.find('=') != std::string::npos) envp.push_back(const_cast<char*>(extra.c_str()));
        envp.push_back(nullptr);
        const int log = ::open(logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        pid_ = launch(program, args, log, log, envp.data());
        ::close(log);
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
    pid_t pid() const { return pid_; }
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
        if (running()) ::kill(pid_, signal);
        return eventually([&] { return !running(); }, limit) ? status_ : -2;
    }

  private:
    pid_t pid_ = -1;
    bool exited_ = false;
    int status_ = -1;
};

}  // namespace vocalis::testing
