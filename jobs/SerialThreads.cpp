// The serial input and output threads: a port opened directly, through the
// modem script or through the dial sequence, then raw bytes in or out.
#include "jobs/SerialThreads.h"

#include <cstdlib>
#include <memory>
#include <vector>

#include "jobs/GgaUpstream.h"
#include "jobs/StreamCommon.h"
#include "platform/Sleep.h"
#include "supervision/CharWatch.h"
#include "transport/ComDevice.h"

namespace zerlan {

namespace {

constexpr int kAfterOpenMs = 100;
constexpr int kAfterAlarmMs = 100;

// Shows a port that cannot be opened once per outage, with device and
// reason; the rate watch goes on reopening it without repeating the line.
class OpenFailureNotice {
public:
    explicit OpenFailureNotice(SharedState& state) : state_(state) {}
    void Failed(const std::string& device, const std::string& reason) {
        if (shown_) return;
        shown_ = true;
        state_.ShowText("Comport " + device + " cannot be opened: " + reason + "\r\n");
    }
    void Opened() { shown_ = false; }

private:
    SharedState& state_;
    bool shown_ = false;
};

std::unique_ptr<CComDevice> MakeDevice(SharedState& state, WorkerScope& worker, OpenFailureNotice& notice) {
    auto device = std::make_unique<CComDevice>([&state](const std::string& text) { state.ShowReceivedText(text); },
                                               [&worker] { return worker.StopRequested(); },
                                               [&worker](int ms) { return worker.Sleep(ms); });
    device->set_open_failure(
        [&notice](const std::string& device_path, const std::string& reason) { notice.Failed(device_path, reason); });
    return device;
}

// Steps 2-4 of a connection: the script, the dial sequence or a plain open.
// False when a stop came during the script.
bool Connect(CComDevice& device, const SerialParams& params, int max1, int max2, int max3) {
    PortSettings port = PortSettingsOf(params);
    bool opened = false;
    if (params.modem_control && !params.modem_kind && !IsNullSetting(params.modem_script)) {
        const int result = device.RunScript(params.modem_script, port, true);
        if (result == 1) return false;
        opened = result == 0;
    } else if (params.modem_control && params.modem_kind && !IsNullSetting(params.phone_number)) {
        device.Dial(port, params.phone_number, max1, max2, max3);
        opened = true;
    }
    if (!opened) device.Open(port);
    return true;
}

void SerialInputThread(SharedState& state, WorkerScope& worker) {
    const Settings& s = state.settings;
    CharWatch watch(state, &state.input_total, 0, InputWatchLimits(s), ProtocolFileOf(s));
    GgaUpstream gga(state);
    InputDelivery delivery(state, worker, true, false);
    OpenFailureNotice notice(state);
    const int read_size = NetworkReadSize(s);
    bool first = true;

    while (!worker.StopRequested()) {
        auto device = MakeDevice(state, worker, notice);
        delivery.Reset();
        if (!Connect(*device, s.co_in, 2500, 2500, 100)) return;
        if (device->IsOpen()) notice.Opened();
        if (first) {
            state.ShowText("Comport-Open on " + s.co_in.port + " !\r\n");
            WriteStartRecord(state, "Comport-Input", "ComportIn-Start");
            first = false;
        }
        if (!worker.Sleep(kAfterOpenMs)) return;
        auto send = [&device](const char* data, int n) { return device->Write(data, n); };
        gga.SendNow(send);
        while (true) {
            if (worker.StopRequested()) return;
            gga.SendIfDue(send);
            if (IsAlarm(watch.Check("CharWatch: Go new Comport-Open !!!", msg::kInputRate, 1))) {
                device->Close();
                state.Send(msg::kInputBar);
                Sleep(kAfterAlarmMs);
                break;
            }
            const int n = device->Read(read_size);
            if (n > 0) {
                delivery.Deliver(device->received(), n);
                // A backlog read without a pause would overrun the readers'
                // buffers before the outputs get their turn.
                Sleep(1);
            }
        }
    }
}

bool WritePositionSlot0(SharedState& state, WorkerScope& worker, const char* data, int n) {
    while (state.position_pool.WriteSlot(data, n, 0) < 0) {
        if (worker.StopRequested()) return false;
        Sleep(1);
    }
    return true;
}

void SerialOutputThread(SharedState& state, WorkerScope& worker) {
    const Settings& s = state.settings;
    CharPool& pool = state.SelectOutputPool(s.enc_da.Flag(6) ? 1 : 0, s.dec_in.Flag(5) ? 1 : 0, 0);
    OutputSlot slot(pool, worker);
    if (!slot.valid()) return;
    const int kind = static_cast<int>(OutputKind::kSerial);
    CharWatch watch(state, &state.output_watch[kind], 1, OutputWatchLimits(s), ProtocolFileOf(s));
    const int32_t bar_max = std::atoi(s.maz.output_limit.c_str());
    OpenFailureNotice notice(state);
    const int read_size = NetworkReadSize(s);
    std::vector<char> buffer(CharPool::kBufferSize);
    bool first = true;

    while (!worker.StopRequested()) {
        auto device = MakeDevice(state, worker, notice);
        if (!Connect(*device, s.co_out, 4500, 4500, 4500)) return;
        if (device->IsOpen()) notice.Opened();
        if (first) {
            state.ShowText("Comport-Open on " + s.co_out.port + " !\r\n");
            WriteStartRecord(state, "Comport-Output", "ComportOut-Start");
            first = false;
        }
        if (!worker.Sleep(kAfterOpenMs)) return;
        while (true) {
            if (worker.StopRequested()) return;
            if (IsAlarm(watch.Check("CharWatch: CompOut-Warning !", msg::kSerialOutRate, 1))) {
                device->Close();
                state.Send(msg::kSerialOutBar);
                Sleep(kAfterAlarmMs);
                break;
            }
            const int back = device->Read(read_size);
            if (back > 0) {
                if (!WritePositionSlot0(state, worker, device->received(), back)) return;
                state.ShowReceivedText(std::string(device->received(), static_cast<size_t>(back)) + " \r\n");
            }
            const int n = slot.Read(buffer.data());
            if (n > 0) {
                const int written = device->Write(buffer.data(), n);
                CountOutput(state, OutputKind::kSerial, written, bar_max);
                state.Post(msg::kSerialOutBar);
            }
            Sleep(1);
        }
    }
}

}  // namespace

bool StartSerialInput(SharedState& state) {
    return StartWorker(state.registry, 0, "Comport-In-TH",
                       [&state](WorkerScope& w) { SerialInputThread(state, w); }) >= 0;
}

bool StartSerialOutput(SharedState& state) {
    return StartWorker(state.registry, 0, "Comport-Out-TH",
                       [&state](WorkerScope& w) { SerialOutputThread(state, w); }) >= 0;
}

}  // namespace zerlan
