// The status page ("Data Stream - Status Page") and the same facts as JSON and
// as Prometheus text. Building is pure: the facts are gathered first (see
// services/StatusThreads.h), so a known state gives a known text.
//
// Every text that came from the stream or the settings is escaped for the
// format it lands in; the page grows as needed (many message types pass
// 20000 bytes).
//
// Thread-safety: a StatusPage belongs to one thread; the free functions are
// pure.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Interfaces.h"

namespace zerlan {

struct StatusFacts {
    struct Output {
        const char* key = "";   // stable name for JSON and metrics
        std::string word;       // inout_sw word that switches it on
        bool on = false;
        std::string address;    // connection description
        int32_t rate = 0;       // bytes of the last time unit
        int64_t bytes = 0;      // since the program started
    };
    struct Message {
        int32_t type = 0;
        int system = 0;  // 0 GPS, 1 GLONASS
        std::string time;
        int32_t period = 0;
    };
    enum OutputIndex { kCaster = 0, kSerial, kTcp, kUdp, kPipe, kFile, kOutputs };

    // Page, part 1.
    std::string refresh_text;  // html field 5 as written
    int32_t refresh_s = 0;
    std::string last_adjustment;
    std::string now_text;
    std::vector<LocalAddress> addresses;
    int32_t input_time_unit = 0;
    int32_t output_time_unit = 0;
    std::string project;
    std::string input_type;
    std::string input_address;
    int32_t input_rate = 0;
    int64_t input_bytes = 0;
    std::array<Output, kOutputs> outputs;
    bool decoder_on = false;
    int32_t decoder_version = -1;  // -1 automatic, 0 RTCM 2.1, 1 RTCM 2.3, 2 RTCM 3.1
    bool rtcm_encoder_on = false;
    bool rinex_on = false;
    std::string status_line;
    // Server threads per kind (each server keeps one waiting for the next
    // client), registered UDP clients, HTTP connections being served.
    int32_t tcp_out_threads = 0;
    int32_t decoder_tcp_threads = 0;
    int32_t rinex_tcp_threads = 0;
    int32_t udp_clients = 0;
    int32_t http_connections = 0;

    // Page, part 2.
    std::string station = "----";
    std::string gps_week;
    std::string message_count;
    std::array<std::vector<int32_t>, 2> satellites;
    std::array<std::vector<int32_t>, 2> fkp;
    std::vector<Message> messages;        // every record of the store
    std::vector<std::string> page_types;  // html field 7, as written
};

class StatusPage {
public:
    void BuildHead(const StatusFacts& facts);
    // target 0 for the file, 1 for the HTTP server.
    void BuildBody(const StatusFacts& facts, int target);
    const std::string& Head() const { return head_; }
    const std::string& Body() const { return body_; }
    std::string Page() const { return head_ + body_; }

private:
    void DeviceTable(const StatusFacts& facts);
    void SatelliteRows(const StatusFacts& facts, int system, const char* label, int target);
    void MessageTable(const StatusFacts& facts, size_t from, size_t to);

    std::string head_;
    std::string body_;
};

// The answer header: the fixed lines with the real length of what follows.
std::string HttpResponseHeader(size_t content_length, const char* content_type = "text/html");

std::string StatusJson(const StatusFacts& facts);
std::string StatusMetrics(const StatusFacts& facts);

// Escapes for text that came from outside. Bytes above 0x7F are taken as
// Latin-1 (the program's own single-byte characters).
std::string HtmlEscape(std::string_view text);
std::string JsonEscape(std::string_view text);
std::string MetricLabelEscape(std::string_view text);

}  // namespace zerlan
