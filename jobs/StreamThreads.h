// Start functions of the stream threads, one per row of the job start table.
// Each returns true when its thread (or threads) were started. They read the
// settings of the SharedState, which the job start has just filled.
#pragma once

#include "core/SharedState.h"

namespace zerlan {

// Outputs.
bool StartFileOutput(SharedState& state);

// Inputs.
bool StartFileInput(SharedState& state);
bool StartDummyInput(SharedState& state);

// TCP and UDP outputs. The TCP output server's listening socket is opened by
// the job start before its threads start; true when it listens.
bool OpenTcpOutputListener(SharedState& state);
bool StartTcpOutputServer(SharedState& state);
bool StartTcpOutputClient(SharedState& state);
// The same server for the decoded text, on its own listener.
bool OpenDecTcpOutputListener(SharedState& state);
bool StartDecTcpOutputServer(SharedState& state);
// And for the RINEX records.
bool OpenRinexTcpOutputListener(SharedState& state);
bool StartRinexTcpOutputServer(SharedState& state);
bool StartUdpOutputServer(SharedState& state);
bool StartUdpOutputClient(SharedState& state);

// TCP and UDP inputs.
bool StartTcpInputServer(SharedState& state);
bool StartTcpInputClient(SharedState& state);
bool StartUdpInputServer(SharedState& state);
bool StartUdpInputClient(SharedState& state);

// NTRIP: the caster input (client) and the caster upload (source).
bool StartCasterInput(SharedState& state);
bool StartCasterOutput(SharedState& state);

// Services.
bool StartNmeaCreator(SharedState& state);

// Stop wake-ups: connect once to the TCP input server's own port; release
// TCP output server threads blocked in their accept; close its listener.
void WakeTcpInputServer(SharedState& state);
void WakeTcpOutputServer(SharedState& state);
void CloseTcpOutputListener(SharedState& state);
void CloseDecTcpOutputListener(SharedState& state);
void CloseRinexTcpOutputListener(SharedState& state);

}  // namespace zerlan
