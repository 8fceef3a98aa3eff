#include "jobs/OperatorLog.h"

#include "platform/Socket.h"

namespace zerlan {

std::string EndpointText(const std::string& address, const std::string& port) {
    return (address.empty() ? std::string("0.0.0.0") : address) + ":" + port;
}

std::string SocketReason(const CSuperSocket& socket) {
    const int code = socket.LastError();
    return code == 0 ? "the peer closed the connection" : sock::ErrorText(code);
}

void ShowEvent(SharedState& state, const std::string& text) { state.ShowText(text + "\r\n"); }

}  // namespace zerlan
