#include "platform/DescriptorWrite.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

namespace zerlan {

int WriteWithin(int fd, const char* data, int size, int wait_ms) {
    if (fd < 0) return -1;
    int done = 0;
    while (done < size) {
        const ssize_t n = write(fd, data + done, static_cast<size_t>(size - done));
        if (n > 0) {
            done += static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return done > 0 ? done : -1;
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, wait_ms) <= 0 || (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) break;
    }
    return done;
}

}  // namespace zerlan
