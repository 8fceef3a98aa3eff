#include "services/Sourcetable.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <mutex>
#include <thread>

#include "config/ParameterFile.h"
#include "support/TempDir.h"

namespace zerlan {
namespace {

const char kTable[] =
    "SOURCETABLE 200 OK\r\n"
    "Server: Test Caster/1.0\r\n"
    "Content-Type: text/plain\r\n"
    "\r\n"
    "CAS;caster.example.net;2101;Example;Org;0;DEU;52.5;13.4;0.0.0.0;0;http://x\r\n"
    "NET;EX;Org;B;N;http://x;http://y;mail;none\r\n"
    "STR;BERLIN0;Berlin;RTCM 3.2;1004(1),1006(10);2;GPS+GLO;EX;DEU;52.52;13.40;0;0;sNTRIP;none;B;N;9600;\r\n"
    "STR;SHORT;Short\r\n"
    "ENDSOURCETABLE\r\n";

// Answers one connection with `answer` after the request's empty line.
class OneShotCaster {
public:
    explicit OneShotCaster(std::string answer) : answer_(std::move(answer)) {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        EXPECT_EQ(bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        EXPECT_EQ(listen(listener_, 2), 0);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = std::to_string(ntohs(a.sin_port));
        thread_ = std::thread([this] { Serve(); });
    }
    ~OneShotCaster() {
        thread_.join();
        close(listener_);
    }
    const std::string& port() const { return port_; }
    std::string request() {
        std::lock_guard<std::mutex> lock(mutex_);
        return request_;
    }

private:
    void Serve() {
        pollfd p{listener_, POLLIN, 0};
        if (poll(&p, 1, 10000) <= 0) return;
        const int fd = accept(listener_, nullptr, nullptr);
        std::string text;
        char c[512];
        while (text.find("\r\n\r\n") == std::string::npos) {
            pollfd q{fd, POLLIN, 0};
            if (poll(&q, 1, 3000) <= 0) break;
            const ssize_t n = recv(fd, c, sizeof c, 0);
            if (n <= 0) break;
            text.append(c, static_cast<size_t>(n));
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            request_ = text;
        }
        send(fd, answer_.data(), answer_.size(), MSG_NOSIGNAL);
        close(fd);
    }

    std::string answer_;
    int listener_ = -1;
    std::string port_;
    std::mutex mutex_;
    std::string request_;
    std::thread thread_;
};

// A loopback port that nobody listens on.
std::string ClosedPort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    close(s);
    return std::to_string(ntohs(a.sin_port));
}

TEST(Sourcetable, StrRecordsAreParsedAndOthersSkipped) {
    const std::vector<SourcetableEntry> e = ParseSourcetable(kTable);
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(FormatEntry(e[0]), "BERLIN0\tBerlin\tRTCM 3.2\t1004(1),1006(10)\t2\tGPS+GLO\tDEU\t52.52,13.40");
    EXPECT_EQ(e[0].network, "EX");
    EXPECT_EQ(e[1].mountpoint, "SHORT");
    EXPECT_EQ(e[1].identifier, "Short");
    EXPECT_EQ(e[1].longitude, "");
    // A table cut off in its last line still gives what it holds.
    EXPECT_EQ(ParseSourcetable("STR;A;a;RTCM").at(0).format, "RTCM");
}

TEST(Sourcetable, HostAndPortOfTheCommand) {
    std::string host, port;
    EXPECT_TRUE(SplitHostPort("caster.example.net", &host, &port));
    EXPECT_EQ(host + " " + port, "caster.example.net 2101");
    EXPECT_TRUE(SplitHostPort("10.0.0.1:80", &host, &port));
    EXPECT_EQ(host + " " + port, "10.0.0.1 80");
    EXPECT_TRUE(SplitHostPort("h:", &host, &port));
    EXPECT_EQ(port, "2101");
    EXPECT_FALSE(SplitHostPort(":2101", &host, &port));
}

TEST(SourcetableThreads, FetchSendsTheEmptyLoginAndReadsUntilTheCasterCloses) {
    OneShotCaster caster(kTable);
    std::string table, detail;
    ASSERT_EQ(FetchSourcetable("127.0.0.1", caster.port(), {}, &table, &detail), FetchResult::kTable) << detail;
    EXPECT_EQ(caster.request(),
              "GET / HTTP/1.0\r\nUser-Agent: NTRIP MorvikV1.08-light\r\nAuthorization: Basic \r\n\r\n");
    EXPECT_EQ(ParseSourcetable(table).size(), 2u);
    EXPECT_EQ(table.rfind("Server:", 0), 0u);
}

TEST(SourcetableThreads, RefusalsAndSilenceAreNoTable) {
    {
        OneShotCaster caster("HTTP/1.0 401 Unauthorized\r\n\r\n");
        std::string table, detail;
        EXPECT_EQ(FetchSourcetable("127.0.0.1", caster.port(), {}, &table, &detail), FetchResult::kNoTable);
        EXPECT_EQ(detail, "127.0.0.1:" + caster.port() + " sent no sourcetable (HTTP/1.0 401 Unauthorized)");
    }
    std::string table, detail;
    const std::string port = ClosedPort();
    EXPECT_EQ(FetchSourcetable("127.0.0.1", port, {}, &table, &detail), FetchResult::kUnreachable);
    EXPECT_EQ(detail, "cannot connect to 127.0.0.1:" + port);
}

TEST(SourcetableThreads, FetchThroughTheProxyOfTheCasterInput) {
    OneShotCaster proxy(std::string("HTTP/1.1 200 Connection established\r\n\r\n") + kTable);
    Settings settings;
    LoadDefaults(settings);
    ASSERT_EQ(ParseText(settings, "/cast_in,\"x;2101;M;x;;100;1;127.0.0.1;" + proxy.port() + "\""), 0);
    const ProxySetting via = CasterInputProxy(settings);
    std::string table, detail;
    ASSERT_EQ(FetchSourcetable("caster.example.net", "2101", via, &table, &detail), FetchResult::kTable) << detail;
    // The fake proxy answers at the first empty line, so it sees the CONNECT only.
    EXPECT_EQ(proxy.request(), "CONNECT caster.example.net:2101 HTTP/1.0\r\nHost: caster.example.net:2101\r\n\r\n");
    EXPECT_EQ(ParseSourcetable(table).size(), 2u);
}

// Runs the built program in a fresh directory; returns its exit status.
int RunProgram(const std::string& args, std::string* out) {
    const std::string command = std::string(ZERLAN_BINARY) + " " + args + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return -1;
    char buffer[512];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out->append(buffer, n);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SourcetableThreads, TheCommandPrintsOneLinePerEntryOrFailsWithAMessage) {
    testing::TempDir dir;
    {
        OneShotCaster caster(kTable);
        std::string out;
        EXPECT_EQ(RunProgram("--sourcetable 127.0.0.1:" + caster.port(), &out), 0) << out;
        EXPECT_NE(out.find("BERLIN0\tBerlin\tRTCM 3.2\t1004(1),1006(10)\t2\tGPS+GLO\tDEU\t52.52,13.40\n"),
                  std::string::npos)
            << out;
        EXPECT_NE(out.find("SHORT\tShort\t"), std::string::npos);
    }
    {
        OneShotCaster caster("ICY 200 OK\r\n");
        std::string out;
        EXPECT_EQ(RunProgram("--sourcetable 127.0.0.1:" + caster.port(), &out), 1);
        EXPECT_NE(out.find("sent no sourcetable (ICY 200 OK)"), std::string::npos) << out;
    }
    std::string out;
    EXPECT_EQ(RunProgram("--sourcetable 127.0.0.1:" + ClosedPort(), &out), 1);
    EXPECT_NE(out.find("zerlan: cannot connect to 127.0.0.1:"), std::string::npos) << out;
}

}  // namespace
}  // namespace zerlan
