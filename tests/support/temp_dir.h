#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace vocalis::testing {

// A fresh folder under the test temp directory, removed again at the end of the test.
class TempDir {
  public:
    TempDir() {
        if (!::mkdtemp(path_.data())) throw std::runtime_error("mkdtemp failed");
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

    // Creates the file (and its folders) with the given content.
    std::string write(const std::string& relative, const std::string& content = "") const {
        const std::string full = *this / relative;
        std::filesystem::create_directories(std::filesystem::path(full).parent_path());
        std::ofstream(full, std::ios::binary) << content;
        return full;
    }

  private:
    std::string path_ = ::testing::TempDir() + "vocalis-XXXXXX";
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// One of the project's programs; without VOCALIS_BIN (a test run by hand), beside the test's own.
inline std::string programPath(const std::string& name) {
    if (const char* bin = std::getenv("VOCALIS_BIN")) return std::string(bin) + "/" + name;
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().string() + "/" + name;
}

}  // namespace vocalis::testing
