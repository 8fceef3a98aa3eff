// The clock text the decoders put in every frame header,
// "Wed Jan  1 10:00:00.123 2025\r\n" (GlobalSeconds::TimeStamp). A replay
// decodes hundreds of frames within one millisecond, and making the text
// costs more than decoding a frame, so it is made again only once the clock
// has moved on.
//
// One per decoder; not for concurrent use.
#pragma once

#include <string>

#include "core/GlobalSeconds.h"
#include "platform/Clock.h"

namespace zerlan {

class ClockText {
public:
    // Reads the clock; true when the text changed since the last call.
    bool Update() {
        const LocalTime now = Clock::Get().Now();
        if (valid_ && Same(now, shown_)) return false;
        shown_ = now;
        valid_ = true;
        text_ = GlobalSeconds::TimeStamp();
        return true;
    }
    const std::string& Text() const { return text_; }

private:
    static bool Same(const LocalTime& a, const LocalTime& b) {
        return a.millisecond == b.millisecond && a.second == b.second && a.minute == b.minute && a.hour == b.hour &&
               a.day == b.day && a.month == b.month && a.year == b.year && a.weekday == b.weekday;
    }

    LocalTime shown_;
    bool valid_ = false;
    std::string text_;
};

}  // namespace zerlan
