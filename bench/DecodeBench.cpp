// Decoding speed on a long RTCM 3 stream made by the project's generator:
// the `--decode` command as a user runs it, gpsd's gpsdecode on the same
// bytes in the same run (when installed), and the decoders alone.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "decoder/DecoderSelector.h"

namespace zerlan {
namespace {

constexpr int kEpochs = 20000;

// The stream file, made once per run and removed at its end.
struct StreamFile {
    std::string path;
    StreamFile() {
        char name[] = "/tmp/zerlan-bench-XXXXXX";
        const int fd = mkstemp(name);
        if (fd >= 0) close(fd);
        path = name;
        const std::string cmd = std::string(ZERLAN_RTCM3GEN) + " " + path + " " + std::to_string(kEpochs);
        if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "rtcm3gen failed\n");
    }
    ~StreamFile() { std::remove(path.c_str()); }
};

const std::string& Stream() {
    static const StreamFile file;
    return file.path;
}

std::string Bytes() {
    std::ifstream in(Stream(), std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

void RunCommand(benchmark::State& state, const std::string& cmd) {
    const int64_t size = static_cast<int64_t>(Bytes().size());
    for (auto _ : state) {
        if (std::system(cmd.c_str()) != 0) {
            state.SkipWithError(("failed: " + cmd).c_str());
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * size);
    state.counters["stream_MB"] = static_cast<double>(size) / 1e6;
}

void BM_DecodeCommand(benchmark::State& state) {
    RunCommand(state, std::string(ZERLAN_BINARY) + " --quiet --decode " + Stream() + " >/dev/null 2>&1");
}
BENCHMARK(BM_DecodeCommand)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_Gpsdecode(benchmark::State& state) {
    if (std::system("command -v gpsdecode >/dev/null 2>&1") != 0) {
        state.SkipWithError("gpsdecode is not installed");
        return;
    }
    RunCommand(state, "gpsdecode <" + Stream() + " >/dev/null 2>&1");
}
BENCHMARK(BM_Gpsdecode)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

class NullOutput : public DecoderOutput {
public:
    void Text(const char*, int length) override { bytes_ += length; }
    long long bytes_ = 0;
};

void BM_DecodersAlone(benchmark::State& state) {
    const std::string bytes = Bytes();
    for (auto _ : state) {
        NullOutput out;
        DecoderSelector decoders(-1, out);
        for (unsigned char b : bytes) decoders.AddByte(b);
        decoders.Finish();
        benchmark::DoNotOptimize(out.bytes_);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_DecodersAlone)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
}  // namespace zerlan

BENCHMARK_MAIN();
