// Whole jobs against a fake caster on a loopback port: the caster input logs
// in, directly or through a proxy, and relays into a file output; the upload
// logs in and sends what the input pool holds.
#include <gtest/gtest.h>

#include "support/RelayJob.h"
#include "platform/Sleep.h"
#include "support/FakeCaster.h"

namespace zerlan {
namespace {

using testing::Count;
using testing::FakeCaster;
using testing::Pattern;
using testing::Protocol;

class CasterThreads : public testing::RelayJob {
protected:
    // A caster input relaying into out.bin; `cast_in` is the setting value.
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
        return StopAndRead();
    }
    std::string StopAndRead() {
        view_.jobs().Stop();
        EXPECT_TRUE(PumpUntil([&] { return state_.registry.GetState() == 2; }, 10000));
        return testing::ReadFile("out.bin");
    }
    // Runs on the fake's thread: the file output takes its pool slot before
    // it shows this, and bytes the input writes earlier would have no reader.
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
        std::string after = c.ReadSome(fd, 2, 3000);
        while (after.find('*') == std::string::npos || after.back() != '\n') {
            const std::string more = c.ReadSome(fd, 1, 3000);
            if (more.empty()) break;
            after += more;
        }
        c.Record(after);
        // Longer than the receive time-out before the first stream byte.
        Sleep(2600);
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
    EXPECT_EQ(Count(Protocol(), "Ntrip-Radio : no_failure, FromCasterIn-Start "), 1u);
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
    view_.jobs().Stop();
    ASSERT_TRUE(PumpUntil([&] { return state_.registry.GetState() == 2; }, 3000));
    EXPECT_LT(Clock::Get().MonotonicMs() - asked, 2000);
    EXPECT_EQ(caster.attempts(), 1);
    EXPECT_EQ(Protocol().find("FromCasterIn-Start"), std::string::npos);
}

// The proxy's HTTP/1.1 answer and the caster's HTTP headers are skipped, the
// chunked body is decoded.
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

// Acceptances of an earlier attempt must not carry over: a bare empty line
// from the proxy and a 401 from the caster are refusals in later attempts.
TEST_F(CasterThreads, AnEarlierAcceptedAttemptDoesNotAcceptALaterRefusal) {
    FakeCaster proxy([](FakeCaster& c, int fd, int attempt) {
        c.ReadRequest(fd);
        if (attempt == 1) {
            FakeCaster::SendAll(fd, "\r\n");
            return;
        }
        FakeCaster::SendAll(fd, "HTTP/1.0 200 Connection established\r\n\r\n");
        c.ReadRequest(fd);
        // First an accepted login without data (the thread gives up after
        // 2 s), then a refusal.
        FakeCaster::SendAll(fd, attempt == 0 ? "ICY 200 OK\r\n" : "HTTP/1.0 401 Unauthorized\r\n");
        if (attempt == 0) c.ReadSome(fd, 100, 3000);
    });
    StartInputJob("caster.example.net;2101;RTCM3;x;u:p;100;1;127.0.0.1;" + proxy.port());
    ASSERT_TRUE(Shown("Not connection to Proxy-Server(1) !\r\n\r\n", 10000));
    ASSERT_TRUE(Shown("Not connection to ntrip-caster !\r\n", 10000));
    StopAndRead();
    EXPECT_EQ(Count(Protocol(), "FromCasterIn-Start"), 1u);
    EXPECT_GE(proxy.attempts(), 3);
}

TEST_F(CasterThreads, TheUploadLogsInAsSourceAfterABadPasswordAndSendsTheStream) {
    const std::string data = Pattern(2500);
    FakeCaster caster([&](FakeCaster& c, int fd, int attempt) {
        c.Record(c.ReadRequest(fd));
        if (attempt == 0) {
            FakeCaster::SendAll(fd, "ERROR - Bad Password\r\n");
            return;
        }
        FakeCaster::SendAll(fd, "OK\r\n");
        c.Record(c.ReadSome(fd, data.size() + 2, 5000));
    });
    // An input that never delivers: the test feeds the pool itself, once the
    // upload holds its slot.
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
    EXPECT_EQ(Count(Protocol(), "Ntrip-Server : no_failure, ToCasterOut-Start "), 1u);
}

}  // namespace
}  // namespace zerlan
