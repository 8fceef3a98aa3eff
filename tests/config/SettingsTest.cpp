#include "config/Settings.h"

#include <gtest/gtest.h>

#include <string>

#include "config/FieldSplit.h"

namespace zerlan {
namespace {

using config_detail::SplitFields;
using config_detail::TextToInt;

TEST(SettingsDefaults, RawTextIsTheBuiltInValueOfEveryKey) {
    Settings s;
    for (int k = 0; k < kKeyCount; ++k) {
        const Key key = static_cast<Key>(k);
        EXPECT_EQ(s.Raw(key), InfoOf(key).default_value) << InfoOf(key).name;
        EXPECT_EQ(FindKey(InfoOf(key).name), key);
    }
    EXPECT_FALSE(FindKey("rem").has_value());
    EXPECT_FALSE(FindKey("PD").has_value());  // keys are case-sensitive
}

TEST(SettingsDefaults, ParsedFieldsOfTheBuiltInValues) {
    Settings s;
    EXPECT_EQ(s.parameter_file, ".\\morvik.par");
    EXPECT_EQ(s.cast_in.host, "caster.example.net");
    EXPECT_EQ(s.cast_in.login, "base64:Hx7qPm");
    EXPECT_FALSE(s.cast_in.use_proxy);
    EXPECT_EQ(s.cast_out.login, "kq4Wz8rTn2Lx");
    EXPECT_EQ(s.co_out.phone_number, "Null");
    EXPECT_TRUE(s.tcp_out.server_mode);
    EXPECT_EQ(s.tcp_out.max_clients, "20");

    EXPECT_EQ(s.inout_sw.Input(), InputType::kCaster);
    EXPECT_TRUE(s.inout_sw.RtcmDecoder());
    EXPECT_FALSE(s.inout_sw.CasterOut());
    EXPECT_EQ(s.inout_sw.read_size, "500");
    EXPECT_EQ(s.inout_sw.decoder_version, 1);
    EXPECT_EQ(s.inout_sw.dummy_interval_ms, "100");

    EXPECT_EQ(s.file_out.file_name, ".\\FileOut.rcm");
    EXPECT_EQ(s.file_out.block_size, "4096");
    EXPECT_EQ(s.file_out.rotation_interval, "60");

    // The decoder-output default has eight fields and its field 8 is not a
    // plain boolean; the two missing fields read as off and empty.
    EXPECT_EQ(s.dec_out.file.file_name, "DecFile.rcd");
    EXPECT_EQ(s.dec_out.tcp_port, "4004");
    EXPECT_FALSE(s.dec_out.fkp_watch_on);
    EXPECT_FALSE(s.dec_out.restart_on_silence);
    EXPECT_EQ(s.dec_out.silence_seconds, "");
    EXPECT_FALSE(s.dec_out.rinex_on);
    EXPECT_EQ(s.Field(Key::kDecOut, 8), "TRUE,60");

    EXPECT_TRUE(s.dec_in.Flag(13));
    EXPECT_FALSE(s.dec_in.Flag(1));
    EXPECT_EQ(s.dec_in.message_types.size(), 7u);
    EXPECT_EQ(s.html.items.size(), 19u);
    EXPECT_EQ(s.nmea.mode, 1);
    EXPECT_EQ(s.rinex.gps_glo_diff_s, "18.00000000");
    EXPECT_EQ(s.wsat.glo_min_count, "3");
    EXPECT_EQ(s.maz.input_limit, "7000");
    EXPECT_EQ(s.loaded, 0);
}

TEST(SettingsBoolean, ThreeSpellingsOfTrueOrAPositiveNumber) {
    for (const char* t : {"TRUE", "True", "true", "1", "2", "17abc", " 3"}) EXPECT_TRUE(IsTrue(t)) << t;
    for (const char* f : {"FALSE", "false", "0", "-1", "", "tRUE", "yes", "TRUE,60", "ON"})
        EXPECT_FALSE(IsTrue(f)) << f;
}

TEST(SettingsNormalise, CasterIdentityAndReconnectWait) {
    Settings s;
    const std::string text = "h\xAFx;2101;MP;Other/9;u:p\xAFw;0;TRUE;proxy;3128";
    s.SetRaw(Key::kCastIn, text);
    EXPECT_EQ(s.Raw(Key::kCastIn), text);  // raw keeps what was read
    EXPECT_EQ(s.cast_in.program_id, kProgramId);
    EXPECT_EQ(s.cast_in.reconnect_wait_ms, "500");
    EXPECT_EQ(s.cast_in.host, "h\xAFx");
    EXPECT_EQ(s.cast_in.login, "u:p\xAFw");
    EXPECT_TRUE(s.cast_in.use_proxy);
    EXPECT_EQ(s.Field(Key::kCastIn, 4), kProgramId);

    for (const char* wait : {"abc", "-20", ""}) {
        s.SetRaw(Key::kCastOut, std::string("h;80;m;id;pw;") + wait);
        EXPECT_EQ(s.cast_out.reconnect_wait_ms, "500") << wait;
    }
    s.SetRaw(Key::kCastOut, "h;80;m;id;pw;2500");
    EXPECT_EQ(s.cast_out.reconnect_wait_ms, "2500");
}

TEST(SettingsNormalise, ClientLimitsAndDelays) {
    Settings s;
    s.SetRaw(Key::kTcpOut, "1.2.3.4;4000;TRUE;500;TRUE;9999");
    EXPECT_EQ(s.tcp_out.max_clients, "200");
    EXPECT_EQ(s.tcp_out.reset_delay_s, "3600");
    EXPECT_EQ(s.Raw(Key::kTcpOut), "1.2.3.4;4000;TRUE;500;TRUE;9999");
    s.SetRaw(Key::kTcpOut, "1.2.3.4;4000;TRUE;0;TRUE;-3");
    EXPECT_EQ(s.tcp_out.max_clients, "1");
    EXPECT_EQ(s.tcp_out.reset_delay_s, "0");
    s.SetRaw(Key::kTcpOut, "1.2.3.4;4000;TRUE;2;TRUE;1");
    EXPECT_EQ(s.tcp_out.max_clients, "2");
    EXPECT_EQ(s.tcp_out.reset_delay_s, "1");

    s.SetRaw(Key::kUdpOut, "a;1;TRUE;b;2;201");
    EXPECT_EQ(s.udp_out.client_limit, "200");
    s.SetRaw(Key::kRinex, "TRUE;TRUE;TRUE;0;50000;6;7;d;p;h;TRUE;4006;1;-2");
    EXPECT_EQ(s.rinex.interval_s, "15");
    EXPECT_EQ(s.rinex.pc_minus_utc_s, "0");
    EXPECT_EQ(s.rinex.layout, "0");
    EXPECT_EQ(s.rinex.period_min, "0_");
    EXPECT_EQ(s.rinex.max_clients, "1");
    EXPECT_EQ(s.rinex.gps_glo_diff_s, "0.00000000");
    s.SetRaw(Key::kRinex, "TRUE;TRUE;TRUE;60;-43200;5;30;d;p;h;TRUE;4006;200;2.5");
    EXPECT_EQ(s.rinex.interval_s, "60");
    EXPECT_EQ(s.rinex.pc_minus_utc_s, "-43200");
    EXPECT_EQ(s.rinex.period_min, "30");
    EXPECT_EQ(s.rinex.gps_glo_diff_s, "2.50000000");
    s.SetRaw(Key::kRinex, "TRUE;TRUE;TRUE;1;0;0;60;d;p;h;TRUE;4006;20;61");
    EXPECT_EQ(s.rinex.gps_glo_diff_s, "60.00000000");
    s.SetRaw(Key::kRinex, "TRUE;TRUE;TRUE;1;0;0;60;d;p;h;TRUE;4006;20;nan");
    EXPECT_EQ(s.rinex.gps_glo_diff_s, "0.00000000");
}

TEST(SettingsNormalise, InOutSwitches) {
    Settings s;
    s.SetRaw(Key::kInoutSw, "SERIAL;CAST;TCP;bogus;;PIPE;FILE;RTCM;-4;1;7;5;TRUE;TRUE;1");
    EXPECT_EQ(s.inout_sw.input_type, "COMP");
    EXPECT_EQ(s.inout_sw.Input(), InputType::kSerial);
    EXPECT_TRUE(s.inout_sw.CasterOut());
    EXPECT_FALSE(s.inout_sw.SerialOut());  // "TCP" in the serial switch leaves it off
    EXPECT_FALSE(s.inout_sw.TcpOut());
    EXPECT_EQ(s.inout_sw.outputs[2], "Null");
    EXPECT_EQ(s.inout_sw.outputs[3], "Null");
    EXPECT_TRUE(s.inout_sw.PipeOut());
    EXPECT_TRUE(s.inout_sw.FileOut());
    EXPECT_EQ(s.inout_sw.read_size, "1");
    EXPECT_TRUE(s.inout_sw.auto_start);
    EXPECT_EQ(s.inout_sw.decoder_version, -1);
    EXPECT_EQ(s.inout_sw.dummy_interval_ms, "100");
    EXPECT_TRUE(s.inout_sw.rtcm_encoder_on);
    EXPECT_FALSE(s.inout_sw.encoder_data_on);
    EXPECT_FALSE(s.inout_sw.decoder_data_on);
    EXPECT_EQ(s.Field(Key::kInoutSw, 14), "FALSE");

    s.SetRaw(Key::kInoutSw, ";Null;Null;Null;Null;Null;Null;Null;1001;0;2;3600001");
    EXPECT_EQ(s.inout_sw.input_type, "COMP");
    EXPECT_EQ(s.inout_sw.read_size, "1000");
    EXPECT_EQ(s.inout_sw.decoder_version, 2);
    EXPECT_EQ(s.inout_sw.dummy_interval_ms, "100");
    s.SetRaw(Key::kInoutSw, "DUMMY;Null;Null;Null;Null;Null;Null;Null;0;0;-1;10");
    EXPECT_EQ(s.inout_sw.Input(), InputType::kDummy);
    EXPECT_EQ(s.inout_sw.read_size, "0");
    EXPECT_EQ(s.inout_sw.decoder_version, -1);
    EXPECT_EQ(s.inout_sw.dummy_interval_ms, "10");
}

TEST(SettingsNormalise, RotatingFiles) {
    Settings s;
    s.SetRaw(Key::kFileOut, "out.rcm,1;TRUE;9;7;dir;a;b;c");
    EXPECT_EQ(s.file_out.file_name, "out.rcm");
    EXPECT_EQ(s.file_out.block_size, "4096");
    EXPECT_EQ(s.file_out.rotation_mode, "0");
    EXPECT_FALSE(s.file_out.rotation_on);  // a bad mode switches rotation off
    EXPECT_EQ(s.file_out.rotation_interval, "0_");
    EXPECT_EQ(s.Field(Key::kFileOut, 1), "out.rcm,4096");
    EXPECT_EQ(s.Field(Key::kFileOut, 2), "FALSE");
    EXPECT_EQ(s.Raw(Key::kFileOut), "out.rcm,1;TRUE;9;7;dir;a;b;c");

    s.SetRaw(Key::kFileOut, "STDOUT,8192;TRUE;5;15;dir\xBBsub;a;b;c");
    EXPECT_EQ(s.file_out.block_size, "8192");
    EXPECT_TRUE(s.file_out.rotation_on);
    EXPECT_EQ(s.file_out.rotation_mode, "5");
    EXPECT_EQ(s.file_out.rotation_interval, "15");
    EXPECT_EQ(s.file_out.directory, "dir\xBBsub");

    s.SetRaw(Key::kDecOut, "1;p;TRUE;d.rcd,9000,TRUE,-1,11,dir,a,b,c;TRUE;4004;3;TRUE;TRUE,700;TRUE");
    EXPECT_TRUE(s.dec_out.pipe_on);
    EXPECT_TRUE(s.dec_out.file_on);
    EXPECT_EQ(s.dec_out.file.block_size, "4096");
    EXPECT_FALSE(s.dec_out.file.rotation_on);
    EXPECT_EQ(s.dec_out.file.rotation_mode, "0");
    EXPECT_EQ(s.dec_out.file.rotation_interval, "0_");
    EXPECT_EQ(s.dec_out.max_tcp_clients, "3");
    EXPECT_TRUE(s.dec_out.fkp_watch_on);
    EXPECT_TRUE(s.dec_out.restart_on_silence);
    EXPECT_EQ(s.dec_out.silence_seconds, "600");
    EXPECT_TRUE(s.dec_out.rinex_on);
    EXPECT_EQ(s.Field(Key::kDecOut, 4), "d.rcd,4096,FALSE,0,0_,dir,a,b,c");
    s.SetRaw(Key::kDecOut, "0;p;0;d;0;1;1;0;FALSE,-5;0");
    EXPECT_EQ(s.dec_out.silence_seconds, "0");
}

TEST(SettingsNormalise, EmptyAndOtherFields) {
    Settings s;
    s.SetRaw(Key::kCoIn, "COM2;9600;n;8;1;;TRUE;;1;");
    EXPECT_EQ(s.co_in.modem_script, "Null");
    EXPECT_EQ(s.co_in.phone_number, "Null");
    EXPECT_TRUE(s.co_in.modem_control);
    EXPECT_TRUE(s.co_in.modem_kind);
    EXPECT_EQ(s.co_in.handshake, "");

    s.SetRaw(Key::kKfkp, ";A;;B");
    EXPECT_EQ(s.kfkp.gps_seconds, "0");
    EXPECT_EQ(s.kfkp.glo_seconds, "0");
    EXPECT_EQ(s.kfkp.glo_title, "B");
    s.SetRaw(Key::kWsat, "1;A");
    EXPECT_EQ(s.wsat.gps_min_count, "0");
    EXPECT_EQ(s.wsat.glo_min_count, "0");
    EXPECT_EQ(s.wsat.glo_title, "");
    s.SetRaw(Key::kAi, ";f.dat");
    EXPECT_EQ(s.ai.interval, "0");

    s.SetRaw(Key::kEncDa, "0_MistyOne;k;1;2;1;0;0;0;0;0;TRUE;1025;604801;-1");
    EXPECT_TRUE(s.enc_da.Flag(5));
    EXPECT_TRUE(s.enc_da.Flag(11));
    EXPECT_FALSE(s.enc_da.Flag(6));
    EXPECT_EQ(s.enc_da.key_change_week, "0");
    EXPECT_EQ(s.enc_da.key_change_seconds, "0");
    EXPECT_EQ(s.enc_da.spare, "0");
    s.SetRaw(Key::kEncDa, "0;k;1;2;0;0;0;0;0;0;0;1024;604800;300");
    EXPECT_EQ(s.enc_da.key_change_week, "1024");
    EXPECT_EQ(s.enc_da.spare, "300");

    const std::pair<const char*, int> modes[] = {
        {"FALSE", 1}, {"false", 1}, {"TRUE", 2}, {"True", 2}, {"DEVICE", 3}, {"device", 3}, {"3", 3}, {"xyz", 1}};
    for (const auto& [text, mode] : modes) {
        s.SetRaw(Key::kNmea, std::string("TRUE;") + text + ";52;29;1;13;18;4;f;5;2");
        EXPECT_EQ(s.nmea.mode, mode) << text;
        EXPECT_EQ(s.nmea.mode_text, text);
    }
}

TEST(SettingsRaw, LongValuesAreCutAndCarriageReturnEndsTheFields) {
    Settings s;
    s.SetRaw(Key::kDp, std::string(1500, 'd'));
    EXPECT_EQ(s.Raw(Key::kDp).size(), kMaxRawLength);
    s.SetRaw(Key::kTcpIn, "1.2.3.4;4001\r;TRUE");
    EXPECT_EQ(s.tcp_in.port, "4001");
    EXPECT_FALSE(s.tcp_in.server_mode);
}

TEST(FieldSplit, SeparatorsEmptyFieldsAndLimits) {
    EXPECT_TRUE(SplitFields(';', "").empty());
    EXPECT_EQ(SplitFields(';', "a;;b;"), (std::vector<std::string>{"a", "", "b", ""}));
    EXPECT_EQ(SplitFields(';', "a\tb;c\r\nd;e"), (std::vector<std::string>{"a\tb", "c"}));
    EXPECT_EQ(SplitFields(' ', " \t a  \tb  "), (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(SplitFields(' ', "  \t ").empty());

    std::string many;
    for (int i = 0; i < 250; ++i) many += "x;";
    EXPECT_EQ(SplitFields(';', many).size(), 200u);
    EXPECT_EQ(SplitFields(',', std::string(1200, 'z'))[0].size(), 999u);
}

TEST(FieldSplit, IntegerReadingSaturates) {
    EXPECT_EQ(TextToInt("42abc"), 42);
    EXPECT_EQ(TextToInt("  -7"), -7);
    EXPECT_EQ(TextToInt("abc"), 0);
    EXPECT_EQ(TextToInt(""), 0);
    EXPECT_EQ(TextToInt("99999999999999999999"), 2147483647);
    EXPECT_EQ(TextToInt("-99999999999999999999"), -2147483647 - 1);
}

}  // namespace
}  // namespace zerlan
