#pragma once

#include <string>
#include <vector>

namespace vocalis {

// Runs a program (looked up in PATH when the name has no slash) with exactly these
// arguments, no shell, standard input and output closed and no other descriptor of ours,
// and waits for it.
// Returns its exit status, or -1 when it could not start or did not exit normally.
int runProcess(const std::vector<std::string>& argv);

}  // namespace vocalis
