// Http-Server-TH: one thread per connection, at most three at once. One of
// them waits in accept (under the HTTP accept lock); once it has a client it
// hands the waiting on to a successor while fewer than three run, and the
// thread that leaves when all three were busy starts the next acceptor.
#include <algorithm>
#include <memory>
#include <mutex>
#include <string>

#include "core/Worker.h"
#include "platform/Clock.h"
#include "platform/Sleep.h"
#include "platform/Socket.h"
#include "services/StatusThreads.h"
#include "transport/SuperSocket.h"

namespace zerlan {

namespace {

constexpr int kMaxThreads = 3;
constexpr int kWaitStepMs = 100;
// A header longer than this is no browser's; it is dropped like a slow one.
constexpr size_t kMaxHeaderBytes = 16384;

enum class Answer { kNone, kPage, kJson, kMetrics };

struct HttpJob {
    HttpTiming timing;
    std::mutex mutex;
    int threads = 0;        // live threads of this job
    bool acceptor = false;  // one of them waits for the next client
};

void HttpServerThread(SharedState& state, WorkerScope& worker, const std::shared_ptr<HttpJob>& job);

// Starts the next acceptor unless one waits, three run, or the job stops;
// true when it started one.
bool StartAcceptor(SharedState& state, const std::shared_ptr<HttpJob>& job) {
    {
        std::lock_guard<std::mutex> lock(job->mutex);
        if (job->acceptor || job->threads >= kMaxThreads || state.registry.StopRequested()) return false;
        ++job->threads;
        job->acceptor = true;
    }
    const int index = StartWorker(state.registry, 3, "Http-Server-TH",
                                  [&state, job](WorkerScope& w) { HttpServerThread(state, w, job); });
    if (index < 0) {
        std::lock_guard<std::mutex> lock(job->mutex);
        --job->threads;
        job->acceptor = false;
        return false;
    }
    return true;
}

// The answer a request line asks for: the status data at its two paths,
// the page for everything else.
Answer RouteOf(const std::string& line) {
    size_t at = line.find("GET") + 3;
    while (at < line.size() && line[at] == ' ') ++at;
    const size_t end = line.find_first_of(" ?\r\n", at);
    const std::string path = line.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (path == "/status.json") return Answer::kJson;
    if (path == "/metrics") return Answer::kMetrics;
    return Answer::kPage;
}

// Reads the request header. Only a complete header with a GET line gets an
// answer; a header still open after the limits (in total, or between two
// bytes) is dropped, so slow clients cannot hold the threads.
Answer ReadRequest(CBlockingSocket& client, WorkerScope& worker, const HttpTiming& timing) {
    Clock& clock = Clock::Get();
    const int64_t start = clock.MonotonicMs();
    int64_t last_byte = start;
    std::string line;
    size_t total = 0;
    Answer answer = Answer::kNone;
    char buffer[512];
    while (!worker.StopRequested()) {
        const int64_t now = clock.MonotonicMs();
        const int64_t left = std::min<int64_t>(timing.header_limit_ms - (now - start),
                                               timing.byte_limit_ms - (now - last_byte));
        if (left <= 0) return Answer::kNone;
        const int ready = sock::Wait(client.Handle(), false, static_cast<int>(std::min<int64_t>(left, kWaitStepMs)));
        if (ready == sock::kWaitFailed) return Answer::kNone;
        if (ready == sock::kWaitTimedOut) continue;
        const long n = sock::ReceiveSome(client.Handle(), buffer, sizeof buffer);
        if (n < 0 && sock::WouldBlock(sock::LastError())) continue;
        if (n <= 0) return Answer::kNone;  // closed or failed before the header ended
        last_byte = clock.MonotonicMs();
        total += static_cast<size_t>(n);
        if (total > kMaxHeaderBytes) return Answer::kNone;
        for (long i = 0; i < n; ++i) {
            line += buffer[i];
            if (buffer[i] != '\n') continue;
            if (line == "\r\n" || line == "\n") return answer;
            if (answer == Answer::kNone && line.find("GET") != std::string::npos) answer = RouteOf(line);
            line.clear();
        }
    }
    return Answer::kNone;
}

// Sends all of `data`; false when the client stopped taking it.
bool SendAll(CSuperSocket& listener, CBlockingSocket& client, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const int chunk = static_cast<int>(std::min<size_t>(data.size() - done, CSuperSocket::kMaxSend));
        int sent = 0;
        if (listener.SendTo(data.data() + done, chunk, client, CSuperSocket::kSendSeconds, &sent) !=
                CSuperSocket::kDone ||
            sent <= 0) {
            return false;
        }
        done += static_cast<size_t>(sent);
    }
    return true;
}

void Serve(SharedState& state, CSuperSocket& listener, CBlockingSocket& client, Answer answer) {
    const StatusFacts facts = CollectStatus(state);
    std::string body;
    const char* type = "text/html";
    if (answer == Answer::kJson) {
        body = StatusJson(facts);
        type = "application/json";
    } else if (answer == Answer::kMetrics) {
        body = StatusMetrics(facts);
        type = "text/plain; version=0.0.4; charset=utf-8";
    } else {
        StatusPage page;
        page.BuildHead(facts);
        page.BuildBody(facts, 1);
        body = page.Page();
    }
    if (SendAll(listener, client, HttpResponseHeader(body.size(), type))) SendAll(listener, client, body);
}

void HttpServerThread(SharedState& state, WorkerScope& worker, const std::shared_ptr<HttpJob>& job) {
    CSuperSocket& listener = state.sockets.http_server;
    CBlockingSocket client;
    bool accepting = true;  // this thread is the job's acceptor
    bool successor_wanted = true;
    struct Leave {
        SharedState& state;
        const std::shared_ptr<HttpJob>& job;
        CBlockingSocket& client;
        const bool& accepting;
        const bool& successor_wanted;
        ~Leave() {
            client.Cleanup();
            {
                std::lock_guard<std::mutex> lock(job->mutex);
                --job->threads;
                if (accepting) job->acceptor = false;
            }
            // The last of three busy threads to go leaves an acceptor behind.
            if (successor_wanted) StartAcceptor(state, job);
        }
    } leave{state, job, client, accepting, successor_wanted};

    // A thread that started this one may still be on its way out.
    while (state.registry.Query(7) > kMaxThreads) {
        if (!worker.Sleep(1)) return;
    }
    Sleep(3);
    if (worker.StopRequested()) return;
    int accepted;
    {
        std::lock_guard<std::mutex> lock(state.sockets.http_accept_lock);
        accepted = listener.Accept(client, nullptr);
    }
    {
        std::lock_guard<std::mutex> lock(job->mutex);
        job->acceptor = false;
        accepting = false;
    }
    if (accepted != CSuperSocket::kDone) {
        // Closed listener: the job stops. Anything else is retried after a pause.
        if (accepted == CSuperSocket::kInterrupted || !worker.Sleep(job->timing.successor_pause_ms)) {
            successor_wanted = false;
        }
        return;
    }
    state.http_connections.fetch_add(1);
    struct Count {
        Counter& c;
        ~Count() { c.fetch_sub(1); }
    } count{state.http_connections};
    if (!worker.Sleep(job->timing.successor_pause_ms)) return;
    StartAcceptor(state, job);

    const Answer answer = ReadRequest(client, worker, job->timing);
    if (answer == Answer::kNone || worker.StopRequested()) return;
    Serve(state, listener, client, answer);
}

}  // namespace

bool OpenHttpListener(SharedState& state) {
    const HtmlParams& html = state.settings.html;
    CSuperSocket& listener = state.sockets.http_server;
    // "0.0.0.0" or nothing: every interface.
    const char* address = html.address.empty() || html.address == "0.0.0.0" ? nullptr : html.address.c_str();
    if (listener.ServerStart(html.port.c_str(), address) == CSuperSocket::kDone && !listener.ServerIdle()) {
        state.http_server_started = 1;
        return true;
    }
    listener.Stop();
    return false;
}

bool StartHttpServer(SharedState& state, const HttpTiming& timing) {
    auto job = std::make_shared<HttpJob>();
    job->timing = timing;
    return StartAcceptor(state, job);
}

void CloseHttpListener(SharedState& state) { state.sockets.http_server.Stop(); }

}  // namespace zerlan
