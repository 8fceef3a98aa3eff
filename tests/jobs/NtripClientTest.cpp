#include "jobs/NtripClient.h"

#include <gtest/gtest.h>

#include <memory>

namespace zerlan {
namespace {

using namespace std::string_literals;

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

// The GET, CONNECT and SOURCE texts, headers and chunks are checked on the
// wire by the caster thread tests; here the cases those do not reach.
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

// A caster or proxy that never ends a line or its headers is given up.
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

}  // namespace
}  // namespace zerlan
