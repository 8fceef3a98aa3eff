// The satellite watch as an operator meets it: zerlan decodes a stream,
// shows the satellite counts in its log and writes "SW" records and marker
// files when satellites go missing or too few remain.
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "decoder/Rtcm3FrameBuilder.h"
#include "support/TempDir.h"

namespace zerlan {
namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

double Since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }
void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// One epoch: 1004 for the GPS satellites, 1012 for the GLONASS slots.
Bytes Epoch(int epoch, const std::vector<int>& gps, const std::vector<int>& glo) {
    CRtcm3FrameBuilder g;
    g.U(12, 1004).U(12, 2003).U(30, 302400000u + 100u * epoch).U(1, 1).U(5, gps.size()).U(1, 0).U(3, 0);
    for (int sat : gps) {
        g.U(6, sat).U(1, 0).U(24, 1000000 + sat).S(20, -3000).U(7, 127).U(8, 70).U(8, 176);
        g.U(2, 0).S(14, -120).S(20, 5200).U(7, 127).U(8, 150);
    }
    CRtcm3FrameBuilder r;
    r.U(12, 1012).U(12, 2003).U(27, 10800000u + 100u * epoch).U(1, 0).U(5, glo.size()).U(1, 0).U(3, 0);
    for (int slot : glo) {
        r.U(6, slot).U(1, 0).U(5, 7).U(25, 1200000 + slot).S(20, 1500).U(7, 127).U(7, 36).U(8, 168);
        r.U(2, 0).S(14, 80).S(20, -2600).U(7, 127).U(8, 140);
    }
    Bytes out = g.Frame();
    const Bytes more = r.Frame();
    out.insert(out.end(), more.begin(), more.end());
    return out;
}

const std::vector<int> kGps{3, 7, 12, 19, 28};
const std::vector<int> kGlo{2, 9, 17};

std::vector<std::string> WatchSettings(const std::string& input) {
    return {"/inout_sw,\"" + input + ";Null;Null;Null;Null;Null;Null;RTCM;500;1;-1;100;FALSE;FALSE;FALSE\"",
            "/dec_out,\"FALSE;\\\\.\\pipe\\DecPipe;FALSE;DecFile.rcd,4096,FALSE,0,60,.\\,0896,k,none;FALSE;4004;1;"
            "TRUE;FALSE,0;FALSE\"",
            "/miz,\"50;InputDataNull;0;50;OutputDataNull;0\"",
            "/kfkp,\"0;NoGpsFkp;0;NoGloFkp\"",
            "/ksat,\"2;NoGpsSat;2;NoGloSat\"",
            "/wfkp,\"0;LowFkp;4;0;LowGloFkp;3\"",
            "/wsat,\"4;LowGpsSat;4;4;LowGloSat;3\"",
            "/ai,\"0;Save.dat\""};
}

// Starts zerlan with `args`; its stdin is `stdin_fd` when not negative.
pid_t Launch(const std::vector<std::string>& args, int stdin_fd = -1) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    if (stdin_fd >= 0) dup2(stdin_fd, 0);
    std::freopen("out.txt", "w", stdout);
    std::freopen("err.txt", "w", stderr);
    std::vector<char*> argv{const_cast<char*>(ZERLAN_BINARY)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(ZERLAN_BINARY, argv.data());
    _exit(127);
}

// Waits up to `seconds` for the end of `pid`; sends SIGTERM first when asked.
bool Finish(pid_t pid, double seconds, bool terminate) {
    if (terminate) kill(pid, SIGTERM);
    const auto start = Clock::now();
    int status = 0;
    while (Since(start) < seconds) {
        if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        Pause(20);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return false;
}

int CountOf(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

int Records(const std::string& title) { return CountOf(testing::ReadFile("Protokol.dat"), "SW " + title + " : "); }

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// A loopback TCP server for zerlan's TCP client input. Zerlan's input drops
// a connection that stays silent and connects again, so the source always
// sends to the newest connection.
class Source {
public:
    Source() {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && listen(listener_, 16) == 0 &&
            getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
            port_ = ntohs(a.sin_port);
        }
    }
    ~Source() {
        if (peer_ >= 0) close(peer_);
        if (listener_ >= 0) close(listener_);
    }
    int port() const { return port_; }
    // Takes every waiting connection, keeping the newest; waits up to
    // `seconds` when none waits. False when there is none.
    bool Accept(double seconds) {
        pollfd p{listener_, POLLIN, 0};
        bool any = false;
        while (poll(&p, 1, any ? 0 : static_cast<int>(seconds * 1000)) == 1) {
            const int fd = accept(listener_, nullptr, nullptr);
            if (fd < 0) break;
            if (peer_ >= 0) close(peer_);
            peer_ = fd;
            any = true;
        }
        return any;
    }
    // Sends ten epochs a second for `seconds`; counts the epochs delivered.
    void Send(double seconds) {
        const auto start = Clock::now();
        while (Since(start) < seconds) {
            const Bytes b = Epoch(epoch_++, kGps, kGlo);
            if (send(peer_, b.data(), b.size(), MSG_NOSIGNAL) < 0) {
                if (!Accept(3)) return;
                continue;
            }
            ++sent_;
            Pause(100);
        }
    }
    int sent() const { return sent_; }

private:
    int listener_ = -1;
    int peer_ = -1;
    int port_ = 0;
    int epoch_ = 0;
    int sent_ = 0;
};

// Writes bytes into a pipe at a steady pace, then closes it (the end of the
// input); `stop` ends it early.
void FeedPipe(int fd, const Bytes& bytes, int chunk, int pause_ms, const std::atomic<bool>* stop = nullptr) {
    for (size_t at = 0; at < bytes.size() && !(stop && stop->load()); at += static_cast<size_t>(chunk)) {
        const size_t n = std::min(bytes.size() - at, static_cast<size_t>(chunk));
        if (write(fd, bytes.data() + at, n) < 0) break;
        Pause(pause_ms);
    }
    close(fd);
}

TEST(AvailabilityProgramThreads, AReplayShowsTheSatelliteCountsAndNoShortage) {
    const std::string capture = std::string(ZERLAN_SOURCE_DIR) + "/../shared/data/rtcm3/testglo.rtcm3";
    const std::string data = testing::ReadFile(capture);
    if (data.empty()) GTEST_SKIP() << "no " << capture;
    testing::TempDir dir;
    // Fed over about 4.5 s, so that the watch checks while the data flows:
    // a gap of 2 s or a count below the minimum would be recorded.
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);  // zerlan must not hold the writing end
    std::vector<std::string> args = WatchSettings("FILE");
    args.push_back("/file_in,\"STDIN\"");
    const pid_t pid = Launch(args, fds[0]);
    close(fds[0]);
    FeedPipe(fds[1], Bytes(data.begin(), data.end()), 1000, 75);
    ASSERT_TRUE(Finish(pid, 20, false));

    const std::string log = testing::ReadFile("err.txt");
    EXPECT_NE(log.find("Decoder-FkpWatch Thread !"), std::string::npos);
    EXPECT_NE(log.find("Gps-Sat 9: 3 6 7 8 11 13 16 19 22"), std::string::npos) << log;
    EXPECT_NE(log.find("Glo-Sat 6: 48 53 54 55 57 63"), std::string::npos);
    EXPECT_EQ(CountOf(testing::ReadFile("Protokol.dat"), "SW "), 0);
}

TEST(AvailabilityProgramThreads, AStreamThatStopsIsReportedAfterItsTimeAgainAndNoMoreOnceItReturns) {
    testing::TempDir dir;
    Source source;
    ASSERT_NE(source.port(), 0);
    std::vector<std::string> args = WatchSettings("TCP");
    args.push_back("/tcp_in,\"127.0.0.1;" + std::to_string(source.port()) + ";FALSE\"");
    const pid_t pid = Launch(args);
    ASSERT_TRUE(source.Accept(10));
    source.Send(1.5);

    // Silence: nothing within the configured 2 s (whole seconds of the
    // store: at least 1 s), then a record per check, each with its marker.
    const auto silence = Clock::now();
    double first = -1;
    while (Since(silence) < 15 && (Records("NoGpsSat") < 2 || Records("NoGloSat") < 2)) {
        if (first < 0 && Records("NoGpsSat") > 0) first = Since(silence);
        Pause(20);
    }
    EXPECT_GE(first, 1.0);
    EXPECT_GE(Records("NoGpsSat"), 2);
    EXPECT_GE(Records("NoGloSat"), 2);
    EXPECT_TRUE(Exists("NoGpsSat"));
    EXPECT_TRUE(Exists("NoGloSat"));
    EXPECT_NE(testing::ReadFile("Protokol.dat").find("SW NoGpsSat : no Gps-Satellites, start_of_failure "),
              std::string::npos);

    // Data returns: once it is decoded, no further record.
    source.Accept(3);
    const int sent = source.sent();
    std::thread feed([&source] { source.Send(5); });
    Pause(1500);
    const int before = Records("NoGpsSat") + Records("NoGloSat");
    feed.join();
    EXPECT_GE(source.sent() - sent, 40);
    EXPECT_EQ(Records("NoGpsSat") + Records("NoGloSat"), before);
    EXPECT_NE(testing::ReadFile("err.txt").find("Gps-Sat 5: 3 7 12 19 28"), std::string::npos);
    EXPECT_EQ(Records("LowGpsSat"), 0);
    EXPECT_TRUE(Finish(pid, 15, true));
}

TEST(AvailabilityProgramThreads, AThinnedStreamIsTooFewAfterItsIntervalNotBefore) {
    testing::TempDir dir;
    Bytes stream;
    for (int e = 0; e < 200; ++e) {
        const Bytes b = Epoch(e, {3, 7}, kGlo);
        stream.insert(stream.end(), b.begin(), b.end());
    }
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);  // zerlan must not hold the writing end
    std::vector<std::string> args = WatchSettings("FILE");
    args.push_back("/file_in,\"STDIN\"");
    const auto start = Clock::now();
    const pid_t pid = Launch(args, fds[0]);
    close(fds[0]);
    const size_t epoch_bytes = Epoch(0, {3, 7}, kGlo).size();
    std::atomic<bool> enough{false};
    std::thread feed([&] { FeedPipe(fds[1], stream, static_cast<int>(epoch_bytes), 100, &enough); });
    double first = -1;
    while (Since(start) < 19 && first < 0) {
        if (Records("LowGpsSat") > 0) first = Since(start);
        Pause(20);
    }
    enough = true;
    feed.join();
    ASSERT_TRUE(Finish(pid, 20, false));
    // Interval 4 s on the 3 s check grid: the check after 6 s.
    EXPECT_GT(first, 0) << "no record";
    EXPECT_GE(first, 4.0);
    EXPECT_EQ(Records("LowGpsSat"), 1);
    EXPECT_NE(testing::ReadFile("Protokol.dat").find("SW LowGpsSat : too few Gps-Satellites (< 4), start_of_failure "),
              std::string::npos);
    EXPECT_TRUE(Exists("LowGpsSat"));
    EXPECT_EQ(Records("LowGloSat") + Records("NoGpsSat") + Records("NoGloSat"), 0);
    EXPECT_NE(testing::ReadFile("err.txt").find("Gps-Sat 2: 3 7"), std::string::npos);
}

}  // namespace
}  // namespace zerlan
