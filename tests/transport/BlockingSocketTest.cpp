#include "transport/BlockingSocket.h"

#include <gtest/gtest.h>

namespace zerlan {
namespace {

// A restarted job must get its server port back while the last connection
// it served is still in TIME_WAIT.
TEST(BlockingSocketTest, ListenerRebindsAtOnceAfterServedConnection) {
    uint16_t port = 0;
    {
        CBlockingSocket listener, client, server;
        listener.Create(CBlockingSocket::kStream);
        listener.Bind(CSocketAddress("127.0.0.1", 0));
        listener.Listen();
        port = listener.BoundPort();
        client.Create(CBlockingSocket::kStream);
        client.Connect(CSocketAddress("127.0.0.1", port));
        ASSERT_TRUE(listener.Accept(server, nullptr));
        server.Close();  // the server side closes first and holds TIME_WAIT
        listener.Close();
        client.Close();
    }
    CBlockingSocket again;
    again.Create(CBlockingSocket::kStream);
    EXPECT_NO_THROW(again.Bind(CSocketAddress(0u, port)));
    EXPECT_NO_THROW(again.Listen());
}

}  // namespace
}  // namespace zerlan
