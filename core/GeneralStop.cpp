#include "core/GeneralStop.h"

#include <cstdio>
#include <memory>
#include <thread>

#include "core/Messages.h"
#include "platform/Clock.h"
#include "platform/Sleep.h"

namespace zerlan {

namespace {

Counter& StartedFlag(SharedState& state, int kind) {
    switch (kind) {
        case 1: return state.tcp_out_server_started;
        case 2: return state.dec_tcp_out_server_started;
        case 3: return state.http_server_started;
        default: return state.rinex_tcp_out_server_started;
    }
}

// The listing as one protocol line: a record must not span lines.
std::string FlattenListing(const std::string& listing) {
    std::string line;
    size_t start = 0;
    while (start < listing.size()) {
        size_t end = listing.find('\n', start);
        if (end == std::string::npos) end = listing.size();
        if (end > start) {
            if (!line.empty()) line += ", ";
            line.append(listing, start, end - start);
        }
        start = end + 1;
    }
    return line;
}

}  // namespace

void RunGeneralStop(SharedState& state, GeneralStopHooks hooks) {
    ThreadRegistry& registry = state.registry;
    if (hooks.wake_before_loop) hooks.wake_before_loop();

    // Waiting for every worker, not only the servers: reporting the end while
    // ordinary workers still run would let a restart start beside them.
    int64_t last_listing = Clock::Get().MonotonicMs();
    while (true) {
        const int64_t now = Clock::Get().MonotonicMs();
        if (now - last_listing > kGeneralStopListingMs) {
            last_listing = now;
            if (hooks.write_protocol) hooks.write_protocol("General-Stop", FlattenListing(registry.ActiveListing()));
        }
        if (registry.Query(1) < 1) break;
        for (int kind = 1; kind <= 4; ++kind) {
            if (registry.KindCount(kind) < 1) continue;
            if (StartedFlag(state, kind).load() == 0) continue;
            if (hooks.server_configured && !hooks.server_configured(kind)) continue;
            if (hooks.wake_server) hooks.wake_server(kind);
            Sleep(1);
        }
        Sleep(1);
    }

    if (hooks.close_listeners) hooks.close_listeners();
    for (int kind = 1; kind <= 4; ++kind) StartedFlag(state, kind).store(0);

    char text[100];
    std::snprintf(text, sizeof text, "%i process ended !", registry.Query(2));
    while (state.status_board.SetText(text, 10) < 0) Sleep(1);
    state.Post(msg::kStatusSlot10);
    state.Send(msg::kGeneralStopDone);

    const NowStrings now = state.CaptureNow();
    if (hooks.write_protocol) hooks.write_protocol("General-Stop", "no_failure, all_Process_closed " + now.Moment());
}

std::future<void> StartGeneralStop(SharedState& state, GeneralStopHooks hooks) {
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> result = done->get_future();
    std::thread([&state, hooks = std::move(hooks), done]() mutable {
        RunGeneralStop(state, std::move(hooks));
        done->set_value();
    }).detach();
    return result;
}

}  // namespace zerlan
