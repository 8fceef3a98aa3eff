// The NTRIP client's texts, and whole jobs against a fake caster: the caster input, direct or
// through a proxy, and the upload.
#include <memory>

#include "support/RelayJob.h"
#include "jobs/NtripClient.h"
#include "platform/Sleep.h"
#include "support/FakeCaster.h"

namespace zerlan {
namespace {

using namespace std::string_literals;
using testing::Count;
using testing::FakeCaster;
using testing::Pattern;
using testing::Protocol;

// A byte source over a fixed answer; running dry is a transfer failure.
ByteSource Source(const std::string& text, size_t* used = nullptr) {
    auto pos = std::make_shared<size_t>(0);
    return [text, pos, used](char& c) {
        if (*pos >= text.size()) return 2;
        c = text[(*pos)++];
        if (used) *used = *pos;
        return 0;
    };
}

// Requests, headers and chunks are checked on the wire below; here what the wire tests do not reach.
TEST(NtripClient, MountpointsAndStatusLines) {
    EXPECT_EQ(MountpointPath("\xAFVRS\xAF" "A"), "/VRS/A");
    EXPECT_EQ(MountpointPath(""), "/");
    // A caster that does not know the mountpoint answers with its table.
    EXPECT_FALSE(ClientAccepts("SOURCETABLE 200 OK\r\n"));
    EXPECT_FALSE(ProxyAccepts("HTTP/1.1 407 Proxy Authentication Required\r\n"));
    EXPECT_TRUE(IsChunkedHeader("transfer-Encoding:  Chunked\r\n"));
}

TEST(NtripClient, ProxyAnswerSkipsHeadersAndRefusesOtherStatus) {
    std::string shown, refused;
    auto show = [&](const std::string& l) { shown += l; };
    size_t used = 0;
    const std::string ok = "HTTP/1.1 200 Connection established\r\nProxy-Agent: x\r\n\r\nICY";
    EXPECT_EQ(ReadProxyAnswer(Source(ok, &used), show, &refused), ProxyOutcome::kAccepted);
    EXPECT_EQ(used, ok.size() - 3);  // the caster's bytes stay unread
    EXPECT_EQ(shown, ok.substr(0, ok.size() - 3));

    EXPECT_EQ(ReadProxyAnswer(Source("HTTP/1.0 403 Forbidden\r\n"), show, &refused), ProxyOutcome::kRefusedLine);
    EXPECT_EQ(refused, "HTTP/1.0 403 Forbidden\r\n");
    // An empty line before any status is no acceptance.
    EXPECT_EQ(ReadProxyAnswer(Source("\r\n"), show, &refused), ProxyOutcome::kRefusedLine);
    EXPECT_EQ(ReadProxyAnswer(Source(std::string(1200, 'x')), show, &refused), ProxyOutcome::kRefusedLong);
    EXPECT_EQ(refused.size(), 999u);
    EXPECT_EQ(ReadProxyAnswer(Source("HTTP/1.0 200 ok\r\n"), show, &refused), ProxyOutcome::kTransferFailed);
    std::string endless = "HTTP/1.0 200 ok\r\n";
    for (int i = 0; i < 60; ++i) endless += "X: y\r\n";
    EXPECT_EQ(ReadProxyAnswer(Source(endless, &used), show, &refused), ProxyOutcome::kAccepted);
    EXPECT_LT(used, endless.size());
}

TEST(NtripClient, LinesAndHeadersAreBounded) {
    std::string line;
    EXPECT_EQ(ReadLine(Source(std::string(1600, 'a')), 1499, &line), LineOutcome::kTooLong);
    EXPECT_EQ(line.size(), 1499u);
    bool chunked = false;
    std::string many;
    for (int i = 0; i < 51; ++i) many += "X: y\r\n";
    EXPECT_EQ(SkipHeaders(Source(many + "\r\n"), &chunked), HeaderOutcome::kTooMany);
    EXPECT_EQ(SkipHeaders(Source("X: y\r\n"), &chunked), HeaderOutcome::kTransferFailed);
}

TEST(NtripClient, ChunkedBodyIsDecodedAcrossAnySplit) {
    const std::string body = "5\r\n\xD3\x00\x13\x3E\xD0\r\nA;ext=1\r\n0123456789\r\n0\r\nTrailer: t\r\n\r\n"s;
    const std::string payload = std::string("\xD3\x00\x13\x3E\xD0", 5) + "0123456789";
    for (size_t split = 0; split <= body.size(); ++split) {
        ChunkedDecoder d;
        std::string out;
        EXPECT_TRUE(d.Feed(body.data(), static_cast<int>(split), &out));
        EXPECT_TRUE(d.Feed(body.data() + split, static_cast<int>(body.size() - split), &out));
        EXPECT_EQ(out, payload) << "split at " << split;
        EXPECT_TRUE(d.finished());
    }
    // Broken framing is refused, not passed on as data.
    for (const char* bad : {"Z\r\n", "3\r\nabcX", "\r\n", "3x\r\n", "FFFFFFFFF\r\n"}) {
        ChunkedDecoder d;
        std::string out;
        EXPECT_FALSE(d.Feed(bad, static_cast<int>(std::string(bad).size()), &out)) << bad;
        EXPECT_FALSE(d.finished());
    }
}

class CasterThreads : public testing::RelayJob {
protected:
    // A caster input relaying into out.bin.
    void StartInputJob(const std::string& cast_in, bool gga = false) {
        Configure("/inout_sw,\"CAST;Null;Null;Null;Null;Null;FILE;Null;1000;0;1;100\" /cast_in,\"" + cast_in +
                  "\" /nmea,\"" + (gga ? "TRUE" : "FALSE") + ";FALSE;52;29;21.5;13;18;43.7;x;0;0_None\"" +
                  testing::FileOut("out.bin"));
        view_.jobs().Start();
        ASSERT_TRUE(view_.jobs().EverStarted());
    }
    // Once the file output has counted `n` bytes, stops the job and gives them.
    std::string OutputAfter(size_t n, const FakeCaster& caster) {
        EXPECT_TRUE(PumpUntil(
            [&] { return state_.output_bar[static_cast<int>(OutputKind::kFile)].load() >= static_cast<int32_t>(n); },
            10000))
            << renderer_.shown << " attempts " << caster.attempts();
        EXPECT_TRUE(StopAndWaitIdle(10000));
        return testing::ReadFile("out.bin");
    }
    // On the fake's thread: bytes sent before the file output holds its pool slot would have no reader.
    void WaitForFileOutput() {
        for (int i = 0; i < 1000 && !renderer_.Shows("File-Open of out.bin !"); ++i) Sleep(5);
    }
};

TEST_F(CasterThreads, TheLoginIsByteExactTheGgaFollowsAndAQuietCasterKeepsItsOneConnection) {
    const std::string data = Pattern(1500);
    FakeCaster caster([&](FakeCaster& c, int fd, int attempt) {
        if (attempt > 0) return;
        c.Record(c.ReadRequest(fd));
        WaitForFileOutput();
        FakeCaster::SendAll(fd, "ICY 200 OK \x1b[2J\r\n");
        // The GGA, then quiet for longer than the receive time-out before the first stream byte.
        c.Record(c.ReadSome(fd, 4096, 2800));
        FakeCaster::SendAll(fd, data);
        c.Hold(fd);
    });
    StartInputJob("127.0.0.1;" + caster.port() + ";RTCM3;x;us\xAFr:p\xE4ss;100;0;0.0.0.0;8080", true);
    EXPECT_EQ(OutputAfter(data.size(), caster), data);
    const std::vector<std::string> got = caster.received();
    ASSERT_EQ(got.size(), 2u);
    // "us/r:p\xE4ss" in Base64.
    EXPECT_EQ(got[0],
              "GET /RTCM3 HTTP/1.0\r\nUser-Agent: NTRIP MorvikV1.08-zezur1\r\nAuthorization: Basic dXMvcjpw5HNz\r\n\r\n");
    EXPECT_EQ(got[1].rfind("\r\n$", 0), 0u) << got[1];
    EXPECT_NE(got[1].find("GGA,"), std::string::npos) << got[1];
    EXPECT_EQ(caster.attempts(), 1);
    EXPECT_TRUE(renderer_.Shows("Connect with 127.0.0.1:" + caster.port() + " !\r\n"));
    // The status line is received text, masked on a terminal.
    EXPECT_NE(renderer_.received.find("ICY 200 OK \x1b[2J\r\n"), std::string::npos);
    EXPECT_EQ(Count(Protocol(), "Ntrip-Radio : no_failure, FromCasterIn-Start "), 1);
}

TEST_F(CasterThreads, UnauthorizedIsRefusedAndAStopCutsTheLongReconnectWait) {
    FakeCaster caster([](FakeCaster& c, int fd, int) {
        c.ReadRequest(fd);
        FakeCaster::SendAll(fd, "HTTP/1.0 401 Unauthorized\r\n\r\n");
    });
    StartInputJob("127.0.0.1;" + caster.port() + ";\xAFMP;x;;60000;0;0.0.0.0;8080");
    ASSERT_TRUE(Shown("Not connection to ntrip-caster !\r\n", 10000));
    EXPECT_TRUE(renderer_.Shows("HTTP/1.0 401 Unauthorized\r\n"));
    const int64_t asked = Clock::Get().MonotonicMs();
    ASSERT_TRUE(StopAndWaitIdle(3000));
    EXPECT_LT(Clock::Get().MonotonicMs() - asked, 2000);
    EXPECT_EQ(caster.attempts(), 1);
    EXPECT_EQ(Protocol().find("FromCasterIn-Start"), std::string::npos);
}

TEST_F(CasterThreads, AnHttpCasterBehindAProxyHasItsHeadersSkippedAndItsChunkedBodyDecoded) {
    const std::string data = Pattern(700);
    FakeCaster proxy([&](FakeCaster& c, int fd, int attempt) {
        if (attempt > 0) return;
        c.Record(c.ReadRequest(fd));
        FakeCaster::SendAll(fd, "HTTP/1.1 200 Connection established\r\nProxy-Agent: t\x1b[2Jst\r\n\r\n");
        c.Record(c.ReadRequest(fd));
        WaitForFileOutput();
        FakeCaster::SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Type: gnss/data\r\nTransfer-Encoding: chunked\r\n\r\n");
        FakeCaster::SendAll(fd, "1f4\r\n" + data.substr(0, 500) + "\r\n");
        FakeCaster::SendAll(fd, "c8;x=y\r\n" + data.substr(500) + "\r\n");
        c.Hold(fd);
    });
    StartInputJob("caster.example.net;2101;RTCM3;x;u:p;100;1;127.0.0.1;" + proxy.port());
    EXPECT_EQ(OutputAfter(data.size(), proxy), data);
    const std::vector<std::string> got = proxy.received();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], "CONNECT caster.example.net:2101 HTTP/1.0\r\nHost: caster.example.net:2101\r\n\r\n");
    EXPECT_EQ(got[1].rfind("GET /RTCM3 HTTP/1.0\r\n", 0), 0u);
    EXPECT_TRUE(renderer_.Shows("Connect with 127.0.0.1:" + proxy.port() + " !\r\n"));
    EXPECT_NE(renderer_.received.find("Proxy-Agent: t\x1b[2Jst"), std::string::npos);
}

// A bare empty line from the proxy and a 401 from the caster are refusals in later attempts.
TEST_F(CasterThreads, AnEarlierAcceptedAttemptDoesNotAcceptALaterRefusal) {
    FakeCaster proxy([](FakeCaster& c, int fd, int attempt) {
        c.ReadRequest(fd);
        if (attempt == 1) {
            FakeCaster::SendAll(fd, "\r\n");
            return;
        }
        FakeCaster::SendAll(fd, "HTTP/1.0 200 Connection established\r\n\r\n");
        c.ReadRequest(fd);
        // First an accepted login without data (given up after 2 s), then a refusal.
        FakeCaster::SendAll(fd, attempt == 0 ? "ICY 200 OK\r\n" : "HTTP/1.0 401 Unauthorized\r\n");
        if (attempt == 0) c.ReadSome(fd, 100, 3000);
    });
    StartInputJob("caster.example.net;2101;RTCM3;x;u:p;100;1;127.0.0.1;" + proxy.port());
    ASSERT_TRUE(Shown("Not connection to Proxy-Server(1) !\r\n\r\n", 10000));
    ASSERT_TRUE(Shown("Not connection to ntrip-caster !\r\n", 10000));
    EXPECT_TRUE(StopAndWaitIdle(10000));
    EXPECT_EQ(Count(Protocol(), "FromCasterIn-Start"), 1);
    EXPECT_GE(proxy.attempts(), 3);
}

TEST_F(CasterThreads, TheUploadLogsInAsSourceAfterABadPasswordAndSendsTheStream) {
    const std::string data = Pattern(2500);
    FakeCaster caster([&](FakeCaster& c, int fd, int attempt) {
        c.Record(c.ReadRequest(fd));
        FakeCaster::SendAll(fd, attempt == 0 ? "ERROR - Bad Password\r\n" : "OK\r\n");
        if (attempt > 0) c.Record(c.ReadSome(fd, data.size() + 2, 5000));
    });
    // An input that never delivers: the test feeds the pool once the upload holds its slot.
    Configure("/inout_sw,\"TCP;CAST;Null;Null;Null;Null;Null;Null;1000;0;1;100\" /tcp_in,\"127.0.0.1;" +
              testing::ClosedPort() + ";FALSE\" /cast_out,\"127.0.0.1;" + caster.port() +
              ";MOUNT1;x;pa\xAFss;100;0;0.0.0.0;8080\"");
    view_.jobs().Start();
    ASSERT_TRUE(PumpUntil([&] { return state_.input_pool_a.SlotCount() >= 1; }, 5000));
    for (int at = 0; at < 2500; at += 1250) {
        ASSERT_TRUE(PumpUntil([&] { return state_.input_pool_a.Write(data.data() + at, 1250) == 1250; }, 5000));
    }
    ASSERT_TRUE(PumpUntil([&] { return caster.received().size() >= 3; }, 10000));
    const std::vector<std::string> got = caster.received();
    const std::string login = "SOURCE pa/ss /MOUNT1\r\nSource-Agent: NTRIP MorvikV1.08-zezur1CMD/1.0\r\n\r\n";
    EXPECT_EQ(got[0], login);
    EXPECT_EQ(got[1], login);
    EXPECT_EQ(got[2], "\r\n" + data);
    EXPECT_TRUE(renderer_.Shows("Connect mit 127.0.0.1:" + caster.port() + " !\r\n"));
    EXPECT_TRUE(renderer_.Shows("ERROR - Bad Password\r\n"));
    EXPECT_TRUE(renderer_.Shows("Not connection to ntrip-caster !\r\n"));
    EXPECT_EQ(Count(Protocol(), "Ntrip-Server : no_failure, ToCasterOut-Start "), 1);
}

}  // namespace
}  // namespace zerlan
