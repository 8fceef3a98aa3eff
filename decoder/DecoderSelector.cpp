#include "decoder/DecoderSelector.h"

namespace zerlan {

namespace {
int ValidVersion(int v) { return v >= -1 && v <= 2 ? v : -1; }
const std::string kNoStation = "----";
}  // namespace

DecoderSelector::DecoderSelector(int version, DecoderOutput& out)
    : version_(ValidVersion(version)),
      out_(out),
      tap2_(*this, 2),
      tap3_(*this, 3),
      rtcm2_(version_, tap2_),
      rtcm3_(version_, tap3_) {
    if (version_ == 0 || version_ == 1) current_ = 2;
    if (version_ == 2) current_ = 3;
}

int DecoderSelector::AddByte(uint8_t byte) {
    printed_now_ = false;
    int r2 = 0;
    int r3 = 0;
    if (version_ != 2) r2 = rtcm2_.AddByte(byte);
    if (version_ == 2 || Automatic()) r3 = rtcm3_.AddByte(byte);
    if (printed_now_) return 1;
    if (current_ == 3) return r3;
    if (current_ == 2) return r2;
    return r2 >= 1 ? r2 : r3;
}

void DecoderSelector::Pause() {
    printed_now_ = false;
    if (version_ != 2) rtcm2_.Flush();
    if (version_ == 2 || Automatic()) rtcm3_.Flush(false);
}

void DecoderSelector::Finish() {
    if (version_ != 2) rtcm2_.Flush();
    if (version_ == 2 || Automatic()) rtcm3_.Flush(true);
    if (tap2_.holding_) DropHeld(tap2_);
}

const std::string& DecoderSelector::StationIdText() const {
    if (current_ == 3) return rtcm3_.StationIdText();
    if (current_ == 2) return rtcm2_.StationIdText();
    return kNoStation;
}

void DecoderSelector::OnFrame(Tap& tap) {
    if (!Automatic() || tap.version_ == 3 || current_ == 2) {
        Print(tap, tap.text_, tap.status_);
        return;
    }
    if (!tap.holding_) {
        tap.held_text_.swap(tap.text_);
        tap.held_status_.swap(tap.status_);
        tap.text_.clear();
        tap.status_.clear();
        tap.holding_ = true;
        return;
    }
    // Two RTCM 2 frames in a row: the lock holds.
    tap.holding_ = false;
    Print(tap, tap.held_text_, tap.held_status_);
    Print(tap, tap.text_, tap.status_);
}

void DecoderSelector::Print(Tap& tap, std::string& text, std::vector<std::pair<int, std::string>>& status) {
    current_ = tap.version_;
    // A frame of this version breaks the other version's row.
    if (tap.version_ == 3 && tap2_.holding_) DropHeld(tap2_);
    for (const auto& [slot, value] : status) out_.Status(slot, value.c_str());
    if (!text.empty()) out_.Text(text.data(), static_cast<int>(text.size()));
    out_.FrameDone();
    text.clear();
    status.clear();
    printed_now_ = true;
    ++(tap.version_ == 3 ? printed3_ : printed2_);
}

void DecoderSelector::OnRejected(Tap& tap) {
    if (!Automatic() || tap.version_ == 3 || current_ == 2) ++rejected_;
    if (tap.holding_) DropHeld(tap);
}

void DecoderSelector::DropHeld(Tap& tap) {
    tap.holding_ = false;
    tap.held_text_.clear();
    tap.held_status_.clear();
    ++rejected_;
    // The false frame must not fix the byte mode for a real RTCM 2 stream later.
    if (printed2_ == 0) rtcm2_.Unlock();
}

void DecoderSelector::OnLog(Tap& tap, const std::string& text) {
    if (!Automatic() || current_ == tap.version_) out_.Log(text);
}

}  // namespace zerlan
