// The file input (a file or the standard input), the dummy generator and the
// file output of the relay.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/GlobalSeconds.h"
#include "core/PacedWrite.h"
#include "jobs/OperatorLog.h"
#include "jobs/RotatingFileWriter.h"
#include "jobs/StreamCommon.h"
#include "jobs/StreamThreads.h"
#include "platform/Paths.h"
#include "platform/Sleep.h"
#include "supervision/CharWatch.h"

namespace zerlan {

namespace {

constexpr int kDrainMaxMs = 5000;
// Long enough for a reader to finish the block it took last (the decoder
// decides its last frame once the input has ended).
constexpr int kDrainQuietMs = 300;

int ReadSizeOf(const Settings& s) {
    const int n = std::atoi(s.inout_sw.read_size.c_str());
    return n < 1 ? 1 : (n > 1000 ? 1000 : n);
}

// Reads what is there, waiting at most `wait_ms`: -1 error, 0 end of input,
// -2 nothing yet, else the byte count.
int ReadSome(int fd, char* buffer, int size, int wait_ms) {
    pollfd p{fd, POLLIN, 0};
    const int ready = poll(&p, 1, wait_ms);
    if (ready == 0) return -2;
    if (ready < 0) return errno == EINTR ? -2 : -1;
    const ssize_t n = read(fd, buffer, static_cast<size_t>(size));
    if (n < 0) return (errno == EINTR || errno == EAGAIN) ? -2 : -1;
    return static_cast<int>(n);
}

void FileInputThread(SharedState& state, WorkerScope& worker) {
    const Settings& s = state.settings;
    const bool from_stdin = s.file_in == "STDIN";
    const std::string protocol = ProtocolFileOf(s);
    CharWatch watch(state, &state.input_total, 0, InputWatchLimits(s), protocol);

    int fd = 0;
    const std::string what = from_stdin ? "input: standard input" : "input: file " + MapPath(s.file_in);
    if (!from_stdin) {
        const std::string path = MapPath(s.file_in);
        bool told = false;
        while ((fd = open(path.c_str(), O_RDONLY | O_CLOEXEC)) < 0) {
            if (!told) ShowEvent(state, what + ": " + std::strerror(errno) + "; retrying");
            told = true;
            if (IsAlarm(watch.Check("CharWatch: FileIn-Warning !", msg::kInputRate, 1))) state.Post(msg::kInputBar);
            if (!worker.Sleep(20)) return;
        }
    }
    state.ShowText("File-Open from " + s.file_in + " !\r\n");

    state.input_ended = 0;
    InputDelivery delivery(state, worker, true, state.pacing.load() != 0);
    delivery.Reset();
    const int read_size = ReadSizeOf(s);
    std::vector<char> buffer(static_cast<size_t>(read_size));
    bool ended = false;
    while (!worker.StopRequested()) {
        if (ended) {
            worker.Sleep(100);
            continue;
        }
        if (IsAlarm(watch.Check("CharWatch: FileIn-> Go Exit !!", msg::kInputRate, 1))) {
            state.outcome.NoteFailure(what + ": too little data (rate watch)");
            state.Send(msg::kStopJob);
            state.Post(msg::kInputBar);
            continue;
        }
        const int n = ReadSome(fd, buffer.data(), read_size, 100);
        if (n > 0) {
            delivery.Deliver(buffer.data(), n);
        } else if (n == 0 || n == -1) {
            if (n == 0) {
                ShowEvent(state, what + ": end of input");
                state.outcome.input_ended.store(1);
            } else {
                const std::string why = what + ": " + std::strerror(errno);
                ShowEvent(state, why);
                state.outcome.NoteFailure(why);
            }
            if (!from_stdin) close(fd);
            fd = -1;
            ended = true;
            state.input_ended = 1;
            // Readers finish what the file gave before the job stops.
            WaitForReadersDrained(state, worker, kDrainMaxMs, kDrainQuietMs);
            state.Send(msg::kStopJob);
            continue;
        }
        Sleep(2);
    }
    if (!from_stdin && fd >= 0) close(fd);
}

std::vector<std::string> SplitBlanks(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (!word.empty()) words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) words.push_back(word);
    return words;
}

void DummyInputThread(SharedState& state, WorkerScope& worker) {
    const Settings& s = state.settings;
    const int interval = std::atoi(s.inout_sw.dummy_interval_ms.c_str());
    CharWatch watch(state, &state.input_total, 0, InputWatchLimits(s), ProtocolFileOf(s));
    state.ShowText("now create Dummy-Data !!\r\n");
    InputDelivery delivery(state, worker, false, false);
    delivery.Reset();
    long last = -1;
    while (!worker.StopRequested()) {
        if (IsAlarm(watch.Check("CharWatch: DummyIn - Too little Byte !!", msg::kInputRate, 1))) {
            state.Post(msg::kInputBar);
            Sleep(2);
            continue;
        }
        const std::vector<std::string> words = SplitBlanks(GlobalSeconds::TimeStamp());
        if (words.size() >= 5) {
            // "hh:mm:ss.mmm"
            const std::string& t = words[3];
            const long minutes = std::atol(t.substr(3, 2).c_str());
            const long seconds = std::atol(t.substr(6, 2).c_str());
            const long millis = t.size() > 9 ? std::atol(t.substr(9).c_str()) : 0;
            long moment = seconds * 1000 + minutes * 60000 + millis;
            if (last >= 0 && moment < last) moment += 3600000;
            if (last < 0 || moment - last >= interval) {
                last = moment % 3600000;
                const std::string line = "MT16 " + words[0] + " " + words[1] + " " + words[2] + " " + words[3] +
                                         " " + words[4] + "\r\n";
                delivery.Deliver(line.data(), static_cast<int>(line.size()));
            }
        }
        Sleep(3);
    }
}

void FileOutputThread(SharedState& state, WorkerScope& worker) {
    const Settings& s = state.settings;
    CharPool& pool = state.SelectOutputPool(0, s.dec_in.Flag(9) ? 1 : 0, 0);
    OutputSlot slot(pool, worker);
    if (!slot.valid()) return;
    const int kind = static_cast<int>(OutputKind::kFile);
    CharWatch watch(state, &state.output_watch[kind], 1, OutputWatchLimits(s), ProtocolFileOf(s));
    const int32_t bar_max = std::atoi(s.maz.output_limit.c_str());
    std::vector<char> buffer(CharPool::kBufferSize);
    bool first = true;
    while (!worker.StopRequested()) {
        RotatingFileWriter writer(state, worker, s.file_out);
        if (!writer.Open()) return;
        if (first) {
            state.ShowTextAndWait("File-Open of " + writer.name() + " !\r\n");
            first = false;
        }
        while (!worker.StopRequested()) {
            writer.CheckRotation();
            if (IsAlarm(watch.Check("Go new Start !!!", msg::kFileOutRate, 1))) break;
            const int n = slot.Read(buffer.data());
            if (n > 0 && writer.Write(buffer.data(), n)) {
                CountOutput(state, OutputKind::kFile, n, bar_max);
                state.Send(msg::kAllOutputBars);
            }
        }
    }
}

}  // namespace

bool StartFileInput(SharedState& state) {
    return StartWorker(state.registry, 0, "File-In-TH", [&state](WorkerScope& w) { FileInputThread(state, w); }) >= 0;
}

bool StartDummyInput(SharedState& state) {
    return StartWorker(state.registry, 0, "Dummy-In-TH", [&state](WorkerScope& w) { DummyInputThread(state, w); }) >=
           0;
}

bool StartFileOutput(SharedState& state) {
    return StartWorker(state.registry, 0, "File-Out-TH", [&state](WorkerScope& w) { FileOutputThread(state, w); }) >=
           0;
}

}  // namespace zerlan
