#pragma once

#include <fcntl.h>

namespace vocalis {

// Asio opens and accepts sockets without close-on-exec; a child that inherited a listening
// socket would keep the player's port after the player died.
inline void closeOnExec(int fd) {
    if (fd < 0) return;
    const int flags = ::fcntl(fd, F_GETFD);
    if (flags >= 0) ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
}

}  // namespace vocalis
