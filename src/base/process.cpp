#include "base/process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

#include "base/log.h"

extern char** environ;

namespace vocalis {

int runProcess(const std::vector<std::string>& argv, std::stop_token stop) {
    if (argv.empty() || stop.stop_requested()) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The tools we run talk a lot on their outputs; nobody reads it.
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // Nothing else: a child that outlives a killed player must not keep its ports or files.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    std::vector<char*> args;
    for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int error = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        logParts("Cannot run ", argv[0], ": error ", error);
        return -1;
    }
    {
        std::stop_callback end(stop, [pid] { ::kill(pid, SIGTERM); });
        // Waited for without reaping it, so its pid is not another's while a stop may still kill it.
        siginfo_t info{};
        while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) < 0) {
            if (errno != EINTR) break;
        }
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) && !stop.stop_requested() ? WEXITSTATUS(status) : -1;
}

}  // namespace vocalis
