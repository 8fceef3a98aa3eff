// UDP relays through whole jobs on loopback: clients register with "!+!+" and cancel with "!-!-".
#include "support/RelayJob.h"

namespace zerlan {
namespace {

using testing::FreePort;

uint16_t PortOf(const std::string& port) { return static_cast<uint16_t>(std::stoi(port)); }

class UdpRelayThreads : public testing::RelayJob {
protected:
    std::string Receive(CBlockingSocket& socket, int seconds = 1) {
        char buffer[2000];
        try {
            const int n = socket.ReceiveDatagram(buffer, sizeof buffer, nullptr, seconds);
            return std::string(buffer, static_cast<size_t>(n));
        } catch (const CBlockingSocketException&) {
            return "";
        }
    }
};

TEST_F(UdpRelayThreads, ARegisteredClientReceivesTheStreamUntilItCancels) {
    const std::string server_port = FreePort(CBlockingSocket::kDatagram);
    Configure("/inout_sw,\"DUMMY;Null;Null;Null;UDP;Null;Null;Null;500;0;1;20\" "
              "/udp_out,\"127.0.0.1;1;TRUE;127.0.0.1;" + server_port + ";20\"");
    view_.jobs().Start();
    EXPECT_EQ(state_.connections[SharedState::kConnUdpOut], "US127.0.0.1:" + server_port);
    // Shown once the socket is open, so a single registration cannot be lost.
    ASSERT_TRUE(Shown("Udp-Open with 127.0.0.1:" + server_port));

    CBlockingSocket client;
    client.Create(CBlockingSocket::kDatagram);
    client.Bind(CSocketAddress("127.0.0.1", 0));
    const CSocketAddress server("127.0.0.1", PortOf(server_port));
    client.SendDatagram("!+!+", 4, server, 1);
    // A live input sends while nobody is registered: the one registration must survive it.
    std::string got;
    ASSERT_TRUE(PumpUntil(
        [&] {
            got += Receive(client, 0);
            return got.find("MT16 ") != std::string::npos && got.find("\r\n") != std::string::npos;
        },
        8000));
    EXPECT_EQ(state_.sockets.udp_clients.load(), 1);
    EXPECT_TRUE(Shown("Udp-Contact with Morvik-Client !", 3000));
    EXPECT_NE(testing::Protocol().find("NF UdpServer-Output : no_failure, UdpServerOut-Start "), std::string::npos);

    // Once the cancel is handled nothing more is sent, not even a block that was on its way.
    client.SendDatagram("!-!-", 4, server, 1);
    ASSERT_TRUE(PumpUntil([&] { return state_.sockets.udp_clients.load() == 0; }, 5000));
    while (!Receive(client, 0).empty()) {
    }
    EXPECT_FALSE(PumpUntil([&] { return !Receive(client, 0).empty(); }, 1000));
    EXPECT_TRUE(StopAndWaitIdle(10000));
}

TEST_F(UdpRelayThreads, TheInputTakesEachDatagramWholeAndAsAClientRegistersUntilTheStop) {
    for (const bool client : {false, true}) {
        SCOPED_TRACE(client ? "client" : "server");
        CBlockingSocket partner;
        partner.Create(CBlockingSocket::kDatagram);
        partner.Bind(CSocketAddress("127.0.0.1", 0));
        const std::string partner_port = std::to_string(partner.BoundPort());
        const std::string own_port = FreePort(CBlockingSocket::kDatagram);
        const std::string file = client ? "client.bin" : "server.bin";
        Configure("/inout_sw,\"UDP;Null;Null;Null;Null;Null;FILE;Null;500;0;1;20\" /udp_in,\"127.0.0.1;" +
                  (client ? partner_port + ";FALSE" : std::string("1;TRUE")) + ";127.0.0.1;" + own_port + "\"" +
                  testing::FileOut(file));
        view_.jobs().Start();
        if (client) {
            EXPECT_EQ(state_.connections[SharedState::kConnInput],
                      "UB127.0.0.1:" + own_port + " UC127.0.0.1:" + partner_port);
            std::string registration;
            ASSERT_TRUE(PumpUntil([&] { return !(registration = Receive(partner, 0)).empty(); }, 5000));
            EXPECT_EQ(registration, "!+!+");
        } else {
            ASSERT_TRUE(Shown("Udp-Open with 127.0.0.1:" + own_port));
        }
        std::string data;
        for (int d = 0; d < 3; ++d) {
            const std::string datagram(1000, static_cast<char>('a' + d));
            partner.SendDatagram(datagram.data(), 1000, CSocketAddress("127.0.0.1", PortOf(own_port)), 1);
            data += datagram;
        }
        EXPECT_TRUE(PumpUntil([&] { return testing::ReadFile(file) == data; }, 5000));
        const int64_t stop_from = Clock::Get().MonotonicMs();
        ASSERT_TRUE(StopAndWaitIdle(10000));
        // A receive that waits seconds held the server's stop for as long.
        EXPECT_LT(Clock::Get().MonotonicMs() - stop_from, 1500);
        if (client) {
            EXPECT_EQ(Receive(partner), "!-!-");
            EXPECT_TRUE(renderer_.Shows("Cancel Morvik send !"));
        }
    }
}

}  // namespace
}  // namespace zerlan
