#pragma once

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

extern char** environ;

namespace vocalis::testing {

struct ProgramResult {
    int status = -1;  // exit status, or -1 when it did not exit normally
    std::string out, err;
};

// The pieces of `text` between the separators, empty ones left out.
inline std::vector<std::string> splitText(const std::string& text, char separator) {
    std::vector<std::string> out;
    for (std::size_t start = 0, end; start < text.size(); start = end + 1) {
        end = std::min(text.find(separator, start), text.size());
        if (end > start) out.push_back(text.substr(start, end - start));
    }
    return out;
}

// How often `part` occurs in `text`, overlaps counted.
inline int occurrences(const std::string& text, const std::string& part) {
    int count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// An argument list written as one line, then `then` (file paths, which may hold spaces).
inline std::vector<std::string> words(const std::string& text, std::initializer_list<std::string> then = {}) {
    std::vector<std::string> out = splitText(text, ' ');
    out.insert(out.end(), then);
    return out;
}

// The program's full path from PATH, or "" when it is not there.
inline std::string findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    for (const auto& folder : splitText(path ? path : "/usr/bin:/bin", ':'))
        if (::access((folder + "/" + name).c_str(), X_OK) == 0) return folder + "/" + name;
    return "";
}

// Starts a program (looked up in PATH when the name has no slash), reading nothing, its output and
// errors going to the descriptors given; its process id, or -1 when it cannot start.
inline pid_t launch(const std::string& program, const std::vector<std::string>& args, int out, int err,
                    char* const* environment = environ) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out, 1);
    posix_spawn_file_actions_adddup2(&actions, err, 2);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environment) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Runs a program and collects its output.
inline ProgramResult runProgram(const std::string& program, const std::vector<std::string>& args) {
    ProgramResult result;
    // Close-on-exec, so that a program started meanwhile by another thread holds no pipe open.
    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) return result;
    const pid_t pid = launch(program, args, outPipe[1], errPipe[1]);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    // Drain both pipes without letting either fill up.
    std::string* into[] = {&result.out, &result.err};
    pollfd pipes[] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    while ((pipes[0].fd >= 0 || pipes[1].fd >= 0) && ::poll(pipes, 2, -1) > 0)
        for (int i = 0; i < 2; ++i) {
            char buffer[65536];
            if (pipes[i].revents == 0) continue;
            const ssize_t n = ::read(pipes[i].fd, buffer, sizeof buffer);
            if (n > 0)
                into[i]->append(buffer, static_cast<std::size_t>(n));
            else
                ::close(std::exchange(pipes[i].fd, -1));
        }
    int status = 0;
    if (pid < 0)
        result.err = "cannot start " + program;
    else if (::waitpid(pid, &status, 0) == pid)
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

}  // namespace vocalis::testing
