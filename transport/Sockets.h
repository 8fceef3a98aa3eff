// The long-lived socket objects of a job, held by the SharedState so that a
// listening socket survives between job start, its serving thread and the stop
// sequence. Instance numbers: 0 socket library, 1 TCP output server, 2 UDP
// output server (shared by the sender and the registration listener), 3
// decoder TCP output server, 4 HTTP server, 7 spare for waking a listener at
// stop, 9 UDP input client (shared by two threads), 10 UDP output client
// (shared by two threads), 12 RINEX TCP output server.
//
// Thread-safety: see CSuperSocket. `tcp_out_accept_lock` serialises the
// accepts of the TCP output server threads on instance 1;
// `udp_in_client_lock` guards instance 9 around each start and receive.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "transport/SuperSocket.h"

namespace zerlan {

class SharedState;

class SocketSet {
public:
    explicit SocketSet(SharedState* shared);
    SocketSet(const SocketSet&) = delete;
    SocketSet& operator=(const SocketSet&) = delete;

    // The instance of that number; nullptr for a number that has none.
    CSuperSocket* Instance(int number);

    CSuperSocket library;                // 0
    CSuperSocket tcp_out_server;         // 1
    CSuperSocket udp_out_server;         // 2
    CSuperSocket decoder_tcp_out_server; // 3
    CSuperSocket http_server;            // 4
    CSuperSocket waker;                  // 7
    CSuperSocket udp_in_client;          // 9
    CSuperSocket udp_out_client;         // 10
    CSuperSocket rinex_tcp_out_server;   // 12

    // Registered UDP clients of instance 2, for the status lines.
    std::atomic<int32_t> udp_clients{0};

    std::mutex tcp_out_accept_lock;
    std::mutex http_accept_lock;
    std::mutex udp_in_client_lock;
};

}  // namespace zerlan
