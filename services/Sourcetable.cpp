#include "services/Sourcetable.h"

#include <algorithm>

#include "jobs/NtripClient.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/Paths.h"
#include "platform/Socket.h"
#include "transport/SuperSocket.h"

namespace zerlan {

namespace {

constexpr const char* kSearchAgent = "MorvikV1.08-light";
// Any name a caster does not serve makes it answer with its table.
constexpr const char* kNoMountpoint = "/";
constexpr int kReadSeconds = 10;
constexpr int kReadSize = 1000;
// Far above any real table; a caster that never stops is cut off here.
constexpr size_t kMaxTableBytes = 8 * 1024 * 1024;

std::vector<std::string> SplitFields(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    while (true) {
        const size_t end = line.find(';', start);
        fields.push_back(line.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) return fields;
        start = end + 1;
    }
}

}  // namespace

bool SplitHostPort(const std::string& text, std::string* host, std::string* port) {
    const size_t colon = text.rfind(':');
    *host = text.substr(0, colon);
    *port = colon == std::string::npos ? kSourcetablePort : text.substr(colon + 1);
    if (port->empty()) *port = kSourcetablePort;
    return !host->empty();
}

std::string SourcetableRequest(const std::string& mountpoint) {
    return "GET " + mountpoint + " HTTP/1.0\r\nUser-Agent: NTRIP " + kSearchAgent + "\r\nAuthorization: Basic \r\n\r\n";
}

std::vector<SourcetableEntry> ParseSourcetable(const std::string& table) {
    std::vector<SourcetableEntry> entries;
    size_t start = 0;
    while (start < table.size()) {
        size_t end = table.find('\n', start);
        if (end == std::string::npos) end = table.size();
        std::string line = table.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("STR;", 0) != 0) continue;
        std::vector<std::string> f = SplitFields(line);
        f.resize(std::max<size_t>(f.size(), 11));
        entries.push_back({f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8], f[9], f[10]});
    }
    return entries;
}

std::string FormatEntry(const SourcetableEntry& e) {
    return e.mountpoint + "\t" + e.identifier + "\t" + e.format + "\t" + e.format_details + "\t" + e.carrier + "\t" +
           e.nav_system + "\t" + e.country + "\t" + e.latitude + "," + e.longitude;
}

ProxySetting CasterInputProxy(const Settings& settings) {
    const CasterParams& c = settings.cast_in;
    return {c.use_proxy, RestoreSlashes(c.proxy_host, kNetSlashSubstitute), c.proxy_port};
}

FetchResult FetchSourcetable(const std::string& host, const std::string& port, const ProxySetting& proxy,
                             std::string* table, std::string* detail, int deadline_ms) {
    table->clear();
    // A caster that trickles bytes would otherwise hold the search for ever.
    const int64_t end = Clock::Get().MonotonicMs() + deadline_ms;
    auto wait_seconds = [end] {
        const int64_t left = end - Clock::Get().MonotonicMs();
        return static_cast<int>(std::clamp<int64_t>((left + 999) / 1000, 0, kReadSeconds));
    };
    const std::string within = " within " + std::to_string(deadline_ms / 1000) + " s; given up";
    auto gave_up = [&] {
        *detail = host + ":" + port + " sent no complete sourcetable" + within;
        return FetchResult::kUnreachable;
    };
    const auto left_ms = [end] { return std::max<int64_t>(end - Clock::Get().MonotonicMs(), 0); };
    CSuperSocket socket;
    const std::string& target_host = proxy.on ? proxy.host : host;
    const std::string& target_port = proxy.on ? proxy.port : port;
    socket.ResolveHost(target_host.c_str(), target_port.c_str(), static_cast<int>(left_ms()));
    // Whole seconds only: a connect begun with less than one left could outlast the deadline.
    const int connect_seconds =
        static_cast<int>(std::min<int64_t>(left_ms() / 1000, CBlockingSocket::kConnectSeconds));
    if (connect_seconds == 0) {
        *detail = socket.LastError() != 0 ? "the name lookup of " + target_host + " gave no answer" + within
                                          : "cannot connect to " + target_host + ":" + target_port + within;
        return FetchResult::kUnreachable;
    }
    std::string address = socket.HostText();
    if (address.empty()) address = target_host;
    if (socket.ClientStart(address.c_str(), target_port.c_str(), connect_seconds) != CSuperSocket::kDone) {
        // A name that was not found says so; a refusal keeps its short text.
        const int why = socket.LastError();
        *detail = "cannot connect to " + target_host + ":" + target_port +
                  (why < 0 ? ": " + sock::ErrorText(why) : std::string());
        return FetchResult::kUnreachable;
    }
    auto send = [&socket](const std::string& text) {
        return socket.Send(text.data(), static_cast<int>(text.size())) == CSuperSocket::kDone;
    };
    if (proxy.on) {
        std::string refused;
        const ByteSource bytes = [&socket, &wait_seconds](char& c) {
            char b[2];
            int n = 0;
            const int seconds = wait_seconds();
            if (seconds == 0 || socket.Receive(b, 1, seconds, &n) != CSuperSocket::kDone || n != 1) return 2;
            c = b[0];
            return 0;
        };
        if (!send(ProxyConnectLine(host, port)) || !send(ProxyHostHeader(host, port)) ||
            ReadProxyAnswer(bytes, [](const std::string&) {}, &refused) != ProxyOutcome::kAccepted) {
            socket.Stop();
            *detail = "the proxy " + target_host + ":" + target_port + " gave no way to " + host + ":" + port;
            return FetchResult::kUnreachable;
        }
    }
    if (!send(SourcetableRequest(kNoMountpoint))) {
        socket.Stop();
        *detail = "cannot send the request to " + host + ":" + port;
        return FetchResult::kUnreachable;
    }
    std::string answer;
    char buffer[kReadSize + 1];
    while (answer.size() < kMaxTableBytes) {
        const int seconds = wait_seconds();
        if (seconds == 0) {
            socket.Stop();
            return gave_up();
        }
        int n = 0;
        if (socket.Receive(buffer, kReadSize, seconds, &n) != CSuperSocket::kDone) break;
        answer.append(buffer, static_cast<size_t>(n));
    }
    socket.Stop();
    if (wait_seconds() == 0 && answer.find("ENDSOURCETABLE") == std::string::npos) return gave_up();
    const size_t mark = answer.find("SOURCETABLE");
    if (mark == std::string::npos) {
        std::string first = answer.substr(0, answer.find('\n'));
        if (!first.empty() && first.back() == '\r') first.pop_back();
        // Whatever came instead is shown, but short and printable.
        first.resize(std::min<size_t>(first.size(), 80));
        for (char& c : first)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '.';
        *detail = host + ":" + port + " sent no sourcetable" + (first.empty() ? "" : " (" + first + ")");
        return FetchResult::kNoTable;
    }
    const size_t line_end = answer.find('\n', mark);
    *table = line_end == std::string::npos ? std::string() : answer.substr(line_end + 1);
    return FetchResult::kTable;
}

int RunSourcetableCommand(const Settings& settings, const std::string& host_port, std::FILE* out, std::FILE* err) {
    std::string host, port;
    if (!SplitHostPort(host_port, &host, &port)) {
        WriteLogLines(err, "--sourcetable needs HOST[:PORT]");
        return 1;
    }
    std::string table, detail;
    if (FetchSourcetable(host, port, CasterInputProxy(settings), &table, &detail) != FetchResult::kTable) {
        WriteLogLines(err, detail);
        return 1;
    }
    for (const SourcetableEntry& e : ParseSourcetable(table)) std::fprintf(out, "%s\n", FormatEntry(e).c_str());
    return 0;
}

}  // namespace zerlan
