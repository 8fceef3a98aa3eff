// The page, JSON and metrics texts for a known state: the real length in the
// answer header, escaping of every outside text, and a page that outgrows
// the old 20000-byte bound.
#include <gtest/gtest.h>

#include <string>

#include "services/StatusPage.h"

namespace zerlan {
namespace {

StatusFacts KnownState() {
    StatusFacts f;
    f.refresh_text = "120";
    f.refresh_s = 120;
    f.now_text = "03.02.2025 09:05:07";
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

TEST(StatusPage, ResponseHeaderCarriesTheRealLengthAndTheFixedLines) {
    EXPECT_EQ(HttpResponseHeader(21000),
              "HTTP/1.0 200 OK\r\nServer: MorvikV1.08-zezur1-Http\r\nDate: Mar 2011\r\nContent-Type: text/html\r\n"
              "Accept-Ranges: bytes\r\nContent-Length: 21000\r\n\r\n");
}

TEST(StatusPage, PageShowsTheKnownStateInItsTables) {
    StatusPage page;
    const StatusFacts f = KnownState();
    page.BuildHead(f);
    page.BuildBody(f, 1);
    const std::string& h = page.Head();
    const std::string& b = page.Body();
    EXPECT_EQ(h.rfind("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 3.2//EN\">\n<HTML>\n<HEAD>\n", 0), 0u);
    EXPECT_NE(h.find("<META http-equiv=\"refresh\" content=\"120\">\n"), std::string::npos);
    EXPECT_NE(h.find("<br><b>Refresh Interval 120 Sek !</b>\n"), std::string::npos);
    // The TCP row: input True with the input's rate, output True with its rate.
    EXPECT_NE(h.find("<tr><th> TCP </th><th><CENTER> True </CENTER></th><th><CENTER> 812 </CENTER></th>"
                     "<th><CENTER> True </CENTER></th><th><CENTER> 800 </CENTER></th></tr>\n"),
              std::string::npos);
    EXPECT_NE(b.find("<td><CENTER> 0815 </CENTER></td><td><CENTER> 2345 </CENTER></td>"), std::string::npos);
    // Satellite 7 has FKP and is lit; 3 has none.
    EXPECT_NE(b.find("<td BGCOLOR=#50ff50><FONT SIZE=2 FACE=\"Arial\">07</Font></td>"), std::string::npos);
    EXPECT_NE(b.find("<td ><FONT SIZE=2 FACE=\"Arial\">--</Font></td>"), std::string::npos);
    EXPECT_NE(b.find("COLOR=#000000>1012</Font></td><td><FONT SIZE=2 FACE=\"Arial\" COLOR=#000000>03.02.2025  "
                     "09:05:06 (PC-Time)</FONT></td><td><center><FONT SIZE=2 FACE=\"Arial\" COLOR=#000000>1</FONT>"),
              std::string::npos);
    EXPECT_NE(b.find("COLOR=#000000>1033</Font></td><td><FONT SIZE=2 FACE=\"Arial\" COLOR=#000000>----</FONT>"),
              std::string::npos);
    EXPECT_TRUE(b.ends_with("</td></tr>\n</table></CENTER>\n</FORM>\n</BODY>\n"));
}

TEST(StatusPage, ManyMessageTypesGrowThePagePastTwentyThousandBytes) {
    StatusFacts f = KnownState();
    for (int t = 1; t <= 200; ++t) f.page_types.push_back(std::to_string(t));
    StatusPage page;
    page.BuildHead(f);
    page.BuildBody(f, 1);
    EXPECT_GT(page.Page().size(), 20000u);
    EXPECT_NE(page.Body().find(">200</Font>"), std::string::npos);
    EXPECT_TRUE(page.Body().ends_with("</BODY>\n"));
}

TEST(StatusPage, OutsideTextsAreEscapedForEachFormat) {
    StatusFacts f = KnownState();
    const std::string evil = "<script>\"x\"&'y'\\\xB0\x01";
    f.station = evil;
    f.input_address = evil;
    f.project = evil;
    f.status_line = "TCP-Server:1; " + evil;
    f.page_types.push_back(evil);
    f.messages[0].time = evil;

    StatusPage page;
    page.BuildHead(f);
    page.BuildBody(f, 0);
    const std::string html = page.Page();
    EXPECT_EQ(html.find("<script>"), std::string::npos);
    EXPECT_EQ(html.find('\x01'), std::string::npos);
    EXPECT_NE(html.find("&lt;script&gt;&quot;x&quot;&amp;&#39;y&#39;\\&#176;."), std::string::npos);

    const std::string json = StatusJson(f);
    EXPECT_NE(json.find("\"station\": \"<script>\\\"x\\\"&'y'\\\\\\u00b0\\u0001\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"last_time\": \"<script>\\\"x\\\""), std::string::npos);

    const std::string metrics = StatusMetrics(f);
    EXPECT_NE(metrics.find("zerlan_station_info{station=\"<script>\\\"x\\\"&'y'\\\\\xC2\xB0.\"} 1\n"),
              std::string::npos)
        << metrics;
}

TEST(StatusPage, JsonTextOfAKnownState) {
    const std::string json = StatusJson(KnownState());
    for (const char* part : {
             "  \"station\": \"0815\",\n  \"gps_week\": \"2345\",\n  \"message_count\": 42,\n",
             "  \"input\": {\"type\": \"TCP\", \"address\": \"Cgnss.example:2101\", \"bytes_per_time_unit\": 812, "
             "\"bytes_total\": 123456789012},\n",
             "{\"output\": \"tcp\", \"type\": \"TCP\", \"on\": true, \"address\": \"SP4000\", "
             "\"bytes_per_time_unit\": 800, \"bytes_total\": 5000000000}",
             "  \"satellites\": {\"gps\": [3,7,12], \"glonass\": []},\n  \"fkp\": {\"gps\": [7], \"glonass\": []},\n",
             "{\"type\": 1012, \"system\": \"glonass\", \"last_time\": \"03.02.2025  09:05:06 (PC-Time)\", "
             "\"period_s\": 1}",
         }) {
        EXPECT_NE(json.find(part), std::string::npos) << part << "\n" << json;
    }
}

TEST(StatusPage, MetricsTextOfAKnownState) {
    const std::string m = StatusMetrics(KnownState());
    for (const char* part : {
             "# TYPE zerlan_input_bytes_total counter\nzerlan_input_bytes_total{type=\"TCP\"} 123456789012\n",
             "zerlan_output_bytes_total{output=\"tcp\"} 5000000000\n",
             "zerlan_output_enabled{output=\"file\"} 0\n",
             "zerlan_output_bytes_per_time_unit{output=\"tcp\"} 800\n",
             "zerlan_gps_week 2345\n",
             "zerlan_decoded_frames 42\n",
             "zerlan_satellites{system=\"gps\"} 3\n",
             "zerlan_fkp_satellites{system=\"gps\"} 1\n",
             "zerlan_message_period_seconds{type=\"1012\",system=\"glonass\"} 1\n",
         }) {
        EXPECT_NE(m.find(part), std::string::npos) << part << "\n" << m;
    }
    // Every sample line belongs to a family announced just before it.
    EXPECT_EQ(m.find("zerlan_satellites{"), m.find("# TYPE zerlan_satellites gauge\n") + 31);
}

}  // namespace
}  // namespace zerlan
