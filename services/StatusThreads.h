// The status page's threads: Html-Creator-TH writes the page to the HTML file
// every refresh interval; Http-Server-TH answers browsers and monitors, one
// thread per connection and at most three at once, accepting in turn on the
// listener the job start opened. GET /status.json and GET /metrics answer the
// same facts as JSON and Prometheus text; every other GET gets the page.
//
// Thread-safety: the start functions run on the view thread during the job
// start; `CollectStatus` may be called from any thread.
#pragma once

#include "core/SharedState.h"
#include "services/StatusPage.h"

namespace zerlan {

// Reads the state once for one page, JSON or metrics answer.
StatusFacts CollectStatus(SharedState& state);

struct HttpTiming {
    int header_limit_ms = 5000;  // a request header must be complete within this
    int byte_limit_ms = 2000;    // and no gap between two of its bytes may be longer
    int successor_pause_ms = 400;
};

// Opens the listener on the html address and port; raises the server-started
// flag when it listens.
bool OpenHttpListener(SharedState& state);
bool StartHttpServer(SharedState& state, const HttpTiming& timing = HttpTiming{});
bool StartHtmlCreator(SharedState& state);
// Releases the threads blocked in accept; the stop finds them then.
void CloseHttpListener(SharedState& state);

}  // namespace zerlan
