// The page, JSON and metrics texts for a known state and the escaping of
// every outside text.
#include <gtest/gtest.h>

#include <string>

#include "services/StatusPage.h"

namespace zerlan {
namespace {

StatusFacts KnownState() {
    StatusFacts f;
    f.refresh_text = "120";
    f.refresh_s = 120;
    f.input_type = "TCP";
    f.input_address = "Cgnss.example:2101";
    f.input_rate = 812;
    f.input_bytes = 123456789012LL;
    f.outputs[StatusFacts::kTcp] = {"tcp", "TCP", true, "SP4000", 800, 5000000000LL};
    f.outputs[StatusFacts::kFile] = {"file", "FILE", false, "", 0, 0};
    f.station = "0815";
    f.gps_week = "2345";
    f.message_count = "000000042";
    f.satellites[0] = {3, 7, 12};
    f.fkp[0] = {7};
    f.messages = {{1004, 0, "03.02.2025  09:05:06 (PC-Time)", 1}, {1012, 1, "03.02.2025  09:05:06 (PC-Time)", 1}};
    f.page_types = {"1004", "1012", "1033"};
    return f;
}

std::string Page(const StatusFacts& f) {
    StatusPage page;
    page.BuildHead(f);
    page.BuildBody(f, 1);
    return page.Page();
}

void ExpectParts(const std::string& text, std::initializer_list<const char*> parts) {
    for (const char* part : parts) EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
}

TEST(StatusPage, TextsOfAKnownState) {
    const std::string page = Page(KnownState());
    EXPECT_TRUE(page.ends_with("</td></tr>\n</table></CENTER>\n</FORM>\n</BODY>\n"));
    ExpectParts(page, {
        "<META http-equiv=\"refresh\" content=\"120\">\n", "<br><b>Refresh Interval 120 Sek !</b>\n",
        "<tr><th> TCP </th><th><CENTER> True </CENTER></th><th><CENTER> 812 </CENTER></th>"
        "<th><CENTER> True </CENTER></th><th><CENTER> 800 </CENTER></th></tr>\n",
        "<td><CENTER> 0815 </CENTER></td><td><CENTER> 2345 </CENTER></td>",
        // Satellite 7 has FKP and is lit; 3 has none.
        "<td BGCOLOR=#50ff50><FONT SIZE=2 FACE=\"Arial\">07</Font></td>", "<td ><FONT SIZE=2 FACE=\"Arial\">--</Font>",
        ">1012</Font></td><td><FONT SIZE=2 FACE=\"Arial\" COLOR=#000000>03.02.2025  09:05:06 (PC-Time)</FONT></td>",
        ">1033</Font></td><td><FONT SIZE=2 FACE=\"Arial\" COLOR=#000000>----</FONT>"});

    ExpectParts(StatusJson(KnownState()), {
        "  \"station\": \"0815\",\n  \"gps_week\": \"2345\",\n  \"message_count\": 42,\n",
        "  \"input\": {\"type\": \"TCP\", \"address\": \"Cgnss.example:2101\", \"bytes_per_time_unit\": 812, "
        "\"bytes_total\": 123456789012},\n",
        "{\"output\": \"tcp\", \"type\": \"TCP\", \"on\": true, \"address\": \"SP4000\", \"bytes_per_time_unit\": 800, "
        "\"bytes_total\": 5000000000}",
        "  \"satellites\": {\"gps\": [3,7,12], \"glonass\": []},\n  \"fkp\": {\"gps\": [7], \"glonass\": []},\n",
        "{\"type\": 1012, \"system\": \"glonass\", \"last_time\": \"03.02.2025  09:05:06 (PC-Time)\", \"period_s\": 1}"});

    ExpectParts(StatusMetrics(KnownState()), {
        "# TYPE zerlan_input_bytes_total counter\nzerlan_input_bytes_total{type=\"TCP\"} 123456789012\n",
        "zerlan_output_bytes_total{output=\"tcp\"} 5000000000\n", "zerlan_output_enabled{output=\"file\"} 0\n",
        "zerlan_output_bytes_per_time_unit{output=\"tcp\"} 800\n", "zerlan_gps_week 2345\n",
        "zerlan_decoded_frames 42\n", "# TYPE zerlan_satellites gauge\nzerlan_satellites{system=\"gps\"} 3\n",
        "zerlan_fkp_satellites{system=\"gps\"} 1\n",
        "zerlan_message_period_seconds{type=\"1012\",system=\"glonass\"} 1\n"});
}

TEST(StatusPage, OutsideTextsAreEscapedForEachFormat) {
    StatusFacts f = KnownState();
    const std::string evil = "<script>\"x\"&'y'\\\xB0\x01";
    f.station = f.input_address = f.project = f.messages[0].time = evil;
    f.status_line = "TCP-Server:1; " + evil;
    f.page_types.push_back(evil);

    const std::string html = Page(f);
    EXPECT_EQ(html.find("<script>"), std::string::npos);
    EXPECT_EQ(html.find('\x01'), std::string::npos);
    EXPECT_NE(html.find("&lt;script&gt;&quot;x&quot;&amp;&#39;y&#39;\\&#176;."), std::string::npos);
    ExpectParts(StatusJson(f), {"\"station\": \"<script>\\\"x\\\"&'y'\\\\\\u00b0\\u0001\"",
                                "\"last_time\": \"<script>\\\"x\\\""});
    ExpectParts(StatusMetrics(f), {"zerlan_station_info{station=\"<script>\\\"x\\\"&'y'\\\\\xC2\xB0.\"} 1\n"});
}

}  // namespace
}  // namespace zerlan
