#include "store/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace vocalis {

FileLock::FileLock(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        error_ = "cannot open " + path + ": " + std::strerror(errno);
        return;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
        status_ = Status::kLocked;
        return;
    }
    const int failure = errno;
    ::close(std::exchange(fd_, -1));
    if (failure == EWOULDBLOCK) {
        status_ = Status::kHeldElsewhere;
        return;
    }
    error_ = "cannot lock " + path + ": " + std::strerror(failure);
}

FileLock::~FileLock() {
    if (fd_ >= 0) ::close(fd_);
}

FileLock::FileLock(FileLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), status_(other.status_), error_(std::move(other.error_)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    std::swap(fd_, other.fd_);
    std::swap(status_, other.status_);
    std::swap(error_, other.error_);
    return *this;
}

}  // namespace vocalis
