// The version choice between the RTCM 2 and RTCM 3 decoders, shared by the
// job's decoder thread and the batch converter so both print the same text.
//
// With a fixed version only that decoder sees the bytes. In the automatic
// setting both decoders see every byte. An RTCM 3 frame (CRC-24Q) is
// printed at once and makes RTCM 3 the current version. An RTCM 2 frame
// (6 parity bits per word) is printed at once only while RTCM 2 is current;
// otherwise it is held until the RTCM 2 decoder confirms its lock with a
// second good frame in a row, and then both are printed and RTCM 2 becomes
// current. A row is broken by a frame of the other version or by a
// candidate that failed after its header. So a chance RTCM 2 sync inside
// RTCM 3 data neither takes bytes from the RTCM 3 decoder nor prints a
// false frame, and a stream that switches version loses nothing.
//
// Thread-safety: a selector belongs to one thread.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "decoder/DecoderOutput.h"
#include "decoder/Rtcm3xDecoder.h"
#include "decoder/RtcmDecoder.h"

namespace zerlan {

class DecoderSelector {
public:
    // `version`: -1 automatic, 0 RTCM 2.1, 1 RTCM 2.3, 2 RTCM 3.1 (others: -1).
    // `out` must outlive the selector.
    DecoderSelector(int version, DecoderOutput& out);
    DecoderSelector(const DecoderSelector&) = delete;
    DecoderSelector& operator=(const DecoderSelector&) = delete;

    // Feeds one byte. Returns >= 1 for progress (a frame printed, or the
    // current RTCM 2 decoder in sync), below 1 otherwise.
    int AddByte(uint8_t byte);
    // A pause in the stream: frames already complete are decided.
    void Pause();
    // The end of the input: frames already complete are decided and a frame
    // that can never complete is given up, so the bits behind it are searched.
    void Finish();

    // 2 (RTCM 2) or 3 (RTCM 3): the version of the frames printed last; 0
    // before the first.
    int current() const { return current_; }
    // "%04i" of the station of the current version's last frame, "----" before.
    const std::string& StationIdText() const;
    int FramesPrinted(int version) const { return version == 3 ? printed3_ : printed2_; }
    // Candidates that failed after their header, and held RTCM 2 frames that
    // were never confirmed.
    int FramesRejected() const { return rejected_; }
    CRtcmDecoder& rtcm2() { return rtcm2_; }
    CRtcm3xDecoder& rtcm3() { return rtcm3_; }

private:
    // Collects one decoder's results per frame until the selector decides.
    class Tap : public DecoderOutput {
    public:
        Tap(DecoderSelector& owner, int version) : owner_(owner), version_(version) {}
        void Text(const char* text, int length) override { text_.append(text, static_cast<size_t>(length)); }
        // Only the latest text per slot: a decoder that never prints must not grow this.
        void Status(int slot, const char* text) override {
            for (auto& entry : status_)
                if (entry.first == slot) {
                    entry.second = text;
                    return;
                }
            status_.emplace_back(slot, text);
        }
        void FrameDone() override { owner_.OnFrame(*this); }
        void Rejected() override { owner_.OnRejected(*this); }
        void Log(const std::string& text) override { owner_.OnLog(*this, text); }

        DecoderSelector& owner_;
        const int version_;
        std::string text_;
        std::vector<std::pair<int, std::string>> status_;
        std::string held_text_;  // an RTCM 2 frame awaiting its confirmation
        std::vector<std::pair<int, std::string>> held_status_;
        bool holding_ = false;
    };

    void OnFrame(Tap& tap);
    void OnRejected(Tap& tap);
    void OnLog(Tap& tap, const std::string& text);
    void Print(Tap& tap, std::string& text, std::vector<std::pair<int, std::string>>& status);
    void DropHeld(Tap& tap);
    bool Automatic() const { return version_ == -1; }

    int version_;
    DecoderOutput& out_;
    Tap tap2_;
    Tap tap3_;
    CRtcmDecoder rtcm2_;
    CRtcm3xDecoder rtcm3_;
    int current_ = 0;
    bool printed_now_ = false;
    int printed2_ = 0;
    int printed3_ = 0;
    int rejected_ = 0;
};

}  // namespace zerlan
