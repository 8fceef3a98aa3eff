#include "jobs/GgaUpstream.h"

#include <cstdlib>

#include "core/SharedState.h"
#include "jobs/StreamCommon.h"
#include "supervision/Protocol.h"

namespace zerlan {

int NetworkReadSize(const Settings& settings) {
    const int n = std::atoi(settings.inout_sw.read_size.c_str());
    return n < 1 ? 1 : (n > 1000 ? 1000 : n);
}

void WriteStartRecord(SharedState& state, const std::string& title, const std::string& start_word) {
    const NowStrings now = state.CaptureNow();
    WriteProtocol(state, title, "no_failure, " + start_word + " " + now.Moment(), ProtocolFileOf(state.settings), 0);
}

GgaUpstream::GgaUpstream(SharedState& state)
    : state_(state),
      on_(state.settings.nmea.on),
      interval_s_(std::atoi(state.settings.nmea.repeat_s.c_str())),
      timer_(interval_s_ > 0 ? interval_s_ : 1),
      generator_(state) {}

int GgaUpstream::SendNow(const std::function<int(const char*, int)>& send) {
    if (!on_) return 0;
    generator_.Build(state_.settings);
    const std::string& sentence = generator_.Sentence();
    if (sentence.empty()) return 0;
    return send(sentence.data(), static_cast<int>(sentence.size()));
}

int GgaUpstream::SendIfDue(const std::function<int(const char*, int)>& send) {
    if (!on_ || interval_s_ <= 0 || !timer_.IntervalElapsed()) return 0;
    return SendNow(send);
}

}  // namespace zerlan
