// The general stop: after a job was switched to stopping, waits until every
// registered worker has ended, waking the servers that may block in accept,
// closes the listening sockets and tells the view that the job has ended.
//
// What touches endpoints and files comes in as hooks, filled by the job
// control; an empty hook is skipped. Kinds are those of `ThreadRegistry`
// (1 TCP output server, 2 decoder TCP output server, 3 HTTP server, 4 RINEX
// TCP output server).
//
// Thread-safety: `RunGeneralStop` runs on the calling thread and uses only the
// atomics, registry, status board and view queue of the `SharedState`; one
// general stop per job stop.
#pragma once

#include <functional>
#include <future>
#include <string>

#include "core/SharedState.h"

namespace zerlan {

struct GeneralStopHooks {
    // Once, before waiting: wake the pipe outputs and the TCP input server by
    // connecting to their own endpoints (waits included).
    std::function<void()> wake_before_loop;
    // Whether the server of `kind` is configured in the running settings;
    // empty means the server-started flag decides alone.
    std::function<bool(int kind)> server_configured;
    // Connect once to the own listening port of the server of `kind`.
    std::function<void(int kind)> wake_server;
    // Close the listening socket of every server whose started flag is set;
    // the general stop clears the flags afterwards.
    std::function<void()> close_listeners;
    // One protocol record.
    std::function<void(const std::string& title, const std::string& text)> write_protocol;
};

// Interval of the listing of threads still registered while waiting.
constexpr int kGeneralStopListingMs = 20000;

void RunGeneralStop(SharedState& state, GeneralStopHooks hooks);

// Runs RunGeneralStop in a detached thread. The future becomes ready after
// the thread has released its hooks and will touch `state` no more.
std::future<void> StartGeneralStop(SharedState& state, GeneralStopHooks hooks);

}  // namespace zerlan
