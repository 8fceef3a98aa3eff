// `zerlan --decode FILE|-`: the batch converter. Runs the decoders over a
// recording as fast as the machine allows and prints exactly the text the
// job's decoder thread would write, then one summary line on stderr.
#pragma once

#include <cstdio>
#include <string>

namespace zerlan {

class BatchInput;

struct DecodeSummary {
    long long bytes = 0;
    int rtcm2_frames = 0;
    int rtcm3_frames = 0;
    int rejected = 0;
    bool interrupted = false;
};

// Decodes everything `in` gives and writes the text to `out`; 0, or 1 when
// the input could not be read.
int DecodeStream(BatchInput& in, std::FILE* out, int version, DecodeSummary& summary);
// The summary line, without the line end.
std::string SummaryLine(const std::string& name, const DecodeSummary& summary);
// The whole command; the exit code of the program.
int RunDecodeCommand(const std::string& name, int version, bool quiet);

}  // namespace zerlan
