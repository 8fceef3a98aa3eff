#include "jobs/OperatorLog.h"

#include "platform/Socket.h"

namespace zerlan {

std::string EndpointText(const std::string& address, const std::string& port) {
    return (address.empty() ? std::string("0.0.0.0") : address) + ":" + port;
}

std::string SocketReason(const CSuperSocket& socket, const char* without_code) {
    const int code = socket.LastError();
    return code == 0 ? without_code : sock::ErrorText(code);
}

void ShowEvent(SharedState& state, const std::string& text) { state.ShowText(text + "\r\n"); }

}  // namespace zerlan
