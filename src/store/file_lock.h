#pragma once

#include <string>

namespace vocalis {

// An exclusive lock on a file (flock), held while this object lives. The kernel drops it when
// the process dies, however it dies, so a killed player never leaves its data folder locked;
// the descriptor is close-on-exec, so no child keeps it either.
class FileLock {
  public:
    enum class Status { kLocked, kHeldElsewhere, kFailed };

    // Creates the file when missing.
    explicit FileLock(const std::string& path);
    ~FileLock();
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;

    Status status() const { return status_; }
    const std::string& error() const { return error_; }  // when kFailed

  private:
    int fd_ = -1;
    Status status_ = Status::kFailed;
    std::string error_;
};

}  // namespace vocalis
