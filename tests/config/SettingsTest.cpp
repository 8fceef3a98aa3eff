// Each key's fields as the jobs read them; corrections leave the raw text as read.
#include "config/Settings.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "config/FieldSplit.h"

namespace zerlan {
namespace {

using config_detail::SplitFields;
using config_detail::TextToInt;

TEST(SettingsDefaults, ParsedFieldsOfTheBuiltInValues) {
    Settings s;
    EXPECT_EQ(s.rinex.gps_glo_diff_s, "18.00000000");
    EXPECT_EQ(s.html.items.size(), 19u);  // sub-lists split on ','
    // Eight fields, field 8 not a plain boolean: the two missing ones read as off and empty.
    EXPECT_EQ(s.Field(Key::kDecOut, 8), "TRUE,60");
    EXPECT_FALSE(s.dec_out.fkp_watch_on || s.dec_out.restart_on_silence);
    EXPECT_EQ(s.dec_out.silence_seconds, "");
}

TEST(SettingsNormalise, OutOfRangeFieldsAreCorrectedAndTheRawTextKept) {
    const std::tuple<Key, std::string, std::vector<std::pair<int, std::string>>> cases[] = {
        {Key::kCastIn, "h\xAFx;2101;MP;Other/9;u:p\xAFw;0;TRUE;proxy;3128",
         {{1, "h\xAFx"}, {4, kProgramId}, {5, "u:p\xAFw"}, {6, "500"}}},  // the identity is ours
        {Key::kCastOut, "h;80;m;id;pw;-20", {{6, "500"}}},
        {Key::kCastOut, "h;80;m;id;pw;", {{6, "500"}}},
        {Key::kCastOut, "h;80;m;id;pw;2500", {{6, "2500"}}},
        {Key::kTcpOut, "1.2.3.4;4000;TRUE;500;TRUE;9999", {{4, "200"}, {6, "3600"}}},
        {Key::kTcpOut, "1.2.3.4;4000;TRUE;0;TRUE;-3", {{4, "1"}, {6, "0"}}},
        {Key::kTcpOut, "1.2.3.4;4000;TRUE;2;TRUE;1", {{4, "2"}, {6, "1"}}},
        {Key::kUdpOut, "a;1;TRUE;b;2;201", {{6, "200"}}},
        {Key::kRinex, "TRUE;TRUE;TRUE;0;50000;6;7;d;p;h;TRUE;4006;1;-2",
         {{4, "15"}, {5, "0"}, {6, "0"}, {7, "0_"}, {13, "1"}, {14, "0.00000000"}}},
        {Key::kRinex, "TRUE;TRUE;TRUE;60;-43200;5;30;d;p;h;TRUE;4006;200;2.5",
         {{4, "60"}, {5, "-43200"}, {6, "5"}, {7, "30"}, {13, "200"}, {14, "2.50000000"}}},
        {Key::kRinex, "TRUE;TRUE;TRUE;1;0;0;60;d;p;h;TRUE;4006;20;61", {{14, "60.00000000"}}},
        {Key::kRinex, "TRUE;TRUE;TRUE;1;0;0;60;d;p;h;TRUE;4006;20;nan", {{14, "0.00000000"}}},
        {Key::kInoutSw, "SERIAL;CAST;TCP;bogus;;PIPE;FILE;RTCM;-4;1;7;5;TRUE;TRUE;1",
         {{1, "COMP"}, {2, "CAST"}, {3, "TCP"}, {4, "Null"}, {5, "Null"}, {9, "1"}, {11, "-1"}, {12, "100"},
          {14, "FALSE"}, {15, "FALSE"}}},  // the encoder-data sides stay off
        {Key::kInoutSw, ";Null;Null;Null;Null;Null;Null;Null;1001;0;2;3600001",
         {{1, "COMP"}, {9, "1000"}, {11, "2"}, {12, "100"}}},
        {Key::kInoutSw, "DUMMY;Null;Null;Null;Null;Null;Null;Null;0;0;-1;10",
         {{1, "DUMMY"}, {9, "0"}, {11, "-1"}, {12, "10"}}},
        {Key::kFileOut, "out.rcm,1;TRUE;9;7;dir;a;b;c", {{1, "out.rcm,4096"}, {2, "FALSE"}, {3, "0"}, {4, "0_"}}},
        {Key::kFileOut, "STDOUT,8192;TRUE;5;15;d\xBBs;a;b;c",
         {{1, "STDOUT,8192"}, {2, "TRUE"}, {3, "5"}, {4, "15"}, {5, "d\xBBs"}}},
        {Key::kDecOut, "1;p;TRUE;d.rcd,9000,TRUE,-1,11,dir,a,b,c;TRUE;4004;3;TRUE;TRUE,700;TRUE",
         {{4, "d.rcd,4096,FALSE,0,0_,dir,a,b,c"}, {7, "3"}, {9, "TRUE,600"}}},
        {Key::kDecOut, "0;p;0;d;0;1;1;0;FALSE,-5;0", {{9, "FALSE,0"}}},
        {Key::kCoIn, "COM2;9600;n;8;1;;TRUE;;1;", {{6, ""}, {8, "Null"}, {10, "Null"}}},
        {Key::kKfkp, ";A;;B", {{1, "0"}, {3, "0"}, {4, "B"}}},
        {Key::kWsat, "1;A", {{3, "0"}, {4, "0"}, {5, ""}, {6, "0"}}},
        {Key::kAi, ";f.dat", {{1, "0"}}},
        {Key::kEncDa, "0_MistyOne;k;1;2;1;0;0;0;0;0;TRUE;1025;604801;-1", {{12, "0"}, {13, "0"}, {14, "0"}}},
        {Key::kEncDa, "0;k;1;2;0;0;0;0;0;0;0;1024;604800;300", {{12, "1024"}, {13, "604800"}, {14, "300"}}},
        {Key::kTcpIn, "1.2.3.4;4001\r;TRUE", {{2, "4001"}, {3, ""}}},  // a carriage return ends the fields
    };
    for (const auto& [key, raw, fields] : cases) {
        SCOPED_TRACE(raw);
        Settings s;
        s.SetRaw(key, raw);
        EXPECT_EQ(s.Raw(key), raw);
        for (const auto& [field, text] : fields) EXPECT_EQ(s.Field(key, field), text) << "field " << field;
    }
}

TEST(SettingsNormalise, SwitchesAndFlagsAsTheJobsReadThem) {
    Settings s;
    s.SetRaw(Key::kInoutSw, "SERIAL;CAST;TCP;bogus;;PIPE;FILE;RTCM;-4;1;7;5;TRUE;TRUE;1");
    EXPECT_EQ(s.inout_sw.Input(), InputType::kSerial);
    EXPECT_FALSE(s.inout_sw.SerialOut());  // "TCP" in the serial switch leaves it off
    EXPECT_TRUE(s.inout_sw.CasterOut() && s.inout_sw.PipeOut() && s.inout_sw.FileOut());
    const std::pair<const char*, int> modes[] = {
        {"FALSE", 1}, {"false", 1}, {"TRUE", 2}, {"True", 2}, {"DEVICE", 3}, {"device", 3}, {"3", 3}, {"xyz", 1}};
    for (const auto& [text, mode] : modes) {
        s.SetRaw(Key::kNmea, std::string("TRUE;") + text + ";52;29;1;13;18;4;f;5;2");
        EXPECT_EQ(s.nmea.mode, mode) << text;
        EXPECT_EQ(s.nmea.mode_text, text);
    }
    for (const char* t : {"TRUE", "True", "true", "1", "2", "17abc", " 3"}) EXPECT_TRUE(IsTrue(t)) << t;
    for (const char* f : {"FALSE", "false", "0", "-1", "", "tRUE", "yes", "TRUE,60", "ON"})
        EXPECT_FALSE(IsTrue(f)) << f;
}

TEST(FieldSplit, SeparatorsEmptyFieldsAndLimits) {
    EXPECT_TRUE(SplitFields(';', "").empty());
    EXPECT_EQ(SplitFields(' ', " \t a  \tb  "), (std::vector<std::string>{"a", "b"}));
    std::string many;
    for (int i = 0; i < 250; ++i) many += "x;";
    EXPECT_EQ(SplitFields(';', many).size(), 200u);
    EXPECT_EQ(SplitFields(',', std::string(1200, 'z'))[0].size(), 999u);
    Settings s;
    s.SetRaw(Key::kDp, std::string(1500, 'd'));
    EXPECT_EQ(s.Raw(Key::kDp).size(), kMaxRawLength);

    const std::pair<const char*, int> numbers[] = {{"42abc", 42}, {"  -7", -7}, {"abc", 0}, {"", 0},
        {"99999999999999999999", 2147483647}, {"-99999999999999999999", -2147483647 - 1}};
    for (const auto& [text, value] : numbers) EXPECT_EQ(TextToInt(text), value) << text;
}

}  // namespace
}  // namespace zerlan
