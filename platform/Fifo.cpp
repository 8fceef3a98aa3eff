#include "platform/Fifo.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "platform/DescriptorWrite.h"
#include "platform/Paths.h"

namespace zerlan {

namespace {

constexpr const char* kPipePrefix = "\\\\.\\pipe\\";

// 0 when `path` is a FIFO (made if missing), else -1 with the reason.
int EnsureFifo(const std::string& path, std::string* error) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) {
        if (S_ISFIFO(st.st_mode)) return 0;
        if (error) *error = "exists and is not a FIFO";
        return -1;
    }
    if (errno == ENOENT && (mkfifo(path.c_str(), 0600) == 0 || errno == EEXIST)) return 0;
    if (error) *error = std::strerror(errno);
    return -1;
}

}  // namespace

std::string FifoPath(const std::string& name) {
    const size_t prefix = std::strlen(kPipePrefix);
    if (name.size() > prefix && name.compare(0, prefix, kPipePrefix) == 0) {
        const char* dir = std::getenv("ZERLAN_PIPE_DIR");
        std::string base = dir != nullptr && *dir != '\0' ? dir : "/tmp";
        if (base.back() != '/') base += '/';
        return base + name.substr(prefix);
    }
    return MapPath(name);
}

int OpenFifoWriter(const std::string& path, bool* no_peer, std::string* error) {
    // A reader that leaves must end in EPIPE, never in the end of the process.
    static const bool kIgnored = std::signal(SIGPIPE, SIG_IGN) != SIG_ERR;
    (void)kIgnored;
    if (no_peer) *no_peer = false;
    if (EnsureFifo(path, error) != 0) return -1;
    const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) return fd;
    if (errno == ENXIO) {
        if (no_peer) *no_peer = true;
    } else if (error) {
        *error = std::strerror(errno);
    }
    return -1;
}

int OpenFifoReader(const std::string& path, std::string* error) {
    if (EnsureFifo(path, error) != 0) return -1;
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && error) *error = std::strerror(errno);
    return fd;
}

void CloseFifo(int fd) {
    if (fd >= 0) close(fd);
}

int ReadFifo(int fd, char* buffer, int size, int wait_ms) {
    if (fd < 0) return -1;
    pollfd p{fd, POLLIN, 0};
    const int ready = poll(&p, 1, wait_ms);
    if (ready < 0) return errno == EINTR ? -2 : -1;
    // No event: no writer has come yet, or one is there and silent. A read
    // now would report the end of a writer that never was.
    if (ready == 0) return -2;
    const ssize_t n = read(fd, buffer, static_cast<size_t>(size));
    if (n > 0) return static_cast<int>(n);
    if (n == 0) return 0;
    return (errno == EAGAIN || errno == EINTR) ? -2 : -1;
}

int WriteFifo(int fd, const char* data, int size, int wait_ms) {
    return WriteWithin(fd, data, size, wait_ms);
}

void TouchFifoAsReader(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISFIFO(st.st_mode)) return;
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) close(fd);
}

}  // namespace zerlan
