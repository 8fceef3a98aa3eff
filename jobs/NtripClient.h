// The NTRIP version 1 login of the caster threads, apart from the threads:
// the wire texts of the client (GET), the server (SOURCE) and the proxy
// (CONNECT), the evaluation of the answers, and the readers that take a
// proxy answer, a status line and HTTP header lines one byte at a time from
// any byte source. A caster that answers in HTTP/1.1 may send its stream
// chunked; ChunkedDecoder turns such a body back into the stream bytes.
//
// Thread-safety: plain functions; a ChunkedDecoder belongs to one thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace zerlan {

// ---- wire texts ----

// The setting with 0xAF restored and a leading '/' added when missing.
std::string MountpointPath(const std::string& setting);
// "CONNECT host:port HTTP/1.0" CR LF.
std::string ProxyConnectLine(const std::string& host, const std::string& port);
// "Host: host:port" CR LF, then the empty line that ends the request.
std::string ProxyHostHeader(const std::string& host, const std::string& port);
// The whole GET request; `credential` is the Base64 text of the login.
std::string ClientRequest(const std::string& mountpoint, const std::string& program_id,
                          const std::string& credential);
// "SOURCE password mountpoint" CR LF.
std::string SourceLine(const std::string& password, const std::string& mountpoint);
// "Source-Agent: NTRIP <id>CMD/1.0" CR LF CR LF.
std::string SourceAgentHeader(const std::string& program_id);

// ---- answers ----

// A client login holds when the status line says "OK" and is no sourcetable.
bool ClientAccepts(const std::string& status_line);
// A server login holds when the status line says "OK".
bool ServerAccepts(const std::string& status_line);
// A proxy tunnel holds when an HTTP/1.0 or HTTP/1.1 status 200 is reported.
bool ProxyAccepts(const std::string& line);
// An HTTP status line (a caster speaking HTTP rather than ICY).
bool IsHttpStatus(const std::string& line);
// A "Transfer-Encoding: chunked" header line (names compared without case).
bool IsChunkedHeader(const std::string& line);
// A line that is only its line end.
bool IsEmptyLine(const std::string& line);

// ---- readers over a byte source ----

// Gives the next byte: returns 0 with the byte, 2 when the transfer failed,
// anything else when the caller must leave (a stop).
using ByteSource = std::function<int(char&)>;
using LineShow = std::function<void(const std::string&)>;

enum class ProxyOutcome { kAccepted, kTransferFailed, kStopped, kRefusedLine, kRefusedLong };

// Reads the proxy's answer up to the empty line after an accepted status
// line. Header lines after the status line are skipped (at most 50 lines,
// 20 overlong pieces); every line is shown. `refused_line` receives the
// line that made the proxy refused.
ProxyOutcome ReadProxyAnswer(const ByteSource& next, const LineShow& show, std::string* refused_line);

enum class LineOutcome { kLine, kTooLong, kTransferFailed, kStopped };

// One line through its LF, at most `limit` bytes without one (kTooLong).
LineOutcome ReadLine(const ByteSource& next, int limit, std::string* line);

enum class HeaderOutcome { kDone, kTooMany, kTransferFailed, kStopped };

// Skips header lines up to the empty line, at most 50 lines of at most 999
// bytes; notes a chunked transfer encoding.
HeaderOutcome SkipHeaders(const ByteSource& next, bool* chunked);

// Strips the chunk framing of an HTTP/1.1 body fed in arbitrary pieces.
class ChunkedDecoder {
public:
    // Appends the payload bytes found in `data` to `out`. False once the
    // framing is broken; the last chunk ends the body (finished()).
    bool Feed(const char* data, int length, std::string* out);
    bool finished() const { return state_ == State::kDone; }

private:
    enum class State { kSize, kExtension, kSizeLf, kData, kDataCr, kDataLf, kTrailer, kDone, kBroken };
    State state_ = State::kSize;
    uint32_t remaining_ = 0;
    int digits_ = 0;
    int trailer_length_ = 0;
};

}  // namespace zerlan
