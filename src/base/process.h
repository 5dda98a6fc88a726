#pragma once

#include <stop_token>
#include <string>
#include <vector>

namespace vocalis {

// Runs a program (looked up in PATH when the name has no slash) with exactly these
// arguments, no shell, standard input and output closed and no other descriptor of ours,
// and waits for it. A stop asked meanwhile ends it (SIGTERM); one asked before starts nothing.
// Returns its exit status, or -1 when it could not start, was stopped or did not exit normally.
int runProcess(const std::vector<std::string>& argv, std::stop_token stop = {});

}  // namespace vocalis
