// Decoding speed on a long RTCM 3 stream made by the project's generator:
// the `--decode` command as a user runs it, gpsd's gpsdecode on the same
// bytes in the same run (when installed), and the decoders alone.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>

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

double ChildCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

// Timed by the processor time of the command, so that a busy machine shows
// the program's own speed; the wall time is reported beside it.
void RunCommand(benchmark::State& state, const std::string& cmd) {
    const int64_t size = static_cast<int64_t>(Bytes().size());
    double wall = 0.0;
    double processor = 0.0;
    for (auto _ : state) {
        const double cpu = ChildCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        if (std::system(cmd.c_str()) != 0) {
            state.SkipWithError(("failed: " + cmd).c_str());
            return;
        }
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double used = ChildCpuSeconds() - cpu;
        processor += used;
        state.SetIterationTime(used);
    }
    state.SetBytesProcessed(state.iterations() * size);
    state.counters["stream_MB"] = static_cast<double>(size) / 1e6;
    // Decimal megabytes, as the target is stated; bytes_per_second counts in MiB.
    state.counters["cpu_MB_per_s"] = static_cast<double>(state.iterations() * size) / 1e6 / processor;
    state.counters["wall_MB_per_s"] = static_cast<double>(state.iterations() * size) / 1e6 / wall;
}

void BM_DecodeCommand(benchmark::State& state) {
    RunCommand(state, std::string(ZERLAN_BINARY) + " --quiet --decode " + Stream() + " >/dev/null 2>&1");
}
BENCHMARK(BM_DecodeCommand)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);

// The same into a file, so that the cost of writing the text shows.
void BM_DecodeCommandToFile(benchmark::State& state) {
    const std::string text = Stream() + ".txt";
    RunCommand(state, std::string(ZERLAN_BINARY) + " --quiet --decode " + Stream() + " >" + text + " 2>&1");
    std::remove(text.c_str());
}
BENCHMARK(BM_DecodeCommandToFile)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);

void BM_Gpsdecode(benchmark::State& state) {
    if (std::system("command -v gpsdecode >/dev/null 2>&1") != 0) {
        state.SkipWithError("gpsdecode is not installed");
        return;
    }
    RunCommand(state, "gpsdecode <" + Stream() + " >/dev/null 2>&1");
}
BENCHMARK(BM_Gpsdecode)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);

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
