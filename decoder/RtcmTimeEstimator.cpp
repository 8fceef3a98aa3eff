#include "decoder/RtcmTimeEstimator.h"

#include <cmath>

#include "platform/Clock.h"

namespace zerlan {

void CRtcmTimeEstimator::Reset() {
    enabled_ = false;
    name_.clear();
    reference_ = 0.0;
    sample_count_ = 0;
    has_samples_ = false;
    offset_ = 0.0;
    has_offset_ = false;
    last_average_ = Clock::Get().EpochSeconds();
}

void CRtcmTimeEstimator::SetName(const std::string& name) { name_ = name.substr(0, 99); }

void CRtcmTimeEstimator::SetReference(double seconds) {
    if (enabled_) reference_ = seconds;
}

void CRtcmTimeEstimator::AddSample(double seconds) {
    // The message time and the PC clock may sit on both sides of an hour turn.
    if (seconds - reference_ > 1800) reference_ += 3600;
    if (seconds - reference_ <= -1800) seconds += 3600;
    if (sample_count_ >= kMaxSamples) return;
    samples_[sample_count_++] = seconds - reference_;
    has_samples_ = true;
}

double CRtcmTimeEstimator::Estimate(double seconds) {
    double result = -1.0;
    if (!enabled_) return result;
    const int64_t now = Clock::Get().EpochSeconds();
    if (!has_samples_) {
        last_average_ = now;
    } else if (now - last_average_ >= 3 || sample_count_ >= kMaxSamples) {
        last_average_ = now;
        // Without new samples the previous offset stands (no mean of nothing).
        if (sample_count_ > 0) {
            double sum = 0.0;
            for (int i = 0; i < sample_count_; ++i) sum += samples_[i];
            offset_ = sum / sample_count_;
            has_offset_ = true;
        }
        sample_count_ = 0;
    }
    if (has_offset_) {
        result = seconds + offset_;
        if (result >= 3600) result -= 3600;
        if (result < 0) result += 3600;
    }
    return result;
}

double SecondOfHour(double seconds) {
    double hours = seconds / 3600.0;
    return (hours - std::trunc(hours)) * 3600.0;
}

}  // namespace zerlan
