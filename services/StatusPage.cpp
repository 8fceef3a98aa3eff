#include "services/StatusPage.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace zerlan {

namespace {

constexpr const char* kSatCell = "<th BGCOLOR=#ff8080><FONT SIZE=2 FACE=\"Arial\" COLOR=#000000>%s</Font></th>\n";
constexpr const char* kFkpCell = "<td %s><FONT SIZE=2 FACE=\"Arial\">%s</Font></td>\n";
constexpr const char* kFkpPresent = "BGCOLOR=#50ff50";
constexpr const char* kMessageRow =
    "<tr><td BGCOLOR=#ffff50><FONT SIZE=2 FACE=\"Arial\" COLOR=#000000>%s</Font></td><td><FONT SIZE=2 "
    "FACE=\"Arial\" COLOR=#000000>%s</FONT></td><td><center><FONT SIZE=2 FACE=\"Arial\" "
    "COLOR=#000000>%s</FONT></center></td></tr>\n";

// Appends printf output of any length.
void Append(std::string& out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n > 0) {
        const size_t at = out.size();
        out.resize(at + static_cast<size_t>(n) + 1);
        std::vsnprintf(out.data() + at, static_cast<size_t>(n) + 1, format, args);
        out.resize(at + static_cast<size_t>(n));
    }
    va_end(args);
}

std::string E(std::string_view text) { return HtmlEscape(text); }

const char* TrueFalse(bool on) { return on ? "True" : "False"; }

std::string DecoderRowName(int32_t version) {
    switch (version) {
        case 0: return "Rtcm2.1 Decoder";
        case 1: return "Rtcm2.3 Decoder";
        case 2: return "Rtcm3.1 Decoder";
        default: {
            std::string name;
            Append(name, "%s-Decoder", "Auto");
            return name;
        }
    }
}

const StatusFacts::Message* FindMessage(const StatusFacts& facts, int32_t type) {
    for (const auto& m : facts.messages) {
        if (m.type == type) return &m;
    }
    return nullptr;
}

void AppendUtf8(std::string& out, unsigned char c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

const char* SystemName(int system) { return system == 1 ? "glonass" : "gps"; }

int64_t LeadingNumber(const std::string& text) { return std::atoll(text.c_str()); }

}  // namespace

std::string HtmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default:
                if (c < 0x20 && c != '\t') {
                    out += '.';
                } else if (c >= 0x7F) {
                    Append(out, "&#%u;", static_cast<unsigned>(c));
                } else {
                    out += ch;
                }
        }
    }
    return out;
}

std::string JsonEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20 || c >= 0x7F) {
            Append(out, "\\u%04x", static_cast<unsigned>(c));
        } else {
            out += ch;
        }
    }
    return out;
}

std::string MetricLabelEscape(std::string_view text) {
    std::string out;
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '"') {
            out += "\\\"";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c == 0x7F) {
            out += '.';
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}

std::string HttpResponseHeader(size_t content_length, const char* content_type) {
    std::string header;
    Append(header,
           "HTTP/1.0 200 OK\r\nServer: MorvikV1.08-zezur1-Http\r\nDate: Mar 2011\r\nContent-Type: %s\r\n"
           "Accept-Ranges: bytes\r\nContent-Length: %zu\r\n\r\n",
           content_type, content_length);
    return header;
}

// ---- the page ----

void StatusPage::BuildHead(const StatusFacts& f) {
    std::string& h = head_;
    h.clear();
    h += "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 3.2//EN\">\n";
    h += "<HTML>\n<HEAD>\n<TITLE>MorvikV1.08-zezur1-Html Info-Side</TITLE>\n";
    Append(h, "<META http-equiv=\"refresh\" content=\"%ld\">\n", static_cast<long>(f.refresh_s));
    h += "</HEAD>\n<BODY bgcolor=\"white\">\n<CENTER>\n<TABLE CELLSPACING=1 CELLPADDING=1 BORDER=1>\n";
    h += "<FORM method=post>\n";
    Append(h, "<br><b>Refresh Interval %s Sek !</b>\n", E(f.refresh_text).c_str());
    h += "<input type=hidden name=refresh value=1>\n<p>\n<TR><TD BGCOLOR=\"#ddddd0\">\n<HR>\n<CENTER>\n";
    h += "<H3><big style=\"color: #800000\">Data Stream - Status Page</big></H3>\n";
    h += "<FONT SIZE=2 FACE=\"Arial\" COLOR=#800000>\n";
    h += "Source: MorvikV1.08-zezur1 Sep 2011,\n";
    h += "Zerlan GNSS stream relay</FONT>\n<p>\n";

    h += "<table CELLSPACING=0 border=1 bgcolor=\"#A0ccdc\">\n";
    Append(h, "<tr><td> last Adjustment: </td><td> %s </td></tr>\n", E(f.last_adjustment).c_str());
    Append(h, "<tr><td> Host curr. Date: </td><td> %s </td></tr>\n", E(f.now_text).c_str());
    h += "</table>\n<p>\n";

    h += "<table CELLSPACING=0 border=1 bgcolor=\"#ffccff\">\n";
    h += "<tr><th> Host-Ip-Address </th><th> Subnet-Mask </th><th> Type </th></tr>\n";
    for (const auto& a : f.addresses) {
        Append(h, "<tr><td> %s </td><td> %s </td><td> %s </td></tr>\n", E(a.address).c_str(), E(a.netmask).c_str(),
               E(a.type).c_str());
    }
    h += "</table>\n<p>\n";

    h += "<table CELLSPACING=0 border=1 bgcolor=\"#80aacb\">\n";
    h += "<tr><th></th><th> Data Input </th><th> Data Output </th><th> Project-Name </th></tr>\n";
    h += "<tr><td> Time Unit in Seconds </td>\n";
    Append(h, "<td><CENTER> %ld </CENTER></td>\n", static_cast<long>(f.input_time_unit));
    Append(h, "<td><CENTER> %ld </CENTER></td>\n", static_cast<long>(f.output_time_unit));
    Append(h, "<td> %s </td></tr>\n", E(f.project).c_str());
    h += "</table>\n<p>\n";

    DeviceTable(f);

    h += "<table CELLSPACING=0 border=1>\n<tr>\n";
    size_t start = 0;
    const std::string& line = f.status_line;
    while (start <= line.size() && !line.empty()) {
        size_t end = line.find(';', start);
        if (end == std::string::npos) end = line.size();
        Append(h, "<th BGCOLOR=#ccff50><FONT SIZE=2 FACE=\"Arial\" COLOR=#000000>%s</Font></th>\n",
               E(std::string_view(line).substr(start, end - start)).c_str());
        start = end + 1;
    }
    h += "</tr>\n</table>\n<p>\n";
}

void StatusPage::DeviceTable(const StatusFacts& f) {
    std::string& h = head_;
    h += "<table CELLSPACING=0 border=1 bgcolor=\"#a3cb80\">\n";
    h += "<tr><th> Device </th><th> Input </th><th> C p T U* </th><th> Output </th><th> C p T U* </th></tr>\n";
    struct Row {
        const char* device;
        const char* word;
        int output;  // -1: the device has no output
    };
    static constexpr Row kRows[] = {
        {"Ntrip Clnt/Srv", "CAST", StatusFacts::kCaster}, {"Comport", "COMP", StatusFacts::kSerial},
        {"TCP", "TCP", StatusFacts::kTcp},                {"UDP", "UDP", StatusFacts::kUdp},
        {"Named Pipe", "PIPE", StatusFacts::kPipe},        {"File", "FILE", StatusFacts::kFile},
        {"Dummy", "DUMMY", -1},
    };
    for (const Row& r : kRows) {
        const bool input = f.input_type == r.word;
        Append(h, "<tr><th> %s </th><th><CENTER> %s </CENTER></th><th><CENTER> %ld </CENTER></th>", r.device,
               TrueFalse(input), static_cast<long>(input ? f.input_rate : 0));
        if (r.output < 0) {
            h += "<th><CENTER> --- </CENTER></th><th><CENTER> --- </CENTER></th></tr>\n";
            continue;
        }
        const StatusFacts::Output& o = f.outputs[static_cast<size_t>(r.output)];
        Append(h, "<th><CENTER> %s </CENTER></th>", TrueFalse(o.on));
        Append(h, "<th><CENTER> %ld </CENTER></th></tr>\n", static_cast<long>(o.on ? o.rate : 0));
    }
    const std::pair<std::string, bool> services[] = {{DecoderRowName(f.decoder_version), f.decoder_on},
                                                     {"Rtcm-Encoder", f.rtcm_encoder_on},
                                                     {"Rinex-Encoder", f.rinex_on}};
    for (const auto& [name, on] : services) {
        Append(h,
               "<tr><th> %s </th><th><CENTER> --- </CENTER></th><th><CENTER> --- </CENTER></th><th><CENTER> %s "
               "</CENTER></th><th><CENTER> --- </CENTER></th></tr>\n",
               name.c_str(), TrueFalse(on));
    }
    h += "</table>\n<FONT SIZE=2 COLOR=#000000> *Character per Time Unit </FONT>\n<p>\n";
}

void StatusPage::BuildBody(const StatusFacts& f, int target) {
    std::string& b = body_;
    b.clear();
    b += "<table id=\"stations\" CELLSPACING=0 border=1 bgcolor=\"#ccccff\">\n";
    b += "<tr><th> Stations-ID </th><th> GPS-Week </th><th> Count of Rtcm-Messages </th></tr>\n";
    Append(b, "<tr><td><CENTER> %s </CENTER></td><td><CENTER> %s </CENTER></td><td><CENTER> %s </CENTER></td></tr>\n",
           E(f.station.empty() ? "----" : f.station).c_str(), E(f.gps_week).c_str(), E(f.message_count).c_str());
    b += "</table>\n<p>\n";

    b += "<table id=\"satellites\" CELLSPACING=0 border=1>\n";
    SatelliteRows(f, 0, "GPS", target);
    SatelliteRows(f, 1, "Glonass", target);
    b += "</table>\n<p>\n";

    const size_t half = (f.page_types.size() + 1) / 2;
    b += "<table id=\"messages\" CELLSPACING=0 border=0>\n<tr><td valign=top>\n";
    MessageTable(f, 0, half);
    b += "</td><td valign=top>\n";
    MessageTable(f, half, f.page_types.size());
    b += "</td></tr>\n</table>\n";

    b += "</td></tr>\n</table></CENTER>\n</FORM>\n</BODY>\n";
}

void StatusPage::SatelliteRows(const StatusFacts& f, int system, const char* label, int /*target*/) {
    std::string& b = body_;
    const auto& sats = f.satellites[static_cast<size_t>(system)];
    const auto& fkp = f.fkp[static_cast<size_t>(system)];
    Append(b, "<tr><td> %s-Sat </td>\n", label);
    for (int32_t sat : sats) {
        char number[16];
        std::snprintf(number, sizeof number, "%02i", sat);
        Append(b, kSatCell, number);
    }
    Append(b, "</tr>\n<tr><td> %s-FKP </td>\n", label);
    // One cell under each satellite, lit when its FKP came; FKP of satellites
    // without observations follow.
    auto has = [](const std::vector<int32_t>& list, int32_t v) {
        return std::find(list.begin(), list.end(), v) != list.end();
    };
    for (int32_t sat : sats) {
        char number[16];
        std::snprintf(number, sizeof number, "%02i", sat);
        Append(b, kFkpCell, has(fkp, sat) ? kFkpPresent : "", has(fkp, sat) ? number : "--");
    }
    for (int32_t sat : fkp) {
        if (has(sats, sat)) continue;
        char number[16];
        std::snprintf(number, sizeof number, "%02i", sat);
        Append(b, kFkpCell, kFkpPresent, number);
    }
    b += "</tr>\n";
}

void StatusPage::MessageTable(const StatusFacts& f, size_t from, size_t to) {
    std::string& b = body_;
    b += "<table CELLSPACING=0 border=1 bgcolor=\"#ffffcc\">\n";
    b += "<tr><th> MT </th><th> last Gps-Message-Time </th><th> last Period (s) </th></tr>\n";
    for (size_t i = from; i < to && i < f.page_types.size(); ++i) {
        const std::string& type = f.page_types[i];
        const StatusFacts::Message* m = FindMessage(f, static_cast<int32_t>(std::atoi(type.c_str())));
        std::string period = "----";
        if (m != nullptr) period = std::to_string(m->period);
        Append(b, kMessageRow, E(type).c_str(), m != nullptr ? E(m->time).c_str() : "----", period.c_str());
    }
    b += "</table>\n";
}

// ---- JSON ----

std::string StatusJson(const StatusFacts& f) {
    std::string j;
    auto str = [](const std::string& s) { return "\"" + JsonEscape(s) + "\""; };
    auto list = [](const std::vector<int32_t>& v) {
        std::string out = "[";
        for (size_t i = 0; i < v.size(); ++i) out += (i ? "," : "") + std::to_string(v[i]);
        return out + "]";
    };
    j += "{\n";
    j += "  \"station\": " + str(f.station) + ",\n";
    j += "  \"gps_week\": " + str(f.gps_week) + ",\n";
    j += "  \"message_count\": " + std::to_string(LeadingNumber(f.message_count)) + ",\n";
    j += "  \"time\": " + str(f.now_text) + ",\n";
    j += "  \"project\": " + str(f.project) + ",\n";
    j += "  \"time_unit_s\": {\"input\": " + std::to_string(f.input_time_unit) +
         ", \"output\": " + std::to_string(f.output_time_unit) + "},\n";
    j += "  \"input\": {\"type\": " + str(f.input_type) + ", \"address\": " + str(f.input_address) +
         ", \"bytes_per_time_unit\": " + std::to_string(f.input_rate) +
         ", \"bytes_total\": " + std::to_string(f.input_bytes) + "},\n";
    j += "  \"outputs\": [";
    for (size_t i = 0; i < f.outputs.size(); ++i) {
        const auto& o = f.outputs[i];
        j += i ? ",\n    " : "\n    ";
        j += "{\"output\": " + str(o.key) + ", \"type\": " + str(o.word) + ", \"on\": " + (o.on ? "true" : "false") +
             ", \"address\": " + str(o.address) + ", \"bytes_per_time_unit\": " + std::to_string(o.rate) +
             ", \"bytes_total\": " + std::to_string(o.bytes) + "}";
    }
    j += "\n  ],\n";
    j += "  \"servers\": {\"tcp_out_threads\": " + std::to_string(f.tcp_out_threads) +
         ", \"decoder_tcp_out_threads\": " + std::to_string(f.decoder_tcp_threads) +
         ", \"rinex_tcp_out_threads\": " + std::to_string(f.rinex_tcp_threads) +
         ", \"udp_clients\": " + std::to_string(f.udp_clients) +
         ", \"http_connections\": " + std::to_string(f.http_connections) + "},\n";
    j += "  \"satellites\": {\"gps\": " + list(f.satellites[0]) + ", \"glonass\": " + list(f.satellites[1]) + "},\n";
    j += "  \"fkp\": {\"gps\": " + list(f.fkp[0]) + ", \"glonass\": " + list(f.fkp[1]) + "},\n";
    j += "  \"messages\": [";
    for (size_t i = 0; i < f.messages.size(); ++i) {
        const auto& m = f.messages[i];
        j += i ? ",\n    " : "\n    ";
        j += "{\"type\": " + std::to_string(m.type) + ", \"system\": " + str(SystemName(m.system)) +
             ", \"last_time\": " + str(m.time) + ", \"period_s\": " + std::to_string(m.period) + "}";
    }
    j += f.messages.empty() ? "],\n" : "\n  ],\n";
    j += "  \"status_line\": " + str(f.status_line) + "\n";
    j += "}\n";
    return j;
}

// ---- Prometheus text ----

std::string StatusMetrics(const StatusFacts& f) {
    std::string m;
    auto family = [&m](const char* name, const char* type, const char* help) {
        Append(m, "# HELP %s %s\n# TYPE %s %s\n", name, help, name, type);
    };
    const std::string input_type = MetricLabelEscape(f.input_type);
    family("zerlan_input_bytes_total", "counter", "Bytes received from the input since the program started.");
    Append(m, "zerlan_input_bytes_total{type=\"%s\"} %lld\n", input_type.c_str(),
           static_cast<long long>(f.input_bytes));
    family("zerlan_input_bytes_per_time_unit", "gauge", "Bytes received in the last time unit of the rate watch.");
    Append(m, "zerlan_input_bytes_per_time_unit{type=\"%s\"} %ld\n", input_type.c_str(), static_cast<long>(f.input_rate));
    family("zerlan_time_unit_seconds", "gauge", "Time unit of the rate watch.");
    Append(m, "zerlan_time_unit_seconds{direction=\"input\"} %ld\n", static_cast<long>(f.input_time_unit));
    Append(m, "zerlan_time_unit_seconds{direction=\"output\"} %ld\n", static_cast<long>(f.output_time_unit));

    family("zerlan_output_enabled", "gauge", "1 when the output is switched on.");
    for (const auto& o : f.outputs) Append(m, "zerlan_output_enabled{output=\"%s\"} %d\n", o.key, o.on ? 1 : 0);
    family("zerlan_output_bytes_total", "counter", "Bytes sent by the output since the program started.");
    for (const auto& o : f.outputs) {
        Append(m, "zerlan_output_bytes_total{output=\"%s\"} %lld\n", o.key, static_cast<long long>(o.bytes));
    }
    family("zerlan_output_bytes_per_time_unit", "gauge", "Bytes sent in the last time unit of the rate watch.");
    for (const auto& o : f.outputs) {
        Append(m, "zerlan_output_bytes_per_time_unit{output=\"%s\"} %ld\n", o.key, static_cast<long>(o.rate));
    }

    family("zerlan_server_threads", "gauge", "Threads of each TCP server, serving or waiting for a client.");
    Append(m, "zerlan_server_threads{server=\"tcp_out\"} %d\n", f.tcp_out_threads);
    Append(m, "zerlan_server_threads{server=\"decoder_tcp_out\"} %d\n", f.decoder_tcp_threads);
    Append(m, "zerlan_server_threads{server=\"rinex_tcp_out\"} %d\n", f.rinex_tcp_threads);
    family("zerlan_udp_clients", "gauge", "Registered clients of the UDP output server.");
    Append(m, "zerlan_udp_clients %d\n", f.udp_clients);
    family("zerlan_http_connections", "gauge", "HTTP connections being served.");
    Append(m, "zerlan_http_connections %d\n", f.http_connections);

    family("zerlan_station_info", "gauge", "Station id of the last decoded frame.");
    Append(m, "zerlan_station_info{station=\"%s\"} 1\n", MetricLabelEscape(f.station).c_str());
    family("zerlan_gps_week", "gauge", "GPS week shown by the decoder.");
    Append(m, "zerlan_gps_week %lld\n", static_cast<long long>(LeadingNumber(f.gps_week)));
    family("zerlan_decoded_frames", "gauge", "Frames decoded in the running job.");
    Append(m, "zerlan_decoded_frames %lld\n", static_cast<long long>(LeadingNumber(f.message_count)));

    family("zerlan_satellites", "gauge", "Satellites seen in the recent frames.");
    for (int s = 0; s < 2; ++s) {
        Append(m, "zerlan_satellites{system=\"%s\"} %zu\n", SystemName(s), f.satellites[static_cast<size_t>(s)].size());
    }
    family("zerlan_fkp_satellites", "gauge", "Satellites with FKP in the recent frames.");
    for (int s = 0; s < 2; ++s) {
        Append(m, "zerlan_fkp_satellites{system=\"%s\"} %zu\n", SystemName(s), f.fkp[static_cast<size_t>(s)].size());
    }
    family("zerlan_message_period_seconds", "gauge", "Seconds between the last two messages of the type.");
    for (const auto& r : f.messages) {
        Append(m, "zerlan_message_period_seconds{type=\"%d\",system=\"%s\"} %d\n", r.type, SystemName(r.system),
               r.period);
    }
    return m;
}

}  // namespace zerlan
