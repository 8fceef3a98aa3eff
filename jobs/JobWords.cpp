#include "jobs/JobWords.h"

#include "platform/Paths.h"

namespace zerlan {

namespace {

std::string Net(const std::string& text) { return RestoreSlashes(text, kNetSlashSubstitute); }

// Servers listen on the address of their setting; empty is every interface.
std::string Listen(const std::string& address, const std::string& port) {
    return (address.empty() ? std::string("0.0.0.0") : address) + ":" + port;
}

std::string FileText(const std::string& name) {
    if (name == "STDIN") return "standard input";
    if (name == "STDOUT") return "standard output";
    return "file " + MapPath(name);
}

std::string RotatingText(const RotatingFileParams& f) {
    std::string text = FileText(f.file_name);
    if (f.rotation_on) text += ", a new file every " + f.rotation_interval + " min in " + MapPath(f.directory);
    return text;
}

std::string CasterText(const CasterParams& c) {
    std::string text = "NTRIP caster " + Net(c.host) + ":" + c.port + ", mountpoint " + Net(c.mountpoint);
    if (c.use_proxy) text += ", through the proxy " + Net(c.proxy_host) + ":" + c.proxy_port;
    return text;
}

std::string UdpText(const UdpParams& u) {
    if (u.server_mode) return "UDP server " + u.own_address + ":" + u.own_port;
    return "UDP client " + u.own_address + ":" + u.own_port + " to " + u.partner_address + ":" + u.partner_port;
}

std::string DecoderVersion(int version) {
    switch (version) {
        case 0: return "RTCM 2.1";
        case 1: return "RTCM 2.3";
        case 2: return "RTCM 3";
        default: return "RTCM 2 or 3, recognised";
    }
}

}  // namespace

std::vector<std::string> DescribeJob(const Settings& s) {
    std::vector<std::string> lines;
    const InOutParams& io = s.inout_sw;
    if (io.CasterOut()) lines.push_back("output: upload to " + CasterText(s.cast_out));
    if (io.SerialOut()) lines.push_back("output: serial port " + s.co_out.port + ", " + s.co_out.baud + " baud");
    if (io.TcpOut()) {
        lines.push_back(s.tcp_out.server_mode ? "output: TCP server " + Listen(s.tcp_out.address, s.tcp_out.port) +
                                                    ", at most " + s.tcp_out.max_clients + " clients"
                                              : "output: TCP client to " + s.tcp_out.address + ":" + s.tcp_out.port);
    }
    if (io.UdpOut()) {
        lines.push_back("output: " + UdpText(s.udp_out) +
                        (s.udp_out.server_mode ? ", at most " + s.udp_out.client_limit + " clients" : ""));
    }
    if (io.PipeOut()) lines.push_back("output: named pipe " + s.pipe_out);
    if (io.FileOut()) lines.push_back("output: " + RotatingText(s.file_out));
    if (io.RtcmDecoder()) {
        lines.push_back("decoder: " + DecoderVersion(io.decoder_version) + " to text");
        if (s.dec_out.pipe_on) lines.push_back("decoded text: named pipe " + s.dec_out.pipe_name);
        if (s.dec_out.file_on) lines.push_back("decoded text: " + RotatingText(s.dec_out.file));
        if (s.dec_out.tcp_on) {
            lines.push_back("decoded text: TCP server " + Listen("", s.dec_out.tcp_port) + ", at most " +
                            s.dec_out.max_tcp_clients + " clients");
        }
    }
    switch (io.Input()) {
        case InputType::kCaster: lines.push_back("input: " + CasterText(s.cast_in)); break;
        case InputType::kSerial:
            lines.push_back("input: serial port " + s.co_in.port + ", " + s.co_in.baud + " baud");
            break;
        case InputType::kTcp:
            lines.push_back(s.tcp_in.server_mode ? "input: TCP server " + Listen(s.tcp_in.address, s.tcp_in.port)
                                                 : "input: TCP client " + s.tcp_in.address + ":" + s.tcp_in.port);
            break;
        case InputType::kUdp: lines.push_back("input: " + UdpText(s.udp_in)); break;
        case InputType::kPipe: lines.push_back("input: named pipe " + s.pipe_in); break;
        case InputType::kFile: lines.push_back("input: " + FileText(s.file_in)); break;
        case InputType::kDummy:
            lines.push_back("input: dummy generator, a line every " + io.dummy_interval_ms + " ms");
            break;
    }
    return lines;
}

std::vector<std::string> PortProblems(const Settings& s) {
    std::vector<std::string> problems;
    auto check = [&](const char* what, const std::string& port) {
        if (!IsPortNumber(port)) problems.push_back(std::string(what) + ": port \"" + port +
                                                    "\" is not a number in 1..65535");
    };
    const InOutParams& io = s.inout_sw;
    const InputType input = io.Input();
    if (io.CasterOut()) check("cast_out", s.cast_out.port);
    if (io.CasterOut() && s.cast_out.use_proxy) check("cast_out proxy", s.cast_out.proxy_port);
    if (input == InputType::kCaster) check("cast_in", s.cast_in.port);
    if (input == InputType::kCaster && s.cast_in.use_proxy) check("cast_in proxy", s.cast_in.proxy_port);
    if (io.TcpOut()) check("tcp_out", s.tcp_out.port);
    if (input == InputType::kTcp) check("tcp_in", s.tcp_in.port);
    if (io.UdpOut()) check("udp_out", s.udp_out.server_mode ? s.udp_out.own_port : s.udp_out.partner_port);
    if (input == InputType::kUdp) check("udp_in", s.udp_in.server_mode ? s.udp_in.own_port : s.udp_in.partner_port);
    if (io.RtcmDecoder() && s.dec_out.tcp_on) check("dec_out", s.dec_out.tcp_port);
    if (s.html.server_on) check("html", s.html.port);
    return problems;
}

}  // namespace zerlan
