#include "core/SharedState.h"

#include <cstdio>

#include "platform/Clock.h"

namespace zerlan {

std::string NowStrings::Moment() const {
    char buffer[700];
    std::snprintf(buffer, sizeof buffer, "%s.%s.%s  %s:%s:%s", day, month, year, hour, minute, second);
    return buffer;
}

SharedState::SharedState() {
    for (auto& c : output_bar) c.store(0);
    for (auto& c : output_rate) c.store(0);
    for (auto& c : output_watch) c.store(0);
    for (CharPool* pool : {&input_pool_a, &input_pool_b, &rtcm_encoder_pool, &decoded_text_pool, &position_pool,
                           &encoder_data_pool_a, &encoder_data_pool_b, &rinex_pool}) {
        pool->SetLossReporter([this](const std::string& reader, int64_t lost) {
            ShowText(reader + ": " + std::to_string(lost) +
                     " bytes lost, the reader fell more than the pool window behind\r\n");
        });
    }
}

void SharedState::ShowText(const std::string& text) {
    {
        std::lock_guard<std::mutex> lock(display_mutex_);
        display_text_ = text;
    }
    if (MessageQueue* view = view_window.load()) view->PostText(msg::kDisplayText, text);
}

void SharedState::ShowReceivedText(const std::string& text) {
    {
        std::lock_guard<std::mutex> lock(display_mutex_);
        display_text_ = text;
    }
    if (MessageQueue* view = view_window.load()) view->PostText(msg::kDisplayText, text, kMessageReceivedData);
}

void SharedState::ShowTextAndWait(const std::string& text) {
    {
        std::lock_guard<std::mutex> lock(display_mutex_);
        display_text_ = text;
    }
    if (MessageQueue* view = view_window.load()) view->SendText(msg::kDisplayText, text);
}

std::string SharedState::DisplayText() {
    std::lock_guard<std::mutex> lock(display_mutex_);
    return display_text_;
}

NowStrings SharedState::CaptureNow() {
    LocalTime t = Clock::Get().Now();
    NowStrings s;
    std::snprintf(s.day, sizeof s.day, "%02i", t.day);
    std::snprintf(s.month, sizeof s.month, "%02i", t.month);
    std::snprintf(s.year, sizeof s.year, "%i", t.year);
    std::snprintf(s.hour, sizeof s.hour, "%02i", t.hour);
    std::snprintf(s.minute, sizeof s.minute, "%02i", t.minute);
    std::snprintf(s.second, sizeof s.second, "%02i", t.second);
    std::lock_guard<std::mutex> lock(now_mutex_);
    now_ = s;
    return s;
}

NowStrings SharedState::LastCaptured() {
    std::lock_guard<std::mutex> lock(now_mutex_);
    return now_;
}

CharPool& SharedState::SelectOutputPool(int encoder_output_wanted, int rtcm_encoder_wanted, int raw_selector) {
    const bool enc_b = encoder_data_b_active.load() != 0;
    const bool enc_a = encoder_data_a_active.load() != 0;
    const bool rtcm = rtcm_encoder_active.load() != 0;
    CharPool* result = &input_pool_a;
    if (encoder_output_wanted == 1 && enc_b) {
        result = &encoder_data_pool_b;
    } else if (encoder_output_wanted == 1 && enc_a) {
        result = &encoder_data_pool_a;
    } else if (rtcm_encoder_wanted == 1 && rtcm) {
        result = &rtcm_encoder_pool;
    }
    if (!enc_a && !enc_b && !rtcm) {
        return raw_selector == 1 ? input_pool_b : input_pool_a;
    }
    if (encoder_output_wanted != 1 && rtcm_encoder_wanted != 1) {
        if (raw_selector == 1) return input_pool_b;
        if (raw_selector == 0) return input_pool_a;
    }
    return *result;
}

void SharedState::SetStationId(const std::string& id) {
    std::lock_guard<std::mutex> lock(station_mutex_);
    station_id_ = id;
}

std::string SharedState::StationId() {
    std::lock_guard<std::mutex> lock(station_mutex_);
    return station_id_;
}

void SharedState::Post(uint32_t message) {
    MessageQueue* view = view_window.load();
    if (view == nullptr) return;
    if (msg::IsRefreshMessage(message)) {
        view->PostCoalesced(message);
    } else {
        view->Post(message);
    }
}

// A data path never waits for the view to draw a bar or a number.
void SharedState::Send(uint32_t message) {
    MessageQueue* view = view_window.load();
    if (view == nullptr) return;
    if (msg::IsRefreshMessage(message)) {
        view->PostCoalesced(message);
    } else {
        view->Send(message);
    }
}

}  // namespace zerlan
