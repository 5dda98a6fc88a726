#pragma once

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace vocalis::testing {

struct ProgramResult {
    int status = -1;  // exit status, or -1 when it did not exit normally
    std::string out;
    std::string err;
};

// An argument list written as one line: the words of `text` split at spaces, then `then`
// (file paths, which may hold spaces).
inline std::vector<std::string> words(const std::string& text, std::initializer_list<std::string> then = {}) {
    std::vector<std::string> out;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find(' ', start), text.size());
        if (end > start) out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    out.insert(out.end(), then);
    return out;
}

// The program's full path from PATH, or "" when it is not there.
inline std::string findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/bin:/bin";
    for (std::size_t start = 0; start <= folders.size();) {
        const std::size_t end = std::min(folders.find(':', start), folders.size());
        const std::string candidate = folders.substr(start, end - start) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return "";
}

// Runs a program (looked up in PATH when the name has no slash) with the arguments and
// collects its output (no shell involved).
inline ProgramResult runProgram(const std::string& program, const std::vector<std::string>& args) {
    int outPipe[2], errPipe[2];
    if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    posix_spawn_file_actions_addclose(&actions, outPipe[0]);
    posix_spawn_file_actions_addclose(&actions, errPipe[0]);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    ProgramResult result;
    if (spawned != 0) {
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        result.err = "cannot start " + program;
        return result;
    }
    // Drain both pipes without letting either fill up.
    auto drain = [](int fd, std::string& into) {
        char buffer[65536];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) into.append(buffer, static_cast<std::size_t>(n));
        return n > 0;
    };
    bool outOpen = true, errOpen = true;
    while (outOpen || errOpen) {
        fd_set set;
        FD_ZERO(&set);
        if (outOpen) FD_SET(outPipe[0], &set);
        if (errOpen) FD_SET(errPipe[0], &set);
        if (::select(std::max(outPipe[0], errPipe[0]) + 1, &set, nullptr, nullptr, nullptr) < 0) break;
        if (outOpen && FD_ISSET(outPipe[0], &set)) outOpen = drain(outPipe[0], result.out);
        if (errOpen && FD_ISSET(errPipe[0], &set)) errOpen = drain(errPipe[0], result.err);
    }
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

}  // namespace vocalis::testing
