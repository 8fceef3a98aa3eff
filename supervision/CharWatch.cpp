#include "supervision/CharWatch.h"

#include <cstdio>

#include "core/Messages.h"
#include "core/ThreadRegistry.h"
#include "platform/Clock.h"
#include "platform/Sleep.h"
#include "supervision/Protocol.h"

namespace zerlan {

namespace {

constexpr size_t kTitleSize = 100;
constexpr int64_t kInitialPeriodTime = 100;

std::string CutTitle(const std::string& title) { return title.substr(0, kTitleSize - 1); }

int NormalKind(int kind) { return kind >= 0 && kind <= 5 ? kind : 0; }

}  // namespace

CharWatch::CharWatch(SharedState& shared, Counter* counter, int kind, const CharWatchLimits& limits,
                     const std::string& protocol_file)
    : shared_(&shared),
      counter_(counter),
      kind_(NormalKind(kind)),
      // A unit below one second would check on every pass and flood the view.
      time_unit_(limits.time_unit < 1 ? 1 : limits.time_unit),
      minimum_(limits.minimum),
      minimum_duration_(limits.minimum_duration),
      low_title_(CutTitle(limits.low_title)),
      maximum_(limits.maximum),
      maximum_duration_(limits.maximum_duration),
      high_title_(CutTitle(limits.high_title)),
      protocol_file_(protocol_file) {
    if (counter_ != nullptr) counter_->store(0);
    low_.start_time = low_.end_time = high_.start_time = high_.end_time = kInitialPeriodTime;
    last_check_ = now_ = Clock::Get().EpochSeconds();
    last_interval_ = now_;
}

CharWatch::CharWatch(SharedState& shared, Counter* counter, int kind, int32_t minimum_duration,
                     int32_t maximum_duration)
    : CharWatch(shared, counter, kind,
                CharWatchLimits{1, 10, minimum_duration, "Minimal-Reset", 10000, maximum_duration, "Maximal-Reset"},
                "") {}

CharWatch::CharWatch(int32_t interval_seconds, int32_t interval_limit)
    : interval_(interval_seconds), interval_limit_(interval_limit) {
    last_check_ = now_ = last_interval_ = Clock::Get().EpochSeconds();
}

int CharWatch::SettingsGroup(int kind) { return NormalKind(kind) % 3; }

bool CharWatch::IntervalElapsed() {
    const int64_t now = Clock::Get().EpochSeconds();
    if (now - last_interval_ < interval_) return false;
    last_interval_ = now;
    return true;
}

std::string CharWatch::FailureText(int32_t bytes) const {
    const LocalTime t = Clock::Get().Now();
    char text[300];
    std::snprintf(text, sizeof text, "failure %i Byte, start_of_failure %02i.%02i.%i  %02i:%02i:%02i", bytes, t.day,
                  t.month, t.year, t.hour, t.minute, t.second);
    return text;
}

void CharWatch::StoreDisplayValue(int32_t bytes, uint32_t display_message) {
    if (display_message == msg::kInputRate) {
        // Kind 2 would feed a second rate value that no view field shows.
        if (kind_ == 0) shared_->input_rate.store(bytes);
        return;
    }
    if (display_message >= msg::kCasterOutRate && display_message <= msg::kFileOutRate) {
        shared_->output_rate[display_message - msg::kCasterOutRate].store(bytes);
    }
}

bool CharWatch::AdvancePeriod(Period& period, int32_t bytes, int32_t duration, const std::string& title,
                              int period_index, int write_protocol, const char* display_prefix) {
    if (!period.started) {
        period.failure_text = FailureText(bytes);
        period.started = true;
    }
    if (period.count == 0) period.start_time = now_;
    ++period.count;
    if (static_cast<int64_t>(period.count) * time_unit_ < duration) return false;
    period.end_time = now_;
    if (write_protocol == 1) {
        WriteProtocol(title, period.failure_text, protocol_file_, period_index);
        const std::string& parameter_file =
            shared_->parameter_file.empty() ? shared_->settings.parameter_file : shared_->parameter_file;
        if (IsMarkerName(title, parameter_file, protocol_file_)) {
            CreateMarkerFile(title);
        } else if (!marker_refused_[period_index & 1]) {
            marker_refused_[period_index & 1] = true;
            shared_->ShowText(std::string("No marker file for the ") + (period_index == 0 ? "miz" : "maz") +
                              " title \"" + title +
                              "\": not a plain file name, or the parameter or protocol file\r\n");
        }
    }
    shared_->ShowTextAndWait(display_prefix + period.failure_text);
    period.count = 0;
    period.started = false;
    return true;
}

int CharWatch::Check(const std::string& warning_text, uint32_t display_message, int write_protocol) {
    if (shared_ == nullptr || counter_ == nullptr) return kNothing;
    now_ = Clock::Get().EpochSeconds();
    if (now_ - last_check_ < time_unit_) return kNothing;
    last_check_ = now_;

    // Taken and cleared at once: bytes counted meanwhile belong to the next unit.
    const int32_t bytes = counter_->exchange(0);
    StoreDisplayValue(bytes, display_message);
    const bool low = bytes < minimum_;
    const bool high = bytes > maximum_;

    int result = kNothing;
    bool reported_low = false;
    if (low && minimum_duration_ != 0) {
        if (AdvancePeriod(low_, bytes, minimum_duration_, low_title_, 0, write_protocol,
                          "too few Byte per TimeUnit: ")) {
            shared_->ShowTextAndWait(warning_text + "\r\n");
            state_ = result = kTooFew;
            reported_low = true;
        }
    } else {
        low_ = Period{};
        if (state_ == kTooFew) {
            state_ = result = kAfterTooFew;
        } else if (state_ == kAfterTooFew) {
            state_ = kNothing;
        }
    }

    if (!reported_low) {
        if (high && maximum_duration_ != 0) {
            if (AdvancePeriod(high_, bytes, maximum_duration_, high_title_, 1, write_protocol,
                              "too many Byte per TimeUnit: ")) {
                state_ = result = kTooMany;
            }
        } else {
            high_ = Period{};
            if (state_ == kTooMany) {
                state_ = result = kAfterTooMany;
            } else if (state_ == kAfterTooMany) {
                state_ = kNothing;
            }
        }
    }

    if (kind_ == 0 || kind_ == 1) {
        shared_->Send(display_message);
        Sleep(1);
    }
    if (kind_ == 0) {
        // Subtract what the view was shown rather than zeroing, so that pool
        // writes landing during the send count in the next unit.
        const int32_t shown = shared_->pool_total.load();
        shared_->pool_total_shown.store(shown);
        shared_->Send(msg::kPoolTotal);
        Sleep(1);
        shared_->pool_total.fetch_sub(shown);
    }
    return result;
}

int CharWatch::WriteProtocol(const std::string& title, const std::string& text, const std::string& protocol_file,
                             int period) {
    if (shared_ == nullptr) return 2;
    const Period& p = period == 1 ? high_ : low_;
    return ::zerlan::WriteProtocol(*shared_, title, text, protocol_file, static_cast<long>(p.end_time - p.start_time));
}

void RunWatchThread(const ThreadRegistry& registry, int pause_ms, const std::function<void()>& pass) {
    while (!registry.StopRequested()) {
        pass();
        Sleep(pause_ms);
    }
}

}  // namespace zerlan
