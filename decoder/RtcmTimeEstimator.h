// CRtcmTimeEstimator: estimates the second within the hour of the data being
// decoded from the PC clock and the epochs the messages carry. Each frame the
// decoder sets the PC second as reference and asks for an estimate; messages
// with an epoch add the offset between their time and the reference. Every
// three PC seconds (or after 200 samples) the samples are averaged into the
// offset that later estimates apply. Before the first average the estimate is
// -1.
//
// One object per decoder; not safe for concurrent use.
#pragma once

#include <cstdint>
#include <string>

namespace zerlan {

class CRtcmTimeEstimator {
public:
    static constexpr int kMaxSamples = 200;

    CRtcmTimeEstimator() { Reset(); }

    void Reset();
    void SetEnabled(bool enabled) { enabled_ = enabled; }
    bool Enabled() const { return enabled_; }
    // Cut to 99 characters.
    void SetName(const std::string& name);
    const std::string& Name() const { return name_; }

    // PC seconds within the hour of the current frame.
    void SetReference(double seconds);
    // A message epoch reduced to the second within the hour.
    void AddSample(double seconds);
    // The data's second within the hour for PC second `seconds`, or -1.0.
    double Estimate(double seconds);

    double Reference() const { return reference_; }
    int SampleCount() const { return sample_count_; }
    bool HasOffset() const { return has_offset_; }
    double Offset() const { return offset_; }

private:
    bool enabled_ = false;
    std::string name_;
    double reference_ = 0.0;
    double samples_[kMaxSamples] = {};
    int sample_count_ = 0;
    bool has_samples_ = false;
    double offset_ = 0.0;
    bool has_offset_ = false;
    int64_t last_average_ = 0;
};

// Seconds within the hour of a time given in seconds (of week or day).
double SecondOfHour(double seconds);

}  // namespace zerlan
