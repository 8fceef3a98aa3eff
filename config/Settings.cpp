#include "config/Settings.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "config/FieldSplit.h"

namespace zerlan {

using config_detail::JoinFields;
using config_detail::SplitFields;
using config_detail::TextToInt;

namespace {

// File order. The caster host is a neutral placeholder; users set their own.
constexpr KeyInfo kKeys[kKeyCount] = {
    {Key::kPd, "pd", "Name of parameter-file", "1", ".\\morvik.par", false},
    {Key::kDp, "dp", "Name of main-directory", "1", ".", false},
    {Key::kNp, "np", "Path/name for Editor", "1", "\\Windows\\notepad.exe", false},
    {Key::kPr, "pr", "Name of protocol-file", "1", ".\\Protokol.dat", false},
    {Key::kCastIn, "cast_in", "Adjustments for caster-input", "9",
     "caster.example.net;2101;TEST0;MorvikV1.08-zezur1;base64:Hx7qPm;1000;0;0.0.0.0;8080", false},
    {Key::kCastOut, "cast_out", "Adjustments for caster-output", "9",
     "caster.example.net;80;USER0;MorvikV1.08-zezur1;kq4Wz8rTn2Lx;1000;0;0.0.0.0;8080", false},
    {Key::kCoIn, "co_in", "Adjustments for RS232-input", "10",
     "COM1;38400;n;8;1;rts=on,dtr=on;FALSE;.\\example.bef;FALSE;Null", false},
    {Key::kCoOut, "co_out", "Adjustments for RS232-output", "10",
     "COM1;38400;n;8;1;rts=on,dtr=on;FALSE;.\\example.bef;FALSE;Null", false},
    {Key::kTcpIn, "tcp_in", "Adjustments for tcp-input", "3", "127.0.0.1;4000;FALSE", false},
    {Key::kTcpOut, "tcp_out", "Adjustments for tcp-output", "6", "127.0.0.1;4000;TRUE;20;FALSE;0", false},
    {Key::kUdpIn, "udp_in", "Adjustments for udp-input", "5", "127.0.0.1;10714;FALSE;127.0.0.1;10713", false},
    {Key::kUdpOut, "udp_out", "Adjustments for udp-output", "6",
     "127.0.0.1;10713;TRUE;127.0.0.1;10714;20", false},
    {Key::kPipeIn, "pipe_in", "Adjustments for pipe-input", "1", "\\\\.\\pipe\\PipeIn", false},
    {Key::kPipeOut, "pipe_out", "Adjustments for pipe-Output", "1", "\\\\.\\pipe\\PipeOut", false},
    {Key::kFileIn, "file_in", "Adjustments for file-input", "1", ".\\FileIn.rcm", false},
    {Key::kFileOut, "file_out", "Adjustments for file-output", "8 + 2",
     ".\\FileOut.rcm,4096;FALSE;0;60;.\\;0896;k;none", false},
    {Key::kDecOut, "dec_out", "Adjustments for RtcmDecoder-Output", "8 + 9 + 2",
     "FALSE;\\\\.\\pipe\\DecPipe;FALSE;DecFile.rcd,4096,FALSE,0,60,.\\,0896,k,none;FALSE;4004;1;TRUE,60", false},
    {Key::kDecIn, "dec_in", "Adjustments for Rtcm-Encoder-Settings", "14 + x",
     "FALSE;FALSE;FALSE;FALSE;FALSE;FALSE;FALSE;FALSE;FALSE;FALSE;FALSE;FALSE;TRUE;1,3,18,19,22,23,24", false},
    {Key::kInoutSw, "inout_sw", "Adjustments for in- and output", "15",
     "CAST;Null;Null;Null;Null;Null;Null;RTCM;500;0;1;100;FALSE;FALSE;FALSE", false},
    {Key::kMiz, "miz", "Adjustments for charwatch-minimal-input", "6",
     "50;InputDataNull;10;50;OutputDataNull;10", false},
    {Key::kMaz, "maz", "Adjustments for charwatch-maximal-input", "6",
     "7000;InputDataOverflow;0;7000;OutputDataOverflow;0", false},
    {Key::kKfkp, "kfkp", "Adjustments for Non-Fkp control", "4", "300;NoGpsFkp;300;NoGloFkp", true},
    {Key::kKsat, "ksat", "Adjustments for Non-Sat control", "4", "300;NoGpsSat;300;NoGloSat", true},
    {Key::kWfkp, "wfkp", "Adjustments for To-little-Fkp Control", "6", "300;LowFkp;4;300;LowGloFkp;3", true},
    {Key::kWsat, "wsat", "Adjustments for To-little-Sat control", "6", "300;LowGpsSat;4;300;LowGloSat;3", true},
    {Key::kAi, "ai", "Adjustments for Fkp-Save-Interval", "2", "180;Save.dat", false},
    {Key::kHtml, "html", "Adjustments for Html-Monitoring", "7",
     "FALSE;127.0.0.1;80;TRUE;120;.\\index.html;01,02,03,04,06,09,14,16,17,18,19,20,21,22,23,24,31,37,59", false},
    {Key::kNmea, "nmea", "Adjustments for Nmea-Settings", "11",
     "FALSE;FALSE;52;29;21.524334;13;18;43.791411;.\\Nmea-Pool.dat;0;0_None", false},
    {Key::kEncDa, "enc_da", "Adjustments for En-/DecoderData-Settings", "14",
     "0_MistyOne;7c1e5a93d04bf862;0000;1000;FALSE;FALSE;FALSE;FALSE;FALSE;FALSE;FALSE;0;0;0", false},
    {Key::kRinex, "rinex", "Adjustments for RinexData-Settings", "14",
     "TRUE;TRUE;TRUE;1;5;0;60;.\\;0000;.\\0000.hdr;FALSE;4006;20;18.00000000", false},
    {Key::kSeb, "seb", "Time-interval for char-input-control", "2", "1;1", false},
};

// Number of fields each key is parsed into (sub-lists count as one).
constexpr int kFieldCounts[kKeyCount] = {
    1, 1, 1, 1, 9, 9, 10, 10, 3, 6, 5, 6, 1, 1, 1, 8, 10, 14, 15, 6, 6, 4, 4, 6, 6, 2, 7, 11, 14, 14, 2,
};

// Accessor with 1-based numbering; the vector is sized before use.
class Fields {
public:
    Fields(std::vector<std::string>& v, size_t count) : v_(v) {
        if (v_.size() < count) v_.resize(count);
    }
    std::string& operator[](int index) { return v_[static_cast<size_t>(index - 1)]; }
    int Int(int index) { return TextToInt((*this)[index]); }
    bool Bool(int index) { return IsTrue((*this)[index]); }

private:
    std::vector<std::string>& v_;
};

void ClampTo(std::string& text, int32_t lo, const char* lo_text, int32_t hi, const char* hi_text) {
    const int32_t v = TextToInt(text);
    if (v < lo) text = lo_text;
    else if (v > hi) text = hi_text;
}

void ReplaceOutside(std::string& text, int32_t lo, int32_t hi, const char* replacement) {
    const int32_t v = TextToInt(text);
    if (v < lo || v > hi) text = replacement;
}

// Rotation intervals that divide the hour or day evenly.
void NormaliseInterval(std::string& text) {
    switch (TextToInt(text)) {
        case 0: case 4: case 5: case 6: case 10: case 12: case 15: case 20: case 30: case 60:
            return;
        default:
            text = "0_";
    }
}

void ZeroIfEmpty(std::string& text) {
    if (text.empty()) text = "0";
}

// Normalises a rotating-file sub-list in place (name, size, on, mode, interval,
// directory, three naming fields) and returns the parsed form.
RotatingFileParams ParseRotatingFile(std::vector<std::string>& sub) {
    Fields f(sub, 9);
    ReplaceOutside(f[2], 2, 8192, "4096");
    const int32_t mode = TextToInt(f[4]);
    if (mode < 0 || mode > 5) {
        f[4] = '0';  // a char: GCC 12 -O3 warns wrongly on this string assigned from a literal
        f[3] = "FALSE";
    }
    NormaliseInterval(f[5]);
    RotatingFileParams p;
    p.file_name = f[1];
    p.block_size = f[2];
    p.rotation_on = f.Bool(3);
    p.rotation_mode = f[4];
    p.rotation_interval = f[5];
    p.directory = f[6];
    p.naming1 = f[7];
    p.naming2 = f[8];
    p.naming3 = f[9];
    return p;
}

CasterParams ParseCaster(Fields& f) {
    f[4] = kProgramId;
    // A wait of zero or less would turn the reconnect loop into a busy loop.
    if (TextToInt(f[6]) <= 0) f[6] = "500";
    return {f[1], f[2], f[3], f[4], f[5], f[6], f.Bool(7), f[8], f[9]};
}

SerialParams ParseSerial(Fields& f) {
    if (f[8].empty()) f[8] = "Null";
    if (f[10].empty()) f[10] = "Null";
    return {f[1], f[2], f[3], f[4], f[5], f[6], f.Bool(7), f[8], f.Bool(9), f[10]};
}

bool OneOf(const std::string& text, std::initializer_list<const char*> words) {
    for (const char* w : words)
        if (text == w) return true;
    return false;
}

int32_t NmeaMode(const std::string& text) {
    if (OneOf(text, {"FALSE", "False", "false"})) return 1;
    if (OneOf(text, {"TRUE", "True", "true"})) return 2;
    if (OneOf(text, {"DEVICE", "Device", "device"})) return 3;
    const int32_t n = TextToInt(text);
    return (n >= 1 && n <= 3) ? n : 1;
}

bool SameNumber(const std::string& a, const std::string& b) {
    char* end_a = nullptr;
    char* end_b = nullptr;
    const double x = std::strtod(a.c_str(), &end_a);
    const double y = std::strtod(b.c_str(), &end_b);
    return *end_a == '\0' && *end_b == '\0' && x == y;
}

// A field the file left empty was not given, so filling it is no correction.
void NoteCorrections(const std::vector<std::string>& given, const std::vector<std::string>& used,
                     std::vector<std::string>& notes) {
    notes.clear();
    for (size_t i = 0; i < given.size() && i < used.size(); ++i) {
        if (given[i].empty() || given[i] == used[i] || SameNumber(given[i], used[i])) continue;
        notes.push_back("field " + std::to_string(i + 1) + " \"" + given[i] + "\", \"" + used[i] + "\" is used");
    }
}

}  // namespace

const KeyInfo& InfoOf(Key key) { return kKeys[static_cast<int>(key)]; }

std::optional<Key> FindKey(std::string_view name) {
    for (const KeyInfo& info : kKeys)
        if (name == info.name) return info.key;
    return std::nullopt;
}

bool IsTrue(const std::string& text) {
    return text == "TRUE" || text == "True" || text == "true" || TextToInt(text) >= 1;
}

InputType InOutParams::Input() const {
    if (input_type == "CAST") return InputType::kCaster;
    if (input_type == "TCP") return InputType::kTcp;
    if (input_type == "UDP") return InputType::kUdp;
    if (input_type == "PIPE") return InputType::kPipe;
    if (input_type == "FILE") return InputType::kFile;
    if (input_type == "DUMMY") return InputType::kDummy;
    return InputType::kSerial;
}

Settings::Settings() {
    for (const KeyInfo& info : kKeys) SetRaw(info.key, info.default_value);
}

void Settings::SetRaw(Key key, std::string_view value) {
    raw_[static_cast<int>(key)] = std::string(value.substr(0, kMaxRawLength));
    Reparse(key);
}

std::string Settings::Field(Key key, int index) const {
    const auto& v = fields_[static_cast<int>(key)];
    if (index < 1 || static_cast<size_t>(index) > v.size()) return "";
    return v[static_cast<size_t>(index - 1)];
}

void Settings::ReparseAll() {
    for (const KeyInfo& info : kKeys) Reparse(info.key);
}

void Settings::Reparse(Key key) {
    const int k = static_cast<int>(key);
    std::vector<std::string>& v = fields_[k];
    v = SplitFields(';', raw_[k]);
    const std::vector<std::string> given = v;
    Fields f(v, static_cast<size_t>(kFieldCounts[k]));

    switch (key) {
        case Key::kPd: parameter_file = f[1]; break;
        case Key::kDp: main_directory = f[1]; break;
        case Key::kNp: editor = f[1]; break;
        case Key::kPr: protocol_file = f[1]; break;
        case Key::kPipeIn: pipe_in = f[1]; break;
        case Key::kPipeOut: pipe_out = f[1]; break;
        case Key::kFileIn: file_in = f[1]; break;
        case Key::kCastIn: cast_in = ParseCaster(f); break;
        case Key::kCastOut: cast_out = ParseCaster(f); break;
        case Key::kCoIn: co_in = ParseSerial(f); break;
        case Key::kCoOut: co_out = ParseSerial(f); break;
        case Key::kTcpIn: tcp_in = {f[1], f[2], f.Bool(3)}; break;
        case Key::kTcpOut:
            ClampTo(f[4], 2, "1", 200, "200");
            ClampTo(f[6], 1, "0", 3600, "3600");
            tcp_out = {f[1], f[2], f.Bool(3), f[4], f.Bool(5), f[6]};
            break;
        case Key::kUdpIn: udp_in = {f[1], f[2], f.Bool(3), f[4], f[5], ""}; break;
        case Key::kUdpOut:
            ClampTo(f[6], 2, "1", 200, "200");
            udp_out = {f[1], f[2], f.Bool(3), f[4], f[5], f[6]};
            break;
        case Key::kFileOut: {
            // Field 1 is "name,block size"; fields 2..8 continue the same record.
            std::vector<std::string> sub = SplitFields(',', f[1]);
            Fields s(sub, 2);
            std::vector<std::string> whole = {s[1], s[2], f[2], f[3], f[4], f[5], f[6], f[7], f[8]};
            file_out = ParseRotatingFile(whole);
            Fields w(whole, 9);
            s[2] = w[2];
            f[1] = JoinFields(',', sub);
            f[2] = w[3];
            f[3] = w[4];
            f[4] = w[5];
            break;
        }
        case Key::kDecOut: {
            std::vector<std::string> file_sub = SplitFields(',', f[4]);
            DecOutParams p;
            p.file = ParseRotatingFile(file_sub);
            f[4] = JoinFields(',', file_sub);
            std::vector<std::string> watch_sub = SplitFields(',', f[9]);
            if (!watch_sub.empty()) {
                Fields w(watch_sub, 2);
                ClampTo(w[2], 0, "0", 600, "600");
                f[9] = JoinFields(',', watch_sub);
                p.restart_on_silence = w.Bool(1);
                p.silence_seconds = w[2];
            }
            p.pipe_on = f.Bool(1);
            p.pipe_name = f[2];
            p.file_on = f.Bool(3);
            p.tcp_on = f.Bool(5);
            p.tcp_port = f[6];
            p.max_tcp_clients = f[7];
            p.fkp_watch_on = f.Bool(8);
            p.rinex_on = f.Bool(10);
            dec_out = std::move(p);
            break;
        }
        case Key::kDecIn: {
            EncoderParams p;
            for (int i = 1; i <= 13; ++i) p.flags[static_cast<size_t>(i - 1)] = f.Bool(i);
            p.message_types = SplitFields(',', f[14]);
            dec_in = std::move(p);
            break;
        }
        case Key::kInoutSw: {
            if (!OneOf(f[1], {"CAST", "COMP", "TCP", "UDP", "PIPE", "FILE", "DUMMY"})) f[1] = "COMP";
            for (int i = 2; i <= 8; ++i)
                if (!OneOf(f[i], {"CAST", "COMP", "TCP", "UDP", "PIPE", "FILE", "RTCM"})) f[i] = "Null";
            ClampTo(f[9], 0, "1", 1000, "1000");
            if (f.Int(11) < -1 || f.Int(11) > 2) f[11] = "-1";
            ReplaceOutside(f[12], 10, 3600000, "100");
            // The encoder-data sides are built but never switched on.
            f[14] = "FALSE";
            f[15] = "FALSE";
            InOutParams p;
            p.input_type = f[1];
            for (int i = 2; i <= 8; ++i) p.outputs[static_cast<size_t>(i - 2)] = f[i];
            p.read_size = f[9];
            p.auto_start = f.Bool(10);
            p.decoder_version = f.Int(11);
            p.dummy_interval_ms = f[12];
            p.rtcm_encoder_on = f.Bool(13);
            inout_sw = std::move(p);
            break;
        }
        case Key::kMiz:
        case Key::kMaz: {
            CharWatchParams p{f[1], f[2], f[3], f[4], f[5], f[6]};
            (key == Key::kMiz ? miz : maz) = std::move(p);
            break;
        }
        case Key::kKfkp:
        case Key::kKsat: {
            ZeroIfEmpty(f[1]);
            ZeroIfEmpty(f[3]);
            PresenceParams p{f[1], f[2], "", f[3], f[4], ""};
            (key == Key::kKfkp ? kfkp : ksat) = std::move(p);
            break;
        }
        case Key::kWfkp:
        case Key::kWsat: {
            for (int i : {1, 3, 4, 6}) ZeroIfEmpty(f[i]);
            PresenceParams p{f[1], f[2], f[3], f[4], f[5], f[6]};
            (key == Key::kWfkp ? wfkp : wsat) = std::move(p);
            break;
        }
        case Key::kAi:
            ZeroIfEmpty(f[1]);
            ai = {f[1], f[2]};
            break;
        case Key::kHtml:
            html = {f.Bool(1), f[2], f[3], f.Bool(4), f[5], f[6], SplitFields(',', f[7])};
            break;
        case Key::kNmea: {
            NmeaParams p;
            p.on = f.Bool(1);
            p.mode_text = f[2];
            p.mode = NmeaMode(f[2]);
            p.lat_degrees = f[3];
            p.lat_minutes = f[4];
            p.lat_seconds = f[5];
            p.lon_degrees = f[6];
            p.lon_minutes = f[7];
            p.lon_seconds = f[8];
            p.pool_file = f[9];
            p.repeat_s = f[10];
            p.client_selector = f[11];
            nmea = std::move(p);
            break;
        }
        case Key::kEncDa: {
            ReplaceOutside(f[12], 0, 1024, "0");
            ReplaceOutside(f[13], 0, 604800, "0");
            ReplaceOutside(f[14], 0, 300, "0");
            EncDataParams p;
            p.cipher = f[1];
            p.key = f[2];
            p.provider = f[3];
            p.key_number = f[4];
            for (int i = 5; i <= 11; ++i) p.flags[static_cast<size_t>(i - 5)] = f.Bool(i);
            p.key_change_week = f[12];
            p.key_change_seconds = f[13];
            p.spare = f[14];
            enc_da = std::move(p);
            break;
        }
        case Key::kRinex: {
            ReplaceOutside(f[4], 1, 60, "15");
            ReplaceOutside(f[5], -43200, 43200, "0");
            ReplaceOutside(f[6], 0, 5, "0");
            NormaliseInterval(f[7]);
            ClampTo(f[13], 2, "1", 200, "200");
            double diff = std::atof(f[14].c_str());
            if (!(diff >= 0.0)) diff = 0.0;  // also catches "nan"
            if (diff > 60.0) diff = 60.0;
            char text[64];
            std::snprintf(text, sizeof text, "%.8lf", diff);
            f[14] = text;
            rinex = {f.Bool(1), f.Bool(2), f.Bool(3), f[4], f[5], f[6], f[7],
                     f[8], f[9], f[10], f.Bool(11), f[12], f[13], f[14]};
            break;
        }
        case Key::kSeb: seb = {f[1], f[2]}; break;
    }
    NoteCorrections(given, v, corrections_[k]);
}

bool IsPortNumber(const std::string& text) {
    if (text.empty() || text.size() > 5) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    const int port = std::atoi(text.c_str());
    return port >= 1 && port <= 65535;
}

}  // namespace zerlan
