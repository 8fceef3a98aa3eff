#include "app/RinexCommand.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/GlobalSeconds.h"
#include "decoder/DecoderSelector.h"
#include "encoder/RinexEncoder.h"
#include "platform/BatchInput.h"
#include "platform/Paths.h"

namespace zerlan {

int32_t RinexStartReference(const std::string& date) {
    int year = 0, month = 0, day = 0, hour = 0;
    char end = 0;
    if (date.size() != 13 || std::sscanf(date.c_str(), "%4d-%2d-%2dT%2d%c", &year, &month, &day, &hour, &end) != 4 ||
        date[4] != '-' || date[7] != '-' || date[10] != 'T' || year < 2003 || day < 1 || hour < 0 || hour > 23 ||
        day > GlobalSeconds::DaysInMonth(year, month)) {
        return -1;
    }
    char d[32], t[32];
    std::snprintf(d, sizeof d, "%02d.%02d.%04d", day, month, year);
    std::snprintf(t, sizeof t, "%02d:30:00", hour);
    return GlobalSeconds().SecondsOf(d, t);
}

int RunRinexCommand(const Settings& settings, const RinexCommand& command, std::FILE* err) {
    RinexConfig config = RinexConfig::From(settings.rinex);
    // The clock stands in for the hour of the first epoch only; later epochs
    // follow the one before, so a recording of many hours keeps its dates.
    int32_t reference = -1;
    if (!command.date.empty()) {
        reference = RinexStartReference(command.date);
        if (reference < 0) {
            std::fprintf(err, "zerlan: --rinex-date wants YYYY-MM-DDTHH, not %s\n", command.date.c_str());
            return 2;
        }
    } else {
        reference = GlobalSeconds().NowSeconds() - config.pc_minus_utc_s;
    }
    config.pc_minus_utc_s = 0;
    config.to_files = true;
    config.to_pool = false;
    config.base_dir = ".";

    BatchInput in;
    if (!in.Open(command.file)) {
        std::fprintf(err, "zerlan: cannot read %s: %s\n", command.file.c_str(), in.Error().c_str());
        return 1;
    }
    RinexEnvironment env;
    RinexEncoder* encoder_seen = nullptr;
    env.now_seconds = [&] {
        const int32_t last = encoder_seen != nullptr ? encoder_seen->last_key() : -1;
        return last >= 0 ? last : reference;
    };
    env.stop_pending = [] { return true; };  // nobody to wait for: a file that cannot be opened is skipped
    env.fresh_files = true;
    RinexEncoder encoder(config, std::move(env));
    encoder_seen = &encoder;

    SinkOutput text([&encoder](const char* data, int length) {
        for (int i = 0; i < length; ++i) encoder.PutByte(data[i]);
    });
    DecoderSelector decoders(command.version, text);
    decoders.rtcm2().SetGlonassTimeDifference(config.gps_glonass_s);
    std::vector<unsigned char> buffer(1 << 16);
    long n;
    while ((n = in.Read(buffer.data(), buffer.size())) > 0) {
        for (long i = 0; i < n; ++i) decoders.AddByte(buffer[static_cast<size_t>(i)]);
    }
    const bool read_error = n == BatchInput::kError;
    // The last frames of a recording are only decided at its end.
    decoders.Finish();
    encoder.Finish();

    if (!command.quiet) {
        std::string files;
        for (const std::string& f : encoder.files()) files += " " + MapPath(f);
        std::fprintf(err, "zerlan: %d epochs of %s written to%s\n", encoder.records(), command.file.c_str(),
                     files.empty() ? " no file" : files.c_str());
    }
    if (read_error) std::fprintf(err, "zerlan: error reading %s\n", command.file.c_str());
    if (encoder.open_failures() > 0) std::fprintf(err, "zerlan: %d RINEX file(s) could not be opened\n",
                                                  encoder.open_failures());
    return read_error || encoder.open_failures() > 0 ? 1 : 0;
}

}  // namespace zerlan
