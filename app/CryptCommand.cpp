#include "app/CryptCommand.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "config/Settings.h"
#include "encoder/EncoderData.h"

namespace zerlan {

namespace {

// 127 blocks: every read fills one whole message.
constexpr size_t kReadSize = kMaxBlocksPerMessage * CMisty1::kBlockBytes;

std::FILE* OpenInput(const std::string& file) {
    if (file == "-") return stdin;
    std::FILE* in = std::fopen(file.c_str(), "rb");
    if (in == nullptr) std::fprintf(stderr, "zerlan: cannot read %s: %s\n", file.c_str(), std::strerror(errno));
    return in;
}

// Reads `in` to its end, handing every read to `consume`; false on a read error.
template <typename Consume>
bool ReadAll(std::FILE* in, const std::string& file, long long& total, Consume consume) {
    std::vector<uint8_t> buffer(kReadSize);
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), in)) > 0) {
        total += static_cast<long long>(n);
        consume(buffer.data(), n);
    }
    if (std::ferror(in)) {
        std::fprintf(stderr, "zerlan: error reading %s: %s\n", file.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

bool CheckKey(const CipherSettings& cipher) {
    if (cipher.key.size() == static_cast<size_t>(CMisty1::kKeyBytes)) return true;
    std::fprintf(stderr, "zerlan: %s\n", RefusedKeyText(cipher.key).c_str());
    return false;
}

int Finish(std::FILE* in, bool ok) {
    if (in != stdin) std::fclose(in);
    if (std::fflush(stdout) != 0) {
        std::fprintf(stderr, "zerlan: cannot write the standard output: %s\n", std::strerror(errno));
        return 1;
    }
    return ok ? 0 : 1;
}

}  // namespace

int RunEncryptCommand(const Settings& settings, const std::string& file, bool quiet) {
    const CipherSettings cipher = CipherSettingsOf(settings.enc_da);
    if (!CheckKey(cipher)) return 1;
    std::FILE* in = OpenInput(file);
    if (in == nullptr) return 1;
    EncoderData encoder(cipher, [](const uint8_t* frame, size_t length) { std::fwrite(frame, 1, length, stdout); });
    long long total = 0;
    const bool ok = ReadAll(in, file, total, [&](const uint8_t* bytes, size_t n) { encoder.PutRead(bytes, n); });
    if (!quiet) {
        std::fprintf(stderr, "zerlan: %lld bytes read, %lld messages 4088 written (provider %d, key number %d)\n",
                     total, static_cast<long long>(encoder.FramesSent()), cipher.provider, cipher.key_number);
    }
    return Finish(in, ok);
}

int RunDecryptCommand(const Settings& settings, const std::string& file, bool quiet) {
    const CipherSettings cipher = CipherSettingsOf(settings.enc_da);
    if (!CheckKey(cipher)) return 1;
    std::FILE* in = OpenInput(file);
    if (in == nullptr) return 1;
    DecoderData decoder(
        cipher, [](const uint8_t* bytes, size_t length) { std::fwrite(bytes, 1, length, stdout); },
        [](int provider, int week, int seconds) {
            std::fprintf(stderr, "zerlan: key change announced (4089): provider %d, week %d, %d s of the week\n",
                         provider, week, seconds);
        });
    long long total = 0;
    const bool ok = ReadAll(in, file, total, [&](const uint8_t* bytes, size_t n) {
        for (size_t i = 0; i < n; ++i) decoder.PutByte(bytes[i]);
    });
    if (!quiet) {
        std::fprintf(stderr,
                     "zerlan: %lld bytes read, %lld messages 4088 decrypted into %lld bytes, %lld announcements "
                     "4089, %lld other frames ignored\n",
                     total, static_cast<long long>(decoder.MessagesDecrypted()),
                     static_cast<long long>(decoder.PlainBytes()), static_cast<long long>(decoder.Announcements()),
                     static_cast<long long>(decoder.FramesIgnored()));
    }
    return Finish(in, ok);
}

}  // namespace zerlan
