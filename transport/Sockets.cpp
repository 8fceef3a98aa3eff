#include "transport/Sockets.h"

namespace zerlan {

SocketSet::SocketSet(SharedState* shared)
    : library(shared),
      tcp_out_server(shared),
      udp_out_server(shared),
      decoder_tcp_out_server(shared),
      http_server(shared),
      waker(shared),
      udp_in_client(shared),
      udp_out_client(shared),
      rinex_tcp_out_server(shared) {
    udp_out_server.SetUdpClientCounter(&udp_clients);
}

CSuperSocket* SocketSet::Instance(int number) {
    switch (number) {
        case 0: return &library;
        case 1: return &tcp_out_server;
        case 2: return &udp_out_server;
        case 3: return &decoder_tcp_out_server;
        case 4: return &http_server;
        case 7: return &waker;
        case 9: return &udp_in_client;
        case 10: return &udp_out_client;
        case 12: return &rinex_tcp_out_server;
        default: return nullptr;
    }
}

}  // namespace zerlan
