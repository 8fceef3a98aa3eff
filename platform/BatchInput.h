// Input of the batch commands (`--decode`): a file or standard input read in
// blocks, ending at once on SIGINT or SIGTERM even while the input is idle
// (a terminal or pipe with nothing to say).
//
// One reader per process: the signal handlers it installs are process-wide.
#pragma once

#include <cstddef>
#include <string>

namespace zerlan {

class BatchInput {
public:
    enum Result { kEnd = 0, kError = -1, kInterrupted = -2 };

    BatchInput() = default;
    ~BatchInput();
    BatchInput(const BatchInput&) = delete;
    BatchInput& operator=(const BatchInput&) = delete;

    // "-" is standard input. False when the file cannot be opened (see Error).
    bool Open(const std::string& name);
    // Bytes read (> 0), or one of Result.
    long Read(unsigned char* buffer, size_t size);
    // strerror of the last failure.
    const std::string& Error() const { return error_; }

private:
    int fd_ = -1;
    bool owned_ = false;
    std::string error_;
};

}  // namespace zerlan
