// A serial line: the program opens `slave` as its port, the test talks through `master`.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "support/Descriptors.h"

namespace zerlan::testing {

class PtyPair {
public:
    PtyPair() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return;
        if (const char* name = ptsname(master)) slave = name;
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
        std::replace(s.begin(), s.end(), '/', '\\');
        return s;
    }
    // What arrives within `wait_ms` (empty when nothing, or no slave is open).
    std::string Read(int wait_ms) const {
        std::string got;
        ReadReady(master, got, wait_ms, 4096);
        return got;
    }
    bool Write(const std::string& bytes) const { return WriteAll(master, bytes); }

    int master = -1;
    std::string slave;
};

}  // namespace zerlan::testing
