#include "jobs/NtripClient.h"

#include <algorithm>
#include <cctype>

#include "platform/Paths.h"

namespace zerlan {

namespace {

constexpr int kProxyLineLimit = 999;
constexpr int kProxyMaxLines = 50;
constexpr int kProxyMaxPieces = 20;
constexpr int kHeaderLineLimit = 999;
constexpr int kHeaderMaxLines = 50;
constexpr int kChunkSizeDigits = 7;       // chunks stay far below 256 MB
constexpr int kChunkLineLimit = 1000;     // extensions and trailer lines

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

std::string Lower(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string MountpointPath(const std::string& setting) {
    std::string mount = RestoreSlashes(setting, kNetSlashSubstitute);
    if (mount.empty() || mount[0] != '/') mount.insert(mount.begin(), '/');
    return mount;
}

std::string ProxyConnectLine(const std::string& host, const std::string& port) {
    return "CONNECT " + host + ":" + port + " HTTP/1.0\r\n";
}

std::string ProxyHostHeader(const std::string& host, const std::string& port) {
    return "Host: " + host + ":" + port + "\r\n\r\n";
}

std::string ClientRequest(const std::string& mountpoint, const std::string& program_id,
                          const std::string& credential) {
    return "GET " + mountpoint + " HTTP/1.0\r\nUser-Agent: NTRIP " + program_id + "\r\nAuthorization: Basic " +
           credential + "\r\n\r\n";
}

std::string SourceLine(const std::string& password, const std::string& mountpoint) {
    return "SOURCE " + password + " " + mountpoint + "\r\n";
}

std::string SourceAgentHeader(const std::string& program_id) {
    return "Source-Agent: NTRIP " + program_id + "CMD/1.0\r\n\r\n";
}

bool ClientAccepts(const std::string& status_line) {
    return Contains(status_line, "OK") && !Contains(status_line, "SOURCETABLE");
}

bool ServerAccepts(const std::string& status_line) { return Contains(status_line, "OK"); }

bool ProxyAccepts(const std::string& line) {
    return Contains(line, "HTTP/1.0 200") || Contains(line, "HTTP/1.1 200");
}

bool IsHttpStatus(const std::string& line) { return line.rfind("HTTP/", 0) == 0; }

bool IsChunkedHeader(const std::string& line) {
    const std::string lower = Lower(line);
    return lower.rfind("transfer-encoding:", 0) == 0 && Contains(lower, "chunked");
}

bool IsEmptyLine(const std::string& line) { return line == "\r\n" || line == "\n"; }

ProxyOutcome ReadProxyAnswer(const ByteSource& next, const LineShow& show, std::string* refused_line) {
    std::string line;
    bool accepted = false;
    int lines = 0;
    while (true) {
        char c = 0;
        const int r = next(c);
        if (r == 2) return ProxyOutcome::kTransferFailed;
        if (r != 0) return ProxyOutcome::kStopped;
        line += c;
        if (c == '\n') {
            show(line);
            if (IsEmptyLine(line) && accepted) return ProxyOutcome::kAccepted;
            if (!accepted && !ProxyAccepts(line)) {
                *refused_line = line;
                return ProxyOutcome::kRefusedLine;
            }
            // Lines after the status line are headers of the proxy's answer.
            accepted = true;
            line.clear();
            if (++lines >= kProxyMaxLines) return ProxyOutcome::kAccepted;
        } else if (static_cast<int>(line.size()) >= kProxyLineLimit) {
            show(line);
            if (!accepted && !ProxyAccepts(line)) {
                *refused_line = line;
                return ProxyOutcome::kRefusedLong;
            }
            accepted = true;
            line.clear();
            if (++lines >= kProxyMaxPieces) return ProxyOutcome::kAccepted;
        }
    }
}

LineOutcome ReadLine(const ByteSource& next, int limit, std::string* line) {
    line->clear();
    while (true) {
        char c = 0;
        const int r = next(c);
        if (r == 2) return LineOutcome::kTransferFailed;
        if (r != 0) return LineOutcome::kStopped;
        *line += c;
        if (c == '\n') return LineOutcome::kLine;
        if (static_cast<int>(line->size()) >= limit) return LineOutcome::kTooLong;
    }
}

HeaderOutcome SkipHeaders(const ByteSource& next, bool* chunked) {
    *chunked = false;
    std::string line;
    for (int i = 0; i < kHeaderMaxLines; ++i) {
        switch (ReadLine(next, kHeaderLineLimit, &line)) {
            case LineOutcome::kTransferFailed: return HeaderOutcome::kTransferFailed;
            case LineOutcome::kStopped: return HeaderOutcome::kStopped;
            case LineOutcome::kTooLong: return HeaderOutcome::kTooMany;
            case LineOutcome::kLine: break;
        }
        if (IsEmptyLine(line)) return HeaderOutcome::kDone;
        if (IsChunkedHeader(line)) *chunked = true;
    }
    return HeaderOutcome::kTooMany;
}

bool ChunkedDecoder::Feed(const char* data, int length, std::string* out) {
    int i = 0;
    auto size_done = [this] {
        state_ = remaining_ == 0 ? State::kTrailer : State::kData;
        digits_ = 0;
        trailer_length_ = 0;
    };
    while (i < length) {
        const char c = data[i];
        switch (state_) {
            case State::kSize: {
                const int v = HexValue(c);
                if (v >= 0 && digits_ < kChunkSizeDigits) {
                    remaining_ = remaining_ * 16 + static_cast<uint32_t>(v);
                    ++digits_;
                } else if (digits_ > 0 && (c == ';' || c == ' ' || c == '\t')) {
                    state_ = State::kExtension;
                    trailer_length_ = 0;
                } else if (digits_ > 0 && c == '\r') {
                    state_ = State::kSizeLf;
                } else if (digits_ > 0 && c == '\n') {
                    size_done();
                } else {
                    state_ = State::kBroken;
                }
                ++i;
                break;
            }
            case State::kExtension:
                if (c == '\r') {
                    state_ = State::kSizeLf;
                } else if (c == '\n') {
                    size_done();
                } else if (++trailer_length_ > kChunkLineLimit) {
                    state_ = State::kBroken;
                }
                ++i;
                break;
            case State::kSizeLf:
                if (c == '\n') {
                    size_done();
                } else {
                    state_ = State::kBroken;
                }
                ++i;
                break;
            case State::kData: {
                const int take = static_cast<int>(std::min<uint32_t>(remaining_, static_cast<uint32_t>(length - i)));
                out->append(data + i, static_cast<size_t>(take));
                remaining_ -= static_cast<uint32_t>(take);
                i += take;
                if (remaining_ == 0) state_ = State::kDataCr;
                break;
            }
            case State::kDataCr:
                state_ = c == '\r' ? State::kDataLf : (c == '\n' ? State::kSize : State::kBroken);
                ++i;
                break;
            case State::kDataLf:
                state_ = c == '\n' ? State::kSize : State::kBroken;
                ++i;
                break;
            case State::kTrailer:
                if (c == '\n') {
                    if (trailer_length_ == 0) state_ = State::kDone;
                    trailer_length_ = 0;
                } else if (c != '\r' && ++trailer_length_ > kChunkLineLimit) {
                    state_ = State::kBroken;
                }
                ++i;
                break;
            case State::kDone:
                return true;
            case State::kBroken:
                return false;
        }
    }
    return state_ != State::kBroken;
}

}  // namespace zerlan
