// A pseudo-terminal pair standing in for a serial line: the program under
// test opens `slave` as its port, the test talks through `master`.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

namespace zerlan::testing {

class PtyPair {
public:
    PtyPair() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return;
        const char* name = ptsname(master);
        if (name != nullptr) slave = name;
    }
    ~PtyPair() {
        if (master >= 0) close(master);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return master >= 0 && !slave.empty(); }
    // The slave written the settings' way, with backslashes.
    std::string SettingName() const {
        std::string s = slave;
        for (char& c : s) {
            if (c == '/') c = '\\';
        }
        return s;
    }
    // What arrives within `wait_ms` (empty when nothing, or no slave is open).
    std::string Read(int wait_ms) const {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, wait_ms) <= 0 || (p.revents & POLLIN) == 0) return std::string();
        char buffer[4096];
        const ssize_t n = read(master, buffer, sizeof buffer);
        return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
    }
    bool Write(const std::string& bytes) const {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(master, bytes.data() + done, bytes.size() - done);
            if (n <= 0) return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }

    int master = -1;
    std::string slave;
};

}  // namespace zerlan::testing
