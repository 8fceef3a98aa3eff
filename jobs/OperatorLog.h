// Lines of the program's own about the life of a connection or file, in
// the operator's words ("TCP client 10.0.0.5:2101: connection refused;
// retrying"), beside the system's own texts. Each event is shown once.
#pragma once

#include <string>

#include "core/SharedState.h"
#include "transport/SuperSocket.h"

namespace zerlan {

// "ADDRESS:PORT"; an empty address is every interface, "0.0.0.0".
std::string EndpointText(const std::string& address, const std::string& port);
// Why the socket's last start, transfer or name lookup failed, in words;
// `without_code` when the system gave no error (a stream peer that closed).
std::string SocketReason(const CSuperSocket& socket, const char* without_code = "the peer closed the connection");
// Shows `text` as one line of the log.
void ShowEvent(SharedState& state, const std::string& text);

}  // namespace zerlan
