// `zerlan --encode FILE|-`: decoded RTCM text in, binary RTCM on stdout.
#pragma once

#include <cstdio>
#include <string>

namespace zerlan {

struct Settings;
struct RtcmEncoderOptions;

// Encodes everything `in` gives to `out`; 0, or 1 when `in` cannot be read.
int EncodeStream(std::FILE* in, std::FILE* out, const RtcmEncoderOptions& options);

// With `use_settings` the dec_in selection of `settings` applies; without,
// every type of both versions is rebuilt.
int RunEncodeCommand(const Settings& settings, bool use_settings, const std::string& name);

}  // namespace zerlan
