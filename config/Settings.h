// The settings record: for every parameter-file key the raw value text as it
// was read (what a save writes back), and the same value split into named
// fields with the program's corrections applied (what the threads use).
// Booleans become flags; numbers stay text and are converted where used.
// Loading, saving and the command line live in config/ParameterFile.h.
//
// Thread-safety: a plain value type without locks. The view thread writes a
// record while no job runs; workers only read the copy in the SharedState.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zerlan {

// Keys in parameter-file order.
enum class Key : int {
    kPd = 0, kDp, kNp, kPr,
    kCastIn, kCastOut, kCoIn, kCoOut,
    kTcpIn, kTcpOut, kUdpIn, kUdpOut,
    kPipeIn, kPipeOut, kFileIn, kFileOut,
    kDecOut, kDecIn, kInoutSw, kMiz, kMaz,
    kKfkp, kKsat, kWfkp, kWsat, kAi,
    kHtml, kNmea, kEncDa, kRinex, kSeb,
};
constexpr int kKeyCount = 31;

struct KeyInfo {
    Key key;
    const char* name;           // "cast_in"
    const char* comment;        // comment text of the saved file
    const char* count;          // "9", "8 + 2", "14 + x"
    const char* default_value;  // built-in value
    bool blank_before_colon;    // "... control : 4 Parameter"
};

const KeyInfo& InfoOf(Key key);
// Exact, case-sensitive look-up; "rem" is not a key.
std::optional<Key> FindKey(std::string_view name);

// True for "TRUE", "True", "true" or any text whose leading integer is 1 or more.
bool IsTrue(const std::string& text);

// The program identification every caster request carries, whatever the file says.
constexpr const char* kProgramId = "MorvikV1.08-zezur1";
// Longest raw value kept (the record's texts are 1000-byte fields).
constexpr size_t kMaxRawLength = 999;

// ---- parsed fields (texts keep substitute bytes 0xAF / 0xBB; consumers restore '/') ----

struct CasterParams {            // cast_in, cast_out
    std::string host;
    std::string port;
    std::string mountpoint;
    std::string program_id;      // always kProgramId
    std::string login;           // "user:password" (cast_in) or the source password (cast_out)
    std::string reconnect_wait_ms;
    bool use_proxy = false;
    std::string proxy_host;
    std::string proxy_port;
    bool operator==(const CasterParams&) const = default;
};

struct SerialParams {            // co_in, co_out
    std::string port;
    std::string baud;
    std::string parity;
    std::string data_bits;
    std::string stop_bits;
    std::string handshake;
    bool modem_control = false;
    std::string modem_script;
    bool modem_kind = false;
    std::string phone_number;
    bool operator==(const SerialParams&) const = default;
};

struct TcpInParams {
    std::string address;
    std::string port;
    bool server_mode = false;
    bool operator==(const TcpInParams&) const = default;
};

struct TcpOutParams {
    std::string address;
    std::string port;
    bool server_mode = false;
    std::string max_clients;     // "1".."200"
    bool reset_after_off = false;
    std::string reset_delay_s;   // "0".."3600"
    bool operator==(const TcpOutParams&) const = default;
};

struct UdpParams {               // udp_in, udp_out
    std::string partner_address;
    std::string partner_port;
    bool server_mode = false;
    std::string own_address;
    std::string own_port;
    std::string client_limit;    // udp_out only: "1".."200"
    bool operator==(const UdpParams&) const = default;
};

// A rotating output file: file_out, and the file sub-list of dec_out.
struct RotatingFileParams {
    std::string file_name;       // or "STDOUT"
    std::string block_size;      // "2".."8192"
    bool rotation_on = false;
    std::string rotation_mode;   // "0".."5"
    std::string rotation_interval;  // one of 0,4,5,6,10,12,15,20,30,60, else "0_"
    std::string directory;
    std::string naming1;
    std::string naming2;
    std::string naming3;
    bool operator==(const RotatingFileParams&) const = default;
};

struct DecOutParams {
    bool pipe_on = false;
    std::string pipe_name;
    bool file_on = false;
    RotatingFileParams file;
    bool tcp_on = false;
    std::string tcp_port;
    std::string max_tcp_clients;
    bool fkp_watch_on = false;
    bool restart_on_silence = false;   // field 9, first sub-field
    std::string silence_seconds;       // field 9, second sub-field, "0".."600"
    bool rinex_on = false;
    bool operator==(const DecOutParams&) const = default;
};

struct EncoderParams {           // dec_in
    // Fields 1..13, index 0 = field 1: RTCM 2 out, RTCM 3 out, 8-bit, caster,
    // serial, TCP, UDP, pipe, file, decoder, own decoder as input, CR per
    // message, all message types.
    std::array<bool, 13> flags{};
    std::vector<std::string> message_types;
    bool Flag(int field) const { return field >= 1 && field <= 13 && flags[field - 1]; }
    bool operator==(const EncoderParams&) const = default;
};

// Input types of inout_sw field 1.
enum class InputType { kCaster, kSerial, kTcp, kUdp, kPipe, kFile, kDummy };

struct InOutParams {             // inout_sw
    std::string input_type;      // "CAST","COMP","TCP","UDP","PIPE","FILE","DUMMY"
    // Fields 2..8 (index 0 = field 2); each output is on only with its own word.
    std::array<std::string, 7> outputs;
    std::string read_size;
    bool auto_start = false;
    int32_t decoder_version = -1;  // -1 auto, 0 RTCM 2.1, 1 RTCM 2.3, 2 RTCM 3.1
    std::string dummy_interval_ms;
    bool rtcm_encoder_on = false;
    bool encoder_data_on = false;  // always off
    bool decoder_data_on = false;  // always off

    InputType Input() const;
    bool CasterOut() const { return outputs[0] == "CAST"; }
    bool SerialOut() const { return outputs[1] == "COMP"; }
    bool TcpOut() const { return outputs[2] == "TCP"; }
    bool UdpOut() const { return outputs[3] == "UDP"; }
    bool PipeOut() const { return outputs[4] == "PIPE"; }
    bool FileOut() const { return outputs[5] == "FILE"; }
    bool RtcmDecoder() const { return outputs[6] == "RTCM"; }
    bool operator==(const InOutParams&) const = default;
};

struct CharWatchParams {         // miz, maz
    std::string input_limit;
    std::string input_title;
    std::string input_duration_s;
    std::string output_limit;
    std::string output_title;
    std::string output_duration_s;
    bool operator==(const CharWatchParams&) const = default;
};

struct PresenceParams {          // kfkp, ksat, and wfkp, wsat with the minimum counts
    std::string gps_seconds;
    std::string gps_title;
    std::string gps_min_count;   // wfkp, wsat only
    std::string glo_seconds;
    std::string glo_title;
    std::string glo_min_count;   // wfkp, wsat only
    bool operator==(const PresenceParams&) const = default;
};

struct FkpSaveParams {           // ai
    std::string interval;
    std::string file_name;
    bool operator==(const FkpSaveParams&) const = default;
};

struct HtmlParams {
    bool server_on = false;
    std::string address;
    std::string port;
    bool file_on = false;
    std::string refresh_s;
    std::string file_name;
    std::vector<std::string> items;
    bool operator==(const HtmlParams&) const = default;
};

struct NmeaParams {
    bool on = false;
    std::string mode_text;
    int32_t mode = 1;            // 1 fixed coordinates, 2 from file, 3 from clients
    std::string lat_degrees, lat_minutes, lat_seconds;
    std::string lon_degrees, lon_minutes, lon_seconds;
    std::string pool_file;
    std::string repeat_s;
    std::string client_selector;
    bool operator==(const NmeaParams&) const = default;
};

struct EncDataParams {           // enc_da
    std::string cipher;
    std::string key;
    std::string provider;
    std::string key_number;
    // Fields 5..11, index 0 = field 5: caster, serial, TCP, UDP, pipe, file, decoder.
    std::array<bool, 7> flags{};
    std::string key_change_week;     // "0".."1024"
    std::string key_change_seconds;  // "0".."604800"
    std::string spare;               // "0".."300"
    bool Flag(int field) const { return field >= 5 && field <= 11 && flags[field - 5]; }
    bool operator==(const EncDataParams&) const = default;
};

struct RinexParams {
    bool gps_on = false;
    bool glo_on = false;
    bool files_on = false;
    std::string interval_s;      // "1".."60"
    std::string pc_minus_utc_s;  // "-43200".."43200"
    std::string layout;          // "0".."5"
    std::string period_min;      // one of 0,4,5,6,10,12,15,20,30,60, else "0_"
    std::string base_dir;
    std::string prefix;
    std::string header_file;
    bool tcp_on = false;
    std::string tcp_port;
    std::string max_clients;     // "1".."200"
    std::string gps_glo_diff_s;  // "%.8lf", 0..60
    bool operator==(const RinexParams&) const = default;
};

struct TimeUnitParams {          // seb
    std::string input_s;
    std::string output_s;
    bool operator==(const TimeUnitParams&) const = default;
};

struct Settings {
    // Built-in defaults, parsed.
    Settings();

    // Raw text of a key as read (or as defaulted).
    const std::string& Raw(Key key) const { return raw_[static_cast<int>(key)]; }
    // Stores a raw text (cut to kMaxRawLength) and re-parses that key.
    void SetRaw(Key key, std::string_view value);
    // Field i (1-based) of a key after corrections, "" when absent. Sub-lists
    // are joined again with ','.
    std::string Field(Key key, int index) const;
    void Reparse(Key key);
    void ReparseAll();
    // What the last parse of a key had to change: one text per field,
    // 'field 4 "500", "200" is used'.
    const std::vector<std::string>& Corrections(Key key) const { return corrections_[static_cast<int>(key)]; }

    bool operator==(const Settings&) const = default;

    // Single-field keys.
    std::string parameter_file;  // pd
    std::string main_directory;  // dp
    std::string editor;          // np
    std::string protocol_file;   // pr
    std::string pipe_in;
    std::string pipe_out;
    std::string file_in;         // or "STDIN"

    CasterParams cast_in;
    CasterParams cast_out;
    SerialParams co_in;
    SerialParams co_out;
    TcpInParams tcp_in;
    TcpOutParams tcp_out;
    UdpParams udp_in;
    UdpParams udp_out;
    RotatingFileParams file_out;
    DecOutParams dec_out;
    EncoderParams dec_in;
    InOutParams inout_sw;
    CharWatchParams miz;
    CharWatchParams maz;
    PresenceParams kfkp;
    PresenceParams ksat;
    PresenceParams wfkp;
    PresenceParams wsat;
    FkpSaveParams ai;
    HtmlParams html;
    NmeaParams nmea;
    EncDataParams enc_da;
    RinexParams rinex;
    TimeUnitParams seb;

    // "last Adjustment: ..." of the last LoadFile.
    std::string load_summary;
    // 1 after every complete LoadFile.
    int32_t loaded = 0;

private:
    std::array<std::string, kKeyCount> raw_;
    std::array<std::vector<std::string>, kKeyCount> fields_;
    std::array<std::vector<std::string>, kKeyCount> corrections_;
};

// A port as the sockets need it: a decimal number in 1..65535.
bool IsPortNumber(const std::string& text);

}  // namespace zerlan
