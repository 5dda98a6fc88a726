#pragma once

#include <map>
#include <optional>
#include <string>

namespace vocalis {

// The user's documents folder as the XDG user-dirs configuration names it
// ($XDG_CONFIG_HOME/user-dirs.dirs), else $HOME/Documents.
std::string documentsFolder();

// The player's data folder: "Vocalis Player" in the documents folder.
std::string defaultDataFolder();

// Reads XDG_DOCUMENTS_DIR out of a user-dirs.dirs text; $HOME is expanded with `home`.
std::optional<std::string> parseDocumentsDir(const std::string& userDirsText, const std::string& home);

// This process's own program file, as the kernel knows it (/proc/self/exe); none where /proc
// cannot be read.
std::optional<std::string> thisProgram();

// The folder of the player's own loadable modules: lib/vocalis beside the program's bin folder
// (the build tree and an install alike); none where the program cannot be found.
std::optional<std::string> ownModulesFolder();

// True when something exists at the path (a dangling symbolic link counts as missing).
bool pathExists(const std::string& path);
bool isDirectory(const std::string& path);

}  // namespace vocalis
