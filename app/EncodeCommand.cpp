#include "app/EncodeCommand.h"

#include <vector>

#include "config/Settings.h"
#include "encoder/RtcmEncoder.h"

namespace zerlan {

int EncodeStream(std::FILE* in, std::FILE* out, const RtcmEncoderOptions& options) {
    if (in == nullptr) return 1;
    RtcmEncoder encoder(options, [out](const char* bytes, int length) {
        std::fwrite(bytes, 1, static_cast<size_t>(length), out);
    });
    std::vector<char> buffer(65536);
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), in)) > 0) {
        for (size_t i = 0; i < n; ++i) encoder.PutByte(buffer[i]);
    }
    encoder.Flush();
    std::fflush(out);
    return std::ferror(in) ? 1 : 0;
}

int RunEncodeCommand(const Settings& settings, bool use_settings, const std::string& name) {
    std::FILE* in = name == "-" ? stdin : std::fopen(name.c_str(), "rb");
    if (in == nullptr) {
        std::fprintf(stderr, "zerlan: cannot read %s\n", name.c_str());
        return 1;
    }
    const RtcmEncoderOptions options =
        use_settings ? RtcmEncoderOptions::FromSettings(settings.dec_in) : RtcmEncoderOptions{};
    const int status = EncodeStream(in, stdout, options);
    if (in != stdin) std::fclose(in);
    if (status != 0) std::fprintf(stderr, "zerlan: error reading %s\n", name.c_str());
    return status;
}

}  // namespace zerlan
