// How the running job is getting on, for the exit status of the program and
// its last line: why the job failed (the first reason is kept), whether the
// file input reached its end, and how many outputs were planned and failed.
//
// Thread-safety: every member may be used from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace zerlan {

class JobOutcome {
public:
    // At job start.
    void Reset() {
        std::lock_guard<std::mutex> lock(mutex_);
        failure_.clear();
        output_failure_.clear();
        input_ended.store(0);
        outputs_planned.store(0);
        outputs_failed.store(0);
    }
    // The job cannot go on as configured.
    void NoteFailure(const std::string& why) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (failure_.empty()) failure_ = why;
    }
    // One output gave up (or never started).
    void NoteOutputFailure(const std::string& why) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (output_failure_.empty()) output_failure_ = why;
        }
        outputs_failed.fetch_add(1);
    }
    std::string Failure() {
        std::lock_guard<std::mutex> lock(mutex_);
        return failure_;
    }
    std::string OutputFailure() {
        std::lock_guard<std::mutex> lock(mutex_);
        return output_failure_;
    }
    bool EveryOutputFailed() const {
        const int32_t planned = outputs_planned.load();
        return planned > 0 && outputs_failed.load() >= planned;
    }

    std::atomic<int32_t> input_ended{0};
    std::atomic<int32_t> outputs_planned{0};
    std::atomic<int32_t> outputs_failed{0};

private:
    std::mutex mutex_;
    std::string failure_;
    std::string output_failure_;
};

}  // namespace zerlan
